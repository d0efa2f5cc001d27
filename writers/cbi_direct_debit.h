#ifndef ZSEPA_WRITERS_CBI_DIRECT_DEBIT_H_
#define ZSEPA_WRITERS_CBI_DIRECT_DEBIT_H_

#include <string>

#include "writers/writer.h"

namespace zsepa::writers {

// The CBI SEPA direct-debit collection file
// "urn:CBI:xsd:CBISDDReqLogMsg.00.01.00" of the builder's first block. The
// group header counts every block of the builder; the first block's
// transactions, read through its transactions recordset sorted by sequence
// type and due date, are grouped into "PmtInf" elements. No block fails with
// the collection's index error (run-time error 5) once the creditor's
// master data are read; any failure (a database error, a value that the
// recordset refuses, the save) raises and nothing is written.
class CbiDirectDebitWriter final : public Writer {
 public:
  void Write(const WriteContext& context,
             const std::string& PercorsoFile) const override;
};

}  // namespace zsepa::writers

#endif  // ZSEPA_WRITERS_CBI_DIRECT_DEBIT_H_
