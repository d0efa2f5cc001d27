#include "writers/bank_profile.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/required.h"
#include "base/utf8.h"
#include "format/formatting.h"
#include "zsepa/error.h"

namespace zsepa::writers {
namespace {

using Node = framework::CompactTree::Node;
using Severity = Finding::Severity;

// Free-text address lines carry at most this many characters.
constexpr size_t kAddressLineLength = 70;

void Report(std::vector<Finding>& findings, Severity severity, const char* code,
            const FilePlace& place, std::string field, std::string value,
            std::string written, std::string message) {
  Finding& finding = findings.emplace_back();
  finding.code = code;
  finding.severity = severity;
  finding.block = place.block;
  finding.transaction = place.transaction;
  finding.field = std::move(field);
  finding.value = std::move(value);
  finding.written = std::move(written);
  finding.message = std::move(message);
}

// The non-blank fields of an address, joined by ", ", for a finding.
std::string Describe(std::initializer_list<std::string_view> fields) {
  std::string text;
  for (std::string_view field : fields) {
    const std::string trimmed = RTrimSpaces(field);
    if (trimmed.empty()) continue;
    if (!text.empty()) text += ", ";
    text += trimmed;
  }
  return text;
}

// Replacements of U+00C0..U+00FF ("." for the two signs among them).
constexpr std::array<const char*, 64> kLatin1 = {
    "A", "A", "A", "A", "A",  "A",  "AE", "C", "E", "E", "E",  "E", "I",
    "I", "I", "I", "D", "N",  "O",  "O",  "O", "O", "O", ".",  "O", "U",
    "U", "U", "U", "Y", "TH", "ss", "a",  "a", "a", "a", "a",  "a", "ae",
    "c", "e", "e", "e", "e",  "i",  "i",  "i", "i", "d", "n",  "o", "o",
    "o", "o", "o", ".", "o",  "u",  "u",  "u", "u", "y", "th", "y"};
// Base letters of U+0100..U+017F; '*' marks the ligatures handled apart.
constexpr std::string_view kLatinExtendedA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlLlLlNnNnN"
    "nnNnOoOoOo**RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

bool InSepaSet(char32_t cp) {
  if ((cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') ||
      (cp >= '0' && cp <= '9')) {
    return true;
  }
  return cp < 0x80 &&
         std::string_view("/-?:().,'+ ").find(static_cast<char>(cp)) !=
             std::string_view::npos;
}

void AppendReplacement(char32_t cp, std::string& out) {
  if (cp >= 0xC0 && cp <= 0xFF) {
    out += kLatin1[cp - 0xC0];
    return;
  }
  if (cp >= 0x100 && cp <= 0x17F) {
    const char base = kLatinExtendedA[cp - 0x100];
    if (base != '*') {
      out += base;
      return;
    }
    static constexpr std::pair<char32_t, const char*> kLigatures[] = {
        {0x132, "IJ"}, {0x133, "ij"}, {0x152, "OE"}, {0x153, "oe"}};
    for (const auto& [ligature, text] : kLigatures) {
      if (ligature == cp) out += text;
    }
    return;
  }
  switch (cp) {
    case '&':
      out += '+';
      return;
    case '\t':
    case '\n':
    case '\r':
      out += ' ';
      return;
    case '"':
    case 0x2018:  // ‘ ’ « » “ ”
    case 0x2019:
    case 0xAB:
    case 0xBB:
    case 0x201C:
    case 0x201D:
      out += '\'';
      return;
    case 0x2013:  // – —
    case 0x2014:
      out += '-';
      return;
    default:
      out += '.';
  }
}

// The countries of the European Economic Area.
constexpr std::string_view kEea[] = {
    "AT", "BE", "BG", "CY", "CZ", "DE", "DK", "EE", "ES", "FI",
    "FR", "GR", "HR", "HU", "IE", "IS", "IT", "LI", "LT", "LU",
    "LV", "MT", "NL", "NO", "PL", "PT", "RO", "SE", "SI", "SK"};

// One file kind's version of its format.
struct KindRules {
  FileKind kind;
  const char* namespace_uri;  // nullptr: unchanged
  bool current_names;         // "BICFI", "ReqdExctnDt/Dt", "AdrTp/Cd"
  bool iban_only;             // the creditor's account must be an IBAN
  // The creditor's agent is required, the creditor's identification is the
  // BIC or another one, never both.
  bool cross_border;
};

constexpr KindRules kRules[] = {
    {FileKind::kCbiSepaCreditTransfer, "urn:CBI:xsd:CBIPaymentRequest.00.04.01",
     true, true, false},
    {FileKind::kCbiCrossBorderTransfer, nullptr, false, true, true},
    {FileKind::kIsoCreditTransfer,
     "urn:iso:std:iso:20022:tech:xsd:pain.001.001.09", true, false, false},
    {FileKind::kCbiDirectDebit, "urn:CBI:xsd:CBISDDReqLogMsg.00.01.01", true,
     true, false},
};

// Empty elements the format lets us leave out, by the end of their path. A
// container emptied this way is looked up in turn; an empty element found
// nowhere here is mandatory, and the file is refused.
constexpr std::string_view kOptional[] = {"RmtInf/Ustrd",
                                          "RmtInf",
                                          "Purp/Cd",
                                          "Purp",
                                          "Othr/Issr",
                                          "InitgPty/Nm",
                                          "FinInstnId/BIC",
                                          "Cdtr/Id/OrgId/Othr/Id",
                                          "Cdtr/Id/PrvtId/Othr/Id",
                                          "Cdtr/Id/OrgId/Othr",
                                          "Cdtr/Id/PrvtId/Othr",
                                          "Cdtr/Id/OrgId/BICOrBEI",
                                          "Cdtr/Id/PrvtId/BICOrBEI",
                                          "Cdtr/Id/OrgId",
                                          "Cdtr/Id/PrvtId",
                                          "Cdtr/Id",
                                          "RgltryRptg/Dtls/Cd",
                                          "RgltryRptg/Dtls/Inf",
                                          "RgltryRptg/Dtls",
                                          "RgltryRptg",
                                          "UltmtDbtr/Nm",
                                          "UltmtDbtr"};
// Optional but for the cross-border file, whose creditor agent is required.
constexpr std::string_view kOptionalCreditorAgent[] = {"CdtrAgt/FinInstnId",
                                                       "CdtrAgt"};
// Optional in the direct-debit file's transactions only.
constexpr std::string_view kOptionalDebtorAgent[] = {"DbtrAgt/FinInstnId",
                                                     "DbtrAgt"};

bool EndsWithPath(std::string_view path, std::string_view suffix) {
  if (path.size() < suffix.size() || !path.ends_with(suffix)) return false;
  return path.size() == suffix.size() ||
         path[path.size() - suffix.size() - 1] == '/';
}

template <size_t N>
bool Matches(std::string_view path, const std::string_view (&suffixes)[N]) {
  return std::any_of(
      std::begin(suffixes), std::end(suffixes),
      [path](std::string_view s) { return EndsWithPath(path, s); });
}

// The text of `node`, or of its first leaf down the first children.
std::string FirstText(const Node& node) {
  const Node* leaf = &node;
  while (!framework::CompactTree::IsLeaf(*leaf)) {
    leaf = framework::CompactTree::FirstChild(*leaf);
    if (leaf == nullptr) return "";
  }
  return std::string(framework::CompactTree::ContentOf(*leaf).text);
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

class Rewriter {
 public:
  Rewriter(const KindRules& rules, framework::CompactTree& tree,
           std::vector<Finding>& findings)
      : rules_(rules), tree_(tree), findings_(findings) {}

  void Run() {
    Node* root = tree_.root();
    if (root == nullptr) return;
    if (rules_.namespace_uri != nullptr) {
      tree_.set_namespace_uri(rules_.namespace_uri);
    }
    Children(*root, "");
    if (block_ == 0) {
      Refuse("MANDATORY_EMPTY", "PmtInf",
             "the file holds no payment group, which every file needs");
    }
  }

 private:
  // Visits the children of `parent` (whose path is `path`), removing the
  // ones that are left out.
  void Children(Node& parent, const std::string& path) {
    Node* previous = nullptr;
    for (Node* child = framework::CompactTree::FirstChild(parent);
         child != nullptr;) {
      Node* next = child->next;
      Node* kept = Visit(*child, path);
      if (kept == nullptr) {
        (previous != nullptr ? previous->next : parent.first) = next;
      } else {
        if (kept != child) {
          kept->next = next;
          (previous != nullptr ? previous->next : parent.first) = kept;
        }
        previous = kept;
      }
      child = next;
    }
  }

  // The node to keep in place of `node` (itself or a copy with a new text),
  // or nullptr to leave it out.
  Node* Visit(Node& node, const std::string& parent_path) {
    // Paths start again below a group and below a transaction record; a
    // group's own elements are counted outside its transactions.
    const std::string_view tag = node.tag;
    std::string path;
    if (tag == "PmtInf") {
      ++block_;
      transaction_in_block_ = false;
    } else if (tag == "CdtTrfTxInf" || tag == "DrctDbtTxInf") {
      ++transaction_;
      transaction_in_block_ = true;
    } else if (tag != "CstmrCdtTrfInitn") {
      path = parent_path.empty() ? std::string(tag)
                                 : parent_path + "/" + std::string(tag);
    }
    return framework::CompactTree::IsLeaf(node) ? Leaf(node, path)
                                                : Container(node, path);
  }

  FilePlace Here(std::string_view path) const {
    return {block_, transaction_in_block_ ? transaction_ : 0, path};
  }

  Node* Leaf(Node& node, const std::string& path) {
    const framework::CompactTree::Content content =
        framework::CompactTree::ContentOf(node);
    if (content.attribute != nullptr && IsBlank(content.value)) {
      Refuse("MANDATORY_EMPTY", path + "@" + content.attribute,
             std::string("\"") + node.tag + "\" has no \"" + content.attribute +
                 "\"");
    }
    // Codes are never padded; a text of blanks (or of characters that
    // become blanks) is an empty element.
    std::string text = ToSepaCharacters(content.text);
    if (std::string_view(node.tag) == "Cd") text = RTrimSpaces(text);
    if (IsBlank(text)) return Empty(node, path, true);
    Node* kept = &node;
    if (text != content.text) {
      Report(findings_, Severity::kWarning, "TEXT_TRANSLITERATED", Here(path),
             path, std::string(content.text), text,
             "written in the SEPA character set");
      kept = tree_.NewLeaf(node.tag, text, content.attribute, content.value);
    }
    Rename(*kept, path);
    return kept;
  }

  Node* Container(Node& node, const std::string& path) {
    const bool had_children =
        framework::CompactTree::FirstChild(node) != nullptr;
    Children(node, path);
    if (rules_.cross_border) ChooseCreditorIdentification(node, path);
    if (rules_.iban_only && EndsWithPath(path, "CdtrAcct/Id")) {
      const Node* account = framework::CompactTree::FirstChild(node);
      if (account != nullptr && std::string_view(account->tag) == "Othr") {
        const Node* id = framework::CompactTree::FirstChild(*account);
        Refuse("ACCOUNT_NOT_IBAN", path,
               "the creditor's account is not an IBAN, the only account this "
               "file takes",
               id != nullptr
                   ? std::string(framework::CompactTree::ContentOf(*id).text)
                   : "");
      }
    }
    if (framework::CompactTree::FirstChild(node) == nullptr) {
      return Empty(node, path, !had_children);
    }
    return &node;
  }

  // An empty element: left out when the format allows it (reported when
  // the exact file carried it empty), else refused.
  Node* Empty(const Node& node, const std::string& path, bool report) {
    const bool optional =
        Matches(path, kOptional) ||
        (!rules_.cross_border && Matches(path, kOptionalCreditorAgent)) ||
        (rules_.kind == FileKind::kCbiDirectDebit && transaction_in_block_ &&
         Matches(path, kOptionalDebtorAgent));
    if (!optional) {
      Refuse("MANDATORY_EMPTY", path,
             std::string("\"") + node.tag + "\" is required and has no value");
    } else if (report) {
      Report(findings_, Severity::kWarning, "ELEMENT_LEFT_OUT", Here(path),
             path, "", "", "empty in the exact file: left out");
    }
    return nullptr;
  }

  // The creditor's identification in the cross-border file: the BIC or the
  // other identification, as the schema's choice allows, and no BIC for a
  // private person.
  void ChooseCreditorIdentification(Node& node, const std::string& path) {
    const bool organisation = EndsWithPath(path, "Cdtr/Id/OrgId");
    if (!organisation && !EndsWithPath(path, "Cdtr/Id/PrvtId")) return;
    Node* bic = framework::CompactTree::FirstChild(node);
    if (bic == nullptr || std::string_view(bic->tag) != "BICOrBEI") return;
    Node* other = bic->next;
    if (other == nullptr) return;
    Node* dropped = organisation ? other : bic;
    const std::string dropped_path = path + "/" + dropped->tag;
    Report(findings_, Severity::kWarning, "ELEMENT_LEFT_OUT",
           Here(dropped_path), dropped_path, FirstText(*dropped), "",
           organisation ? "the creditor is identified by its BIC alone: the "
                          "schema takes the BIC or another identification"
                        : "a private person's identification carries no BIC");
    if (organisation) {
      bic->next = nullptr;
    } else {
      node.first = other;
    }
  }

  // The names of the current version: "BICFI" for an agent's BIC, the date
  // in "Dt", the address type in "Cd".
  void Rename(Node& leaf, const std::string& path) {
    if (!rules_.current_names) return;
    if (EndsWithPath(path, "FinInstnId/BIC")) {
      leaf.tag = "BICFI";
    } else if (path == "ReqdExctnDt" || EndsWithPath(path, "PstlAdr/AdrTp")) {
      const framework::CompactTree::Content content =
          framework::CompactTree::ContentOf(leaf);
      Node* inner =
          tree_.NewLeaf(path == "ReqdExctnDt" ? "Dt" : "Cd", content.text);
      leaf.first = inner;
    }
  }

  void Refuse(const char* code, std::string path, std::string message,
              std::string value = "") {
    Report(findings_, Severity::kError, code, Here(path), path,
           std::move(value), "", std::move(message));
  }

  const KindRules& rules_;
  framework::CompactTree& tree_;
  std::vector<Finding>& findings_;
  int32_t block_ = 0;
  int32_t transaction_ = 0;
  bool transaction_in_block_ = false;
};

}  // namespace

std::string ToSepaCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const char32_t cp = utf8::Next(text, pos);
    if (InSepaSet(cp)) {
      out += static_cast<char>(cp);
    } else {
      AppendReplacement(cp, out);
    }
  }
  return out;
}

bool IsInEea(std::string_view country) {
  return std::find(std::begin(kEea), std::end(kEea), country) != std::end(kEea);
}

void ProfileAddress(xml::Documento& doc, xml::Element& party,
                    const AddressFields& fields, ExactAddress exact,
                    const FilePlace& place, std::vector<Finding>& findings) {
  const std::string street = RTrimSpaces(fields.street);
  const std::string town = RTrimSpaces(fields.town);
  const std::string country = RTrimSpaces(fields.country);
  const std::string line = RTrimSpaces(fields.line);
  const std::string field = std::string(place.path);
  const std::string described =
      Describe({fields.street, fields.building, fields.postcode, fields.town,
                fields.province, fields.country, fields.line});
  if (town.empty() || country.empty()) {
    if (country.empty() || IsInEea(country)) {
      Report(findings, Severity::kWarning, "ADDRESS_LEFT_OUT", place, field,
             described, "",
             "no town or no country: the address is left out, as SEPA "
             "allows for a counterparty in the EEA");
    } else {
      Report(findings, Severity::kError, "ADDRESS_TOWN_MISSING", place, field,
             described, "",
             "a counterparty outside the EEA needs at least its town and "
             "country");
    }
    return;
  }
  xml::Element address = doc.NuovoElemento("PstlAdr");
  if (fields.type != nullptr)
    doc.AggiungiElemento(address, "AdrTp", fields.type);
  const bool hybrid = street.empty() && !line.empty();
  const std::pair<const char*, std::string_view> elements[] = {
      {"StrtNm", fields.street},        {"BldgNb", fields.building},
      {"PstCd", fields.postcode},       {"TwnNm", fields.town},
      {"CtrySubDvsn", fields.province}, {"Ctry", fields.country}};
  for (const auto& [tag, value] : elements) {
    const std::string text = RTrimSpaces(value);
    if (!text.empty()) doc.AggiungiElemento(address, tag, text);
  }
  const std::string written_line =
      hybrid ? RTrimSpaces(utf8::Left(line, kAddressLineLength)) : "";
  if (hybrid) doc.AggiungiElemento(address, "AdrLine", written_line);
  doc.Aggiungi(party, std::move(address));
  if (hybrid) {
    Report(findings, Severity::kWarning, "ADDRESS_HYBRID", place, field,
           described, Describe({written_line, fields.town, fields.country}),
           "written as a hybrid address: town and country in their own "
           "elements, the street as a free-text line");
  } else if (exact != ExactAddress::kStructured) {
    Report(findings, Severity::kWarning, "ADDRESS_STRUCTURED", place, field,
           described,
           Describe({fields.street, fields.building, fields.postcode,
                     fields.town, fields.province, fields.country}),
           "written as a structured address");
  }
}

DocumentSave::DocumentSave(const WriteContext& context, xml::Documento& doc,
                           const std::string& PercorsoFile)
    : context_(context), doc_(doc), path_(PercorsoFile) {
  // The bank-2026 profile rewrites the finished tree; without a file
  // service the save fails at the end, as it always has.
  if (context.profile != FileProfile::kExact || context.files == nullptr) {
    return;
  }
  try {
    stream_ = context.files->BeginSave(PercorsoFile);
  } catch (...) {
    failure_ = std::current_exception();
    // Built all the same, with its bytes dropped: a failure of the build
    // comes first.
    doc.ScriviDurante([](std::string_view) { return false; });
    return;
  }
  if (stream_ != nullptr) {
    doc.ScriviDurante([stream = stream_.get()](std::string_view bytes) {
      return stream->Write(bytes);
    });
  }
}

DocumentSave::~DocumentSave() = default;

void DocumentSave::Complete() {
  if (doc_.Scritto()) {
    doc_.Termina();
    if (failure_) std::rethrow_exception(failure_);
    stream_->Commit();
    return;
  }
  const framework::XmlDocument& document = doc_.Completa();
  if (context_.profile == FileProfile::kBank2026) {
    std::vector<Finding>& findings = Required(context_.findings);
    RewriteForProfile(
        KindOf(context_.FormatoFile, context_.CodiceIsoLocalizzazione),
        doc_.Tree(), findings);
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) {
                       return std::pair(a.block, a.transaction) <
                              std::pair(b.block, b.transaction);
                     });
    const auto refused = std::find_if(
        findings.begin(), findings.end(),
        [](const Finding& f) { return f.severity == Severity::kError; });
    if (refused != findings.end()) {
      const auto count = std::count_if(
          refused, findings.end(),
          [](const Finding& f) { return f.severity == Severity::kError; });
      std::string where = refused->field;
      if (refused->transaction != 0) {
        where += " della transazione " + std::to_string(refused->transaction);
      }
      throw Error(codes::kProfileRefused, "SaveXML()",
                  "Profilo bank-2026: il file non e' stato scritto, " +
                      std::to_string(count) +
                      " elementi non ammessi; il primo: " + where + " (" +
                      refused->message + ")");
    }
  }
  context_.Files().Save(document, path_);
}

void RewriteForProfile(FileKind kind, framework::CompactTree& tree,
                       std::vector<Finding>& findings) {
  const KindRules* rules =
      std::find_if(std::begin(kRules), std::end(kRules),
                   [kind](const KindRules& r) { return r.kind == kind; });
  Rewriter(*rules, tree, findings).Run();
}

}  // namespace zsepa::writers

namespace zsepa {

std::string_view ProfileName(FileProfile profile) {
  return profile == FileProfile::kBank2026 ? "bank-2026" : "exact";
}

std::optional<FileProfile> ProfileNamed(std::string_view name) {
  for (FileProfile profile : {FileProfile::kExact, FileProfile::kBank2026}) {
    if (ProfileName(profile) == name) return profile;
  }
  return std::nullopt;
}

}  // namespace zsepa
