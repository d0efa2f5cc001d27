#ifndef ZSEPA_XML_FILE_SERVICE_H_
#define ZSEPA_XML_FILE_SERVICE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zsepa::framework {

// Why a document could not be loaded. `errorCode` 0 means it loaded.
struct ParseError {
  int32_t errorCode = 0;
  std::string reason;
  std::string srcText;
  std::string url;
  int32_t line = 0;
};

// An XML document with the parse error of its load. The tree itself is the
// library's own (Impl, defined privately); hosts only pass documents between
// the builder and a file service.
class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  ParseError& parseError() { return parse_error_; }
  const ParseError& parseError() const { return parse_error_; }

  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
  ParseError parse_error_;
};

// A save whose bytes are handed over while the document is being built.
// Destroyed without a successful Commit, it leaves nothing behind: the
// target is untouched and no temporary file remains.
class XmlSaveStream {
 public:
  virtual ~XmlSaveStream() = default;
  // Appends the next bytes of the file. Returns false once a write has
  // failed; later bytes are dropped and Commit raises the failure.
  virtual bool Write(std::string_view bytes) = 0;
  // Completes the save: the whole file replaces the target, or zsepa::Error
  // is raised as Save raises it (for a failed write too) and nothing
  // changes.
  virtual void Commit() = 0;
};

// Loads and saves XML documents for the builder (writers save, the status
// reader loads).
class XmlFileService {
 public:
  virtual ~XmlFileService() = default;
  // Loads `path` into `doc`. Never throws: a missing, unreadable, too large or
  // malformed file leaves `doc` without a tree and a non-zero
  // parseError().errorCode with reason, source text, URL and the line of the
  // first error.
  virtual void Load(XmlDocument& doc, const std::string& path) = 0;
  // Writes `doc` to `path` as a UTF-8 XML file (declaration, root, tree).
  // Either the whole file replaces the target or nothing changes; raises
  // zsepa::Error on failure.
  virtual void Save(const XmlDocument& doc, const std::string& path) = 0;
  // Starts a save of `path` that is written while its document is built, so
  // that the whole document is never held in memory, or returns nullptr
  // where the service saves whole documents only (the default): the builder
  // then builds the whole document and calls Save. Raises zsepa::Error as
  // Save does when the save cannot start; the builder raises that error once
  // the document is built, where Save would have.
  virtual std::unique_ptr<XmlSaveStream> BeginSave(const std::string& path) {
    (void)path;
    return nullptr;
  }
};

// The platform's default service: on POSIX systems it saves atomically
// (temporary file in the target folder, write, flush to disk, rename over the
// target; on any failure the temporary file is removed and the target is
// untouched) and loads strictly (no network, no external entities, at most
// 256 MiB).
std::unique_ptr<XmlFileService> NewDefaultXmlFileService();

}  // namespace zsepa::framework

#endif  // ZSEPA_XML_FILE_SERVICE_H_
