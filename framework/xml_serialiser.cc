#include "framework/xml_serialiser.h"

#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "framework/compact_tree.h"

namespace zsepa::framework {
namespace {

constexpr std::string_view kDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
// Two spaces a level; deeper levels get the indentation of the deepest one,
// as in libxml2.
// The characters Escaped replaces: & < > and CR always, " TAB LF in
// attribute values too.
constexpr std::array<bool, 256> ToEscape(bool in_attribute) {
  std::array<bool, 256> table{};
  for (const char c : {'&', '<', '>', '\r'})
    table[static_cast<unsigned char>(c)] = true;
  if (in_attribute) {
    for (const char c : {'"', '\t', '\n'})
      table[static_cast<unsigned char>(c)] = true;
  }
  return table;
}
constexpr std::array<bool, 256> kEscapeInText = ToEscape(false);
constexpr std::array<bool, 256> kEscapeInAttribute = ToEscape(true);

constexpr size_t kMaxIndentLevels = 30;
constexpr char kIndent[] =
    "                                                            ";
static_assert(sizeof kIndent - 1 == 2 * kMaxIndentLevels);

std::string_view Text(const xmlChar* text) {
  return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text))
                         : std::string_view();
}

bool IsXInclude(const xmlNode& node) {
  return node.type == XML_XINCLUDE_START || node.type == XML_XINCLUDE_END;
}

// An element holding text, CDATA or an entity reference is written inline,
// its content as it is.
bool HoldsText(const xmlNode& element) {
  for (const xmlNode* child = element.children; child != nullptr;
       child = child->next) {
    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE ||
        child->type == XML_ENTITY_REF_NODE) {
      return true;
    }
  }
  return false;
}

struct BufferDeleter {
  void operator()(xmlBuffer* buffer) const noexcept { xmlBufferFree(buffer); }
};

class Serialiser {
 public:
  explicit Serialiser(const std::function<bool(std::string_view)>& output)
      : output_(output), buffer_(new char[kSerialiserPieceSize]) {}

  bool Document(const xmlDoc& doc) {
    Put(kDeclaration);
    for (const xmlNode* child = doc.children; child != nullptr && !failed_;
         child = child->next) {
      if (child->type == XML_DTD_NODE) {
        DocumentType(doc, *child);
      } else {
        Tree(*child);
      }
      if (!IsXInclude(*child)) Put('\n');
    }
    Flush();
    return !failed_;
  }

  bool Document(const CompactTree& tree) {
    Put(kDeclaration);
    Element(*tree.root(), 0, true, &tree.namespace_uri());
    Put('\n');
    Flush();
    return !failed_;
  }

 protected:
  // An element of a compact tree and its subtree. The layout rule is the
  // one Tree applies: an element with text is written inline, to its end.
  void Element(const CompactTree::Node& node, int level, bool indented,
               const std::string* namespace_uri = nullptr) {
    const std::string_view tag(node.tag);
    const CompactTree::Content content = StartTag(node, namespace_uri);
    const CompactTree::Node* first = CompactTree::FirstChild(node);
    if (content.text.empty() && first == nullptr) {
      Put("/>");
      return;
    }
    Put('>');
    Escaped(content.text, false);
    const bool layout = indented && content.text.empty();
    if (layout) Put('\n');
    for (const CompactTree::Node* child = first; child != nullptr && !failed_;
         child = child->next) {
      if (layout) Indent(level + 1);
      Element(*child, level + 1, layout);
      if (layout) Put('\n');
    }
    if (layout) Indent(level);
    Put("</");
    Put(tag);
    Put('>');
  }

  // "<tag", the namespace declaration and the attribute of `node`; returns
  // its content.
  CompactTree::Content StartTag(const CompactTree::Node& node,
                                const std::string* namespace_uri) {
    const CompactTree::Content content = CompactTree::ContentOf(node);
    Put('<');
    Put(std::string_view(node.tag));
    if (namespace_uri != nullptr) {
      Put(" xmlns=\"");
      Escaped(*namespace_uri, true);
      Put('"');
    }
    if (content.attribute != nullptr) {
      Put(' ');
      Put(std::string_view(content.attribute));
      Put("=\"");
      Escaped(content.value, true);
      Put('"');
    }
    return content;
  }

  void Flush() {
    if (used_ == 0 || failed_) return;
    failed_ = !output_(std::string_view(buffer_.get(), used_));
    used_ = 0;
  }

  void Put(std::string_view bytes) {
    while (!bytes.empty() && !failed_) {
      if (used_ == kSerialiserPieceSize) Flush();
      const size_t part = std::min(bytes.size(), kSerialiserPieceSize - used_);
      std::memcpy(buffer_.get() + used_, bytes.data(), part);
      used_ += part;
      bytes.remove_prefix(part);
    }
  }

  void Put(char byte) {
    if (used_ == kSerialiserPieceSize) Flush();
    if (!failed_) buffer_[used_++] = byte;
  }

  void Indent(int level) {
    Put(std::string_view(
        kIndent, 2 * std::min(static_cast<size_t>(level), kMaxIndentLevels)));
  }

  // `text` with the characters that need it escaped: & < > and CR always;
  // in attribute values also " TAB and LF, which would otherwise be read
  // back as spaces.
  void Escaped(std::string_view text, bool in_attribute) {
    const std::array<bool, 256>& escape =
        in_attribute ? kEscapeInAttribute : kEscapeInText;
    size_t plain = 0;
    for (size_t pos = 0; pos < text.size(); ++pos) {
      if (!escape[static_cast<unsigned char>(text[pos])]) continue;
      std::string_view entity;
      switch (text[pos]) {
        case '&':
          entity = "&amp;";
          break;
        case '<':
          entity = "&lt;";
          break;
        case '>':
          entity = "&gt;";
          break;
        case '\r':
          entity = "&#13;";
          break;
        case '"':
          if (in_attribute) entity = "&quot;";
          break;
        case '\t':
          if (in_attribute) entity = "&#9;";
          break;
        case '\n':
          if (in_attribute) entity = "&#10;";
          break;
        default:
          break;
      }
      if (entity.empty()) continue;
      Put(text.substr(plain, pos - plain));
      Put(entity);
      plain = pos + 1;
    }
    Put(text.substr(plain));
  }

  void QualifiedName(const xmlNs* ns, const xmlChar* name) {
    if (ns != nullptr && ns->prefix != nullptr) {
      Put(Text(ns->prefix));
      Put(':');
    }
    Put(Text(name));
  }

  void NamespaceDeclaration(const xmlNs& ns) {
    if (ns.type != XML_LOCAL_NAMESPACE || ns.href == nullptr ||
        Text(ns.prefix) == "xml") {
      return;
    }
    Put(" xmlns");
    if (ns.prefix != nullptr) {
      Put(':');
      Put(Text(ns.prefix));
    }
    Put("=\"");
    Escaped(Text(ns.href), true);
    Put('"');
  }

  void Attribute(const xmlAttr& attribute) {
    Put(' ');
    QualifiedName(attribute.ns, attribute.name);
    Put("=\"");
    for (const xmlNode* part = attribute.children; part != nullptr;
         part = part->next) {
      if (part->type == XML_TEXT_NODE) {
        Escaped(Text(part->content), true);
      } else if (part->type == XML_ENTITY_REF_NODE) {
        EntityReference(*part);
      }
    }
    Put('"');
  }

  void EntityReference(const xmlNode& node) {
    Put('&');
    Put(Text(node.name));
    Put(';');
  }

  // CDATA content never holds "]]>": a section is closed after "]]" and the
  // rest goes into the next one.
  void CData(std::string_view content) {
    if (content.empty()) {
      Put("<![CDATA[]]>");
      return;
    }
    size_t split;
    while ((split = content.find("]]>")) != std::string_view::npos) {
      Put("<![CDATA[");
      Put(content.substr(0, split + 2));
      Put("]]>");
      content.remove_prefix(split + 2);
    }
    Put("<![CDATA[");
    Put(content);
    Put("]]>");
  }

  // The declarations of a document type are written by libxml2 without
  // layout, so its serialiser settings do not matter there.
  void DocumentType(const xmlDoc& doc, const xmlNode& dtd) {
    std::unique_ptr<xmlBuffer, BufferDeleter> buffer(xmlBufferCreate());
    if (buffer == nullptr) throw std::bad_alloc();
    // The dump only reads the tree; the library does not take it as const.
    if (xmlNodeDump(buffer.get(), const_cast<xmlDoc*>(&doc),
                    const_cast<xmlNode*>(&dtd), 0, 0) < 0) {
      throw std::bad_alloc();
    }
    Put(std::string_view(
        reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
        static_cast<size_t>(xmlBufferLength(buffer.get()))));
  }

  // Writes the node `top` and its subtree, walking the tree without
  // recursion. `indented` holds while the layout applies; it stops below the
  // first element holding text and starts again after that element.
  void Tree(const xmlNode& top) {
    bool indented = true;
    const xmlNode* inline_from = nullptr;
    int level = 0;
    const xmlNode* node = &top;
    while (!failed_) {
      const bool indent = node != &top && indented;
      switch (node->type) {
        case XML_ELEMENT_NODE:
          if (indent) Indent(level);
          Put('<');
          QualifiedName(node->ns, node->name);
          for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
            NamespaceDeclaration(*ns);
          }
          for (const xmlAttr* attribute = node->properties;
               attribute != nullptr; attribute = attribute->next) {
            Attribute(*attribute);
          }
          if (node->children == nullptr) {
            Put("/>");
            break;
          }
          if (indented && HoldsText(*node)) {
            indented = false;
            inline_from = node;
          }
          Put('>');
          if (indented) Put('\n');
          ++level;
          node = node->children;
          continue;
        case XML_TEXT_NODE:
          Escaped(Text(node->content), false);
          break;
        case XML_CDATA_SECTION_NODE:
          CData(Text(node->content));
          break;
        case XML_ENTITY_REF_NODE:
          EntityReference(*node);
          break;
        case XML_COMMENT_NODE:
          if (indent) Indent(level);
          if (node->content != nullptr) {
            Put("<!--");
            Put(Text(node->content));
            Put("-->");
          }
          break;
        case XML_PI_NODE:
          if (indent) Indent(level);
          Put("<?");
          Put(Text(node->name));
          if (node->content != nullptr) {
            Put(' ');
            Put(Text(node->content));
          }
          Put("?>");
          break;
        default:  // nothing else belongs in an element's content
          break;
      }
      // On to the next sibling, closing the elements that end here.
      for (;;) {
        if (node == &top) return;
        if (indented && !IsXInclude(*node)) Put('\n');
        if (node->next != nullptr) {
          node = node->next;
          break;
        }
        node = node->parent;
        if (level > 0) --level;
        if (indented) Indent(level);
        Put("</");
        QualifiedName(node->ns, node->name);
        Put('>');
        if (node == inline_from) {
          indented = true;
          inline_from = nullptr;
        }
      }
    }
  }

  const std::function<bool(std::string_view)>& output_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace

// The serialiser of a document written while it is built: the tags of the
// open elements, root first, and whether the innermost one's start tag is
// complete (it has a child).
class StreamSerialiser::Impl : public Serialiser {
 public:
  using Serialiser::Serialiser;

  void Open(const CompactTree::Node& node, const std::string& namespace_uri) {
    if (open_.empty()) {
      Put(kDeclaration);
    } else {
      CompleteStartTag();
      Indent(Level());
    }
    StartTag(node, open_.empty() ? &namespace_uri : nullptr);
    open_.push_back(node.tag);
    started_ = false;
    for (const CompactTree::Node* child = CompactTree::FirstChild(node);
         child != nullptr; child = child->next) {
      Append(*child);
    }
  }

  void Append(const CompactTree::Node& node) {
    CompleteStartTag();
    Indent(Level());
    Element(node, Level(), true);
    Put('\n');
  }

  void Close() {
    const char* tag = open_.back();
    open_.pop_back();
    if (started_) {
      Indent(Level());
      Put("</");
      Put(std::string_view(tag));
      Put('>');
    } else {
      Put("/>");
    }
    Put('\n');
    started_ = true;
  }

  bool Finish() {
    Flush();
    return !failed_;
  }

 private:
  // The level of the next child of the innermost open element.
  int Level() const { return static_cast<int>(open_.size()); }
  void CompleteStartTag() {
    if (!started_) Put(">\n");
    started_ = true;
  }

  std::vector<const char*> open_;
  bool started_ = true;
};

StreamSerialiser::StreamSerialiser(std::function<bool(std::string_view)> output)
    : output_(std::move(output)), impl_(std::make_unique<Impl>(output_)) {}

StreamSerialiser::~StreamSerialiser() = default;

void StreamSerialiser::Open(const CompactTree::Node& node,
                            const std::string& namespace_uri) {
  impl_->Open(node, namespace_uri);
}

void StreamSerialiser::Append(const CompactTree::Node& node) {
  impl_->Append(node);
}

void StreamSerialiser::Close() { impl_->Close(); }

bool StreamSerialiser::Flush() { return impl_->Finish(); }

bool SerialiseXml(const xmlDoc& doc,
                  const std::function<bool(std::string_view)>& output) {
  return Serialiser(output).Document(doc);
}

bool SerialiseXml(const CompactTree& tree,
                  const std::function<bool(std::string_view)>& output) {
  return Serialiser(output).Document(tree);
}

}  // namespace zsepa::framework
