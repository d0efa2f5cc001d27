#ifndef ZSEPA_ADAPTERS_POSIX_REGULAR_FILE_H_
#define ZSEPA_ADAPTERS_POSIX_REGULAR_FILE_H_

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace zsepa::posix {

// The system's text for `error_number` ("errore sconosciuto" for 0).
std::string SystemMessage(int error_number);

// Why a file of type `mode` (st_mode) is not taken as a file to read or
// replace: "non è un file regolare ma una pipe con nome (FIFO)", "... ma una
// cartella", "... ma un dispositivo a caratteri", ...; "" for a regular file.
std::string NotRegularReason(mode_t mode);

// What ReadRegularFile found.
struct ReadOutcome {
  enum Status { kRead, kUnreadable, kTooLarge } status = kRead;
  std::string why;  // for kUnreadable: the reason, in the messages' words
};

// Reads the whole of `path` into `bytes` when it is a regular file of at most
// `limit` bytes. Never blocks and never reads a special file: the path is
// checked with stat before it is opened (opening some devices has effects of
// its own), opened with O_NONBLOCK (a named pipe without a writer would
// otherwise wait for one) and checked again with fstat, since it may have
// been replaced in between. A file that grows past `limit` while being read
// is refused too.
ReadOutcome ReadRegularFile(const std::string& path, size_t limit,
                            std::string& bytes);

}  // namespace zsepa::posix

#endif  // ZSEPA_ADAPTERS_POSIX_REGULAR_FILE_H_
