#include "adapters/posix/posix_file_service.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
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

#include "adapters/posix/xml_serialiser.h"
#include "base/utf8.h"
#include "framework/xml_document.h"
#include "zsepa/error.h"

namespace zsepa::posix {

using framework::ParseError;
using framework::XmlDocument;
namespace {

constexpr char kSaveSource[] = "ServizioFileXml.Save";
// The quoted source line is cut to this many characters.
constexpr size_t kMaxSourceTextLength = 200;

std::string SystemMessage(int error_number) {
  if (error_number == 0) return "errore sconosciuto";
  return std::strerror(error_number);
}

Error SaveError(const std::string& path, const std::string& why) {
  return Error(codes::kSaveFailed, kSaveSource,
               "Impossibile salvare il file '" + path + "': " + why);
}

struct ParserCtxtDeleter {
  void operator()(xmlParserCtxt* ctxt) const noexcept {
    xmlFreeParserCtxt(ctxt);
  }
};
struct DocDeleter {
  void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};

// A parse records its errors in libxml2's per-thread "last error" as well as
// in its own context; this puts back what the host had before the load. It
// goes through xmlGetLastError only: the record it returns is the thread's
// own and the one the parse wrote into (libxml2 returns it as const from
// 2.12 on, but it is writable storage).
class LastErrorGuard {
 public:
  LastErrorGuard() {
    // `auto`: the pointer is const from libxml2 2.12 on, as xmlCopyError's
    // source is; before, both are not.
    if (auto* last = xmlGetLastError()) xmlCopyError(last, &saved_);
  }
  ~LastErrorGuard() {
    if (saved_.code == XML_ERR_OK) {
      xmlResetLastError();
    } else if (auto* last = xmlGetLastError()) {
      xmlCopyError(&saved_, const_cast<xmlError*>(last));
    }
    xmlResetError(&saved_);
  }
  LastErrorGuard(const LastErrorGuard&) = delete;
  LastErrorGuard& operator=(const LastErrorGuard&) = delete;

 private:
  xmlError saved_{};
};

// The temporary file of one save: closed and removed unless the save
// committed it by renaming it over the target.
class TempFile {
 public:
  TempFile(FileOps& ops, int fd, std::string path)
      : ops_(ops), fd_(fd), path_(std::move(path)) {}
  ~TempFile() {
    // Cleanup after a failure that is already being reported; its own
    // errors cannot be reported any better.
    if (fd_ >= 0) ops_.Close(fd_);
    if (!committed_) ops_.Unlink(path_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // The descriptor is closed by the caller from now on, whatever the outcome:
  // after a failed close it must not be closed again.
  int ReleaseFd() { return std::exchange(fd_, -1); }
  void Commit() { committed_ = true; }

 private:
  FileOps& ops_;
  int fd_;
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

// Makes the rename itself durable. Best effort: the target is already
// replaced, so a failure here cannot be undone and is not reported.
void SyncFolder(const std::string& path) {
  const int fd =
      ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Line `line` (1-based) of `text` without its line break, with malformed
// UTF-8 bytes replaced by U+FFFD and cut to kMaxSourceTextLength characters.
std::string SourceLine(std::string_view text, int line) {
  if (line <= 0) return "";
  size_t begin = 0;
  for (int current = 1; current < line; ++current) {
    begin = text.find('\n', begin);
    if (begin == std::string_view::npos) return "";
    ++begin;
  }
  size_t end = text.find('\n', begin);
  if (end == std::string_view::npos) end = text.size();
  if (end > begin && text[end - 1] == '\r') --end;
  const std::string_view raw = text.substr(begin, end - begin);
  std::string result;
  size_t count = 0;
  for (size_t pos = 0; pos < raw.size() && count < kMaxSourceTextLength;
       ++count) {
    const size_t length = utf8::SequenceLength(raw, pos);
    if (length == 1 && static_cast<unsigned char>(raw[pos]) >= 0x80) {
      result += "\xEF\xBF\xBD";
    } else {
      result.append(raw, pos, length);
    }
    pos += length;
  }
  return result;
}

// Reads the whole file, refusing more than `limit` bytes; on failure fills
// `error` and returns false.
bool ReadFile(const std::string& path, size_t limit, std::string& bytes,
              ParseError& error) {
  auto unreadable = [&](int error_number) {
    error.errorCode = codes::kLoadFileUnreadable;
    error.reason = "Impossibile leggere il file '" + path +
                   "': " + SystemMessage(error_number);
    return false;
  };
  auto too_large = [&] {
    error.errorCode = codes::kLoadFileTooLarge;
    error.reason = "Il file '" + path + "' supera la dimensione massima di " +
                   std::to_string(limit) + " byte";
    return false;
  };
  // Non-blocking so that a named pipe given as path cannot hang the load.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return unreadable(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return unreadable(errno);
  if (S_ISDIR(info.st_mode)) return unreadable(EISDIR);
  if (!S_ISREG(info.st_mode)) return unreadable(EINVAL);
  if (static_cast<unsigned long long>(info.st_size) > limit) return too_large();
  bytes.resize(static_cast<size_t>(info.st_size) + 1);
  size_t used = 0;
  for (;;) {
    // One byte more than the limit tells a file that grew while being read.
    if (used > limit) return too_large();
    if (used == bytes.size()) bytes.resize(std::min(limit + 1, used * 2 + 1));
    const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return unreadable(errno);
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  bytes.resize(used);
  return true;
}

// The first error of a parse, as the structured error handler saw it.
struct FirstError {
  bool seen = false;
  int code = 0;
  std::string reason;
  int line = 0;
};

void RecordError(void* data, const xmlError* error) {
  if (data == nullptr || error == nullptr) return;
  // libxml2 hands the handler the context's user data: the context itself.
  auto* first =
      static_cast<FirstError*>(static_cast<xmlParserCtxt*>(data)->_private);
  if (first == nullptr || first->seen) return;
  // Warnings pass, except an undeclared entity: a document that refers to
  // text it does not define is not accepted.
  if (error->level < XML_ERR_ERROR &&
      error->code != XML_WAR_UNDECLARED_ENTITY) {
    return;
  }
  first->seen = true;
  first->code = error->code != 0 ? error->code : XML_ERR_INTERNAL_ERROR;
  std::string reason = error->message != nullptr ? error->message : "";
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
    reason.pop_back();
  }
  first->reason = std::move(reason);
  first->line = error->line;
}

// Parses `bytes` strictly: no network, no external entities or DTDs loaded,
// no entity substitution, no recovery. Any error fails the load.
void ParseBytes(const std::string& bytes, const std::string& path,
                XmlDocument& doc) {
  LastErrorGuard last_error;
  std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw std::bad_alloc();
  FirstError first;
  ctxt->_private = &first;
  // A generic lambda converts to the handler type of every libxml2 version
  // (the error pointer became const in 2.12).
  ctxt->sax->serror = [](void* data, auto error) { RecordError(data, error); };
  std::unique_ptr<xmlDoc, DocDeleter> parsed(xmlCtxtReadMemory(
      ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), path.c_str(),
      nullptr, XML_PARSE_NONET));
  ParseError& error = doc.parseError();
  if (parsed && !first.seen) {
    ResetTree(doc, parsed.release());
    return;
  }
  if (first.seen) {
    error.errorCode = first.code;
    error.reason = std::move(first.reason);
    error.line = first.line;
    error.srcText = SourceLine(bytes, first.line);
  } else {
    error.errorCode =
        ctxt->errNo != XML_ERR_OK ? ctxt->errNo : XML_ERR_INTERNAL_ERROR;
    error.reason = "Analisi del documento non riuscita";
  }
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
    ParseBytes(bytes, path, doc);
  } catch (...) {
    // Only memory can run out here; the load never throws.
    ResetTree(doc);
    error.errorCode = XML_ERR_NO_MEMORY;
    error.reason = "Memoria insufficiente";
  }
}

void PosixXmlFileService::Save(const XmlDocument& doc,
                               const std::string& path) {
  if (TreeOf(doc) == nullptr || xmlDocGetRootElement(TreeOf(doc)) == nullptr) {
    throw SaveError(path, "il documento non ha un elemento radice");
  }
  std::string temp_path = path + ".XXXXXX.tmp";
  const int fd = ops_->MakeTemp(temp_path);
  if (fd < 0) throw SaveError(path, SystemMessage(errno));
  TempFile temp(*ops_, fd, std::move(temp_path));
  // The serialiser writes straight into the temporary file, a buffer at a
  // time, so the file's bytes are never held in memory beside the tree.
  int write_error = 0;
  const bool written = SerialiseXml(*TreeOf(doc), [&](std::string_view bytes) {
    if (WriteAll(*ops_, temp.fd(), bytes.data(), bytes.size())) {
      return true;
    }
    write_error = errno != 0 ? errno : EIO;
    return false;
  });
  if (!written) throw SaveError(path, SystemMessage(write_error));
  if (ops_->Sync(temp.fd()) != 0) throw SaveError(path, SystemMessage(errno));
  if (ops_->Close(temp.ReleaseFd()) != 0) {
    throw SaveError(path, SystemMessage(errno));
  }
  if (ops_->Rename(temp.path(), path) != 0) {
    throw SaveError(path, SystemMessage(errno));
  }
  temp.Commit();
  SyncFolder(path);
}

int FileOps::MakeTemp(std::string& path_template) {
  const size_t marker = path_template.rfind(kTempMarker);
  if (marker == std::string::npos) {
    errno = EINVAL;
    return -1;
  }
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    FillTempName(path_template.data() + marker);
    // The system applies the umask to 0666, as for any new file.
    const int fd = ::open(path_template.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
