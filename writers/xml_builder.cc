#include "writers/xml_builder.h"

#include <libxml/parser.h>  // xmlDictCreate, in every version
#include <libxml/tree.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "base/utf8.h"
#include "format/formatting.h"
#include "framework/xml_document.h"
#include "zsepa/error.h"

namespace zsepa::xml {
namespace {

const xmlChar* Chars(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

template <typename T>
T* Check(T* allocated) {
  if (allocated == nullptr) throw std::bad_alloc();
  return allocated;
}

// The characters XML 1.0 allows: tab, LF, CR, U+0020..U+D7FF,
// U+E000..U+FFFD, U+10000..U+10FFFF.
bool IsXmlChar(char32_t cp) {
  if (cp < 0x20) return cp == 0x09 || cp == 0x0A || cp == 0x0D;
  if (cp <= 0xD7FF) return true;
  if (cp < 0xE000) return false;
  if (cp <= 0xFFFD) return true;
  return cp >= 0x10000 && cp <= 0x10FFFF;
}

// A text node holding `text`. A text shorter than two pointers is stored
// inside the node itself, in the attribute and namespace slots that a text
// node does not use, exactly as libxml2's parser does for compact trees
// (XML_PARSE_COMPACT; libxml2 never frees content stored there). This saves
// an allocation for most values of a bank file: codes, amounts, identifiers.
xmlNode* NewText(xmlDoc* doc, std::string_view text) {
  constexpr size_t kInline = 2 * sizeof(void*);
  if (text.size() < kInline) {
    xmlNode* node = Check(xmlNewDocTextLen(doc, nullptr, 0));
    auto* inline_text = reinterpret_cast<xmlChar*>(&node->properties);
    std::memcpy(inline_text, text.data(), text.size());
    inline_text[text.size()] = 0;
    node->content = inline_text;
    return node;
  }
  return Check(xmlNewDocTextLen(doc,
                                reinterpret_cast<const xmlChar*>(text.data()),
                                static_cast<int>(text.size())));
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

Element::Element(Element&& other) noexcept
    : node_(std::exchange(other.node_, nullptr)) {}

Element& Element::operator=(Element&& other) noexcept {
  if (this != &other) {
    Free();
    node_ = std::exchange(other.node_, nullptr);
  }
  return *this;
}

Element::~Element() { Free(); }

void Element::Free() noexcept {
  if (node_ != nullptr) xmlFreeNode(node_);
  node_ = nullptr;
}

Documento::Documento(const char* root_name, std::string_view namespace_uri)
    : doc_(std::make_unique<framework::XmlDocument>()), root_(nullptr) {
  framework::ResetTree(*doc_, Check(xmlNewDoc(Chars("1.0"))));
  xmlDoc* doc = framework::TreeOf(*doc_);
  // Element names are shared through the document's dictionary instead of
  // being copied into every node.
  doc->dict = Check(xmlDictCreate());
  VerificaTestoXml(namespace_uri, root_name);
  root_ =
      Element(Check(xmlNewDocNode(doc, nullptr, Chars(root_name), nullptr)));
  const std::string uri(namespace_uri);
  ns_ = Check(xmlNewNs(root_.node_, Chars(uri.c_str()), nullptr));
  xmlSetNs(root_.node_, ns_);
}

Documento::~Documento() = default;

Element Documento::NuovoElemento(const char* tag) {
  return Element(
      Check(xmlNewDocNode(framework::TreeOf(*doc_), ns_, Chars(tag), nullptr)));
}

void Documento::AggiungiElemento(Element& parent, const char* tag,
                                 std::string_view text) {
  VerificaTestoXml(text, tag);
  Element child = NuovoElemento(tag);
  if (!text.empty())
    xmlAddChild(child.node_, NewText(framework::TreeOf(*doc_), text));
  Aggiungi(parent, std::move(child));
}

void Documento::AggiungiImporto(Element& parent, const char* tag, double amount,
                                std::string_view currency) {
  VerificaTestoXml(currency, tag);
  Element child = NuovoElemento(tag);
  const std::string value(currency);
  Check(xmlNewProp(child.node_, Chars("Ccy"), Chars(value.c_str())));
  const std::string text = FormattaImporto(Variant(amount));
  if (!text.empty())
    xmlAddChild(child.node_, NewText(framework::TreeOf(*doc_), text));
  Aggiungi(parent, std::move(child));
}

void Documento::Aggiungi(Element& parent, Element&& child) {
  // xmlAddChild only merges adjacent text nodes; elements are always linked.
  xmlAddChild(parent.node_, std::exchange(child.node_, nullptr));
}

const framework::XmlDocument& Documento::Completa() {
  xmlDocSetRootElement(framework::TreeOf(*doc_),
                       std::exchange(root_.node_, nullptr));
  return *doc_;
}

}  // namespace zsepa::xml
