#include "adapters/posix/posix_file_service.h"

#include <dirent.h>
#include <fcntl.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "adapters/posix/regular_file.h"
#include "framework/strict_parse.h"
#include "framework/xml_document.h"
#include "framework/xml_serialiser.h"
#include "zsepa/error.h"

namespace zsepa::posix {

using framework::ParseError;
using framework::XmlDocument;
namespace {

constexpr char kSaveSource[] = "ServizioFileXml.Save";

Error SaveError(const std::string& path, const std::string& why) {
  return Error(codes::kSaveFailed, kSaveSource,
               "Impossibile salvare il file '" + path + "': " + why);
}

// The temporary file of one save: closed, and removed when it has a name,
// unless the save committed it by renaming it over the target. From the
// moment it is adopted until the save ends, a second descriptor holds a lock
// on it, which tells other saves' cleanup that the file is in use (Close
// releases the first descriptor before the rename).
class TempFile {
 public:
  explicit TempFile(FileOps& ops) : ops_(ops) {}
  ~TempFile() {
    // Cleanup after a failure that is already being reported; its own
    // errors cannot be reported any better.
    if (!committed_ && !path_.empty()) ops_.Unlink(path_);
    if (fd_ >= 0) ops_.Close(fd_);
    if (lock_fd_ >= 0) ::close(lock_fd_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Takes the new file's descriptor and its name ("" while unnamed).
  void Adopt(int fd, std::string path) {
    fd_ = fd;
    path_ = std::move(path);
    lock_fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    // Best effort: without the lock only another save's cleanup could
    // remove the named file before it is renamed.
    if (lock_fd_ >= 0) ::flock(lock_fd_, LOCK_EX | LOCK_NB);
  }
  void Named(std::string path) { path_ = std::move(path); }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // The descriptor is closed by the caller from now on, whatever the outcome:
  // after a failed close it must not be closed again.
  int ReleaseFd() { return std::exchange(fd_, -1); }
  void Commit() { committed_ = true; }

 private:
  FileOps& ops_;
  int fd_ = -1;
  int lock_fd_ = -1;
  std::string path_;
  bool committed_ = false;
};

// Writes every byte, going on after short writes; false with errno set on
// failure.
bool WriteAll(FileOps& ops, int fd, const char* data, size_t size) {
  while (size > 0) {
    const long written = ops.Write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0 || static_cast<size_t>(written) > size) {
      // A write that makes no progress would loop for ever.
      errno = EIO;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// The part of a temporary name that MakeTemp fills in, and how many names it
// tries before giving up (each try that finds its name taken is followed by
// another random name).
constexpr std::string_view kTempMarker = "XXXXXX";
constexpr int kMaxTempAttempts = 100;
// What follows the target's name, cut to fit, in a temporary name.
constexpr std::string_view kTempSuffix = ".XXXXXX.tmp";
// Symbolic links followed from a target before giving up, as the system
// does for a path.
constexpr int kMaxLinks = 40;
// Unnamed-file errors that mean the system or the file system has none.
bool NoUnnamedFiles(int error_number) {
  return error_number == EOPNOTSUPP || error_number == EISDIR ||
         error_number == EINVAL;
}

// 64 random bits from the system's random source or, where it cannot be
// read, from the clock and a counter: the exclusive create keeps any name
// safe, randomness only makes a taken name unlikely.
unsigned long long TempNameBits() {
  try {
    std::random_device source;
    return (static_cast<unsigned long long>(source()) << 32) ^ source();
  } catch (const std::exception&) {
    static std::atomic<unsigned long long> counter{0};
    unsigned long long bits =
        static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (counter.fetch_add(1) << 40) ^
        (static_cast<unsigned long long>(::getpid()) << 20);
    // splitmix64's finaliser spreads the bits over the whole word.
    bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
    bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
    return bits ^ (bits >> 31);
  }
}

// Six letters and digits over `name`, as mkstemp chooses them.
void FillTempName(char* name) {
  static constexpr char kChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  constexpr unsigned kCount = sizeof kChars - 1;
  unsigned long long bits = TempNameBits();
  for (size_t i = 0; i < kTempMarker.size(); ++i) {
    name[i] = kChars[bits % kCount];
    bits /= kCount;
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// `path` up to its last slash, included ("" without one): what names a file
// beside it.
std::string FolderPrefix(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The longest name a file in `folder` may have.
size_t NameMax(const std::string& folder) {
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
}

// What comes before kTempSuffix in the temporary names of target `base`: the
// name itself, or where name and suffix together would pass `name_max`, as
// much of it as fits without splitting a UTF-8 character.
std::string TempStem(const std::string& base, size_t name_max) {
  if (base.size() + kTempSuffix.size() <= name_max) return base;
  size_t keep =
      name_max > kTempSuffix.size() ? name_max - kTempSuffix.size() : 0;
  while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  return base.substr(0, keep);
}

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9');
}

// Whether `name` is a temporary name of the target whose stem is `stem`.
bool IsTempName(std::string_view name, std::string_view stem) {
  if (name.size() != stem.size() + kTempSuffix.size() ||
      name.substr(0, stem.size()) != stem) {
    return false;
  }
  const std::string_view suffix = name.substr(stem.size());
  const size_t marker = kTempSuffix.find(kTempMarker);
  for (size_t i = 0; i < suffix.size(); ++i) {
    const bool random = i >= marker && i < marker + kTempMarker.size();
    if (random ? !IsLetterOrDigit(suffix[i]) : suffix[i] != kTempSuffix[i]) {
      return false;
    }
  }
  return true;
}

// A temporary file that no save holds: a regular file (not followed if it is
// a link) that can be locked.
bool Abandoned(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return false;
  }
  const int fd =
      ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool abandoned = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                         ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return abandoned;
}

// Removes the temporary files of the target whose stem is `stem` that saves
// killed before their end left in `folder`. Best effort, like the rest of
// what follows a successful rename.
void RemoveAbandoned(FileOps& ops, const std::string& folder,
                     const std::string& prefix, const std::string& stem) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (IsTempName(entry->d_name, stem)) names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
  }
  for (const std::string& name : names) {
    const std::string path = prefix + name;
    if (Abandoned(path)) ops.Unlink(path);
  }
}

// Makes the rename itself durable. Best effort: the target is already
// replaced, so a failure here cannot be undone and is not reported.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The file a save replaces: the path given with its symbolic links followed.
struct Target {
  std::string path;
  bool exists = false;
  struct stat info {};
};

// Follows the symbolic links from `path`; a link that leads nowhere gives
// the path it names, which does not exist. Returns 0 or an errno value.
int ResolveTarget(const std::string& path, Target& target) {
  std::string current = path;
  for (int links = 0;; ++links) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return errno;
      target = Target{std::move(current), false, {}};
      return 0;
    }
    if (!S_ISLNK(info.st_mode)) {
      target = Target{std::move(current), true, info};
      return 0;
    }
    if (links == kMaxLinks) return ELOOP;
    std::string to(PATH_MAX, '\0');
    const ssize_t length = ::readlink(current.c_str(), to.data(), to.size());
    if (length < 0) return errno;
    if (length == 0) return ENOENT;
    if (static_cast<size_t>(length) == to.size()) return ENAMETOOLONG;
    to.resize(static_cast<size_t>(length));
    current = to.front() == '/' ? std::move(to) : FolderPrefix(current) + to;
  }
}

// Gives the unnamed file `fd` a random name from `path_template`; works as
// MakeTemp does.
int LinkTemp(FileOps& ops, int fd, std::string& path_template) {
  const size_t marker = path_template.rfind(kTempMarker);
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    FillTempName(path_template.data() + marker);
    if (ops.Link(fd, path_template) == 0) return 0;
    if (errno != EEXIST && errno != EINTR) break;
  }
  const int error = errno;
  path_template.replace(marker, kTempMarker.size(), kTempMarker);
  errno = error;
  return -1;
}

// One save: from construction, which raises the save's error, the target
// is resolved and the temporary file is open with the target's owner and
// permission bits; Commit flushes it to disk and renames it over the target.
// Destroyed before that, it removes the temporary file.
class PosixSave final : public framework::XmlSaveStream {
 public:
  PosixSave(std::shared_ptr<FileOps> ops, std::string path)
      : ops_(std::move(ops)), path_(std::move(path)), temp_(*ops_) {
    if (const int error = ResolveTarget(path_, target_)) {
      throw SaveError(path_, SystemMessage(error));
    }
    if (target_.exists && !S_ISREG(target_.info.st_mode)) {
      const std::string why = NotRegularReason(target_.info.st_mode);
      throw SaveError(path_,
                      target_.path == path_
                          ? why
                          : "porta a '" + target_.path + "', che " + why);
    }
    folder_ = FolderOf(target_.path);
    prefix_ = FolderPrefix(target_.path);
    stem_ = TempStem(BaseOf(target_.path), NameMax(folder_));
    // The new file is never more open than the one it replaces, not even
    // until Chmod below.
    const mode_t create_mode =
        target_.exists ? target_.info.st_mode & 0777 : 0666;
    if (const int fd = ops_->OpenTemp(folder_, create_mode); fd >= 0) {
      temp_.Adopt(fd, "");
    } else if (!NoUnnamedFiles(errno)) {
      throw SaveError(path_, SystemMessage(errno));
    } else {
      std::string temp_path = prefix_ + stem_ + std::string(kTempSuffix);
      const int named_fd = ops_->MakeTemp(temp_path, create_mode);
      if (named_fd < 0) throw SaveError(path_, SystemMessage(errno));
      temp_.Adopt(named_fd, std::move(temp_path));
    }
    if (target_.exists) {
      // Owner and group first: a change of owner clears the set-user-ID and
      // set-group-ID bits. A process that may not give the file away keeps
      // the group where it may, and otherwise the file becomes its own.
      const uid_t owner = target_.info.st_uid;
      const gid_t group = target_.info.st_gid;
      auto refused = [] { return errno == EPERM || errno == EINVAL; };
      if (ops_->Chown(temp_.fd(), owner, group) != 0) {
        if (!refused()) throw SaveError(path_, SystemMessage(errno));
        if (ops_->Chown(temp_.fd(), static_cast<uid_t>(-1), group) != 0 &&
            !refused()) {
          throw SaveError(path_, SystemMessage(errno));
        }
      }
      if (ops_->Chmod(temp_.fd(), target_.info.st_mode & 07777) != 0) {
        throw SaveError(path_, SystemMessage(errno));
      }
    }
  }

  bool Write(std::string_view bytes) override {
    if (write_error_ != 0) return false;
    if (WriteAll(*ops_, temp_.fd(), bytes.data(), bytes.size())) return true;
    write_error_ = errno != 0 ? errno : EIO;
    return false;
  }

  void Commit() override {
    if (write_error_ != 0) throw SaveError(path_, SystemMessage(write_error_));
    if (ops_->Sync(temp_.fd()) != 0) {
      throw SaveError(path_, SystemMessage(errno));
    }
    if (temp_.path().empty()) {
      // A name cannot replace another by a link: the file gets a name of its
      // own, which the rename below takes away again.
      std::string temp_path = prefix_ + stem_ + std::string(kTempSuffix);
      if (LinkTemp(*ops_, temp_.fd(), temp_path) != 0) {
        throw SaveError(path_, SystemMessage(errno));
      }
      temp_.Named(std::move(temp_path));
    }
    if (ops_->Close(temp_.ReleaseFd()) != 0) {
      throw SaveError(path_, SystemMessage(errno));
    }
    if (ops_->Rename(temp_.path(), target_.path) != 0) {
      throw SaveError(path_, SystemMessage(errno));
    }
    temp_.Commit();
    SyncFolder(folder_);
    RemoveAbandoned(*ops_, folder_, prefix_, stem_);
  }

 private:
  std::shared_ptr<FileOps> ops_;
  std::string path_;
  Target target_;
  std::string folder_;
  std::string prefix_;
  std::string stem_;
  TempFile temp_;
  int write_error_ = 0;
};

// Reads the whole file, refusing more than `limit` bytes and anything but a
// regular file; on failure fills `error` and returns false.
bool ReadFile(const std::string& path, size_t limit, std::string& bytes,
              ParseError& error) {
  const ReadOutcome outcome = ReadRegularFile(path, limit, bytes);
  switch (outcome.status) {
    case ReadOutcome::kRead:
      return true;
    case ReadOutcome::kTooLarge:
      error.errorCode = codes::kLoadFileTooLarge;
      error.reason = "Il file '" + path + "' supera la dimensione massima di " +
                     std::to_string(limit) + " byte";
      return false;
    case ReadOutcome::kUnreadable:
      break;
  }
  error.errorCode = codes::kLoadFileUnreadable;
  error.reason = "Impossibile leggere il file '" + path + "': " + outcome.why;
  return false;
}

}  // namespace

PosixXmlFileService::PosixXmlFileService(std::shared_ptr<FileOps> ops,
                                         size_t max_load_bytes)
    : ops_(ops ? std::move(ops) : std::make_shared<FileOps>()),
      max_load_bytes_(max_load_bytes) {}

void PosixXmlFileService::Load(XmlDocument& doc, const std::string& path) {
  ResetTree(doc);
  ParseError& error = doc.parseError();
  try {
    error = ParseError{};
    error.url = path;
    // The parser takes the size as an int.
    const size_t limit =
        std::min(max_load_bytes_, static_cast<size_t>(INT_MAX));
    std::string bytes;
    if (!ReadFile(path, limit, bytes, error)) return;
    framework::ParseStrictly(bytes, path, doc);
  } catch (...) {
    // Only memory can run out here; the load never throws.
    ResetTree(doc);
    error.errorCode = XML_ERR_NO_MEMORY;
    error.reason = "Memoria insufficiente";
  }
}

void PosixXmlFileService::Save(const XmlDocument& doc,
                               const std::string& path) {
  // A built document is written from its compact tree, never made into a
  // libxml2 tree for the purpose.
  const framework::CompactTree* compact = framework::CompactTreeOf(doc);
  if (compact != nullptr ? compact->root() == nullptr
                         : TreeOf(doc) == nullptr ||
                               xmlDocGetRootElement(TreeOf(doc)) == nullptr) {
    throw SaveError(path, "il documento non ha un elemento radice");
  }
  PosixSave save(ops_, path);
  // The serialiser writes straight into the temporary file, a buffer at a
  // time, so the file's bytes are never held in memory beside the tree.
  const auto output = [&save](std::string_view bytes) {
    return save.Write(bytes);
  };
  if (compact != nullptr) {
    framework::SerialiseXml(*compact, output);
  } else {
    framework::SerialiseXml(*TreeOf(doc), output);
  }
  save.Commit();
}

std::unique_ptr<framework::XmlSaveStream> PosixXmlFileService::BeginSave(
    const std::string& path) {
  return std::make_unique<PosixSave>(ops_, path);
}

int FileOps::OpenTemp(const std::string& folder, mode_t mode) {
#ifdef O_TMPFILE
  // The system applies the umask to `mode`, as for any new file.
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  // Without /proc only a privileged process could give the file a name.
  struct stat info {};
  if (::lstat(("/proc/self/fd/" + std::to_string(fd)).c_str(), &info) != 0) {
    ::close(fd);
    errno = EOPNOTSUPP;
    return -1;
  }
  return fd;
#else
  (void)folder;
  (void)mode;
  errno = EOPNOTSUPP;
  return -1;
#endif
}

int FileOps::Link(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(),
               AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  const int error = errno;
#ifdef AT_EMPTY_PATH
  if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
  }
#endif
  errno = error;
  return -1;
}

int FileOps::MakeTemp(std::string& path_template, mode_t mode) {
  const size_t marker = path_template.rfind(kTempMarker);
  if (marker == std::string::npos) {
    errno = EINVAL;
    return -1;
  }
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    FillTempName(path_template.data() + marker);
    // The system applies the umask to `mode`, as for any new file.
    const int fd = ::open(path_template.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST && errno != EINTR) break;
  }
  const int error = errno;
  path_template.replace(marker, kTempMarker.size(), kTempMarker);
  errno = error;
  return -1;
}

long FileOps::Write(int fd, const void* data, size_t size) {
  return ::write(fd, data, size);
}

int FileOps::Sync(int fd) { return ::fsync(fd); }
int FileOps::Chown(int fd, uid_t owner, gid_t group) {
  return ::fchown(fd, owner, group);
}
int FileOps::Chmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int FileOps::Close(int fd) { return ::close(fd); }

int FileOps::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int FileOps::Unlink(const std::string& path) { return ::unlink(path.c_str()); }

}  // namespace zsepa::posix

namespace zsepa::framework {

std::unique_ptr<XmlFileService> NewDefaultXmlFileService() {
  return std::make_unique<posix::PosixXmlFileService>();
}

}  // namespace zsepa::framework
