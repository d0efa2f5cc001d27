#include "zsepa/collection.h"

#include "base/ascii.h"

namespace zsepa {

std::string FoldKey(std::string_view key) {
  std::string folded(key);
  for (char& c : folded) c = FoldAscii(c);
  return folded;
}

}  // namespace zsepa
