#ifndef ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_
#define ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_

#include <cstddef>
#include <memory>
#include <string>

#include "zsepa/xml_file_service.h"

namespace zsepa::posix {

// The file-system calls that an atomic save makes; replaceable so that tests
// can make any of them fail. The default calls keep no state and may be made
// from any thread.
class FileOps {
 public:
  virtual ~FileOps() = default;
  // Each returns what its POSIX namesake returns and sets errno likewise.
  // MakeTemp works as mkstemps: it replaces the last "XXXXXX" of
  // `path_template` with random letters and digits (whatever follows is kept
  // as a suffix), creates that file exclusively, opened for writing and
  // closed on exec, and returns its descriptor, trying other names while the
  // chosen one is taken. The file gets the permissions of any newly created
  // file, 0666 less the umask, applied by the system: the umask is neither
  // read nor changed. On failure `path_template` is left as it was.
  virtual int MakeTemp(std::string& path_template);
  virtual long Write(int fd, const void* data, size_t size);
  virtual int Sync(int fd);
  virtual int Close(int fd);
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Unlink(const std::string& path);
};

// The default file service on POSIX systems: saves atomically (temporary
// file in the target folder, write, flush to disk, rename over the target; on
// any failure the temporary file is removed and the target is untouched) and
// loads strictly (no network, no external entities, at most
// `max_load_bytes`). Saves are written by SerialiseXml, in the saved form
// whatever libxml2's serialiser settings are.
//
// One service serves one thread at a time. Services on different threads do
// not disturb each other nor the host: a save changes no process-wide state
// (umask, libxml2 settings or error handlers) and a load changes only the
// calling thread's libxml2 "last error", which it puts back.
class PosixXmlFileService final : public framework::XmlFileService {
 public:
  static constexpr size_t kDefaultMaxLoadBytes = 256u << 20;

  explicit PosixXmlFileService(std::shared_ptr<FileOps> ops = nullptr,
                               size_t max_load_bytes = kDefaultMaxLoadBytes);

  void Load(framework::XmlDocument& doc, const std::string& path) override;
  void Save(const framework::XmlDocument& doc,
            const std::string& path) override;

 private:
  std::shared_ptr<FileOps> ops_;
  size_t max_load_bytes_;
};

}  // namespace zsepa::posix

#endif  // ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_
