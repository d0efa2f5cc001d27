#ifndef ZSEPA_WRITERS_ISO_CREDIT_TRANSFER_H_
#define ZSEPA_WRITERS_ISO_CREDIT_TRANSFER_H_

#include <string>

#include "writers/writer.h"

namespace zsepa::writers {

// The ISO 20022 credit-transfer file "pain.001.001.03" of the French
// localisation: FormatoFile 1 (SEPA: service level "SEPA", charges "SLEV")
// or 2 (foreign: instruction priority, charges "SHAR", the creditor's agent
// and the regulatory code per transaction) of the builder's one block.
// Several blocks are refused with codes::kTooManyBlocks before anything is
// read, as for the CBI files; no block fails with run-time error 91 once the
// group header is built.
class IsoCreditTransferWriter final : public Writer {
 public:
  void Write(const WriteContext& context,
             const std::string& PercorsoFile) const override;
};

}  // namespace zsepa::writers

#endif  // ZSEPA_WRITERS_ISO_CREDIT_TRANSFER_H_
