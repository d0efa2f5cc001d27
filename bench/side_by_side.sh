#!/usr/bin/env bash
# Writes the same large jobs with `zsepa write` and, when the npm package
# `sepa` is installed (globally or in a node_modules folder of the repository
# or of the working directory), with a small node program over the same
# transactions; prints wall time, peak memory and their ratio for each file
# kind. Nothing is installed: what is missing is skipped.
#
# Usage: bench/side_by_side.sh [--zsepa PATH] [--count N] [--linearity]
#                              [--kind sepa|sdd] [--keep DIR] [--runs N]
#   --count N     transactions per job (default 100000)
#   --runs N      runs of each program; the one with the median wall time is
#                 shown (default 3)
#   --linearity   zsepa alone at 10,000, 100,000 and 300,000 transactions,
#                 with the time and memory per transaction
#   --kind K      only the credit-transfer (sepa) or direct-debit (sdd) job
#   --keep DIR    write the jobs, the database and the files into DIR and
#                 leave them there (default: a temporary folder, removed)
# The jobs copy the transactions of examples/sepa.json and
# examples/direct-debit.json round-robin, each with its own amount, name and
# remittance text, into the demo batches (credit transfer 15/2024, direct
# debit 12/2024) of a fresh demo database.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zsepa=${ZSEPA:-}
count=100000
linearity=0
kinds=(sepa sdd)
keep=""
runs=3
while (($#)); do
  case $1 in
    --zsepa) zsepa=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --linearity) linearity=1; shift ;;
    --kind) kinds=("$2"); shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
  esac
done
if [ -z "$zsepa" ]; then
  for candidate in "$root/build-release/tools/zsepa" "$root/build/tools/zsepa"; do
    [ -x "$candidate" ] && { zsepa=$candidate; break; }
  done
fi
if [ -z "$zsepa" ] || [ ! -x "$zsepa" ]; then
  echo "no zsepa program: build one (cmake --build build --target zsepa) or pass --zsepa PATH" >&2
  exit 2
fi
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (Debian package time)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed to generate the jobs" >&2; exit 2; }

if [ -n "$keep" ]; then
  work=$keep
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
"$zsepa" init-db "$work/demo.db" --demo >/dev/null

# make_job KIND COUNT FILE: one transaction per line, like a program would
# write it.
make_job() {
  python3 - "$root/examples" "$1" "$2" "$3" <<'EOF'
import json, sys
examples, kind, count, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
source = "sepa.json" if kind == "sepa" else "direct-debit.json"
with open(f"{examples}/{source}") as f:
    job = json.load(f)
block = job["blocchi"][0]
templates = block["trasferimenti"]
with open(out, "w") as f:
    head = {k: v for k, v in job.items() if k != "blocchi"}
    f.write(json.dumps(head)[:-1] + ', "blocchi": [')
    f.write(json.dumps({k: v for k, v in block.items() if k != "trasferimenti"})[:-1])
    f.write(', "trasferimenti": [\n')
    for i in range(count):
        t = dict(templates[i % len(templates)])
        t["Importo"] = round(10 + (i * 7919 % 100000) / 100, 2)
        t["RagioneSociale"] = f'{t["RagioneSociale"]} {i + 1}'
        t["RiferimentoNonStrutturato"] = f"Fattura {i + 1}/2024"
        if kind == "sdd":
            t["NumeroEffetto"] = f"2024/{i + 1:07d}"
            t["RiferimentoMandato"] = f"MND-{i + 1:07d}"
        f.write(("," if i else "") + json.dumps(t, ensure_ascii=False) + "\n")
    f.write("]}]}\n")
EOF
}

# settle FILE: a job just written is first flushed to disk, so that the
# runs do not wait behind its writeback when they flush their own files.
settle() { sync "$1" 2>/dev/null || sync; }

# measure LABEL COMMAND...: runs the command `runs` times under
# /usr/bin/time -v and sets wall and cpu (user + system, seconds: the figure
# to trust on a busy machine) and peak (MiB) of the run with the median wall
# time.
measure() {
  local label=$1 run results=()
  shift
  for ((run = 0; run < runs; run++)); do
    if ! /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>&1; then
      echo "$label failed:" >&2
      tail -5 "$work/out.txt" >&2
      return 1
    fi
    results+=("$(awk -F': ' '
      /Elapsed \(wall clock\)/ { n = split($2, p, ":"); w = 0;
        for (i = 1; i <= n; i++) w = w * 60 + p[i] }
      /(User|System) time/ { c += $2 }
      /Maximum resident set size/ { m = $2 / 1024 }
      END { printf "%.2f %.2f %.0f", w, c, m }' "$work/time.txt")")
  done
  read -r wall cpu peak < <(printf '%s\n' "${results[@]}" | sort -n |
    sed -n "$(((runs + 1) / 2))p")
}

# The npm package, when some node_modules holds it.
sepa_js=""
if command -v node >/dev/null; then
  for dir in "$root" "$root/bench" "$PWD" "$(npm root -g 2>/dev/null || true)"; do
    for candidate in "$dir/node_modules/sepa" "$dir/sepa"; do
      [ -f "$candidate/package.json" ] && { sepa_js=$candidate; break 2; }
    done
  done
fi

# The node program: reads the same job and writes the same transactions as a
# pain.001.001.03 or pain.008.001.02 document.
cat >"$work/sepa_js.cjs" <<'EOF'
const fs = require("fs");
const SEPA = require(process.argv[2]);
const [kind, jobPath, outPath] = process.argv.slice(3);
const job = JSON.parse(fs.readFileSync(jobPath, "utf8"));
const block = job.blocchi[0];
const debit = kind === "sdd";
const doc = new SEPA.Document(debit ? "pain.008.001.02" : "pain.001.001.03");
doc.grpHdr.id = "BENCH.2024.1";
doc.grpHdr.created = new Date("2024-03-05T09:07:03");
doc.grpHdr.initiatorName = job.ditta.RagioneSocialeDitta;
const info = doc.createPaymentInfo();
if (debit) {
  info.collectionDate = new Date("2024-05-15");
  info.creditorIBAN = "IT60X0542811101000000123456";
  info.creditorBIC = "BCITITMMXXX";
  info.creditorName = job.ditta.RagioneSocialeDitta;
  info.creditorId = block.CreditorIdentifier;
} else {
  info.requestedExecutionDate = new Date("2024-03-15");
  info.debtorIBAN = "IT60X0542811101000000123456";
  info.debtorBIC = "BCITITMMXXX";
  info.debtorName = job.ditta.RagioneSocialeDitta;
}
doc.addPaymentInfo(info);
block.trasferimenti.forEach((t, i) => {
  const tx = info.createTransaction();
  if (debit) {
    tx.debtorName = t.RagioneSociale;
    tx.debtorIBAN = t.IBAN;
    tx.mandateId = t.RiferimentoMandato;
    tx.mandateSignatureDate = new Date(t.DataMandato);
  } else {
    tx.creditorName = t.RagioneSociale;
    tx.creditorIBAN = t.IBAN;
    if (t.BicSwift) tx.creditorBIC = t.BicSwift;
  }
  tx.amount = t.Importo;
  tx.remittanceInfo = t.RiferimentoNonStrutturato;
  tx.end2endId = "E2E." + (i + 1);
  info.addTransaction(tx);
});
fs.writeFileSync(outPath, doc.toString());
EOF

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

if ((linearity)); then
  printf '%-6s %9s %8s %8s %9s %11s %11s\n' kind count wall_s cpu_s peak_MiB \
    cpu_us_per_tx KiB_per_tx
  for kind in "${kinds[@]}"; do
    for n in 10000 100000 300000; do
      make_job "$kind" "$n" "$work/$kind-$n.json"
      settle "$work/$kind-$n.json"
      measure "zsepa $kind $n" "$zsepa" write "$work/$kind-$n.json" \
        --out "$work/$kind-$n.xml" --db "$work/demo.db"
      printf '%-6s %9d %8s %8s %9s %11s %11s\n' "$kind" "$n" "$wall" "$cpu" \
        "$peak" "$(awk -v c="$cpu" -v n="$n" 'BEGIN { printf "%.2f", c * 1e6 / n }')" \
        "$(awk -v p="$peak" -v n="$n" 'BEGIN { printf "%.2f", p * 1024 / n }')"
      rm -f "$work/$kind-$n.xml"
    done
  done
  exit 0
fi

[ -n "$sepa_js" ] || echo "(npm package sepa not found: zsepa alone)"
row() { printf '%-6s %9s %-8s %8s %8s %9s %8s %10s %10s %10s\n' "$@"; }
row kind count program wall_s cpu_s peak_MiB file_MB wall_ratio \
  cpu_ratio mem_ratio
for kind in "${kinds[@]}"; do
  make_job "$kind" "$count" "$work/$kind.json"
  settle "$work/$kind.json"
  measure "zsepa $kind" "$zsepa" write "$work/$kind.json" \
    --out "$work/$kind.xml" --db "$work/demo.db"
  z_wall=$wall z_cpu=$cpu z_peak=$peak
  z_size=$(awk -v s="$(stat -c %s "$work/$kind.xml")" 'BEGIN { printf "%.1f", s / 1e6 }')
  row "$kind" "$count" zsepa "$z_wall" "$z_cpu" "$z_peak" \
    "$z_size" 1.00 1.00 1.00
  if [ -n "$sepa_js" ]; then
    if measure "sepa.js $kind" node "$work/sepa_js.cjs" "$sepa_js" "$kind" \
      "$work/$kind.json" "$work/$kind-js.xml"; then
      js_size=$(awk -v s="$(stat -c %s "$work/$kind-js.xml")" 'BEGIN { printf "%.1f", s / 1e6 }')
      row "$kind" "$count" sepa.js "$wall" "$cpu" "$peak" \
        "$js_size" "$(ratio "$wall" "$z_wall")" "$(ratio "$cpu" "$z_cpu")" \
        "$(ratio "$peak" "$z_peak")"
    fi
  fi
done
