#include "writers/schema_validation.h"

#include <libxml/parser.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlschemas.h>
#include <libxml/xmlversion.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/ascii.h"
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

// The first file the schema parser wanted to read that was refused.
struct Refusal {
  std::string message;  // "" while none was
};

// Why the file that libxml2 is about to open for `url` is refused: it exists
// and is not a regular file (a named pipe would block the validation for
// ever, a device such as /dev/zero would never end). "" when libxml2 may go
// on, also when the file does not exist or cannot be examined: libxml2 then
// reports it as it does.
std::string RefusalOf(const char* url) {
  if (url == nullptr) return "";
  // libxml2 takes a local name with or without these before an absolute
  // path, and tries it with its %-escapes decoded when it does not exist.
  std::string path = url;
  for (const std::string_view scheme : {"file://localhost/", "file:///"}) {
    if (path.size() >= scheme.size() &&
        EqualsIgnoreCase(std::string_view(path).substr(0, scheme.size()),
                         scheme)) {
      path.erase(0, scheme.size() - 1);
      break;
    }
  }
  if (path.size() >= 6 &&
      EqualsIgnoreCase(std::string_view(path).substr(0, 6), "file:/")) {
    path.erase(0, 5);
  }
  namespace fs = std::filesystem;
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    if (char* unescaped = xmlURIUnescapeString(path.c_str(), 0, nullptr)) {
      status = fs::status(unescaped, error);
      xmlFree(unescaped);
    }
  }
  const char* kind = nullptr;
  switch (status.type()) {
    case fs::file_type::none:
    case fs::file_type::not_found:
    case fs::file_type::regular:
      return "";
    case fs::file_type::directory:
      kind = "una cartella";
      break;
    case fs::file_type::fifo:
      kind = "una pipe con nome (FIFO)";
      break;
    case fs::file_type::character:
      kind = "un dispositivo a caratteri";
      break;
    case fs::file_type::block:
      kind = "un dispositivo a blocchi";
      break;
    case fs::file_type::socket:
      kind = "un socket";
      break;
    default:
      kind = "un file di tipo sconosciuto";
      break;
  }
  return std::string("non è un file regolare ma ") + kind;
}

// Records in `refusal` why `url` is refused; false when it is not.
bool Refuse(Refusal& refusal, const char* url) {
  const std::string why = RefusalOf(url);
  if (why.empty()) return false;
  if (refusal.message.empty()) {
    refusal.message =
        "impossibile leggere il file " + std::string(url) + ": " + why;
  }
  return true;
}

#if LIBXML_VERSION < 21400
// Before 2.14 the schema parser reads the documents a schema includes or
// imports through the process-wide entity loader only, without the
// no-network option: this installs a loader that refuses network addresses
// and files that are not regular for the lifetime of the guard, recording
// the first refusal in the guard's Refusal. The loader is shared by every
// thread of the process, so validations on two threads must not overlap.
// From 2.14 on each context gets its own loader instead.
thread_local Refusal* current_refusal = nullptr;

xmlParserInputPtr LoadLocalRegularFile(const char* url, const char* id,
                                       xmlParserCtxtPtr ctxt) {
  if (current_refusal != nullptr && Refuse(*current_refusal, url)) {
    return nullptr;
  }
  return xmlNoNetExternalEntityLoader(url, id, ctxt);
}

class LocalLoader {
 public:
  explicit LocalLoader(Refusal& refusal)
      : previous_loader_(xmlGetExternalEntityLoader()),
        previous_refusal_(std::exchange(current_refusal, &refusal)) {
    xmlSetExternalEntityLoader(LoadLocalRegularFile);
  }
  ~LocalLoader() {
    xmlSetExternalEntityLoader(previous_loader_);
    current_refusal = previous_refusal_;
  }
  LocalLoader(const LocalLoader&) = delete;
  LocalLoader& operator=(const LocalLoader&) = delete;

 private:
  xmlExternalEntityLoader previous_loader_;
  Refusal* previous_refusal_;
};
#else
struct LocalLoader {
  explicit LocalLoader(Refusal&) {}
};

// A context's resource loader that opens local regular files only; its data
// is the validation's Refusal.
xmlParserErrors LoadLocalRegularFile(void* refusal, const char* url,
                                     const char*, xmlResourceType,
                                     xmlParserInputFlags flags,
                                     xmlParserInput** input) {
  if (Refuse(*static_cast<Refusal*>(refusal), url)) {
    *input = nullptr;
    return XML_IO_UNKNOWN;
  }
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

// The largest file the validation reads: libxml2 takes sizes as int.
constexpr size_t kMaxInputBytes = INT_MAX;

// The whole of the regular file `path`; raises 53 when it cannot be read.
std::string ReadInput(const std::string& path) {
  std::string bytes;
  const std::string why = ReadInputFile(path, kMaxInputBytes, bytes);
  if (!why.empty()) {
    throw Error(kFileNotFound, "ValidateAgainstSchema",
                "Impossibile leggere il file " + path + ": " + why);
  }
  return bytes;
}

std::string Describe(const Collected& collected) {
  if (collected.issues.empty()) return "errore non specificato";
  const SchemaIssue& first = collected.issues.front();
  return "riga " + std::to_string(first.line) + ": " + first.message;
}

}  // namespace

std::vector<SchemaIssue> ValidateAgainstSchema(const std::string& xml_path,
                                               const std::string& xsd_path) {
  // Both files are read here, where they are opened without blocking; the
  // parsers get their bytes, with their paths as base for what they name.
  const std::string xsd_bytes = ReadInput(xsd_path);
  std::string xml_bytes = ReadInput(xml_path);
  Refusal refusal;
  [[maybe_unused]] LocalLoader loader(refusal);
  Collected schema_errors;
  // The schema document outlives the schema built from it.
  std::unique_ptr<xmlDoc, DocDeleter> schema_doc;
  std::unique_ptr<xmlSchema, SchemaDeleter> schema;
  {
    ThreadErrorCapture capture(schema_errors);
    std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> reader(
        xmlNewParserCtxt());
    if (reader == nullptr) throw std::bad_alloc();
    reader->_private = &schema_errors;
    reader->sax->serror = kCollectForParser;
#if LIBXML_VERSION >= 21400
    xmlCtxtSetResourceLoader(reader.get(), LoadLocalRegularFile, &refusal);
#endif
    // With entities substituted, as the schema parser reads the documents
    // the schema includes.
    schema_doc.reset(xmlCtxtReadMemory(
        reader.get(), xsd_bytes.data(), static_cast<int>(xsd_bytes.size()),
        xsd_path.c_str(), nullptr, XML_PARSE_NOENT | XML_PARSE_NONET));
    std::unique_ptr<xmlSchemaParserCtxt, SchemaParserDeleter> parser(
        schema_doc != nullptr ? xmlSchemaNewDocParserCtxt(schema_doc.get())
                              : nullptr);
    if (parser != nullptr) {
      xmlSchemaSetParserStructuredErrors(parser.get(), kCollect,
                                         &schema_errors);
#if LIBXML_VERSION >= 21400
      xmlSchemaSetResourceLoader(parser.get(), LoadLocalRegularFile, &refusal);
#endif
      schema.reset(xmlSchemaParse(parser.get()));
    }
  }
  if (!refusal.message.empty()) {
    throw Error(kFileNotFound, "ValidateAgainstSchema",
                "Lo schema " + xsd_path +
                    " non può essere compilato: " + refusal.message);
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
  std::unique_ptr<xmlDoc, DocDeleter> doc(xmlCtxtReadMemory(
      ctxt.get(), xml_bytes.data(), static_cast<int>(xml_bytes.size()),
      xml_path.c_str(), nullptr, XML_PARSE_NONET));
  std::string().swap(xml_bytes);  // the tree holds what is needed now
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
  const std::string bytes = ReadInput(xml_path);
  Refusal refusal;
  [[maybe_unused]] LocalLoader loader(refusal);
  Collected found;
  ThreadErrorCapture capture(found);
  std::unique_ptr<xmlTextReader, ReaderDeleter> reader(
      xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()),
                         xml_path.c_str(), nullptr, XML_PARSE_NONET));
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
