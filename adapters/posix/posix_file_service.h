#ifndef ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_
#define ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_

#include <sys/types.h>

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
  //
  // OpenTemp opens an unnamed file in `folder` for writing, closed on exec
  // (open with O_TMPFILE), created with `mode` less the umask. It fails with
  // EOPNOTSUPP, EISDIR or EINVAL where the system or the file system has no
  // unnamed files, or where Link could not give the file a name (no /proc);
  // the save then falls back to MakeTemp.
  virtual int OpenTemp(const std::string& folder, mode_t mode);
  // Link gives the unnamed file `fd` the name `path` (linkat through
  // /proc/self/fd, or AT_EMPTY_PATH without /proc); EEXIST when the name is
  // taken.
  virtual int Link(int fd, const std::string& path);
  // MakeTemp works as mkstemps: it replaces the last "XXXXXX" of
  // `path_template` with random letters and digits (whatever follows is kept
  // as a suffix), creates that file exclusively with `mode` less the umask,
  // opened for writing and closed on exec, and returns its descriptor, trying
  // other names while the chosen one is taken. The umask is applied by the
  // system: it is neither read nor changed. On failure `path_template` is
  // left as it was.
  virtual int MakeTemp(std::string& path_template, mode_t mode);
  virtual long Write(int fd, const void* data, size_t size);
  virtual int Sync(int fd);
  virtual int Chown(int fd, uid_t owner, gid_t group);  // fchown
  virtual int Chmod(int fd, mode_t mode);               // fchmod
  virtual int Close(int fd);
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Unlink(const std::string& path);
};

// The default file service on POSIX systems.
//
// Saves are atomic: the file is written in full, flushed to disk and then
// renamed over the target; on any failure the target is untouched and no
// temporary file remains. The file is written unnamed (O_TMPFILE) where the
// system allows, and named only for the instant between Link and Rename, so
// that a save killed at any moment leaves no temporary file behind; where
// unnamed files are refused it is written under its temporary name from the
// start. Temporary names are the target's name, cut at a character boundary
// so that the whole name fits the folder's name limit, followed by
// ".XXXXXX.tmp" (six random letters and digits). A temporary file of that
// form for the same target that no running save holds (one left by a killed
// save) is removed by the next successful save of the target.
//
// The target must be a regular file or not exist: a folder, a named pipe, a
// device or a socket is refused (kSaveFailed) before anything is written. A
// symbolic link (or a chain of them) is followed: the file it leads to is
// replaced, atomically in that file's folder, and the link is kept; a link
// that leads nowhere creates the file it names, whose folder must exist. A
// replaced file keeps its permission bits and, where the process may change
// them, its owner and group; a new file gets 0666 less the umask.
//
// Loads are strict (no network, no external entities, at most
// `max_load_bytes`, regular files only, opened without blocking). Saves are
// written by SerialiseXml, in the saved form whatever libxml2's serialiser
// settings are.
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
  // Starts the same save, written while the document is built.
  std::unique_ptr<framework::XmlSaveStream> BeginSave(
      const std::string& path) override;

 private:
  std::shared_ptr<FileOps> ops_;
  size_t max_load_bytes_;
};

}  // namespace zsepa::posix

#endif  // ZSEPA_ADAPTERS_POSIX_POSIX_FILE_SERVICE_H_
