#include "tools/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/job.h"
#include "zsepa/error.h"

namespace zsepa::cli {
namespace {

constexpr int32_t kFileNotFound = 53;

// What a file that is not a regular file is, for messages.
std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder, not a file";
  if (S_ISFIFO(mode)) return "is a named pipe, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  return "is not a regular file";
}

// "1 GiB", "256 MiB" or "1000 bytes".
std::string SizeText(uint64_t bytes) {
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  if (bytes >= kGiB && bytes % kGiB == 0) {
    return std::to_string(bytes / kGiB) + " GiB";
  }
  if (bytes >= kMiB && bytes % kMiB == 0) {
    return std::to_string(bytes / kMiB) + " MiB";
  }
  return std::to_string(bytes) + " bytes";
}

// Closes a descriptor when it goes.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens `path` for reading without blocking and checks that it is a regular
// file; gives the reason when it cannot be read as one.
std::optional<std::string> OpenRegular(const std::string& path,
                                       Descriptor& file, struct stat& info) {
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file.fd < 0) {
    return std::string("cannot open the file: ") + std::strerror(errno);
  }
  if (::fstat(file.fd, &info) != 0) {
    return std::string("cannot read the file: ") + std::strerror(errno);
  }
  if (!S_ISREG(info.st_mode)) return KindOf(info.st_mode);
  return std::nullopt;
}

// Reads up to `limit` bytes, plus one to tell a longer file, and keeps
// `padding` zero bytes past them; false with errno set on a read error.
bool ReadUpTo(int fd, uint64_t limit, uint64_t expected, std::string& bytes,
              size_t padding = 0) {
  const uint64_t cap = limit + 1;
  bytes.reserve(static_cast<size_t>(std::min(cap, expected + 1)) + padding);
  bytes.resize(static_cast<size_t>(std::min(cap, expected + 1)));
  size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used >= cap) break;
      bytes.resize(static_cast<size_t>(
          std::min<uint64_t>(cap, uint64_t{used} * 2 + 4096)));
    }
    const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  bytes.resize(used + padding);
  bytes.resize(used);
  return true;
}

}  // namespace

std::optional<std::string> NotARegularFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  if (S_ISREG(info.st_mode)) return std::nullopt;
  return KindOf(info.st_mode);
}

std::string ReadRegularFile(const std::string& path, uint64_t limit,
                            size_t padding) {
  Descriptor file;
  struct stat info {};
  if (const auto problem = OpenRegular(path, file, info)) {
    throw JobError(kFileNotFound, path + ": " + *problem);
  }
  const auto too_large = [&] {
    throw JobError(rt::kOutOfMemory,
                   path + ": the file is larger than " + SizeText(limit) +
                       ", the most the program reads from such a file");
  };
  if (static_cast<uint64_t>(info.st_size) > limit) too_large();
  std::string bytes;
  if (!ReadUpTo(file.fd, limit, static_cast<uint64_t>(info.st_size), bytes,
                padding)) {
    throw JobError(kFileNotFound,
                   path + ": cannot read the file: " + std::strerror(errno));
  }
  if (bytes.size() > limit) too_large();
  return bytes;
}

std::optional<std::string> ReadHead(const std::string& path, size_t size) {
  Descriptor file;
  struct stat info {};
  if (OpenRegular(path, file, info)) return std::nullopt;
  std::string bytes;
  if (!ReadUpTo(file.fd, size, size, bytes)) return std::nullopt;
  if (bytes.size() > size) bytes.resize(size);
  return bytes;
}

}  // namespace zsepa::cli
