#include "status/status_reader.h"

#include "zsepa/error.h"

namespace zsepa::status {

bool ReadStatusReport(const ReadContext& context, const std::string&, bool) {
  return context.last_error.Guarded([] {
    throw Error(codes::kWriterUnavailable, "LoadXml()",
                "La lettura degli esiti SDD non è ancora disponibile");
  });
}

}  // namespace zsepa::status
