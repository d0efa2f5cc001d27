#ifndef ZSEPA_FRAMEWORK_XML_DOCUMENT_H_
#define ZSEPA_FRAMEWORK_XML_DOCUMENT_H_

#include <memory>

#include "framework/compact_tree.h"
#include "zsepa/xml_file_service.h"

struct _xmlDoc;

namespace zsepa::framework {

// The tree behind an XmlDocument: a libxml2 tree (a loaded file), or the
// compact tree a writer built, from which a libxml2 tree is made the first
// time one is asked for.
struct XmlDocument::Impl {
  Impl() = default;
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  _xmlDoc* doc = nullptr;
  std::unique_ptr<CompactTree> compact;
};

// The document's libxml2 tree, made from its compact tree when it has one
// (raising std::bad_alloc when memory runs out); nullptr without a tree.
_xmlDoc* TreeOf(const XmlDocument& doc);
// The compact tree of a built document, or nullptr.
inline const CompactTree* CompactTreeOf(const XmlDocument& doc) {
  return doc.impl().compact.get();
}
// Takes ownership of `tree`, freeing the trees held before.
void ResetTree(XmlDocument& doc, _xmlDoc* tree = nullptr);
// Takes ownership of `tree`, freeing the trees held before.
void ResetTree(XmlDocument& doc, std::unique_ptr<CompactTree> tree);

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_XML_DOCUMENT_H_
