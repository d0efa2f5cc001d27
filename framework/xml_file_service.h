#ifndef ZSEPA_FRAMEWORK_XML_FILE_SERVICE_H_
#define ZSEPA_FRAMEWORK_XML_FILE_SERVICE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct _xmlDoc;

namespace zsepa::framework {

// Why a document could not be loaded. `errorCode` 0 means it loaded.
struct ParseError {
  int32_t errorCode = 0;
  std::string reason;
  std::string srcText;
  std::string url;
  int32_t line = 0;
};

// An XML document (owning a libxml2 tree) with the parse error of its load.
class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  _xmlDoc* get() const { return doc_; }
  // Takes ownership of `doc`, freeing the tree held before.
  void reset(_xmlDoc* doc = nullptr);

  ParseError& parseError() { return parse_error_; }
  const ParseError& parseError() const { return parse_error_; }

 private:
  _xmlDoc* doc_ = nullptr;
  ParseError parse_error_;
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
};

// The file-system calls that an atomic save makes; replaceable so that tests
// can make any of them fail.
class FileOps {
 public:
  virtual ~FileOps() = default;
  // Each returns what its POSIX namesake returns and sets errno likewise.
  // MakeTemp is mkstemps: it replaces the last "XXXXXX" of `path_template`
  // (whatever follows is kept as a suffix), creates that file exclusively
  // with the permissions of a newly created file (0666 less the umask) and
  // returns its descriptor.
  virtual int MakeTemp(std::string& path_template);
  virtual long Write(int fd, const void* data, size_t size);
  virtual int Sync(int fd);
  virtual int Close(int fd);
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Unlink(const std::string& path);
};

// The default service: saves atomically (temporary file in the target folder,
// write, flush to disk, rename over the target; on any failure the temporary
// file is removed and the target is untouched) and loads strictly (no network,
// no external entities, at most `max_load_bytes`).
class DefaultXmlFileService final : public XmlFileService {
 public:
  static constexpr size_t kDefaultMaxLoadBytes = 256u << 20;

  explicit DefaultXmlFileService(std::shared_ptr<FileOps> ops = nullptr,
                                 size_t max_load_bytes = kDefaultMaxLoadBytes);

  void Load(XmlDocument& doc, const std::string& path) override;
  void Save(const XmlDocument& doc, const std::string& path) override;

 private:
  std::shared_ptr<FileOps> ops_;
  size_t max_load_bytes_;
};

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_XML_FILE_SERVICE_H_
