#ifndef ZSEPA_WRITERS_CREDIT_TRANSFER_PARTS_H_
#define ZSEPA_WRITERS_CREDIT_TRANSFER_PARTS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "writers/xml_builder.h"
#include "zsepa/clsep_infopag.h"
#include "zsepa/clsep_transfcredit.h"
#include "zsepa/enums.h"
#include "zsepa/framework.h"

namespace zsepa::writers {

// Free-text remittance information is cut to this many characters.
inline constexpr size_t kUstrdLength = 140;

// TestoNonNullo of a text field is the text without trailing spaces; these
// two spare the per-transaction copies through a Variant.
bool NonBlank(std::string_view text);
std::string_view WithoutTrailingSpaces(std::string_view text);

// "PmtMtd": "TRF" when the block asks for no outcome on ordered transfers
// (IndicatoreEsito 5), "TRA" otherwise.
const char* PaymentMethod(const CLSEP_INFOPAG& block);

// The company identifier written into files: IdentificativoDitta without
// trailing blanks, or the alternative identifier when that is blank.
std::string CompanyIdentifier(const framework::CurrentCompany& company);

// One block per credit-transfer file: the file has room for one
// payment-information group while its totals would count every block, so
// several blocks are refused (codes::kTooManyBlocks) before anything is read
// or built. `file` names the file kind in the message ("CBI", "ISO 20022").
void RequireAtMostOneBlock(const BlockList& blocks, const char* file);
// The file's one block; run-time error 91 when the builder holds none, once
// the group header is built (as appending the missing block would fail).
const CLSEP_INFOPAG& TheBlock(const BlockList& blocks);

// The "AdrTp" code of an address type; nullptr for UNKN and unknown values.
const char* AddressTypeCode(zxEnumIndicatoreTipoIndirizzo type);

// The pieces that the credit-transfer files share, built in one document.
class CreditTransferParts {
 public:
  explicit CreditTransferParts(xml::Documento& doc) : doc_(doc) {}

  void Aggiungi(xml::Element& parent, xml::Element&& child) {
    doc_.Aggiungi(parent, std::move(child));
  }
  // `tag` holding `child`.
  xml::Element Wrap(const char* tag, xml::Element&& child);
  // "FinInstnId", with "BIC" = `bic` as given when it is non-blank.
  xml::Element Institution(std::string_view bic);
  // "DbtrAcct"/"Id"/"IBAN": the block's account without trailing blanks.
  xml::Element DebtorAccount(const CLSEP_INFOPAG& block);
  // "Amt"/"InstdAmt": the absolute amount in the transaction's currency.
  xml::Element Amount(const CLSEP_TRANSFCREDIT& transfer);
  // "CdtrAcct"/"Id": "IBAN" for an IBAN-shaped account, "Othr"/"Id" for any
  // other, nothing inside "Id" for a blank one; without trailing blanks.
  xml::Element CreditorAccount(const CLSEP_TRANSFCREDIT& transfer);
  // "RmtInf"/"Ustrd": the first kUstrdLength characters of the free text.
  xml::Element UnstructuredRemittance(const CLSEP_TRANSFCREDIT& transfer);

 protected:
  xml::Documento& doc_;
};

}  // namespace zsepa::writers

#endif  // ZSEPA_WRITERS_CREDIT_TRANSFER_PARTS_H_
