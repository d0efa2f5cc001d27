#include "framework/compact_tree.h"

#include <libxml/parser.h>  // xmlDictCreate, in every version
#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace zsepa::framework {
namespace {

// Arena blocks grow from the first size to the last, doubling; a request
// larger than a quarter of the last size gets a block of its own.
constexpr size_t kFirstBlockSize = 16u << 10;
constexpr size_t kLastBlockSize = 8u << 20;
constexpr size_t kAlignment = alignof(void*);
// A leaf's content starts with the text size and the value size, whose top
// bit says whether the attribute's name (a pointer) follows.
constexpr uint32_t kHasAttribute = 0x80000000u;
constexpr size_t kHeaderSize = 2 * sizeof(uint32_t);

const xmlChar* Chars(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

template <typename T>
T* Check(T* allocated) {
  if (allocated == nullptr) throw std::bad_alloc();
  return allocated;
}

struct DocDeleter {
  void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};

// A text node holding `text`, stored inside the node when short: see
// NewText in the libxml2 builder, whose trees these must equal.
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
  return Check(
      xmlNewDocTextLen(doc, Chars(text.data()), static_cast<int>(text.size())));
}

// Adds the subtree of `node` under `parent`.
void Copy(xmlDoc* doc, xmlNs* ns, xmlNode* parent,
          const CompactTree::Node& node) {
  for (const CompactTree::Node* child = CompactTree::FirstChild(node);
       child != nullptr; child = child->next) {
    xmlNode* element =
        Check(xmlNewDocNode(doc, ns, Chars(child->tag), nullptr));
    xmlAddChild(parent, element);
    const CompactTree::Content content = CompactTree::ContentOf(*child);
    if (content.attribute != nullptr) {
      const std::string value(content.value);
      Check(
          xmlNewProp(element, Chars(content.attribute), Chars(value.c_str())));
    }
    if (!content.text.empty()) xmlAddChild(element, NewText(doc, content.text));
    Copy(doc, ns, element, *child);
  }
}

}  // namespace

CompactTree::CompactTree(std::string_view namespace_uri)
    : namespace_uri_(namespace_uri), next_block_size_(kFirstBlockSize) {}

CompactTree::~CompactTree() {
  for (const Block& block : blocks_) FreeArenaBlock(block.memory, block.size);
  for (const Block& block : own_) FreeArenaBlock(block.memory, block.size);
}

void* CompactTree::Allocate(size_t size) {
  size = (size + kAlignment - 1) & ~(kAlignment - 1);
  if (size > left_) {
    if (size > kLastBlockSize / 4) {
      own_.reserve(own_.size() + 1);  // no block is lost if this throws
      const size_t own = std::max(size, kFirstBlockSize);
      own_.push_back({ArenaBlock(own), own});
      return own_.back().memory;
    }
    NextBlock(size);
  }
  void* result = free_;
  free_ += size;
  left_ -= size;
  return result;
}

void CompactTree::NextBlock(size_t size) {
  while (used_ < blocks_.size()) {
    const Block& block = blocks_[used_++];
    if (block.size >= size) {
      free_ = static_cast<unsigned char*>(block.memory);
      left_ = block.size;
      return;
    }
  }
  blocks_.reserve(blocks_.size() + 1);  // no block is lost if this throws
  const size_t block_size = next_block_size_;
  next_block_size_ = std::min(next_block_size_ * 2, kLastBlockSize);
  blocks_.push_back({ArenaBlock(block_size), block_size});
  used_ = blocks_.size();
  free_ = static_cast<unsigned char*>(blocks_.back().memory);
  left_ = block_size;
}

void CompactTree::Release(const Mark& mark) {
  while (own_.size() > mark.own_blocks) {
    FreeArenaBlock(own_.back().memory, own_.back().size);
    own_.pop_back();
  }
  used_ = mark.blocks;
  free_ = mark.free;
  left_ = mark.left;
}

CompactTree::Node* CompactTree::Leaf() {
  static Node leaf;
  return &leaf;
}

CompactTree::Node* CompactTree::NewElement(const char* tag) {
  Node* node = new (Allocate(sizeof(Node))) Node;
  node->tag = tag;
  return node;
}

CompactTree::Node* CompactTree::NewLeaf(const char* tag, std::string_view text,
                                        const char* attribute,
                                        std::string_view value) {
  if (text.empty() && attribute == nullptr) return NewElement(tag);
  constexpr size_t kMaxSize = std::numeric_limits<uint32_t>::max() >> 1;
  if (text.size() > kMaxSize || value.size() > kMaxSize) {
    throw std::bad_alloc();
  }
  static_assert(sizeof(Node) % kAlignment == 0);
  const size_t name_size = attribute != nullptr ? sizeof attribute : 0;
  auto* bytes = static_cast<unsigned char*>(Allocate(
      sizeof(Node) + kHeaderSize + name_size + text.size() + value.size()));
  Node* node = new (bytes) Node;
  node->tag = tag;
  node->first = Leaf();
  bytes += sizeof(Node);
  const auto text_size = static_cast<uint32_t>(text.size());
  const uint32_t value_word = static_cast<uint32_t>(value.size()) |
                              (attribute != nullptr ? kHasAttribute : 0);
  std::memcpy(bytes, &text_size, sizeof text_size);
  std::memcpy(bytes + sizeof text_size, &value_word, sizeof value_word);
  unsigned char* at = bytes + kHeaderSize;
  if (attribute != nullptr) {
    std::memcpy(at, &attribute, sizeof attribute);
    at += sizeof attribute;
  }
  if (!text.empty()) std::memcpy(at, text.data(), text.size());
  if (!value.empty()) std::memcpy(at + text.size(), value.data(), value.size());
  return node;
}

CompactTree::Content CompactTree::ContentOf(const Node& node) {
  Content content;
  if (node.first != Leaf()) return content;
  const auto* bytes = reinterpret_cast<const unsigned char*>(&node + 1);
  uint32_t text_size = 0;
  uint32_t value_word = 0;
  std::memcpy(&text_size, bytes, sizeof text_size);
  std::memcpy(&value_word, bytes + sizeof text_size, sizeof value_word);
  const unsigned char* at = bytes + kHeaderSize;
  if ((value_word & kHasAttribute) != 0) {
    std::memcpy(&content.attribute, at, sizeof content.attribute);
    at += sizeof content.attribute;
  }
  const auto* chars = reinterpret_cast<const char*>(at);
  content.text = std::string_view(chars, text_size);
  content.value =
      std::string_view(chars + text_size, value_word & ~kHasAttribute);
  return content;
}

_xmlDoc* CompactTree::ToLibxml2() const {
  std::unique_ptr<xmlDoc, DocDeleter> doc(Check(xmlNewDoc(Chars("1.0"))));
  doc->dict = Check(xmlDictCreate());
  if (root_ == nullptr) return doc.release();
  xmlNode* root =
      Check(xmlNewDocNode(doc.get(), nullptr, Chars(root_->tag), nullptr));
  xmlDocSetRootElement(doc.get(), root);
  xmlNs* ns = Check(xmlNewNs(root, Chars(namespace_uri_.c_str()), nullptr));
  xmlSetNs(root, ns);
  Copy(doc.get(), ns, root, *root_);
  return doc.release();
}

}  // namespace zsepa::framework
