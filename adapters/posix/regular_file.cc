#include "adapters/posix/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "writers/schema_validation.h"

namespace zsepa::posix {

std::string SystemMessage(int error_number) {
  if (error_number == 0) return "errore sconosciuto";
  return std::strerror(error_number);
}

std::string NotRegularReason(mode_t mode) {
  const char* kind = nullptr;
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) {
    kind = "una cartella";
  } else if (S_ISFIFO(mode)) {
    kind = "una pipe con nome (FIFO)";
  } else if (S_ISCHR(mode)) {
    kind = "un dispositivo a caratteri";
  } else if (S_ISBLK(mode)) {
    kind = "un dispositivo a blocchi";
  } else if (S_ISSOCK(mode)) {
    kind = "un socket";
  } else if (S_ISLNK(mode)) {
    kind = "un collegamento simbolico";
  } else {
    kind = "un file di tipo sconosciuto";
  }
  return std::string("non è un file regolare ma ") + kind;
}

ReadOutcome ReadRegularFile(const std::string& path, size_t limit,
                            std::string& bytes) {
  auto unreadable = [](std::string why) {
    return ReadOutcome{ReadOutcome::kUnreadable, std::move(why)};
  };
  auto not_regular =
      [&](const struct stat& info) -> std::optional<ReadOutcome> {
    if (S_ISREG(info.st_mode)) return std::nullopt;
    return unreadable(NotRegularReason(info.st_mode));
  };
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return unreadable(SystemMessage(errno));
  if (auto refused = not_regular(info)) return *refused;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return unreadable(SystemMessage(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  if (::fstat(fd, &info) != 0) return unreadable(SystemMessage(errno));
  if (auto refused = not_regular(info)) return *refused;
  if (static_cast<unsigned long long>(info.st_size) > limit) {
    return {ReadOutcome::kTooLarge, ""};
  }
  bytes.resize(static_cast<size_t>(info.st_size) + 1);
  size_t used = 0;
  for (;;) {
    // One byte more than the limit tells a file that grew while being read.
    if (used > limit) return {ReadOutcome::kTooLarge, ""};
    if (used == bytes.size()) bytes.resize(std::min(limit + 1, used * 2 + 1));
    const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return unreadable(SystemMessage(errno));
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  bytes.resize(used);
  return {};
}

}  // namespace zsepa::posix

namespace zsepa {

// The validation's input files are read here, where the system calls are.
std::string ReadInputFile(const std::string& path, size_t limit,
                          std::string& bytes) {
  const posix::ReadOutcome outcome = posix::ReadRegularFile(path, limit, bytes);
  switch (outcome.status) {
    case posix::ReadOutcome::kRead:
      return "";
    case posix::ReadOutcome::kTooLarge:
      bytes.clear();
      return "supera la dimensione massima di " + std::to_string(limit) +
             " byte";
    case posix::ReadOutcome::kUnreadable:
      break;
  }
  bytes.clear();
  return outcome.why;
}

}  // namespace zsepa
