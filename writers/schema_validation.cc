#include "writers/schema_validation.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlschemas.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "zsepa/error.h"

namespace zsepa {
namespace {

// Classic run-time code for a file that cannot be opened.
constexpr int32_t kFileNotFound = 53;
// Code for a schema that does not compile without a libxml2 code (E_FAIL).
constexpr int32_t kUnspecifiedFailure = static_cast<int32_t>(0x80004005);

struct Collected {
  std::vector<SchemaIssue> issues;
  int first_code = 0;
};

void Collect(void* context, xmlErrorPtr error) {
  if (error == nullptr || error->level == XML_ERR_WARNING) return;
  auto* collected = static_cast<Collected*>(context);
  std::string message = error->message != nullptr ? error->message : "";
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  if (collected->first_code == 0) collected->first_code = error->code;
  collected->issues.push_back({error->line, std::move(message)});
}

// Routes every libxml2 error of this thread into `collected` and keeps
// libxml2 off the network, for the lifetime of the guard.
class ErrorCapture {
 public:
  explicit ErrorCapture(Collected& collected)
      : previous_handler_(xmlStructuredError),
        previous_context_(xmlStructuredErrorContext),
        previous_loader_(xmlGetExternalEntityLoader()) {
    xmlSetStructuredErrorFunc(&collected, Collect);
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
  }
  ~ErrorCapture() {
    xmlSetStructuredErrorFunc(previous_context_, previous_handler_);
    xmlSetExternalEntityLoader(previous_loader_);
  }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

 private:
  xmlStructuredErrorFunc previous_handler_;
  void* previous_context_;
  xmlExternalEntityLoader previous_loader_;
};

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct SchemaParserDeleter {
  void operator()(xmlSchemaParserCtxt* ctxt) const {
    xmlSchemaFreeParserCtxt(ctxt);
  }
};
struct SchemaDeleter {
  void operator()(xmlSchema* schema) const { xmlSchemaFree(schema); }
};
struct ValidCtxtDeleter {
  void operator()(xmlSchemaValidCtxt* ctxt) const {
    xmlSchemaFreeValidCtxt(ctxt);
  }
};
struct ReaderDeleter {
  void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};

// Raises when `path` cannot be opened for reading.
void RequireReadable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    throw Error(
        kFileNotFound, "ValidateAgainstSchema",
        "Impossibile leggere il file " + path + ": " + std::strerror(errno));
  }
  std::fclose(file);
}

std::string Describe(const Collected& collected) {
  if (collected.issues.empty()) return "errore non specificato";
  const SchemaIssue& first = collected.issues.front();
  return "riga " + std::to_string(first.line) + ": " + first.message;
}

}  // namespace

std::vector<SchemaIssue> ValidateAgainstSchema(const std::string& xml_path,
                                               const std::string& xsd_path) {
  RequireReadable(xsd_path);
  RequireReadable(xml_path);
  Collected schema_errors;
  std::unique_ptr<xmlSchema, SchemaDeleter> schema;
  {
    ErrorCapture capture(schema_errors);
    std::unique_ptr<xmlSchemaParserCtxt, SchemaParserDeleter> parser(
        xmlSchemaNewParserCtxt(xsd_path.c_str()));
    if (parser != nullptr) {
      xmlSchemaSetParserStructuredErrors(parser.get(), Collect, &schema_errors);
      schema.reset(xmlSchemaParse(parser.get()));
    }
  }
  if (schema == nullptr) {
    throw Error(schema_errors.first_code != 0 ? schema_errors.first_code
                                              : kUnspecifiedFailure,
                "ValidateAgainstSchema",
                "Lo schema " + xsd_path +
                    " non puo' essere compilato: " + Describe(schema_errors));
  }

  Collected found;
  ErrorCapture capture(found);
  std::unique_ptr<xmlDoc, DocDeleter> doc(
      xmlReadFile(xml_path.c_str(), nullptr, XML_PARSE_NONET));
  if (doc == nullptr) {
    if (found.issues.empty()) {
      found.issues.push_back({0, "il file non e' un XML ben formato"});
    }
    return std::move(found.issues);
  }
  std::unique_ptr<xmlSchemaValidCtxt, ValidCtxtDeleter> validator(
      xmlSchemaNewValidCtxt(schema.get()));
  if (validator == nullptr) throw std::bad_alloc();
  xmlSchemaSetValidStructuredErrors(validator.get(), Collect, &found);
  const int result = xmlSchemaValidateDoc(validator.get(), doc.get());
  if (result != 0 && found.issues.empty()) {
    found.issues.push_back({0, "validazione non riuscita (codice " +
                                   std::to_string(result) + ")"});
  }
  return std::move(found.issues);
}

std::string RootNamespace(const std::string& xml_path) {
  RequireReadable(xml_path);
  Collected found;
  ErrorCapture capture(found);
  std::unique_ptr<xmlTextReader, ReaderDeleter> reader(
      xmlReaderForFile(xml_path.c_str(), nullptr, XML_PARSE_NONET));
  if (reader != nullptr) {
    while (xmlTextReaderRead(reader.get()) == 1) {
      if (xmlTextReaderNodeType(reader.get()) == XML_READER_TYPE_ELEMENT) {
        const xmlChar* uri = xmlTextReaderConstNamespaceUri(reader.get());
        return uri != nullptr ? reinterpret_cast<const char*>(uri) : "";
      }
    }
  }
  throw Error(found.first_code != 0 ? found.first_code : kUnspecifiedFailure,
              "RootNamespace",
              "Il file " + xml_path +
                  " non ha un elemento radice leggibile: " + Describe(found));
}

}  // namespace zsepa
