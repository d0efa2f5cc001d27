#ifndef ZSEPA_WRITERS_SCHEMA_VALIDATION_H_
#define ZSEPA_WRITERS_SCHEMA_VALIDATION_H_

#include <cstddef>
#include <string>
#include <vector>

namespace zsepa {

// One problem found in an XML file: its line (0 when unknown) and the
// parser's or validator's message.
struct SchemaIssue {
  int line = 0;
  std::string message;
};

// Validates the XML file `xml_path` against the XML Schema `xsd_path` with
// libxml2 and returns every problem, in file order (empty: valid). A file
// that is not well-formed gives its parse errors as issues. The schema is
// loaded by its own path, so that the files it includes or imports by
// relative path are found beside it. Nothing is fetched from the network,
// and only regular files are read, without ever waiting: a named pipe, a
// device or a folder given as either file or included by the schema is
// refused (a pipe would block the validation for ever, a device such as
// /dev/zero would never end).
// Raises zsepa::Error when either file cannot be read (53, also for a file
// that is not a regular file, with the reason), when the schema includes a
// file that is not a regular file (53) or when the schema does not compile.
std::vector<SchemaIssue> ValidateAgainstSchema(const std::string& xml_path,
                                               const std::string& xsd_path);

// The namespace URI of the root element of an XML file ("" when it has none).
// Raises zsepa::Error when the file cannot be read (53, as above) or has no
// root element.
std::string RootNamespace(const std::string& xml_path);

// Reads the whole file `path`, of at most `limit` bytes, into `bytes` for a
// validation: returns "" when read, else why not, in the words of the
// messages ("non è un file regolare ma una pipe con nome (FIFO)", "No such
// file or directory", ...). Only a regular file is read, and opening it never
// blocks. Defined by the platform's adapter (adapters/posix), which owns the
// system calls, as framework::NewDefaultXmlFileService is.
std::string ReadInputFile(const std::string& path, size_t limit,
                          std::string& bytes);

}  // namespace zsepa

#endif  // ZSEPA_WRITERS_SCHEMA_VALIDATION_H_
