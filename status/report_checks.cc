#include "status/report_checks.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/utf8.h"
#include "db/lookups.h"
#include "db/statements.h"
#include "format/formatting.h"
#include "framework/strict_parse.h"
#include "status/report_tree.h"
#include "writers/schema_validation.h"
#include "zsepa/error.h"
#include "zsepa/recordset.h"
#include "zsepa/variant.h"

namespace zsepa::status {
namespace {

// The default file service's limits: the checks read what LoadXml reads.
constexpr size_t kMaxReportBytes = size_t{256} << 20;
constexpr size_t kEntityTextBudget = size_t{1} << 20;

// The group status each qualifier calls for.
struct GroupStatusRule {
  int32_t qualifier;
  std::string_view status;
};
constexpr GroupStatusRule kGroupStatuses[] = {{6, "RJCT"}, {8, "PART"}};

// Totals a report declares for its rejected items. `holder` is the child of
// OrgnlGrpInfAndSts that holds them ("" for OrgnlGrpInfAndSts itself).
enum class Relation { kEqual, kAtMost };
struct TotalRule {
  std::string_view holder;
  std::string_view count;
  std::string_view sum;
  Relation relation;
  const char* count_code;
  const char* sum_code;
};
constexpr TotalRule kTotals[] = {
    {"NbOfTxsPerSts", "DtldNbOfTxs", "DtldCtrlSum", Relation::kEqual,
     "count-mismatch", "sum-mismatch"},
    {"", "OrgnlNbOfTxs", "OrgnlCtrlSum", Relation::kAtMost,
     "count-over-original", "sum-over-original"},
};

// Amounts are compared to the cent.
constexpr double kHalfCent = 0.005;

struct DocDeleter {
  void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};
struct ParserCtxtDeleter {
  void operator()(xmlParserCtxt* ctxt) const noexcept {
    xmlFreeParserCtxt(ctxt);
  }
};
using Doc = std::unique_ptr<xmlDoc, DocDeleter>;

// The report's tree, or nullptr when it does not load as LoadXml would load
// it. Big lines: findings name lines beyond 65535 too.
Doc LoadReport(const std::string& path) {
  std::string bytes;
  if (!ReadInputFile(path, kMaxReportBytes, bytes).empty()) return nullptr;
  framework::LastXmlErrorGuard keep;
  std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw std::bad_alloc();
  bool failed = false;
  ctxt->_private = &failed;
  // Errors fail the load, and so does a reference to an undeclared entity,
  // as in the file service.
  ctxt->sax->serror = [](void* data, auto error) {
    if (data == nullptr || error == nullptr) return;
    if (error->level >= XML_ERR_ERROR ||
        error->code == XML_WAR_UNDECLARED_ENTITY) {
      *static_cast<bool*>(static_cast<xmlParserCtxt*>(data)->_private) = true;
    }
  };
  Doc doc(xmlCtxtReadMemory(ctxt.get(), bytes.data(),
                            static_cast<int>(bytes.size()), path.c_str(),
                            nullptr, XML_PARSE_NONET | XML_PARSE_BIG_LINES));
  if (failed) doc.reset();
  return doc;
}

std::string_view View(const xmlChar* text) {
  return text == nullptr
             ? std::string_view()
             : std::string_view(reinterpret_cast<const char*>(text));
}

std::string QualifiedName(const xmlNode* node) {
  std::string name;
  if (node->ns != nullptr && node->ns->prefix != nullptr) {
    name.append(View(node->ns->prefix)).append(":");
  }
  return name.append(View(node->name));
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return "";
  return std::string(
      text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// A value of the report as a message quotes it, cut to 40 characters.
std::string Quoted(std::string_view text) {
  constexpr size_t kMaxQuoted = 40;
  const std::string quoted = utf8::Left(text, kMaxQuoted);
  return "'" + quoted + (quoted.size() < text.size() ? "...'" : "'");
}

// A number as LoadXml reads an amount: "." or "," as decimal separator.
std::optional<double> Number(std::string_view text) {
  const std::optional<double> value = Variant::ParseNumber(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

std::string Amount(double value) { return FormattaImporto(Variant(value)); }

// "0.50 EUR + 1.00 USD": amounts by currency.
std::string AmountsText(const std::map<std::string, double>& amounts) {
  std::string text;
  for (const auto& [currency, amount] : amounts) {
    if (!text.empty()) text += " + ";
    text += Amount(amount);
    if (!currency.empty()) text += " " + currency;
  }
  return text;
}

// One rejected item that the report lists.
struct Item {
  Element tx = nullptr;
  Element id = nullptr;  // nullptr: no OrgnlEndToEndId
  std::string identifier;
  double amount = 0;  // as LoadXml books it
  bool amount_read = true;
};

class Checker {
 public:
  Checker(const xmlDoc* doc, const ReportBatch& batch)
      : doc_(doc), batch_(batch) {}

  std::vector<Finding> Run() {
    Element root = FirstElement(doc_, "CBISDDReqLogMsg");
    if (root == nullptr) root = FirstElement(doc_, "CBISDDStsRptLogMsg");
    if (root == nullptr) return {};
    const Element group = Child(root, "OrgnlGrpInfAndSts");
    const Element header = Child(root, "GrpHdr");
    if (group == nullptr || header == nullptr) return {};

    const std::optional<int32_t> qualifier = Qualifier(header);
    if (qualifier) CheckGroupStatus(group, *qualifier);
    const std::vector<Item> items = ListedItems(root);
    if (qualifier == 8) {
      for (const TotalRule& rule : kTotals) CheckTotals(rule, group, items);
    }
    CheckDuplicates(items);
    CheckAgainstBatch(Child(group, "OrgnlMsgId"), items);
    const std::optional<Finding> total = CheckCharges(root, items);

    std::stable_sort(
        findings_.begin(), findings_.end(),
        [](const Finding& a, const Finding& b) { return a.line < b.line; });
    if (total) findings_.push_back(*total);
    return std::move(findings_);
  }

 private:
  std::optional<int32_t> Qualifier(Element header) {
    const Element qualifier = Child(header, "MsgQual");
    if (qualifier == nullptr) return std::nullopt;
    try {
      return Variant(Text(qualifier)).ToInt32();
    } catch (const Error&) {
      return std::nullopt;  // LoadXml fails on it
    }
  }

  void CheckGroupStatus(Element group, int32_t qualifier) {
    for (const GroupStatusRule& rule : kGroupStatuses) {
      if (rule.qualifier != qualifier) continue;
      const std::string wanted(rule.status);
      const Element status = Child(group, "GrpSts");
      if (status == nullptr) {
        Add("group-status-missing", Severity::kWarning, group,
            "no GrpSts; MsgQual " + std::to_string(qualifier) + " calls for " +
                wanted);
      } else if (const std::string text = Trimmed(Text(status));
                 text != wanted) {
        Add("group-status-mismatch", Severity::kError, status,
            "GrpSts is " + Quoted(text) + " but MsgQual " +
                std::to_string(qualifier) + " calls for " + wanted);
      }
    }
  }

  // The items in the order LoadXml reads them.
  std::vector<Item> ListedItems(Element root) {
    std::vector<Item> items;
    for (Element block = Child(root, "OrgnlPmtInfAndSts"); block != nullptr;
         block = Child(root, "OrgnlPmtInfAndSts", block)) {
      for (Element tx = Child(block, "TxInfAndSts"); tx != nullptr;
           tx = Child(block, "TxInfAndSts", tx)) {
        Item item;
        item.tx = tx;
        item.id = PathElement(doc_, tx, "OrgnlEndToEndId");
        if (item.id != nullptr) item.identifier = Text(item.id);
        if (const Element amount = PathElement(doc_, tx, "OrgnlTxRef/Amt")) {
          const std::string text = Trimmed(Text(amount));
          if (const std::optional<double> value = Number(text)) {
            item.amount = *value;
          } else {
            item.amount_read = false;
            Add("amount-unreadable", Severity::kWarning, amount,
                "amount " + Quoted(text) + " is not a number (booked as 0)");
          }
        }
        items.push_back(std::move(item));
      }
    }
    return items;
  }

  void CheckTotals(const TotalRule& rule, Element group,
                   const std::vector<Item>& items) {
    const bool amounts_read =
        std::all_of(items.begin(), items.end(),
                    [](const Item& item) { return item.amount_read; });
    double listed_sum = 0;
    for (const Item& item : items) listed_sum += item.amount;
    const double listed = static_cast<double>(items.size());

    for (Element holder = rule.holder.empty() ? group
                                              : Child(group, rule.holder);
         holder != nullptr;
         holder = rule.holder.empty() ? nullptr
                                      : Child(group, rule.holder, holder)) {
      // Totals of another status than rejected are not the listed items'.
      if (const Element status = Child(holder, "DtldSts");
          status != nullptr && Trimmed(Text(status)) != "RJCT") {
        continue;
      }
      if (const auto count = Declared(holder, rule.count)) {
        const bool off = rule.relation == Relation::kEqual
                             ? listed != count->second
                             : listed > count->second;
        if (off) {
          Add(rule.count_code, Severity::kError, count->first,
              std::string(rule.count) + " is " +
                  Quoted(Trimmed(Text(count->first))) + ", the report lists " +
                  std::to_string(items.size()) + " rejected items");
        }
      }
      const auto sum = Declared(holder, rule.sum);
      if (!sum || !amounts_read) continue;
      const bool off = rule.relation == Relation::kEqual
                           ? std::fabs(listed_sum - sum->second) >= kHalfCent
                           : listed_sum - sum->second >= kHalfCent;
      if (off) {
        Add(rule.sum_code, Severity::kError, sum->first,
            std::string(rule.sum) + " is " + Quoted(Trimmed(Text(sum->first))) +
                ", the listed items add up to " + Amount(listed_sum));
      }
    }
  }

  // A declared total and its value; nothing when absent or not a number
  // (reported).
  std::optional<std::pair<Element, double>> Declared(Element holder,
                                                     std::string_view name) {
    const Element element = Child(holder, name);
    if (element == nullptr) return std::nullopt;
    const std::string text = Trimmed(Text(element));
    const std::optional<double> value = Number(text);
    if (!value) {
      Add("total-unreadable", Severity::kWarning, element,
          std::string(name) + " " + Quoted(text) + " is not a number");
      return std::nullopt;
    }
    return std::make_pair(element, *value);
  }

  void CheckDuplicates(const std::vector<Item>& items) {
    std::unordered_map<std::string, Element> first;
    for (const Item& item : items) {
      if (item.id == nullptr || TestoNonNullo(item.identifier).empty()) {
        continue;
      }
      std::string key = item.identifier;
      std::transform(key.begin(), key.end(), key.begin(), FoldAscii);
      const auto [at, added] = first.emplace(std::move(key), item.id);
      if (!added) {
        Add("duplicate-end-to-end-id", Severity::kError, item.id,
            "OrgnlEndToEndId " + Quoted(item.identifier) +
                " repeats the one of line " +
                std::to_string(xmlGetLineNo(at->second)));
      }
    }
  }

  void CheckAgainstBatch(Element msg_id, const std::vector<Item>& items) {
    if (batch_.connection == nullptr || batch_.framework == nullptr ||
        msg_id == nullptr) {
      return;
    }
    const bool any = std::any_of(items.begin(), items.end(), [](const Item& i) {
      return i.id != nullptr && !TestoNonNullo(i.identifier).empty();
    });
    if (!any) return;
    const std::string batch = std::to_string(batch_.NumeroDistinta) + " of " +
                              std::to_string(batch_.AnnoDistinta);
    if (batch_.NumeroDistinta <= 0 || batch_.AnnoDistinta <= 0) {
      Add("batch-not-identified", Severity::kError, msg_id,
          "OrgnlMsgId " + Quoted(Trimmed(Text(msg_id))) +
              " names no batch; the items are not checked against the "
              "database");
      return;
    }
    std::unordered_set<std::string> known;
    try {
      const std::string sql = db::QueryEffettiDistintaStatement(
          db::CompanyOf(batch_.framework).CodiceDitta(), batch_.NumeroDistinta,
          batch_.AnnoDistinta);
      std::unique_ptr<Recordset> rows = batch_.connection->Execute(sql);
      for (; !rows->Eof(); rows->MoveNext()) {
        // As stored, and as the direct-debit file writes it.
        const std::string number = rows->Field("EF01_NUMEFF").ToText();
        known.insert(number);
        known.insert(NormalizzaTesto(RTrimSpaces(number)));
      }
      rows->Close();
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& error) {
      const auto* coded = dynamic_cast<const Error*>(&error);
      Add("items-unavailable", Severity::kWarning, msg_id,
          "the items of batch " + batch + " could not be read: " +
              (coded != nullptr ? coded->Description() : error.what()));
      return;
    }
    if (known.empty()) {
      Add("batch-without-items", Severity::kError, msg_id,
          "batch " + batch + " has no items in the database");
      return;
    }
    for (const Item& item : items) {
      if (item.id == nullptr || TestoNonNullo(item.identifier).empty()) {
        continue;
      }
      if (!known.contains(item.identifier) &&
          !known.contains(TestoNonNullo(item.identifier))) {
        Add("unknown-item", Severity::kError, item.id,
            Quoted(item.identifier) + " is no item of batch " + batch);
      }
    }
  }

  // Each item's charges as a finding; their total is given back, to come
  // last.
  std::optional<Finding> CheckCharges(Element root,
                                      const std::vector<Item>& items) {
    std::map<std::string, double> total;
    int charged = 0;
    for (const Item& item : items) {
      std::map<std::string, double> charges;
      for (Element info = Child(item.tx, "ChrgsInf"); info != nullptr;
           info = Child(item.tx, "ChrgsInf", info)) {
        const Element amount = Child(info, "Amt");
        if (amount == nullptr) continue;
        const std::string text = Trimmed(Text(amount));
        const std::optional<double> value = Number(text);
        if (!value) {
          Add("amount-unreadable", Severity::kWarning, amount,
              "bank charge " + Quoted(text) + " is not a number");
          continue;
        }
        xmlChar* currency = xmlGetProp(amount, BAD_CAST "Ccy");
        const std::string code = Trimmed(View(currency));
        xmlFree(currency);
        charges[code] += *value;
        total[code] += *value;
      }
      if (charges.empty()) continue;
      ++charged;
      const std::string who =
          item.id != nullptr ? Quoted(item.identifier) : "without identifier";
      Add("bank-charges", Severity::kInfo, item.tx,
          "item " + who + ": bank charges " + AmountsText(charges));
    }
    if (charged == 0) return std::nullopt;
    return Finding{"bank-charges-total", Severity::kInfo, PathOf(root),
                   xmlGetLineNo(root),
                   "bank charges of " + std::to_string(charged) +
                       " rejected items: " + AmountsText(total)};
  }

  void Add(const char* code, Severity severity, Element at,
           std::string message) {
    // One line, whatever the report or the database put in it.
    for (char& c : message) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    findings_.push_back(
        {code, severity, PathOf(at), xmlGetLineNo(at), std::move(message)});
  }

  // "/a/b[2]/c": qualified names from the root element, with the position
  // among siblings of the same name where there are several.
  std::string PathOf(Element element) {
    std::vector<const std::string*> steps;
    for (const xmlNode* node = element;
         node != nullptr && node->type == XML_ELEMENT_NODE;
         node = node->parent) {
      steps.push_back(&Step(node));
    }
    std::string path;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
      path.append("/").append(**step);
    }
    return path;
  }
  // Names every sibling of `node` at once, so that a report with thousands
  // of items is walked once, however many findings it gives.
  const std::string& Step(const xmlNode* node) {
    if (const auto found = steps_.find(node); found != steps_.end()) {
      return found->second;
    }
    const xmlNode* first =
        node->parent != nullptr ? node->parent->children : node;
    std::unordered_map<std::string, int> count;
    for (const xmlNode* n = first; n != nullptr; n = n->next) {
      if (n->type == XML_ELEMENT_NODE) ++count[QualifiedName(n)];
    }
    std::unordered_map<std::string, int> seen;
    for (const xmlNode* n = first; n != nullptr; n = n->next) {
      if (n->type != XML_ELEMENT_NODE) continue;
      std::string name = QualifiedName(n);
      const int position = ++seen[name];
      if (count[name] > 1) name += "[" + std::to_string(position) + "]";
      steps_.emplace(n, std::move(name));
    }
    return steps_.at(node);
  }

  Element Child(Element parent, std::string_view name,
                Element after = nullptr) const {
    return ChildElement(doc_, parent, name, after);
  }
  std::string Text(Element element) {
    return ElementText(element, entity_budget_);
  }

  const xmlDoc* doc_;
  const ReportBatch& batch_;
  size_t entity_budget_ = kEntityTextBudget;
  std::vector<Finding> findings_;
  std::unordered_map<const xmlNode*, std::string> steps_;
};

}  // namespace

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kInfo:
      break;
  }
  return "info";
}

std::vector<Finding> CheckStatusReport(const std::string& path,
                                       const ReportBatch& batch) {
  const Doc doc = LoadReport(path);
  if (!doc) return {};
  try {
    return Checker(doc.get(), batch).Run();
  } catch (const Error&) {
    // Only entity text beyond its budget raises here; LoadXml fails on it.
    return {};
  }
}

bool HasErrors(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& finding) {
                       return finding.severity == Severity::kError;
                     });
}

}  // namespace zsepa::status
