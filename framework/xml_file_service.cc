#include "framework/xml_file_service.h"

#include <libxml/tree.h>

#include "model/error.h"

namespace zsepa::framework {

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() { reset(); }

void XmlDocument::reset(_xmlDoc* doc) {
  if (doc_ != nullptr) xmlFreeDoc(doc_);
  doc_ = doc;
}

DefaultXmlFileService::DefaultXmlFileService(std::shared_ptr<FileOps> ops,
                                             size_t max_load_bytes)
    : ops_(ops ? std::move(ops) : std::make_shared<FileOps>()),
      max_load_bytes_(max_load_bytes) {}

void DefaultXmlFileService::Load(XmlDocument& doc, const std::string& path) {
  doc.reset();
  doc.parseError() = {1, "not implemented", "", path, 0};
}

void DefaultXmlFileService::Save(const XmlDocument&, const std::string&) {
  throw Error(codes::kSaveFailed, "Save", "not implemented");
}

int FileOps::MakeTemp(std::string&) { return -1; }
long FileOps::Write(int, const void*, size_t) { return -1; }
int FileOps::Sync(int) { return -1; }
int FileOps::Close(int) { return -1; }
int FileOps::Rename(const std::string&, const std::string&) { return -1; }
int FileOps::Unlink(const std::string&) { return -1; }

}  // namespace zsepa::framework
