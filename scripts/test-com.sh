#!/usr/bin/env bash
# Tests the Windows build under the 64-bit Wine, headless, in a fresh Wine
# prefix: registration with regsvr32, the contract of the type library
# (64-bit registered and 32-bit embedded) against com/testdata/contract.txt,
# the C++ client test, the VBScript host test through cscript (with the
# files it writes), and unregistration, twice.
# Usage: scripts/test-com.sh [BUILD_DIR]   (default build-com; run
# scripts/build-com.sh first).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=$(realpath -m "${1:-build-com}")
out="$build_dir/test-out"
prefix="$build_dir/wineprefix"
rm -rf "$prefix" "$out"
mkdir -p "$prefix" "$out"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=

failed=0
fail() {
  echo "FAILED: $*"
  failed=$((failed + 1))
}
win() { winepath -w "$1"; }

echo "== fresh Wine prefix"
wine wineboot -i >/dev/null 2>&1
wineserver -w

dll=$(win "$build_dir/x86_64/ZALT_FILESEPA.dll")
echo "== regsvr32"
wine regsvr32 /s "$dll" || fail "regsvr32 $dll"

echo "== contract of the type library"
if wine "$build_dir/x86_64/contract_dump.exe" "$(win "$out/contract-x86_64.txt")"; then
  diff -u com/testdata/contract.txt "$out/contract-x86_64.txt" ||
    fail "the registered type library differs from com/testdata/contract.txt"
else
  fail "contract_dump of the registered library"
fi
if wine "$build_dir/x86_64/contract_dump.exe" "$(win "$out/contract-i686.txt")" \
    "$(win "$build_dir/i686/ZALT_FILESEPA.dll")"; then
  diff -u com/testdata/contract.txt "$out/contract-i686.txt" ||
    fail "the 32-bit type library differs from com/testdata/contract.txt"
else
  fail "contract_dump of the 32-bit DLL"
fi

# Wine prints with CR LF; a script error prints nothing and exits 0, so only
# the summary line counts.
summary() {
  tr -d '\r' <"$1" | grep -a -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1
}
run_checks() {
  local name=$1 log="$out/$1.log"
  shift
  wine "$@" >"$log" 2>&1
  tr -d '\r' <"$log" | grep -a -v -E '^[0-9]+ passed, [0-9]+ failed$' || true
  local line
  line=$(summary "$log")
  echo "$name: ${line:-no summary}"
  [[ "$line" =~ ^[0-9]+\ passed,\ 0\ failed$ ]] || fail "$name"
}

echo "== C++ client"
run_checks client_test "$build_dir/x86_64/client_test.exe" "$dll"

echo "== VBScript host"
run_checks host_test cscript //nologo "$(win com/tests/host_test.vbs)" \
  "$(win "$out")" "$(win com/testdata/status-report.xml)"
for file in manual-block direct-debit; do
  cmp "$out/$file.xml" "tests/data/e2e/$file.xml" ||
    fail "$file.xml written through COM differs from tests/data/e2e/$file.xml"
done
element=$(tr -d '\r' <"$out/manual-block-2026.xml" 2>/dev/null | sed -n 2p)
[[ "$element" =~ ^\<CBIPaymentRequest\ xmlns=\"urn:CBI:xsd:CBIPaymentRequest\.00\.04\.01\"[\ \>] ]] ||
  fail "the root element of manual-block-2026.xml: $element"

echo "== unregistration, twice"
wine regsvr32 /u /s "$dll" || fail "regsvr32 /u"
wine regsvr32 /u /s "$dll" || fail "a second regsvr32 /u"
if wine "$build_dir/x86_64/contract_dump.exe" "$(win "$out/after.txt")" 2>/dev/null; then
  fail "the type library is still registered"
fi
wineserver -w

if ((failed)); then
  echo "$failed step(s) failed"
  exit 1
fi
echo "all COM tests passed"
