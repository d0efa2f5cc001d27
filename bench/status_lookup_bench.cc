// The lookups of the status-report reader on a report with 10,000 rejected
// items: the native walk over children that the reader uses, against the
// same name test as libxml2 XPath, compiled once per name or (as a selection
// per lookup does) compiled on every lookup. The whole LoadXml and the
// report checks on the same file give the context.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "status/report_checks.h"
#include "status/report_tree.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"
#include "zsepa/sqlite_connection.h"
#include "zsepa/variant.h"

namespace zsepa {
namespace {

constexpr int kItems = 10000;

// A report of batch 12 of 2024 shaped as banks write them (one block per
// item, indented, charges and the original transaction's references), its
// elements in the prefix `prefix` ("" for the default namespace).
std::string Report(const std::string& prefix) {
  const std::string p = prefix.empty() ? "" : prefix + ":";
  auto open = [&p](std::string_view name) {
    return "<" + p + std::string(name) + ">";
  };
  auto close = [&p](std::string_view name) {
    return "</" + p + std::string(name) + ">";
  };
  auto leaf = [&](std::string_view name, const std::string& text) {
    return open(name) + text + close(name);
  };
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + p +
                     "CBISDDStsRptLogMsg xmlns" +
                     (prefix.empty() ? "" : ":" + prefix) +
                     "=\"urn:CBI:xsd:CBISDDStsRptLogMsg.00.01.00\">\n";
  text += "  " + open("GrpHdr") + leaf("MsgId", "E1") + leaf("MsgQual", "8") +
          open("CdtrAgt") + open("FinInstnId") + open("ClrSysMmbId") +
          leaf("MmbId", "03069") + close("ClrSysMmbId") + close("FinInstnId") +
          close("CdtrAgt") + close("GrpHdr") + "\n";
  text += "  " + open("OrgnlGrpInfAndSts") +
          leaf("OrgnlMsgId", "000001220241") + leaf("GrpSts", "PART") +
          close("OrgnlGrpInfAndSts") + "\n";
  for (int i = 0; i < kItems; ++i) {
    const std::string id = "2024/" + std::to_string(100000 + i);
    const std::string charge =
        "      " + open("ChrgsInf") + "<" + p + "Amt Ccy=\"EUR\">0.50" +
        close("Amt") + open("Pty") + open("FinInstnId") + open("ClrSysMmbId") +
        leaf("MmbId", "03069") + close("ClrSysMmbId") + close("FinInstnId") +
        close("Pty") + close("ChrgsInf") + "\n";
    text += "  " + open("OrgnlPmtInfAndSts") + "\n    " +
            leaf("OrgnlPmtInfId", "00000122024100001") + "\n    " +
            open("TxInfAndSts") + "\n      " + leaf("StsId", "S" + id) +
            "\n      " + leaf("OrgnlInstrId", std::to_string(i + 1)) +
            "\n      " + leaf("OrgnlEndToEndId", id) + "\n      " +
            leaf("TxSts", "RJCT") + "\n      " + open("StsRsnInf") +
            open("Orgtr") + leaf("Nm", "BANCA") + close("Orgtr") + open("Rsn") +
            leaf("Cd", i % 3 == 0 ? "MD06" : "AM04") + close("Rsn") +
            leaf("AddtlInf", "PRE") + close("StsRsnInf") + "\n" + charge +
            charge + "      " + open("OrgnlTxRef") + "\n        " +
            open("Amt") + "\n          <" + p + "InstdAmt Ccy=\"EUR\">" +
            std::to_string(10 + i % 90) + ".25" + close("InstdAmt") +
            "\n        " + close("Amt") + "\n        " +
            leaf("ReqdColltnDt", "2024-05-15") + "\n        " +
            open("MndtRltdInf") + leaf("MndtId", "MND-" + id) +
            leaf("DtOfSgntr", "2022-01-10") + close("MndtRltdInf") +
            "\n        " + open("Dbtr") + leaf("Nm", "DEBITORE " + id) +
            close("Dbtr") + "\n        " + open("DbtrAcct") + open("Id") +
            leaf("IBAN", "IT61X0306909606100000012345") + close("Id") +
            close("DbtrAcct") + "\n      " + close("OrgnlTxRef") + "\n    " +
            close("TxInfAndSts") + "\n  " + close("OrgnlPmtInfAndSts") + "\n";
  }
  return text + close("CBISDDStsRptLogMsg") + "\n";
}

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocDeleter>;

// The two reports on disk and in memory, made once.
struct Reports {
  std::filesystem::path dir;
  std::map<int, std::string> text;  // 0 default namespace, 1 prefixed
  std::map<int, std::string> path;
  std::map<int, Doc> doc;
};
Reports* reports = nullptr;

// What a walk reads: the items, their amounts and the characters of their
// identifiers and reasons, to compare the ways and keep the work alive.
struct Totals {
  int items = 0;
  double amount = 0;
  size_t characters = 0;
  bool operator==(const Totals&) const = default;
};

constexpr std::string_view kPathPieces[][3] = {{"OrgnlEndToEndId"},
                                               {"StsRsnInf", "Rsn", "Cd"},
                                               {"OrgnlTxRef", "Amt"},
                                               {"OrgnlTxRef", "ReqdColltnDt"}};

void Read(Totals& totals, const xmlNode* tx, auto&& path) {
  size_t budget = 1 << 20;
  ++totals.items;
  totals.characters +=
      status::ElementText(path(tx, kPathPieces[0]), budget).size() +
      status::ElementText(path(tx, kPathPieces[1]), budget).size() +
      status::ElementText(path(tx, kPathPieces[3]), budget).size();
  const std::string amount =
      status::ElementText(path(tx, kPathPieces[2]), budget);
  totals.amount += Variant::ParseNumber(amount).value_or(0);
}

// The reader's way: a walk over the children, testing the name's ending.
Totals NativeWalk(const xmlDoc* doc) {
  Totals totals;
  auto path = [doc](const xmlNode* from, const std::string_view(&pieces)[3]) {
    for (std::string_view piece : pieces) {
      if (piece.empty()) break;
      from = status::ChildElement(doc, from, piece);
      if (from == nullptr) break;
    }
    return from;
  };
  const xmlNode* root = status::FirstElement(doc, "CBISDDStsRptLogMsg");
  for (const xmlNode* block =
           status::ChildElement(doc, root, "OrgnlPmtInfAndSts");
       block != nullptr;
       block = status::ChildElement(doc, root, "OrgnlPmtInfAndSts", block)) {
    for (const xmlNode* tx = status::ChildElement(doc, block, "TxInfAndSts");
         tx != nullptr;
         tx = status::ChildElement(doc, block, "TxInfAndSts", tx)) {
      Read(totals, tx, path);
    }
  }
  return totals;
}

std::string Selection(std::string_view name) {
  return "./*[substring(name(), string-length(name()) - " +
         std::to_string(name.size() - 1) + ") = '" + std::string(name) + "']";
}

// The same lookups through XPath: each name's selection compiled once
// (`compiled`) or on every lookup.
class XPathWalk {
 public:
  XPathWalk(xmlDoc* doc, bool compiled)
      : doc_(doc), context_(xmlXPathNewContext(doc)), compiled_(compiled) {}
  ~XPathWalk() {
    for (auto& [name, expression] : expressions_)
      xmlXPathFreeCompExpr(expression);
    xmlXPathFreeContext(context_);
  }

  Totals Run() {
    Totals totals;
    auto path = [this](const xmlNode* from,
                       const std::string_view(&pieces)[3]) {
      for (std::string_view piece : pieces) {
        if (piece.empty()) break;
        from = First(from, piece);
        if (from == nullptr) break;
      }
      return from;
    };
    const xmlNode* root = status::FirstElement(doc_, "CBISDDStsRptLogMsg");
    Select(root, "OrgnlPmtInfAndSts", [&](const xmlNode* block) {
      Select(block, "TxInfAndSts",
             [&](const xmlNode* tx) { Read(totals, tx, path); });
    });
    return totals;
  }

 private:
  xmlXPathObject* Evaluate(const xmlNode* from, std::string_view name) {
    context_->node = const_cast<xmlNode*>(from);
    if (!compiled_) {
      return xmlXPathEvalExpression(BAD_CAST Selection(name).c_str(), context_);
    }
    auto [at, added] = expressions_.try_emplace(std::string(name), nullptr);
    if (added) at->second = xmlXPathCompile(BAD_CAST Selection(name).c_str());
    return xmlXPathCompiledEval(at->second, context_);
  }
  template <typename Each>
  void Select(const xmlNode* from, std::string_view name, Each each) {
    xmlXPathObject* found = Evaluate(from, name);
    if (found != nullptr && found->nodesetval != nullptr) {
      for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
        each(found->nodesetval->nodeTab[i]);
      }
    }
    xmlXPathFreeObject(found);
  }
  const xmlNode* First(const xmlNode* from, std::string_view name) {
    const xmlNode* first = nullptr;
    xmlXPathObject* found = Evaluate(from, name);
    if (found != nullptr && found->nodesetval != nullptr &&
        found->nodesetval->nodeNr > 0) {
      first = found->nodesetval->nodeTab[0];
    }
    xmlXPathFreeObject(found);
    return first;
  }

  xmlDoc* doc_;
  xmlXPathContext* context_;
  bool compiled_;
  std::map<std::string, xmlXPathCompExpr*> expressions_;
};

// state.range(0): 0 default namespace, 1 prefixed.
void Walk(benchmark::State& state, int way) {
  xmlDoc* doc = reports->doc.at(static_cast<int>(state.range(0))).get();
  const Totals expected = NativeWalk(doc);
  Totals totals;
  for (auto _ : state) {
    if (way == 0) {
      totals = NativeWalk(doc);
    } else {
      XPathWalk walk(doc, way == 1);
      totals = walk.Run();
    }
    benchmark::DoNotOptimize(totals);
  }
  if (!(totals == expected) || totals.items != kItems) {
    state.SkipWithError("the walks read different items");
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
void BM_LookupsNativeWalk(benchmark::State& state) { Walk(state, 0); }
void BM_LookupsXPathCompiledOnce(benchmark::State& state) { Walk(state, 1); }
void BM_LookupsXPathPerLookup(benchmark::State& state) { Walk(state, 2); }
BENCHMARK(BM_LookupsNativeWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupsXPathCompiledOnce)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupsXPathPerLookup)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The whole LoadXml (load, lookups, one reason lookup per item in the
// embedded demo database) and the report checks without a database.
void BM_LoadXml(benchmark::State& state) {
  const std::filesystem::path db = reports->dir / "demo.db";
  std::filesystem::remove(db);
  auto connection = sqlite::SqliteConnection::Create(db.string());
  sqlite::FillDemoData(*connection);
  framework::InMemoryFramework framework;
  framework.values().CodiceDitta = Variant(int32_t{1});
  for (auto _ : state) {
    CLSEP_FILESEPA builder;
    builder.ActiveInterface = &framework;
    builder.AdoConnection = connection.get();
    builder.Initialize();
    if (!builder.LoadXml(reports->path.at(1), false)) {
      state.SkipWithError(builder.Errore().c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_LoadXml)->Unit(benchmark::kMillisecond);

void BM_CheckStatusReport(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        status::CheckStatusReport(reports->path.at(1), {}));
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_CheckStatusReport)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zsepa

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  zsepa::Reports reports;
  reports.dir = std::filesystem::temp_directory_path() /
                ("zsepa_status_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(reports.dir);
  for (int prefixed : {0, 1}) {
    const std::string text = zsepa::Report(prefixed != 0 ? "LMSG" : "");
    const std::string path =
        (reports.dir / ("report" + std::to_string(prefixed) + ".xml")).string();
    std::ofstream(path, std::ios::binary) << text;
    reports.path[prefixed] = path;
    reports.doc[prefixed] =
        zsepa::Doc(xmlReadMemory(text.data(), static_cast<int>(text.size()),
                                 nullptr, nullptr, XML_PARSE_NONET));
  }
  zsepa::reports = &reports;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  reports.doc.clear();
  std::filesystem::remove_all(reports.dir);
  return 0;
}
