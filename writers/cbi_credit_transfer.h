#ifndef ZSEPA_WRITERS_CBI_CREDIT_TRANSFER_H_
#define ZSEPA_WRITERS_CBI_CREDIT_TRANSFER_H_

#include <string>

#include "writers/writer.h"

namespace zsepa::writers {

// The CBI SEPA credit-transfer file (FormatoFile 1) and the CBI cross-border
// file (FormatoFile 2) of the builder's one block. Several blocks are refused
// with codes::kTooManyBlocks before anything is read; no block fails with
// run-time error 91 once the group header is built.
class CbiCreditTransferWriter final : public Writer {
 public:
  void Write(const WriteContext& context,
             const std::string& PercorsoFile) const override;
};

}  // namespace zsepa::writers

#endif  // ZSEPA_WRITERS_CBI_CREDIT_TRANSFER_H_
