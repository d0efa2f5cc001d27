#ifndef ZSEPA_ENUMS_H_
#define ZSEPA_ENUMS_H_

#include <cstdint>

namespace zsepa {

// The eleven published enumerations. Names and values are fixed: hosts store
// and pass the numbers. Every field of one of these types accepts any 32-bit
// value (static_cast an int32_t); a value outside the list matches no member.
// Members are declared in the published order, which is not always the order
// of their values.

enum class zxEnumStrutturaSepa : int32_t {
  NonStrutturato = 0,
  Strutturato = 1
};

enum class zxEnumEsitoMessageQualifier : int32_t {
  TotallyRejected = 6,
  PartiallyRejected = 8
};

enum class zxEnumIndicatoreContatorePmtInf : int32_t {
  SempreProgressivo = 0,
  DaAzzerare = 1
};

enum class zxEnumEsitoBonifico : int32_t {
  DaAccordi = 0,
  Ordinato = 1,
  Storno = 2,
  Entrambi = 3,
  EsitoPositivoNonRichiesto = 4,
  SEPANoEsitoOrdinate = 5,
  SEPAEsitoOrdinante = 6
};

enum class zxEnumIndicatoreLivelloServizio : int32_t {
  Assente = 0,
  DataValutaCompensata = 2,
  EsteroUrgente = 1
};

enum class zxEnumFormatoFile : int32_t {
  BonificoSEPA = 1,
  BonificoEsteroXML = 2,
  RidSecureDirectDebit = 3
};

enum class zxEnumTipoIncassoRidSDD : int32_t {
  SDDCore = 3,
  SDDB2B = 4,
  SDDCoreAndB2B = 5
};

enum class zxEnumTipoSequenzaRidSDD : int32_t {
  First = 0,
  Recurring = 1,
  final = 2,
  FirstOneOff = 3
};

enum class zxEnumIndicatoreIndirizzoBonifici : int32_t {
  IndirizzoSuSingoloTag = 0,
  IndirizzoStrutturato = 1
};

enum class zxEnumIndicatoreTipoIndirizzo : int32_t {
  UNKN = 0,
  ADDR = 1,
  BIZZ = 2,
  DLVY = 3,
  HOME = 4,
  MLTO = 5,
  PBOX = 6
};

enum class zxEnumTipoScadenzaPassiva : int32_t { Fattura = 1, NotaCredito = 2 };

// The number an enumeration field holds.
template <typename E>
constexpr int32_t ToInt(E value) {
  return static_cast<int32_t>(value);
}

}  // namespace zsepa

#endif  // ZSEPA_ENUMS_H_
