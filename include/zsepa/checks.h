#ifndef ZSEPA_CHECKS_H_
#define ZSEPA_CHECKS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "zsepa/clsep_filesepa.h"

namespace zsepa {

// One thing that a bank or the file's schema would object to, found before
// the file is written.
struct Finding {
  enum class Severity {
    kError,    // the bank or the schema refuses the file
    kWarning,  // accepted, but probably not what was meant
  };

  std::string code;  // stable, e.g. "IBAN_CHECK_DIGITS"
  Severity severity = Severity::kError;
  // Where: 1-based positions as the collections count them; 0 when the
  // finding is not about a block, a transaction or a document reference.
  int32_t block = 0;
  int32_t transaction = 0;
  int32_t reference = 0;
  // The field as the object model names it ("IBAN", "TitIBAN_PartitaIVA",
  // "DataCreazioneSupporto", "IdentificativoDitta" of the current company);
  // empty for the block or transaction as a whole.
  std::string field;
  std::string value;    // the value as the builder holds it
  std::string message;  // one line, in English
};

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
