#include "framework/xml_document.h"

#include <libxml/tree.h>

namespace zsepa::framework {

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}
XmlDocument::~XmlDocument() = default;

XmlDocument::Impl::~Impl() {
  if (doc != nullptr) xmlFreeDoc(doc);
}

void ResetTree(XmlDocument& doc, _xmlDoc* tree) {
  XmlDocument::Impl& impl = doc.impl();
  if (impl.doc != nullptr && impl.doc != tree) xmlFreeDoc(impl.doc);
  impl.doc = tree;
}

}  // namespace zsepa::framework
