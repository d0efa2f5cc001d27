#include "zsepa/clsep_filesepa.h"
#include "zsepa/error.h"

namespace zsepa {

bool CLSEP_FILESEPA::LoadXml(const std::string&, bool) {
  return Guarded([] {
    throw Error(codes::kWriterUnavailable, "LoadXml()",
                "La lettura degli esiti SDD non è ancora disponibile");
  });
}

}  // namespace zsepa
