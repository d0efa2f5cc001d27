#include "framework/xml_document.h"

#include <libxml/tree.h>

namespace zsepa::framework {

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}
XmlDocument::~XmlDocument() = default;

XmlDocument::Impl::~Impl() {
  if (doc != nullptr) xmlFreeDoc(doc);
}

_xmlDoc* TreeOf(const XmlDocument& doc) {
  XmlDocument::Impl& impl = doc.impl();
  if (impl.doc == nullptr && impl.compact != nullptr) {
    impl.doc = impl.compact->ToLibxml2();
  }
  return impl.doc;
}

void ResetTree(XmlDocument& doc, _xmlDoc* tree) {
  XmlDocument::Impl& impl = doc.impl();
  if (impl.doc != nullptr && impl.doc != tree) xmlFreeDoc(impl.doc);
  impl.doc = tree;
  impl.compact.reset();
}

void ResetTree(XmlDocument& doc, std::unique_ptr<CompactTree> tree) {
  ResetTree(doc);
  doc.impl().compact = std::move(tree);
}

}  // namespace zsepa::framework
