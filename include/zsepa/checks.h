#ifndef ZSEPA_CHECKS_H_
#define ZSEPA_CHECKS_H_

#include <vector>

#include "zsepa/clsep_filesepa.h"
#include "zsepa/finding.h"

namespace zsepa {

// Pre-flight checks: reads the builder's blocks, transactions and document
// references, its settings and (when ActiveInterface is set) the current
// company, and returns what the file that SaveXML would write now breaks,
// in block and transaction order. The file kind is the one SaveXML picks
// from FormatoFile and CodiceIsoLocalizzazione. Nothing is written, no
// statement runs, Stato and Errore stay as they are; the checks never change
// what SaveXML writes. Values that only the database gives (the company's
// master data, the CUC of a credit-transfer bank row, the state lookups)
// are not checked. Raises nothing but std::bad_alloc.
std::vector<Finding> CheckBeforeSave(const CLSEP_FILESEPA& builder);

// Whether any finding is an error.
bool HasErrors(const std::vector<Finding>& findings);

}  // namespace zsepa

#endif  // ZSEPA_CHECKS_H_
