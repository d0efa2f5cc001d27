#include "db/sql_value.h"

#include <string>

#include "zsepa/error.h"

namespace zsepa::db {
namespace {

constexpr char kSource[] = "ZALT_FILESEPA";

// An optional "-" and digits, with spaces around as the database accepts
// them (a host reading a fixed-width column passes "1000 ").
bool IsPlainInteger(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(' ') + 1 - first);
  if (text.front() == '-') text.remove_prefix(1);
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

[[noreturn]] void Refuse(std::string_view value, std::string_view reason) {
  std::string message = "Valore non ammesso in un'istruzione SQL: \"";
  // Control characters would garble the message: shown as "?".
  for (const char c : value) {
    message += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  message += "\" ";
  message += reason;
  message += "; l'istruzione non viene eseguita";
  throw Error(codes::kUnsafeSqlValue, kSource, std::move(message));
}

}  // namespace

std::string QuotedSqlValue(std::string_view text) {
  if (text.find('\'') != std::string_view::npos) {
    Refuse(text, "contiene un apice");
  }
  if (text.find('\0') != std::string_view::npos) {
    Refuse(text, "contiene un carattere nullo");
  }
  return std::string(text);
}

std::string IntegerSqlValue(const Variant& value) {
  std::string text = value.ToText();
  if (!IsPlainInteger(text)) Refuse(text, "non è un numero intero");
  return text;
}

}  // namespace zsepa::db
