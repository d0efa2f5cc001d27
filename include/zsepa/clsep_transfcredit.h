#ifndef ZSEPA_CLSEP_TRANSFCREDIT_H_
#define ZSEPA_CLSEP_TRANSFCREDIT_H_

#include <cstdint>
#include <memory>
#include <string>

#include "zsepa/collection.h"
#include "zsepa/date.h"
#include "zsepa/enums.h"
#include "zsepa/variant.h"

namespace zsepa {

// One reference to a document that a transaction pays (invoice or credit
// note), used for structured remittance information.
class CLSEP_RIFSCA {
 public:
  std::string NumeroDocumento;
  Variant DataDocumento;
  zxEnumTipoScadenzaPassiva IndicatoreTipoScadenza =
      zxEnumTipoScadenzaPassiva::Fattura;
};

// One transaction of a payment block: a credit transfer to a beneficiary or a
// direct debit from a debtor. The host fills every field; nothing here checks,
// converts or derives a value. "Counterparty" is the beneficiary or debtor,
// "account holder" (TitIBAN_...) the holder of its account when different.
class CLSEP_TRANSFCREDIT {
 public:
  double Importo = 0;
  std::string Causale;
  std::string NomeBanca;
  std::string BicSwift;
  std::string IBAN;
  std::string RagioneSociale;
  std::string Indirizzo;
  std::string CodiceIso;
  std::string CapCittaProvNazione;
  std::string PartitaIVA;
  std::string RiferimentoNonStrutturato;
  std::string Divisa = "EUR";
  double CVSImporto = 0;
  std::string CVSTipo;
  std::string CVSDescr;
  Date Scadenza;
  std::string Cap;
  std::string Citta;
  std::string Provincia;
  std::string Nazione;
  std::string NumeroEffetto;
  zxEnumTipoSequenzaRidSDD TipoSequenzaRidSDD = zxEnumTipoSequenzaRidSDD::First;
  std::string RiferimentoMandato;
  Date DataMandato;
  Variant FlagDatiMandatoVariati;
  std::string PrecedenteIbanMandato;
  std::string PrecedenteRiferimentoMandato;
  Variant Clifor;
  std::string NumeroDocumentoOrigine;
  Variant DataDocumento;
  std::string NumeroCivico;
  zxEnumIndicatoreTipoIndirizzo IndicatoreIndirizzo =
      zxEnumIndicatoreTipoIndirizzo::UNKN;
  std::string TitIBAN_RagioneSociale;
  std::string TitIBAN_Indirizzo;
  std::string TitIBAN_Cap;
  std::string TitIBAN_Citta;
  std::string TitIBAN_Provincia;
  std::string TitIBAN_Nazione;
  std::string TitIBAN_CodiceIso;
  std::string TitIBAN_PartitaIVA;
  int16_t TitIBAN_Esistente = 0;
  int32_t CodCG07 = 0;
  int16_t FlgPrsFis = 0;
  std::string CodiceFiscale;
  int32_t TitIBAN_CodCG07 = 0;
  int16_t TitIBAN_FlgPrsFis = 0;
  std::string TitIBAN_CodiceFiscale;
  int16_t FlagVariato = 0;

  // Appends a new document reference (kind Fattura) and returns it for the
  // host to fill.
  std::shared_ptr<CLSEP_RIFSCA> AddRiferimentoScadenza();
  int32_t Count() const { return riferimenti_.Count(); }
  // The reference at 1-based `Index`; raises run-time error 5 outside
  // 1..Count.
  const std::shared_ptr<CLSEP_RIFSCA>& RiferimentoScadenza(
      int32_t Index) const {
    return riferimenti_.Item(Index);
  }

 private:
  Collection<std::shared_ptr<CLSEP_RIFSCA>> riferimenti_;
};

}  // namespace zsepa

#endif  // ZSEPA_CLSEP_TRANSFCREDIT_H_
