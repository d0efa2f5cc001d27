#include "framework/strict_parse.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "base/utf8.h"
#include "framework/xml_document.h"

namespace zsepa::framework {
namespace {

// The quoted source line is cut to this many characters.
constexpr size_t kMaxSourceTextLength = 200;

struct ParserCtxtDeleter {
  void operator()(xmlParserCtxt* ctxt) const noexcept {
    xmlFreeParserCtxt(ctxt);
  }
};
struct DocDeleter {
  void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};

// Line `line` (1-based) of `text` without its line break, with malformed
// UTF-8 bytes replaced by U+FFFD and cut to kMaxSourceTextLength characters.
std::string SourceLine(std::string_view text, int line) {
  if (line <= 0) return "";
  size_t begin = 0;
  for (int current = 1; current < line; ++current) {
    begin = text.find('\n', begin);
    if (begin == std::string_view::npos) return "";
    ++begin;
  }
  size_t end = text.find('\n', begin);
  if (end == std::string_view::npos) end = text.size();
  if (end > begin && text[end - 1] == '\r') --end;
  const std::string_view raw = text.substr(begin, end - begin);
  std::string result;
  size_t count = 0;
  for (size_t pos = 0; pos < raw.size() && count < kMaxSourceTextLength;
       ++count) {
    const size_t length = utf8::SequenceLength(raw, pos);
    if (length == 1 && static_cast<unsigned char>(raw[pos]) >= 0x80) {
      result += "\xEF\xBF\xBD";
    } else {
      result.append(raw, pos, length);
    }
    pos += length;
  }
  return result;
}

// The first error of a parse, as the structured error handler saw it.
struct FirstError {
  bool seen = false;
  int code = 0;
  std::string reason;
  int line = 0;
};

template <typename ErrorPointer>
void RecordError(void* data, ErrorPointer error) {
  if (data == nullptr || error == nullptr) return;
  // libxml2 hands the handler the context's user data: the context itself.
  auto* first =
      static_cast<FirstError*>(static_cast<xmlParserCtxt*>(data)->_private);
  if (first == nullptr || first->seen) return;
  // Warnings pass, except an undeclared entity: a document that refers to
  // text it does not define is not accepted.
  if (error->level < XML_ERR_ERROR &&
      error->code != XML_WAR_UNDECLARED_ENTITY) {
    return;
  }
  first->seen = true;
  first->code = error->code != 0 ? error->code : XML_ERR_INTERNAL_ERROR;
  std::string reason = error->message != nullptr ? error->message : "";
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
    reason.pop_back();
  }
  first->reason = std::move(reason);
  first->line = error->line;
}

}  // namespace

LastXmlErrorGuard::LastXmlErrorGuard() {
  // `auto`: the pointer is const from libxml2 2.12 on, as xmlCopyError's
  // source is; before, both are not.
  if (auto* last = xmlGetLastError()) xmlCopyError(last, &saved_);
}

LastXmlErrorGuard::~LastXmlErrorGuard() {
  if (saved_.code == XML_ERR_OK) {
    xmlResetLastError();
  } else if (auto* last = xmlGetLastError()) {
    xmlCopyError(&saved_, const_cast<xmlError*>(last));
  }
  xmlResetError(&saved_);
}

void ParseStrictly(const std::string& bytes, const std::string& path,
                   XmlDocument& doc) {
  LastXmlErrorGuard last_error;
  std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw std::bad_alloc();
  FirstError first;
  ctxt->_private = &first;
  // A generic lambda converts to the handler type of every libxml2 version
  // (the error pointer became const in 2.12).
  ctxt->sax->serror = [](void* data, auto error) { RecordError(data, error); };
  std::unique_ptr<xmlDoc, DocDeleter> parsed(xmlCtxtReadMemory(
      ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), path.c_str(),
      nullptr, XML_PARSE_NONET));
  ParseError& error = doc.parseError();
  if (parsed && !first.seen) {
    ResetTree(doc, parsed.release());
    return;
  }
  if (first.seen) {
    error.errorCode = first.code;
    error.reason = std::move(first.reason);
    error.line = first.line;
    error.srcText = SourceLine(bytes, first.line);
  } else {
    error.errorCode =
        ctxt->errNo != XML_ERR_OK ? ctxt->errNo : XML_ERR_INTERNAL_ERROR;
    error.reason = "Analisi del documento non riuscita";
  }
}

}  // namespace zsepa::framework
