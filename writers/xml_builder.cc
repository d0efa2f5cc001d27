#include "writers/xml_builder.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "base/utf8.h"
#include "format/formatting.h"
#include "framework/xml_document.h"
#include "zsepa/error.h"

namespace zsepa::xml {
namespace {

// The characters XML 1.0 allows: tab, LF, CR, U+0020..U+D7FF,
// U+E000..U+FFFD, U+10000..U+10FFFF.
bool IsXmlChar(char32_t cp) {
  if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
  if (cp <= 0xD7FF) return true;
  if (cp < 0xE000) return false;
  if (cp <= 0xFFFD) return true;
  return cp >= 0x10000 && cp <= 0x10FFFF;
}

[[noreturn]] void RaiseInvalidText(std::string_view tag,
                                   const std::string& what) {
  throw Error(codes::kInvalidXmlText, "SaveXML()",
              "Il testo dell'elemento \"" + std::string(tag) + "\" " + what +
                  ": il file XML non può essere scritto");
}

}  // namespace

void VerificaTestoXml(std::string_view text, std::string_view tag) {
  size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte >= 0x20 && byte < 0x80) {  // the common case: printable ASCII
      ++pos;
      continue;
    }
    const size_t start = pos;
    const char32_t cp = utf8::Next(text, pos);
    if (cp == 0xFFFD && pos - start == 1) {
      RaiseInvalidText(tag, "non e' UTF-8 valido");
    }
    if (!IsXmlChar(cp)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
      RaiseInvalidText(tag, std::string("contiene il carattere ") + code +
                                ", non ammesso in XML");
    }
  }
}

Documento::Documento(const char* root_name, std::string_view namespace_uri)
    : doc_(std::make_unique<framework::XmlDocument>()), root_(nullptr) {
  VerificaTestoXml(namespace_uri, root_name);
  auto tree = std::make_unique<framework::CompactTree>(namespace_uri);
  tree_ = tree.get();
  framework::ResetTree(*doc_, std::move(tree));
  root_ = Element(tree_->NewElement(root_name));
  root_.depth_ = 1;
}

Documento::~Documento() = default;

Element Documento::NuovoElemento(const char* tag) {
  return Element(tree_->NewElement(tag));
}

void Documento::AggiungiElemento(Element& parent, const char* tag,
                                 std::string_view text) {
  VerificaTestoXml(text, tag);
  Aggiungi(parent, Element(tree_->NewLeaf(tag, text)));
}

void Documento::AggiungiImporto(Element& parent, const char* tag, double amount,
                                std::string_view currency) {
  VerificaTestoXml(currency, tag);
  Aggiungi(parent, Element(tree_->NewLeaf(tag, FormattaImporto(Variant(amount)),
                                          "Ccy", currency)));
}

void Documento::Aggiungi(Element& parent, Element&& child) {
  Element::Node* node = std::exchange(child.node_, nullptr);
  child.last_ = nullptr;
  if (parent.depth_ != 0) RequireInnermost(parent);
  if (node == nullptr) return;
  if (stream_ != nullptr && parent.depth_ != 0) {
    stream_->Append(*node);
    tree_->Release(mark_);
    return;
  }
  if (parent.node_ == nullptr) return;
  if (parent.last_ != nullptr) {
    parent.last_->next = node;
  } else {
    parent.node_->first = node;
  }
  parent.last_ = node;
}

void Documento::Apri(Element& parent, Element& child) {
  RequireInnermost(parent);
  if (child.node_ == nullptr) throw std::logic_error("Apri: no element");
  if (stream_ != nullptr) {
    stream_->Open(*child.node_, tree_->namespace_uri());
    tree_->Release(mark_);
    child.node_ = nullptr;
    child.last_ = nullptr;
  } else if (parent.last_ != nullptr) {
    parent.last_ = parent.last_->next = child.node_;
  } else {
    parent.last_ = parent.node_->first = child.node_;
  }
  child.depth_ = ++open_;
}

void Documento::Chiudi(Element& element) {
  RequireInnermost(element);
  if (open_ == 1) throw std::logic_error("Chiudi: the root stays open");
  if (stream_ != nullptr) stream_->Close();
  element.node_ = nullptr;
  element.last_ = nullptr;
  element.depth_ = 0;
  --open_;
}

void Documento::RequireInnermost(const Element& element) const {
  if (element.depth_ != open_) {
    throw std::logic_error("not the innermost open element");
  }
}

void Documento::ScriviDurante(std::function<bool(std::string_view)> output) {
  if (root_.node_->first != nullptr || open_ != 1) {
    throw std::logic_error("ScriviDurante: the document is under way");
  }
  stream_ = std::make_unique<framework::StreamSerialiser>(std::move(output));
  stream_->Open(*root_.node_, tree_->namespace_uri());
  mark_ = tree_->Position();
}

bool Documento::Termina() {
  for (; open_ > 0; --open_) stream_->Close();
  return stream_->Flush();
}

const framework::XmlDocument& Documento::Completa() {
  tree_->SetRoot(std::exchange(root_.node_, nullptr));
  root_.last_ = nullptr;
  return *doc_;
}

}  // namespace zsepa::xml
