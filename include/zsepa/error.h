#ifndef ZSEPA_ERROR_H_
#define ZSEPA_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>

namespace zsepa {

// The one error type of the system: a 32-bit code, the routine that raised it
// and a description. The core throws it; every public operation with its own
// error handling catches it and copies code and description into Stato/Errore.
class Error : public std::exception {
 public:
  Error(int32_t code, std::string source, std::string description);

  int32_t Code() const noexcept { return code_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t code_;
  std::string source_;
  std::string description_;
};

// Classic run-time error numbers, kept so that host code testing them works.
namespace rt {
inline constexpr int32_t kInvalidArgument = 5;  // bad collection index
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kDuplicateKey = 457;

// Raise the run-time error `code` with its classic description.
[[noreturn]] void Raise(int32_t code, std::string source = "ZALT_FILESEPA");
}  // namespace rt

// Codes of the builder (negative HRESULT-style values) and the system's own.
namespace codes {
// A failure that carries no code of its own (the generic failure code).
inline constexpr int32_t kUnspecifiedFailure = static_cast<int32_t>(0x80004005);
// Builder: Initialize without framework object / connection; Add of a batch
// that does not exist.
inline constexpr int32_t kNoActiveInterface = static_cast<int32_t>(0x8003ff9c);
inline constexpr int32_t kNoAdoConnection = static_cast<int32_t>(0x8003ff9b);
inline constexpr int32_t kBatchNotFound = static_cast<int32_t>(0x8003ff9a);
// Our own codes (documented in README's error table).
// A CBI credit-transfer file asked for more than one payment block.
inline constexpr int32_t kTooManyBlocks = static_cast<int32_t>(0x8003ff91);
// A value that would change what an SQL statement does.
inline constexpr int32_t kUnsafeSqlValue = static_cast<int32_t>(0x8003ff92);
// Text that XML 1.0 cannot carry (control characters, invalid UTF-8).
inline constexpr int32_t kInvalidXmlText = static_cast<int32_t>(0x8003ff93);
// Saving a file failed (the target is left as it was).
inline constexpr int32_t kSaveFailed = static_cast<int32_t>(0x8003ff94);
// The bank-2026 profile refused the file: an element that it cannot write
// (CLSEP_FILESEPA::ProfileFindings lists each).
inline constexpr int32_t kProfileRefused = static_cast<int32_t>(0x8003ff95);
// Loading a file that never reaches the XML parser (parse-error codes).
inline constexpr int32_t kLoadFileUnreadable = static_cast<int32_t>(0x8003ffa0);
inline constexpr int32_t kLoadFileTooLarge = static_cast<int32_t>(0x8003ffa1);
// Recordset misuse, with the numbers of the classic data-access layer.
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kObjectClosed = 3704;
// A value that a recordset column cannot hold (too long, beyond the
// column's precision, of the wrong kind): refused, never cut.
inline constexpr int32_t kValueNotAccepted = static_cast<int32_t>(0x80040e21);
}  // namespace codes

}  // namespace zsepa

#endif  // ZSEPA_ERROR_H_
