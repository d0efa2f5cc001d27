#ifndef ZSEPA_FRAMEWORK_STRICT_PARSE_H_
#define ZSEPA_FRAMEWORK_STRICT_PARSE_H_

#include <libxml/xmlerror.h>

#include <string>

#include "zsepa/xml_file_service.h"

namespace zsepa::framework {

// A parse records its errors in libxml2's per-thread "last error" as well as
// in its own context; this puts back what the host had before the parse. It
// goes through xmlGetLastError only: the record it returns is the thread's
// own and the one the parse wrote into (libxml2 returns it as const from
// 2.12 on, but it is writable storage).
class LastXmlErrorGuard {
 public:
  LastXmlErrorGuard();
  ~LastXmlErrorGuard();
  LastXmlErrorGuard(const LastXmlErrorGuard&) = delete;
  LastXmlErrorGuard& operator=(const LastXmlErrorGuard&) = delete;

 private:
  xmlError saved_{};
};

// Parses `bytes`, read from `path`, strictly: no network, no external
// entities or DTDs loaded, no entity substitution, no recovery; a warning
// fails the parse only when it is an undeclared entity. On success `doc`
// holds the tree; otherwise its parse error gets the first error's code,
// reason, line and source line (malformed UTF-8 as U+FFFD, cut to 200
// characters). The host's last libxml2 error is left as it was. Throws
// std::bad_alloc only.
void ParseStrictly(const std::string& bytes, const std::string& path,
                   XmlDocument& doc);

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_STRICT_PARSE_H_
