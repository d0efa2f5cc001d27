#include "writers/schema_validation.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlschemas.h>
#include <libxml/xmlversion.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

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

void Collect(void* context, const xmlError* error) {
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

// Collect as a libxml2 error handler, given the Collected as its data. A
// generic lambda converts to the handler type of every libxml2 version (the
// error became const in 2.12).
constexpr auto kCollect = [](void* collected, auto error) {
  Collect(collected, error);
};
// The same for a parser context's own handler, which libxml2 hands the
// context; the context's _private holds the Collected.
constexpr auto kCollectForParser = [](void* ctxt, auto error) {
  Collect(static_cast<xmlParserCtxt*>(ctxt)->_private, error);
};

#if LIBXML_VERSION < 21300
// Before 2.13 libxml2 reports some errors to the thread's handler only: the
// parse errors of the schema documents, which the schema parser reads with
// contexts of its own, and failed conversions of a file's encoding. This
// routes them into `collected` for the lifetime of the guard and puts back
// the host's handler. From 2.13 on every error reaches a context's handler.
class ThreadErrorCapture {
 public:
  explicit ThreadErrorCapture(Collected& collected)
      : previous_handler_(xmlStructuredError),
        previous_context_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(&collected, kCollect);
  }
  ~ThreadErrorCapture() {
    xmlSetStructuredErrorFunc(previous_context_, previous_handler_);
  }
  ThreadErrorCapture(const ThreadErrorCapture&) = delete;
  ThreadErrorCapture& operator=(const ThreadErrorCapture&) = delete;

 private:
  xmlStructuredErrorFunc previous_handler_;
  void* previous_context_;
};
#else
struct ThreadErrorCapture {
  explicit ThreadErrorCapture(Collected&) {}
};
#endif

#if LIBXML_VERSION < 21400
// Before 2.14 the schema parser reads the documents a schema imports through
// the process-wide entity loader only, without the no-network option: this
// installs the loader that refuses network addresses for the lifetime of the
// guard. The loader is shared by every thread of the process, so validations
// on two threads must not overlap. From 2.14 on each context gets its own
// loader instead.
class NoNetwork {
 public:
  NoNetwork() : previous_loader_(xmlGetExternalEntityLoader()) {
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
  }
  ~NoNetwork() { xmlSetExternalEntityLoader(previous_loader_); }
  NoNetwork(const NoNetwork&) = delete;
  NoNetwork& operator=(const NoNetwork&) = delete;

 private:
  xmlExternalEntityLoader previous_loader_;
};
#else
struct NoNetwork {};

// A context's resource loader that opens local files only.
xmlParserErrors LoadWithoutNetwork(void*, const char* url, const char*,
                                   xmlResourceType, xmlParserInputFlags flags,
                                   xmlParserInput** input) {
  return xmlNewInputFromUrl(
      url, static_cast<xmlParserInputFlags>(flags & ~XML_INPUT_NETWORK), input);
}
#endif

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct ParserCtxtDeleter {
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
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
  [[maybe_unused]] NoNetwork no_network;
  Collected schema_errors;
  std::unique_ptr<xmlSchema, SchemaDeleter> schema;
  {
    ThreadErrorCapture capture(schema_errors);
    std::unique_ptr<xmlSchemaParserCtxt, SchemaParserDeleter> parser(
        xmlSchemaNewParserCtxt(xsd_path.c_str()));
    if (parser != nullptr) {
      xmlSchemaSetParserStructuredErrors(parser.get(), kCollect,
                                         &schema_errors);
#if LIBXML_VERSION >= 21400
      xmlSchemaSetResourceLoader(parser.get(), LoadWithoutNetwork, nullptr);
#endif
      schema.reset(xmlSchemaParse(parser.get()));
    }
  }
  if (schema == nullptr) {
    throw Error(schema_errors.first_code != 0 ? schema_errors.first_code
                                              : kUnspecifiedFailure,
                "ValidateAgainstSchema",
                "Lo schema " + xsd_path +
                    " non può essere compilato: " + Describe(schema_errors));
  }

  Collected found;
  ThreadErrorCapture capture(found);
  std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
  if (ctxt == nullptr) throw std::bad_alloc();
  ctxt->_private = &found;
  ctxt->sax->serror = kCollectForParser;
  std::unique_ptr<xmlDoc, DocDeleter> doc(
      xmlCtxtReadFile(ctxt.get(), xml_path.c_str(), nullptr, XML_PARSE_NONET));
  if (doc == nullptr) {
    if (found.issues.empty()) {
      found.issues.push_back({0, "il file non è un XML ben formato"});
    }
    return std::move(found.issues);
  }
  std::unique_ptr<xmlSchemaValidCtxt, ValidCtxtDeleter> validator(
      xmlSchemaNewValidCtxt(schema.get()));
  if (validator == nullptr) throw std::bad_alloc();
  xmlSchemaSetValidStructuredErrors(validator.get(), kCollect, &found);
  const int result = xmlSchemaValidateDoc(validator.get(), doc.get());
  if (result != 0 && found.issues.empty()) {
    found.issues.push_back({0, "validazione non riuscita (codice " +
                                   std::to_string(result) + ")"});
  }
  return std::move(found.issues);
}

std::string RootNamespace(const std::string& xml_path) {
  RequireReadable(xml_path);
  [[maybe_unused]] NoNetwork no_network;
  Collected found;
  ThreadErrorCapture capture(found);
  std::unique_ptr<xmlTextReader, ReaderDeleter> reader(
      xmlReaderForFile(xml_path.c_str(), nullptr, XML_PARSE_NONET));
  if (reader != nullptr) {
    xmlTextReaderSetStructuredErrorHandler(reader.get(), kCollect, &found);
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
