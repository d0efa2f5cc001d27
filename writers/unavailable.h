#ifndef ZSEPA_WRITERS_UNAVAILABLE_H_
#define ZSEPA_WRITERS_UNAVAILABLE_H_

#include <string>

#include "writers/writer.h"

namespace zsepa::writers {

// Stands in for a file kind whose writer is not part of this build: Write
// raises codes::kWriterUnavailable naming the kind, and writes nothing.
class UnavailableWriter final : public Writer {
 public:
  explicit UnavailableWriter(const char* kind) : kind_(kind) {}
  void Write(const WriteContext& context,
             const std::string& PercorsoFile) const override;

 private:
  const char* kind_;
};

}  // namespace zsepa::writers

#endif  // ZSEPA_WRITERS_UNAVAILABLE_H_
