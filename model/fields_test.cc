#include "model/fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zsepa::fields {
namespace {

// A table lists every field of its class exactly once, in declaration order
// (member addresses increase), with dispatch identifiers in interface order.
template <typename T>
void ExpectDeclarationOrder(const std::vector<Field<T>>& table,
                            size_t expected_count) {
  EXPECT_EQ(table.size(), expected_count);
  const T object;
  for (size_t i = 1; i < table.size(); ++i) {
    EXPECT_LT(table[i - 1].address(object), table[i].address(object))
        << table[i].name;
    EXPECT_LT(table[i - 1].dispid, table[i].dispid) << table[i].name;
  }
}

TEST(FieldsTest, TablesFollowTheClasses) {
  ExpectDeclarationOrder(BlockFields(), 18);
  ExpectDeclarationOrder(TransactionFields(), 48);
  ExpectDeclarationOrder(ReferenceFields(), 3);
}

// The transactions recordset: 42 columns in this order, with type, size
// (text) or precision and scale (decimals).
TEST(FieldsTest, RecordsetColumnsInOrder) {
  const std::vector<std::string> expected = {
      "Importo 14 14.3",
      "Causale 200 6",
      "NomeBanca 200 80",
      "BicSwift 200 20",
      "IBAN 200 35",
      "RagioneSociale 200 60",
      "Indirizzo 200 60",
      "CodiceIso 200 4",
      "CapCittaProvNazione 200 80",
      "PartitaIVA 200 16",
      "RiferimentoNonStrutturato 200 100",
      "Divisa 200 4",
      "CVSImporto 14 18.2",
      "CVSTipo 200 4",
      "CVSDescr 200 50",
      "Scadenza 7",
      "Cap 200 8",
      "Citta 200 80",
      "Provincia 200 10",
      "Nazione 200 60",
      "RiferimentoMandato 200 35",
      "DataMandato 7",
      "FlagDatiMandatoVariati 3",
      "PrecedenteIbanMandato 200 34",
      "PrecedenteRiferimentoMandato 200 15",
      "TipoSequenzaRidSDD 2",
      "NumeroEffetto 200 30",
      "CodCG07 3",
      "FlgPrsFis 3",
      "CodiceFiscale 200 20",
      "TitIBAN_Esistente 3",
      "TitIBAN_RagioneSociale 200 60",
      "TitIBAN_Indirizzo 200 60",
      "TitIBAN_Cap 200 8",
      "TitIBAN_Citta 200 80",
      "TitIBAN_Provincia 200 10",
      "TitIBAN_CodiceIso 200 4",
      "TitIBAN_Nazione 200 60",
      "TitIBAN_PartitaIVA 200 16",
      "TitIBAN_CodCG07 3",
      "TitIBAN_FlgPrsFis 3",
      "TitIBAN_CodiceFiscale 200 20"};
  std::vector<std::string> actual;
  int32_t position = 0;
  for (const Field<CLSEP_TRANSFCREDIT>* field : RecordsetColumns()) {
    EXPECT_EQ(field->column.position, ++position) << field->name;
    const Column& c = field->column;
    std::string text = std::string(field->name) + " " +
                       std::to_string(static_cast<int32_t>(c.type));
    if (c.size != 0) text += " " + std::to_string(c.size);
    if (c.precision != 0) {
      text += " " + std::to_string(c.precision) + "." + std::to_string(c.scale);
    }
    actual.push_back(text);
  }
  EXPECT_EQ(actual, expected);
}

// Values go in and come out unchanged, enumerations as their numbers (any
// 32-bit value); a value of the wrong kind raises.
TEST(FieldsTest, SetAndGetByKind) {
  CLSEP_TRANSFCREDIT transfer;
  for (const auto& field : TransactionFields()) {
    Variant value;
    switch (field.kind) {
      case FieldKind::kText:
        value = Variant("x");
        break;
      case FieldKind::kDouble:
        value = Variant(12.345);
        break;
      case FieldKind::kInt16:
        value = Variant(int16_t{-7});
        break;
      case FieldKind::kInt32:
      case FieldKind::kEnum:
        value = Variant(int32_t{123456});
        break;
      case FieldKind::kDate:
        value = Variant(Date::FromParts(2024, 3, 5));
        break;
      default:
        value = Variant::Null();
    }
    field.set(transfer, value);
    const Variant back = field.get(transfer);
    EXPECT_EQ(back.type(), value.type()) << field.name;
    EXPECT_EQ(back.ToText(), value.ToText()) << field.name;
  }
  const auto& scadenza = TransactionFields()[15];
  ASSERT_EQ(scadenza.name, "Scadenza");
  EXPECT_THROW(scadenza.set(transfer, Variant("not a date")), Error);
}

}  // namespace
}  // namespace zsepa::fields
