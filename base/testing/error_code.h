#ifndef ZSEPA_BASE_TESTING_ERROR_CODE_H_
#define ZSEPA_BASE_TESTING_ERROR_CODE_H_

#include <cstdint>
#include <string>

#include "zsepa/error.h"

namespace zsepa::testing {

// The code of the Error that f() raises, or 0 when it returns normally; the
// error's description goes to `text` when given.
template <typename F>
int32_t ErrorCode(F&& f, std::string* text = nullptr) {
  try {
    f();
  } catch (const Error& error) {
    if (text != nullptr) *text = error.Description();
    return error.Code();
  }
  return 0;
}

}  // namespace zsepa::testing

#endif  // ZSEPA_BASE_TESTING_ERROR_CODE_H_
