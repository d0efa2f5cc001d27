#include "db/batch_loading.h"

#include "db/statements.h"
#include "format/formatting.h"
#include "zsepa/error.h"

namespace zsepa::db {

std::shared_ptr<CLSEP_INFOPAG> LoadBatch(
    Connection& connection, const Variant& CodiceDitta,
    zxEnumFormatoFile FormatoFile, const std::string& CodiceIsoLocalizzazione,
    int16_t TipoDistinta, int32_t NumeroDistinta, int16_t AnnoDistinta) {
  // On failure the local recordset closes and the half-built block is
  // dropped as the error unwinds.
  const std::string sql =
      BatchStatement(FormatoFile, CodiceIsoLocalizzazione, CodiceDitta,
                     TipoDistinta, NumeroDistinta, AnnoDistinta);
  std::unique_ptr<Recordset> row = connection.Execute(sql);
  if (row->Eof()) {
    throw Error(codes::kBatchNotFound, "Add()", "Distinta non trovata");
  }
  auto block = std::make_shared<CLSEP_INFOPAG>();
  block->TipoDistinta = TipoDistinta;
  block->NumeroDistinta = NumeroDistinta;
  block->AnnoDistinta = AnnoDistinta;

  const Variant zero(int32_t{0});
  const Variant no_text("");
  auto value = [&](const char* column, const Variant& fallback) {
    return ValoreNonNullo(row->Field(column), fallback);
  };
  // One column gives both the urgency flag and the service level.
  block->FlagUrgente = value("EF10_FLGBONACC", zero).ToDouble() != 0;
  block->IndicatoreLivelloServizio =
      static_cast<zxEnumIndicatoreLivelloServizio>(
          value("EF10_FLGBONACC", zero).ToInt32());
  block->IBAN = value("EF10_IBANORDPBONIF", no_text).ToText();
  block->IndicatoreEsito = value("EF10_INDESITO", zero).ToInt16();
  block->BicSwift = value("CG12_CODBICSWIFT", no_text).ToText();
  block->DataValuta = value("EF10_DATAVALUTA", zero);
  block->Abi = value("EF10_BANCAPRES_CG12", zero);
  block->IndicatoreTipoContatorePmtInf =
      static_cast<zxEnumIndicatoreContatorePmtInf>(
          value("EF08_INDCONTPMTINF", zero).ToInt32());
  block->IsMultipla = value("EF08_FLGRIDSDDRAGGR", zero).ToDouble() == 1;
  block->IndicatoreComposizioneIndirizzo =
      static_cast<zxEnumIndicatoreIndirizzoBonifici>(
          value("EF08_INDCOMPIND", zero).ToInt32());
  row->Close();
  return block;
}

}  // namespace zsepa::db
