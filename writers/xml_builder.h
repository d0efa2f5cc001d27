#ifndef ZSEPA_WRITERS_XML_BUILDER_H_
#define ZSEPA_WRITERS_XML_BUILDER_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "framework/compact_tree.h"
#include "framework/xml_serialiser.h"
#include "zsepa/xml_file_service.h"

namespace zsepa::xml {

// The building conventions shared by the payment-file writers:
// NuovoDocumentoXml, AggiungiElemento and AggiungiImporto.
//
// A writer builds its tree bottom-up. A container is created with
// NuovoElemento, filled, and only then appended to its parent with Aggiungi;
// a container that is never appended (left out under a condition, or
// abandoned because a failure was raised) is simply not in the file. Leaves
// with text are appended to their parent at once.
//
// The tree is a framework::CompactTree: elements and texts are kept in the
// document's arena and released with the document, and the default file
// service writes the tree straight into the file. Element names are not
// copied: every `tag` must outlive the document (the writers pass literals).
//
// A document may also be written while it is built (ScriviDurante), so that
// it is never held whole in memory. A container that the writer fills after
// placing it is opened with Apri and ended with Chiudi; the root is open
// from the start. Whatever is appended to the innermost open element is
// written out at once, and every element made since the previous write is
// released: a writer builds one child of an open element at a time. A
// writer that opens its containers this way builds the same file whether the
// document is written while built or kept whole.
//
// Every element lives in the root's namespace, which is the default namespace
// of the file: no element carries a prefix and only the root declares the
// namespace. The document gets no "xml" processing instruction: the file
// service writes the declaration when it saves.
//
// Texts are stored as texts, never parsed as markup. A text (or
// attribute value) that XML 1.0 cannot carry (invalid UTF-8, control
// characters other than tab, CR and LF, U+FFFE, U+FFFF) is refused with
// codes::kInvalidXmlText and a message that names the element.

// An element of a document being built, until it is appended to a parent or
// set as the document's root (a moved-from Element is empty).
class Element {
 public:
  Element(Element&& other) noexcept
      : node_(std::exchange(other.node_, nullptr)),
        last_(std::exchange(other.last_, nullptr)),
        depth_(std::exchange(other.depth_, 0)) {}
  Element& operator=(Element&& other) noexcept {
    node_ = std::exchange(other.node_, nullptr);
    last_ = std::exchange(other.last_, nullptr);
    depth_ = std::exchange(other.depth_, 0);
    return *this;
  }
  Element(const Element&) = delete;
  Element& operator=(const Element&) = delete;
  ~Element() = default;

 private:
  friend class Documento;
  using Node = framework::CompactTree::Node;
  explicit Element(Node* node) : node_(node) {}

  Node* node_ = nullptr;
  Node* last_ = nullptr;  // last child, where the next one is linked
  int depth_ = 0;         // among the open elements (root 1), 0 when not open
};

// A document being built: the compact tree with its not yet attached root.
class Documento {
 public:
  // NuovoDocumentoXml: a new empty document and its root element `root_name`
  // in `namespace_uri` (declared as default namespace, no other attribute).
  // The root is attached to the document by Completa. Raises on failure.
  Documento(const char* root_name, std::string_view namespace_uri);
  ~Documento();
  Documento(const Documento&) = delete;
  Documento& operator=(const Documento&) = delete;

  Element& Radice() { return root_; }

  // A new, unattached element `tag` in the root's namespace.
  Element NuovoElemento(const char* tag);
  // AggiungiElemento: appends to `parent` a new element `tag` whose text is
  // `text` (an empty text gives an empty element).
  void AggiungiElemento(Element& parent, const char* tag,
                        std::string_view text = {});
  // AggiungiImporto: appends to `parent` a new element `tag` with exactly one
  // attribute "Ccy" = `currency` and the text FormattaImporto(`amount`).
  void AggiungiImporto(Element& parent, const char* tag, double amount,
                       std::string_view currency);
  // Appends the finished container `child` to `parent` as its last child.
  void Aggiungi(Element& parent, Element&& child);
  // Appends the container `child`, with the children it has so far, to the
  // innermost open element `parent` as its last child, and opens it: what
  // is appended to it until Chiudi follows those children.
  void Apri(Element& parent, Element& child);
  // Ends the innermost open element `element` (not the root).
  void Chiudi(Element& element);

  // From now on writes the document through `output` while it is built
  // instead of keeping it. Call before anything is appended to the root.
  void ScriviDurante(std::function<bool(std::string_view)> output);
  bool Scritto() const { return stream_ != nullptr; }
  // Ends the open elements and the root of a document written while built
  // and hands over the last bytes; false once `output` refused bytes.
  bool Termina();

  // Attaches the finished root of a document kept whole; the document is
  // then ready for saving. It stays owned by this object, which must outlive
  // every Element it made.
  const framework::XmlDocument& Completa();
  // The tree being built, for a rewrite once Completa has attached the root.
  framework::CompactTree& Tree() { return *tree_; }

 private:
  // Raises std::logic_error unless `element` is the innermost open one.
  void RequireInnermost(const Element& element) const;

  std::unique_ptr<framework::XmlDocument> doc_;
  framework::CompactTree* tree_ = nullptr;
  Element root_;
  int open_ = 1;  // open elements, the root included
  // While written as built: the serialiser, and the arena's position after
  // the root, to which it returns after every write.
  std::unique_ptr<framework::StreamSerialiser> stream_;
  framework::CompactTree::Mark mark_;
};

// Raises codes::kInvalidXmlText when `text` cannot be written as the text of
// element `tag` in an XML 1.0 file.
void VerificaTestoXml(std::string_view text, std::string_view tag);

}  // namespace zsepa::xml

#endif  // ZSEPA_WRITERS_XML_BUILDER_H_
