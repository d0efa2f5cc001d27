#ifndef ZSEPA_WRITERS_SCHEMA_VALIDATION_H_
#define ZSEPA_WRITERS_SCHEMA_VALIDATION_H_

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
// loaded by its own path, so that the files it imports by relative path are
// found beside it. Nothing is fetched from the network.
// Raises zsepa::Error when either file cannot be read or the schema does not
// compile.
std::vector<SchemaIssue> ValidateAgainstSchema(const std::string& xml_path,
                                               const std::string& xsd_path);

// The namespace URI of the root element of an XML file ("" when it has none).
// Raises zsepa::Error when the file cannot be read or has no root element.
std::string RootNamespace(const std::string& xml_path);

}  // namespace zsepa

#endif  // ZSEPA_WRITERS_SCHEMA_VALIDATION_H_
