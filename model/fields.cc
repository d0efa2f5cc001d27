#include "model/fields.h"

#include <algorithm>

namespace zsepa::fields {
namespace {

// Each name is written once: it is both the published name and the member.
#define ZSEPA_FIELD(Class, Name, ...) \
  MakeField<&Class::Name>(#Name, __VA_ARGS__)

constexpr Column Text(int32_t position, int32_t size) {
  return {position, ColumnType::kVarChar, size, 0, 0};
}
constexpr Column Decimal(int32_t position, int32_t precision, int32_t scale) {
  return {position, ColumnType::kDecimal, 0, precision, scale};
}
constexpr Column Of(int32_t position, ColumnType type) {
  return {position, type, 0, 0, 0};
}
constexpr ColumnType kInteger = ColumnType::kInteger;

}  // namespace

const std::vector<Field<CLSEP_INFOPAG>>& BlockFields() {
  using B = CLSEP_INFOPAG;
  static const std::vector<Field<B>> table = {
      ZSEPA_FIELD(B, TipoDistinta, 0x40030000),
      ZSEPA_FIELD(B, NumeroDistinta, 0x40030001),
      ZSEPA_FIELD(B, AnnoDistinta, 0x40030002),
      ZSEPA_FIELD(B, IBAN, 0x40030003),
      ZSEPA_FIELD(B, BicSwift, 0x40030004),
      ZSEPA_FIELD(B, FlagUrgente, 0x40030005),
      ZSEPA_FIELD(B, IndicatoreEsito, 0x40030006),
      ZSEPA_FIELD(B, Abi, 0x40030007),
      ZSEPA_FIELD(B, DataValuta, 0x40030008),
      ZSEPA_FIELD(B, ProgrBanca, 0x40030009),
      ZSEPA_FIELD(B, IndicatoreLivelloServizio, 0x4003000a),
      ZSEPA_FIELD(B, CreditorIdentifier, 0x4003000b),
      ZSEPA_FIELD(B, TipoIncassoRidSDD, 0x4003000c),
      ZSEPA_FIELD(B, CodiceCUC, 0x4003000d),
      ZSEPA_FIELD(B, IsMultipla, 0x4003000e),
      ZSEPA_FIELD(B, IndicatoreTipoContatorePmtInf, 0x4003000f),
      ZSEPA_FIELD(B, IndicatoreAccumuloSpese, 0x40030010),
      ZSEPA_FIELD(B, IndicatoreComposizioneIndirizzo, 0x40030011),
  };
  return table;
}

const std::vector<Field<CLSEP_TRANSFCREDIT>>& TransactionFields() {
  using T = CLSEP_TRANSFCREDIT;
  static const std::vector<Field<T>> table = {
      ZSEPA_FIELD(T, Importo, 0x40030000, Decimal(1, 14, 3)),
      ZSEPA_FIELD(T, Causale, 0x40030001, Text(2, 6)),
      ZSEPA_FIELD(T, NomeBanca, 0x40030002, Text(3, 80)),
      ZSEPA_FIELD(T, BicSwift, 0x40030003, Text(4, 20)),
      ZSEPA_FIELD(T, IBAN, 0x40030004, Text(5, 35)),
      ZSEPA_FIELD(T, RagioneSociale, 0x40030005, Text(6, 60)),
      ZSEPA_FIELD(T, Indirizzo, 0x40030006, Text(7, 60)),
      ZSEPA_FIELD(T, CodiceIso, 0x40030007, Text(8, 4)),
      ZSEPA_FIELD(T, CapCittaProvNazione, 0x40030008, Text(9, 80)),
      ZSEPA_FIELD(T, PartitaIVA, 0x40030009, Text(10, 16)),
      ZSEPA_FIELD(T, RiferimentoNonStrutturato, 0x4003000a, Text(11, 100)),
      ZSEPA_FIELD(T, Divisa, 0x4003000c, Text(12, 4)),
      ZSEPA_FIELD(T, CVSImporto, 0x4003000d, Decimal(13, 18, 2)),
      ZSEPA_FIELD(T, CVSTipo, 0x4003000e, Text(14, 4)),
      ZSEPA_FIELD(T, CVSDescr, 0x4003000f, Text(15, 50)),
      ZSEPA_FIELD(T, Scadenza, 0x40030011, Of(16, ColumnType::kDate)),
      ZSEPA_FIELD(T, Cap, 0x40030012, Text(17, 8)),
      ZSEPA_FIELD(T, Citta, 0x40030013, Text(18, 80)),
      ZSEPA_FIELD(T, Provincia, 0x40030014, Text(19, 10)),
      ZSEPA_FIELD(T, Nazione, 0x40030015, Text(20, 60)),
      ZSEPA_FIELD(T, NumeroEffetto, 0x40030016, Text(27, 30)),
      ZSEPA_FIELD(T, TipoSequenzaRidSDD, 0x40030017,
                  Of(26, ColumnType::kSmallInt)),
      ZSEPA_FIELD(T, RiferimentoMandato, 0x40030019, Text(21, 35)),
      ZSEPA_FIELD(T, DataMandato, 0x4003001a, Of(22, ColumnType::kDate)),
      ZSEPA_FIELD(T, FlagDatiMandatoVariati, 0x4003001b, Of(23, kInteger)),
      ZSEPA_FIELD(T, PrecedenteIbanMandato, 0x4003001c, Text(24, 34)),
      ZSEPA_FIELD(T, PrecedenteRiferimentoMandato, 0x4003001d, Text(25, 15)),
      ZSEPA_FIELD(T, Clifor, 0x4003001f),
      ZSEPA_FIELD(T, NumeroDocumentoOrigine, 0x40030020),
      ZSEPA_FIELD(T, DataDocumento, 0x40030021),
      ZSEPA_FIELD(T, NumeroCivico, 0x40030023),
      ZSEPA_FIELD(T, IndicatoreIndirizzo, 0x40030024),
      ZSEPA_FIELD(T, TitIBAN_RagioneSociale, 0x40030026, Text(32, 60)),
      ZSEPA_FIELD(T, TitIBAN_Indirizzo, 0x40030027, Text(33, 60)),
      ZSEPA_FIELD(T, TitIBAN_Cap, 0x40030028, Text(34, 8)),
      ZSEPA_FIELD(T, TitIBAN_Citta, 0x40030029, Text(35, 80)),
      ZSEPA_FIELD(T, TitIBAN_Provincia, 0x4003002a, Text(36, 10)),
      ZSEPA_FIELD(T, TitIBAN_Nazione, 0x4003002b, Text(38, 60)),
      ZSEPA_FIELD(T, TitIBAN_CodiceIso, 0x4003002c, Text(37, 4)),
      ZSEPA_FIELD(T, TitIBAN_PartitaIVA, 0x4003002d, Text(39, 16)),
      ZSEPA_FIELD(T, TitIBAN_Esistente, 0x4003002e, Of(31, kInteger)),
      ZSEPA_FIELD(T, CodCG07, 0x40030030, Of(28, kInteger)),
      ZSEPA_FIELD(T, FlgPrsFis, 0x40030031, Of(29, kInteger)),
      ZSEPA_FIELD(T, CodiceFiscale, 0x40030032, Text(30, 20)),
      ZSEPA_FIELD(T, TitIBAN_CodCG07, 0x40030033, Of(40, kInteger)),
      ZSEPA_FIELD(T, TitIBAN_FlgPrsFis, 0x40030034, Of(41, kInteger)),
      ZSEPA_FIELD(T, TitIBAN_CodiceFiscale, 0x40030035, Text(42, 20)),
      ZSEPA_FIELD(T, FlagVariato, 0x40030037),
  };
  return table;
}

const std::vector<Field<CLSEP_RIFSCA>>& ReferenceFields() {
  using R = CLSEP_RIFSCA;
  static const std::vector<Field<R>> table = {
      ZSEPA_FIELD(R, NumeroDocumento, 0x40030000),
      ZSEPA_FIELD(R, DataDocumento, 0x40030001),
      ZSEPA_FIELD(R, IndicatoreTipoScadenza, 0x40030002),
  };
  return table;
}

std::vector<const Field<CLSEP_TRANSFCREDIT>*> RecordsetColumns() {
  std::vector<const Field<CLSEP_TRANSFCREDIT>*> columns;
  for (const auto& field : TransactionFields()) {
    if (field.column.position != 0) columns.push_back(&field);
  }
  std::sort(columns.begin(), columns.end(), [](const auto* a, const auto* b) {
    return a->column.position < b->column.position;
  });
  return columns;
}

}  // namespace zsepa::fields
