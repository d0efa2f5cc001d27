#include "base/last_error.h"

#include <exception>
#include <new>

#include "zsepa/error.h"

namespace zsepa {

void LastError::RecordCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const Error& error) {
      stato = error.Code();
      errore = error.Description();
    } catch (const std::bad_alloc&) {
      stato = rt::kOutOfMemory;
      errore = "Out of memory";
    } catch (const std::exception& error) {
      stato = codes::kUnspecifiedFailure;
      errore = error.what();
    } catch (...) {
      stato = codes::kUnspecifiedFailure;
      errore = "Errore non previsto";
    }
  } catch (...) {
    // Copying a description can itself run out of memory.
    stato = rt::kOutOfMemory;
    errore.clear();
  }
}

}  // namespace zsepa
