#ifndef ZSEPA_CLSEP_INFOPAG_H_
#define ZSEPA_CLSEP_INFOPAG_H_

#include <cstdint>
#include <memory>
#include <string>

#include "zsepa/clsep_transfcredit.h"
#include "zsepa/collection.h"
#include "zsepa/enums.h"
#include "zsepa/transactions_recordset.h"
#include "zsepa/variant.h"

namespace zsepa {

// One payment-information block: a batch of the accounting database with the
// account it is paid from (or collected into), its options and its ordered
// transactions. `Add` of the builder fills the batch key and bank fields from
// the database; a host may also fill a block itself. Every field is a plain
// stored value.
class CLSEP_INFOPAG {
 public:
  int16_t TipoDistinta = 0;
  int32_t NumeroDistinta = 0;
  int16_t AnnoDistinta = 0;
  std::string IBAN;
  std::string BicSwift;
  bool FlagUrgente = false;
  int16_t IndicatoreEsito = 0;  // values of zxEnumEsitoBonifico
  Variant Abi;
  Variant DataValuta;
  int32_t ProgrBanca = 0;
  zxEnumIndicatoreLivelloServizio IndicatoreLivelloServizio =
      zxEnumIndicatoreLivelloServizio::Assente;
  std::string CreditorIdentifier;
  zxEnumTipoIncassoRidSDD TipoIncassoRidSDD{};  // 0: no member
  std::string CodiceCUC;
  bool IsMultipla = false;
  zxEnumIndicatoreContatorePmtInf IndicatoreTipoContatorePmtInf =
      zxEnumIndicatoreContatorePmtInf::SempreProgressivo;
  int16_t IndicatoreAccumuloSpese = 0;
  zxEnumIndicatoreIndirizzoBonifici IndicatoreComposizioneIndirizzo =
      zxEnumIndicatoreIndirizzoBonifici::IndirizzoSuSingoloTag;

  // Appends a new transaction with its defaults and returns it for the host
  // to fill.
  std::shared_ptr<CLSEP_TRANSFCREDIT> AddTrasfer();
  int32_t Count() const { return trasferimenti_.Count(); }
  int32_t NumeroTrasferimenti() const { return trasferimenti_.Count(); }
  // The transaction at 1-based `Index`; raises run-time error 5 outside
  // 1..Count.
  const std::shared_ptr<CLSEP_TRANSFCREDIT>& Trasferimento(
      int32_t Index) const {
    return trasferimenti_.Item(Index);
  }
  // Sum of the absolute amounts in list order (a credit note entered with a
  // minus sign adds its magnitude); raises run-time error 6 when the sum
  // overflows.
  double TotaleImportoTrasferimenti() const;
  // A new, open, disconnected recordset with the transactions' 42 columns
  // and one row per transaction in list order, positioned on the last row.
  // The caller owns it; later changes to the transactions do not reach it.
  // A value that its column cannot hold raises codes::kValueNotAccepted
  // (see TransactionsRecordset) and nothing is returned.
  std::unique_ptr<TransactionsRecordset> RecorsetTransazioni() const;

 private:
  Collection<std::shared_ptr<CLSEP_TRANSFCREDIT>> trasferimenti_;
};

// The builder's ordered list of blocks.
using BlockList = Collection<std::shared_ptr<CLSEP_INFOPAG>>;

}  // namespace zsepa

#endif  // ZSEPA_CLSEP_INFOPAG_H_
