#ifndef ZSEPA_FINDING_H_
#define ZSEPA_FINDING_H_

#include <cstdint>
#include <string>

namespace zsepa {

// One thing that a bank or the file's schema would object to, found before
// the file is written by the pre-flight checks (zsepa/checks.h), or one
// change that the bank-2026 profile made to the exact file (zsepa/profile.h).
struct Finding {
  enum class Severity {
    kError,    // the bank or the schema refuses the file
    kWarning,  // accepted, but probably not what was meant; or, from the
               // profile, a change the file carries
  };

  std::string code;  // stable, e.g. "IBAN_CHECK_DIGITS"
  Severity severity = Severity::kError;
  // Where: 1-based positions as the collections count them; 0 when the
  // finding is not about a block, a transaction or a document reference.
  // The profile counts in the file instead: block is the "PmtInf" group,
  // transaction the transaction record, over the whole file.
  int32_t block = 0;
  int32_t transaction = 0;
  int32_t reference = 0;
  // The field as the object model names it ("IBAN", "TitIBAN_PartitaIVA",
  // "DataCreazioneSupporto", "IdentificativoDitta" of the current company);
  // empty for the block or transaction as a whole. The profile names the
  // element of the exact file, as a path from the transaction record, else
  // from the "PmtInf" group, else from the message ("Cdtr/PstlAdr",
  // "Dbtr/Nm", "GrpHdr/InitgPty/Nm"); an attribute follows "@"
  // ("InstdAmt@Ccy").
  std::string field;
  std::string value;  // the value as the builder holds it
  // What the file carries instead, when the bank-2026 profile changed the
  // value (FileProfile); empty otherwise.
  std::string written;
  std::string message;  // one line, in English
};

}  // namespace zsepa

#endif  // ZSEPA_FINDING_H_
