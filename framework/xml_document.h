#ifndef ZSEPA_FRAMEWORK_XML_DOCUMENT_H_
#define ZSEPA_FRAMEWORK_XML_DOCUMENT_H_

#include "zsepa/xml_file_service.h"

struct _xmlDoc;

namespace zsepa::framework {

// The libxml2 tree behind an XmlDocument.
struct XmlDocument::Impl {
  Impl() = default;
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  _xmlDoc* doc = nullptr;
};

inline _xmlDoc* TreeOf(const XmlDocument& doc) { return doc.impl().doc; }
// Takes ownership of `tree`, freeing the tree held before.
void ResetTree(XmlDocument& doc, _xmlDoc* tree = nullptr);

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_XML_DOCUMENT_H_
