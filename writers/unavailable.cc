#include "writers/unavailable.h"

#include "zsepa/error.h"

namespace zsepa::writers {

void UnavailableWriter::Write(const WriteContext&, const std::string&) const {
  throw Error(codes::kWriterUnavailable, "SaveXML()",
              std::string("Il formato di file richiesto (") + kind_ +
                  ") non è ancora disponibile");
}

}  // namespace zsepa::writers
