#include "writers/credit_transfer_parts.h"

#include <cmath>

#include "base/utf8.h"
#include "format/formatting.h"
#include "writers/iban_form.h"
#include "zsepa/error.h"

namespace zsepa::writers {

bool NonBlank(std::string_view text) {
  return text.find_last_not_of(' ') != std::string_view::npos;
}

std::string_view WithoutTrailingSpaces(std::string_view text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

const char* PaymentMethod(const CLSEP_INFOPAG& block) {
  return block.IndicatoreEsito ==
                 static_cast<int16_t>(zxEnumEsitoBonifico::SEPANoEsitoOrdinate)
             ? "TRF"
             : "TRA";
}

std::string CompanyIdentifier(const framework::CurrentCompany& company) {
  std::string identifier = RTrimSpaces(company.IdentificativoDitta());
  if (identifier.empty()) {
    identifier = RTrimSpaces(company.IdentificativoDittaAlternativo());
  }
  return identifier;
}

void RequireAtMostOneBlock(const BlockList& blocks, const char* file) {
  if (blocks.Count() <= 1) return;
  throw Error(codes::kTooManyBlocks, "SaveXML()",
              std::string("Il file ") + file +
                  " di bonifici contiene una sola distinta: ne sono state "
                  "aggiunte " +
                  std::to_string(blocks.Count()) +
                  ". Scrivere un file per ciascuna distinta");
}

const CLSEP_INFOPAG& TheBlock(const BlockList& blocks) {
  if (blocks.Count() == 0) {
    throw Error(rt::kObjectNotSet, "SaveXML()",
                "Nessuna distinta da scrivere: aggiungere la distinta con "
                "Add prima di SaveXML");
  }
  return *blocks.Item(1);
}

const char* AddressTypeCode(zxEnumIndicatoreTipoIndirizzo type) {
  switch (type) {
    case zxEnumIndicatoreTipoIndirizzo::ADDR:
      return "ADDR";
    case zxEnumIndicatoreTipoIndirizzo::BIZZ:
      return "BIZZ";
    case zxEnumIndicatoreTipoIndirizzo::DLVY:
      return "DLVY";
    case zxEnumIndicatoreTipoIndirizzo::HOME:
      return "HOME";
    case zxEnumIndicatoreTipoIndirizzo::MLTO:
      return "MLTO";
    case zxEnumIndicatoreTipoIndirizzo::PBOX:
      return "PBOX";
    default:
      return nullptr;
  }
}

xml::Element CreditTransferParts::Wrap(const char* tag, xml::Element&& child) {
  xml::Element wrapper = doc_.NuovoElemento(tag);
  Aggiungi(wrapper, std::move(child));
  return wrapper;
}

xml::Element CreditTransferParts::Institution(std::string_view bic) {
  xml::Element institution = doc_.NuovoElemento("FinInstnId");
  if (NonBlank(bic)) doc_.AggiungiElemento(institution, "BIC", bic);
  return institution;
}

xml::Element CreditTransferParts::DebtorAccount(const CLSEP_INFOPAG& block) {
  xml::Element id = doc_.NuovoElemento("Id");
  doc_.AggiungiElemento(id, "IBAN", WithoutTrailingSpaces(block.IBAN));
  return Wrap("DbtrAcct", std::move(id));
}

xml::Element CreditTransferParts::Amount(const CLSEP_TRANSFCREDIT& transfer) {
  xml::Element amount = doc_.NuovoElemento("Amt");
  doc_.AggiungiImporto(amount, "InstdAmt", std::fabs(transfer.Importo),
                       transfer.Divisa);
  return amount;
}

xml::Element CreditTransferParts::CreditorAccount(
    const CLSEP_TRANSFCREDIT& transfer) {
  xml::Element id = doc_.NuovoElemento("Id");
  const std::string_view iban = WithoutTrailingSpaces(transfer.IBAN);
  if (!iban.empty()) {
    if (IsIbanFormaValida(transfer.IBAN)) {
      doc_.AggiungiElemento(id, "IBAN", iban);
    } else {
      xml::Element other = doc_.NuovoElemento("Othr");
      doc_.AggiungiElemento(other, "Id", iban);
      Aggiungi(id, std::move(other));
    }
  }
  return Wrap("CdtrAcct", std::move(id));
}

xml::Element CreditTransferParts::UnstructuredRemittance(
    const CLSEP_TRANSFCREDIT& transfer) {
  xml::Element remittance = doc_.NuovoElemento("RmtInf");
  doc_.AggiungiElemento(
      remittance, "Ustrd",
      utf8::Left(transfer.RiferimentoNonStrutturato, kUstrdLength));
  return remittance;
}

}  // namespace zsepa::writers
