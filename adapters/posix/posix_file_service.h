#ifndef ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_
#define ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_

#include <cstddef>
#include <memory>
#include <string>

#include "zsepa/xml_file_service.h"

namespace zsepa::posix {

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

// The default file service on POSIX systems: saves atomically (temporary
// file in the target folder, write, flush to disk, rename over the target; on
// any failure the temporary file is removed and the target is untouched) and
// loads strictly (no network, no external entities, at most
// `max_load_bytes`). One service serves one thread at a time.
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
