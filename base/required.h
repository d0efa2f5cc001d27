#ifndef ZSEPA_BASE_REQUIRED_H_
#define ZSEPA_BASE_REQUIRED_H_

#include "zsepa/error.h"

namespace zsepa {

// The object a borrowed pointer refers to; raises run-time error 91 (object
// not set) when there is none.
template <typename T>
T& Required(T* object) {
  if (object == nullptr) rt::Raise(rt::kObjectNotSet);
  return *object;
}

}  // namespace zsepa

#endif  // ZSEPA_BASE_REQUIRED_H_
