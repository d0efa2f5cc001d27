#ifndef ZSEPA_TOOLS_INPUT_FILE_H_
#define ZSEPA_TOOLS_INPUT_FILE_H_

#include <cstdint>
#include <optional>
#include <string>

namespace zsepa::cli {

// What the program reads (jobs, company files, schemas, databases) must be a
// regular file: a named pipe would block the program forever, a device such
// as /dev/zero would never end, and a folder holds no text.

// Why `path` cannot be read as an input file ("is a folder", "is a named
// pipe, not a regular file", ...), or nothing when it is a regular file or
// does not exist (the reader then reports it missing). Never opens the path,
// so it never blocks.
std::optional<std::string> NotARegularFile(const std::string& path);

// Reads a whole regular file of at most `limit` bytes. The file is opened
// without blocking, so a named pipe is refused instead of waited for.
// Raises JobError: 53 when the file is missing or cannot be opened or read,
// a folder or not a regular file, 7 when it holds more than `limit` bytes
// (checked before anything is read, and again while reading a file that
// grows). `padding` more bytes, zeros, stay allocated past the end of the
// text (within its capacity) for a reader that reads past the end.
std::string ReadRegularFile(const std::string& path, uint64_t limit,
                            size_t padding = 0);

// The first `size` bytes of a regular file (fewer when it is shorter);
// nothing when it is not a regular file or cannot be read.
std::optional<std::string> ReadHead(const std::string& path, size_t size);

}  // namespace zsepa::cli

#endif  // ZSEPA_TOOLS_INPUT_FILE_H_
