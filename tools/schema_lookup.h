#ifndef ZSEPA_TOOLS_SCHEMA_LOOKUP_H_
#define ZSEPA_TOOLS_SCHEMA_LOOKUP_H_

#include <optional>
#include <string>

namespace zsepa::cli {

// The targetNamespace of the schema element of an XSD file ("" when it has
// none or the file cannot be read or is not a regular file, which is never
// waited for). Reads the text of the root start tag only; XML declarations,
// comments and processing instructions before it are skipped.
std::string TargetNamespaceOf(const std::string& xsd_path);

// The schema in `xsd_dir` for documents of `ns`: among the *.xsd files whose
// targetNamespace equals `ns`, the one named after the namespace's last part
// (after the last ':' or '/', e.g. CBIPaymentRequest.00.04.00.xsd), else the
// first by file name. Nothing when no file declares the namespace.
std::optional<std::string> FindSchemaFor(const std::string& xsd_dir,
                                         const std::string& ns);

}  // namespace zsepa::cli

#endif  // ZSEPA_TOOLS_SCHEMA_LOOKUP_H_
