#ifndef ZSEPA_BASE_LAST_ERROR_H_
#define ZSEPA_BASE_LAST_ERROR_H_

#include <cstdint>
#include <string>

namespace zsepa {

// The last error of a public object: its code (Stato) and text (Errore).
// Public operations with their own error handling run their work through
// Guarded, the one catch-everything boundary of the system. Success never
// clears the record.
struct LastError {
  int32_t stato = 0;
  std::string errore;

  // Records the exception being handled: zsepa::Error with its code and
  // description, memory exhaustion as 7 "Out of memory", anything else as
  // codes::kUnspecifiedFailure with its text. Call from a catch block.
  void RecordCurrentException() noexcept;

  // Runs `step`; on any exception records it and returns false.
  template <typename Step>
  bool Guarded(Step&& step) noexcept {
    try {
      step();
      return true;
    } catch (...) {
      RecordCurrentException();
      return false;
    }
  }
};

}  // namespace zsepa

#endif  // ZSEPA_BASE_LAST_ERROR_H_
