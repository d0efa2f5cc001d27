// Builds a tree of the writers' kind from arbitrary bytes (elements named
// as the bank files name theirs, texts of any bytes XML can carry) and
// rewrites it under the bank-2026 profile for every file kind. Unless a
// finding refuses the file, what remains must be writable as the profile
// promises: no empty element, every text in the SEPA character set. A
// crash, a sanitizer's report, a slow input or a broken promise is a fault
// of the rewrite.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/compact_tree.h"
#include "writers/bank_profile.h"
#include "writers/xml_builder.h"
#include "zsepa/error.h"

namespace {

namespace writers = zsepa::writers;
using Tree = zsepa::framework::CompactTree;

constexpr const char* kTags[] = {
    "GrpHdr",      "InitgPty",     "Nm",         "PmtInf",
    "CdtTrfTxInf", "DrctDbtTxInf", "Cdtr",       "Dbtr",
    "UltmtDbtr",   "Id",           "OrgId",      "PrvtId",
    "Othr",        "Issr",         "BIC",        "BICOrBEI",
    "FinInstnId",  "CdtrAgt",      "DbtrAgt",    "RmtInf",
    "Ustrd",       "Purp",         "Cd",         "ReqdExctnDt",
    "PstlAdr",     "AdrTp",        "CdtrAcct",   "IBAN",
    "RgltryRptg",  "Dtls",         "Inf",        "CstmrCdtTrfInitn",
    "Amt",         "InstdAmt",     "ClrSysMmbId"};
constexpr size_t kTagCount = sizeof kTags / sizeof kTags[0];

constexpr writers::FileKind kKinds[] = {
    writers::FileKind::kCbiSepaCreditTransfer,
    writers::FileKind::kCbiCrossBorderTransfer,
    writers::FileKind::kIsoCreditTransfer, writers::FileKind::kCbiDirectDebit};

// Reads bytes one at a time; zero once they run out.
class Bytes {
 public:
  explicit Bytes(std::string_view data) : data_(data) {}
  bool More() const { return pos_ < data_.size(); }
  uint8_t Next() { return More() ? static_cast<uint8_t>(data_[pos_++]) : 0; }
  std::string_view Take(size_t n) {
    n = std::min(n, data_.size() - pos_);
    const std::string_view piece = data_.substr(pos_, n);
    pos_ += n;
    return piece;
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

// Builds the document: each step opens an element, adds a leaf (with a
// currency attribute now and then) or closes the open element.
void Build(Bytes& in, zsepa::xml::Documento& doc) {
  std::vector<zsepa::xml::Element> open;
  auto parent = [&]() -> zsepa::xml::Element& {
    return open.empty() ? doc.Radice() : open.back();
  };
  for (int steps = 0; in.More() && steps < 4096; ++steps) {
    const uint8_t op = in.Next();
    const char* tag = kTags[in.Next() % kTagCount];
    switch (op % 4) {
      case 0:
        if (open.size() < 64) open.push_back(doc.NuovoElemento(tag));
        break;
      case 1:
        doc.AggiungiElemento(parent(), tag, in.Take(in.Next() % 24));
        break;
      case 2:
        doc.AggiungiImporto(parent(), tag, in.Next(), in.Take(in.Next() % 4));
        break;
      default:
        if (!open.empty()) {
          zsepa::xml::Element child = std::move(open.back());
          open.pop_back();
          doc.Aggiungi(parent(), std::move(child));
        }
    }
  }
  while (!open.empty()) {
    zsepa::xml::Element child = std::move(open.back());
    open.pop_back();
    doc.Aggiungi(parent(), std::move(child));
  }
}

// Whether the subtree under `node` keeps the profile's promises.
bool Writable(const Tree::Node& node) {
  if (Tree::IsLeaf(node)) {
    const std::string_view text = Tree::ContentOf(node).text;
    return text.find_first_not_of(' ') != std::string_view::npos &&
           writers::ToSepaCharacters(text) == text;
  }
  const Tree::Node* child = Tree::FirstChild(node);
  if (child == nullptr) return false;
  for (; child != nullptr; child = child->next) {
    if (!Writable(*child)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const writers::FileKind kind : kKinds) {
    Bytes in(input);
    try {
      zsepa::xml::Documento doc("CBIPaymentRequest", "urn:fuzz");
      Build(in, doc);
      doc.Completa();
      std::vector<zsepa::Finding> findings;
      writers::RewriteForProfile(kind, doc.Tree(), findings);
      bool refused = false;
      for (const zsepa::Finding& f : findings) {
        refused |= f.severity == zsepa::Finding::Severity::kError;
      }
      const Tree::Node* root = doc.Tree().root();
      if (!refused && root != nullptr && Tree::FirstChild(*root) != nullptr) {
        for (const Tree::Node* child = Tree::FirstChild(*root);
             child != nullptr; child = child->next) {
          if (!Writable(*child)) std::abort();
        }
      }
    } catch (const zsepa::Error&) {
      // Text XML cannot carry: the builder refuses it before any rewrite.
    }
  }
  return 0;
}
