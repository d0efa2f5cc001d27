#include "zsepa/error.h"

#include <utility>

namespace zsepa {

Error::Error(int32_t code, std::string source, std::string description)
    : code_(code),
      source_(std::move(source)),
      description_(std::move(description)) {}

namespace rt {

void Raise(int32_t code, std::string source) {
  const char* text = "Application-defined or object-defined error";
  switch (code) {
    case kInvalidArgument:
      text = "Invalid procedure call or argument";
      break;
    case kOverflow:
      text = "Overflow";
      break;
    case kOutOfMemory:
      text = "Out of memory";
      break;
    case kTypeMismatch:
      text = "Type mismatch";
      break;
    case kObjectNotSet:
      text = "Object variable or With block variable not set";
      break;
    case kInvalidUseOfNull:
      text = "Invalid use of Null";
      break;
    case kDuplicateKey:
      text =
          "This key is already associated with an element of this "
          "collection";
      break;
  }
  throw Error(code, std::move(source), text);
}

}  // namespace rt
}  // namespace zsepa
