#ifndef ZSEPA_FRAMEWORK_COMPACT_TREE_H_
#define ZSEPA_FRAMEWORK_COMPACT_TREE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct _xmlDoc;

namespace zsepa::framework {

// The tree of a document the writers build: elements in one namespace (the
// root's, declared as the default namespace), each holding either child
// elements or a text, and at most one attribute. Every node and text lives in
// an arena owned by the tree and released with it, so building a file of
// millions of elements makes a few large allocations instead of millions of
// small ones. A node that is never linked into the tree stays in the arena,
// unreferenced, until the tree goes.
//
// Element names are not copied: a name must outlive the tree (the writers
// pass literals). Texts and attribute values are copied once, as they are;
// checking that XML can carry them is the builder's business.
// Memory for the arenas of compact trees, in blocks of at least 16 KiB,
// defined by the platform's adapter (on POSIX systems: anonymous mappings
// that the system may back with huge pages, which a tree of a hundred
// megabytes fills far faster than small pages). ArenaBlock raises
// std::bad_alloc; FreeArenaBlock takes what ArenaBlock gave, with its size.
void* ArenaBlock(size_t size);
void FreeArenaBlock(void* block, size_t size) noexcept;

class CompactTree {
 public:
  // An element: 24 bytes, followed in the arena by its content when it is
  // a leaf with a text or an attribute.
  struct Node {
    const char* tag = nullptr;
    Node* next = nullptr;   // next sibling
    Node* first = nullptr;  // first child, or Leaf() when content follows
  };

  // The text and attribute of a node, as stored.
  struct Content {
    std::string_view text;
    const char* attribute = nullptr;  // name, or nullptr without attribute
    std::string_view value;
  };

  explicit CompactTree(std::string_view namespace_uri);
  ~CompactTree();
  CompactTree(const CompactTree&) = delete;
  CompactTree& operator=(const CompactTree&) = delete;

  // A new element without children, text or attribute, not yet linked.
  Node* NewElement(const char* tag);
  // A new element with the text `text` and, when `attribute` is not nullptr,
  // the attribute `attribute`="`value`"; it never gets children.
  Node* NewLeaf(const char* tag, std::string_view text,
                const char* attribute = nullptr, std::string_view value = {});
  static const Node* FirstChild(const Node& node) {
    return node.first == Leaf() ? nullptr : node.first;
  }
  static Node* FirstChild(Node& node) {
    return node.first == Leaf() ? nullptr : node.first;
  }
  static bool IsLeaf(const Node& node) { return node.first == Leaf(); }
  static Content ContentOf(const Node& node);

  void SetRoot(Node* root) { root_ = root; }
  const Node* root() const { return root_; }
  Node* root() { return root_; }
  const std::string& namespace_uri() const { return namespace_uri_; }
  void set_namespace_uri(std::string_view uri) { namespace_uri_ = uri; }

  // Where the arena stands. Release(mark) gives back everything allocated
  // after Position() returned `mark`, to be reused by the nodes made next:
  // a document written while it is built keeps only the nodes not written
  // yet. Nothing made after the mark may be used again.
  struct Mark {
    size_t blocks = 0;
    unsigned char* free = nullptr;
    size_t left = 0;
    size_t own_blocks = 0;
  };
  Mark Position() const { return {used_, free_, left_, own_.size()}; }
  void Release(const Mark& mark);

  // A libxml2 tree with the same elements, texts, attribute and namespace,
  // built as the libxml2 builder builds it, for code that reads or validates
  // a tree. The caller owns the result (xmlFreeDoc). Raises std::bad_alloc.
  _xmlDoc* ToLibxml2() const;

 private:
  // The mark of a node whose content follows it.
  static Node* Leaf();
  void* Allocate(size_t size);
  // Makes the next block with room for `size` bytes the current one.
  void NextBlock(size_t size);

  std::string namespace_uri_;
  Node* root_ = nullptr;
  struct Block {
    void* memory;
    size_t size;
  };
  // The blocks that nodes are made in, in order: the first `used_` of them
  // are in use, the last of those is the current one, and the others are
  // kept for reuse after a Release. Large requests get blocks of their own.
  std::vector<Block> blocks_;
  size_t used_ = 0;
  std::vector<Block> own_;
  unsigned char* free_ = nullptr;
  size_t left_ = 0;
  size_t next_block_size_;
};

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_COMPACT_TREE_H_
