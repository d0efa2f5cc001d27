#include "zsepa/transactions_recordset.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/testing/error_code.h"
#include "zsepa/clsep_infopag.h"
#include "zsepa/error.h"
#include "zsepa/transaction_rows.h"

namespace zsepa {
namespace {

using testing::ErrorCode;
using Seq = zxEnumTipoSequenzaRidSDD;
using Fill = std::function<void(CLSEP_TRANSFCREDIT&)>;

// A block of three transactions; `fill` sets the third.
CLSEP_INFOPAG BlockWithThird(const Fill& fill) {
  CLSEP_INFOPAG block;
  block.AddTrasfer()->Causale = "SEPA";
  block.AddTrasfer();
  fill(*block.AddTrasfer());
  return block;
}

TEST(TransactionsRecordsetTest, RefusesValuesItsColumnsCannotHold) {
  struct Case {
    const char* input;
    Fill fill;
    // The refusal's text, or "" when the value is accepted.
    std::string refused;
  };
  const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units
  const std::vector<Case> cases = {
      {"Causale of 6", [](auto& t) { t.Causale = "ABCDEF"; }, ""},
      {"Causale of 7", [](auto& t) { t.Causale = "ABCDEFG"; },
       "Valore non valido per la colonna 'Causale' (massimo 6 caratteri) "
       "della transazione 3"},
      {"Causale of 6 accented (7 bytes)",
       [](auto& t) { t.Causale = "Caff\xC3\xA8!"; }, ""},
      {"Causale with an emoji counting two",
       [&](auto& t) { t.Causale = "abc" + emoji + "d"; }, ""},
      {"Causale with an emoji making 7",
       [&](auto& t) { t.Causale = "abc" + emoji + "de"; },
       "Valore non valido per la colonna 'Causale' (massimo 6 caratteri) "
       "della transazione 3"},
      {"RagioneSociale of 61",
       [](auto& t) { t.RagioneSociale = std::string(61, 'x'); },
       "Valore non valido per la colonna 'RagioneSociale' (massimo 60 "
       "caratteri) della transazione 3"},
      {"RiferimentoNonStrutturato of 100",
       [](auto& t) { t.RiferimentoNonStrutturato = std::string(100, 'x'); },
       ""},
      {"IBAN of 36", [](auto& t) { t.IBAN = std::string(36, '1'); },
       "Valore non valido per la colonna 'IBAN' (massimo 35 caratteri) della "
       "transazione 3"},
      {"TitIBAN_PartitaIVA of 17",
       [](auto& t) { t.TitIBAN_PartitaIVA = std::string(17, '1'); },
       "Valore non valido per la colonna 'TitIBAN_PartitaIVA' (massimo 16 "
       "caratteri) della transazione 3"},
      {"Importo with 11 integer digits",
       [](auto& t) { t.Importo = -99999999999.999; }, ""},
      {"Importo with 12 integer digits",
       [](auto& t) { t.Importo = 100000000000.0; },
       "Valore non valido per la colonna 'Importo' (massimo 14 cifre, di cui "
       "3 decimali) della transazione 3"},
      {"Importo rounding up to 12 integer digits",
       [](auto& t) { t.Importo = 99999999999.9996; },
       "Valore non valido per la colonna 'Importo' (massimo 14 cifre, di cui "
       "3 decimali) della transazione 3"},
      {"CVSImporto with 16 integer digits",
       [](auto& t) { t.CVSImporto = 1234567890123456.0; }, ""},
      {"CVSImporto with 17 integer digits",
       [](auto& t) { t.CVSImporto = 1e16; },
       "Valore non valido per la colonna 'CVSImporto' (massimo 18 cifre, di "
       "cui 2 decimali) della transazione 3"},
      {"FlagDatiMandatoVariati text",
       [](auto& t) { t.FlagDatiMandatoVariati = Variant("si"); },
       "Valore non valido per la colonna 'FlagDatiMandatoVariati' (intero a "
       "32 bit) della transazione 3"},
      {"FlagDatiMandatoVariati beyond 32 bits",
       [](auto& t) { t.FlagDatiMandatoVariati = Variant(int64_t{1} << 40); },
       "Valore non valido per la colonna 'FlagDatiMandatoVariati' (intero a "
       "32 bit) della transazione 3"},
      {"TipoSequenzaRidSDD beyond 16 bits",
       [](auto& t) { t.TipoSequenzaRidSDD = static_cast<Seq>(70000); },
       "Valore non valido per la colonna 'TipoSequenzaRidSDD' (intero a 16 "
       "bit) della transazione 3"},
  };
  for (const Case& c : cases) {
    const CLSEP_INFOPAG block = BlockWithThird(c.fill);
    std::string text;
    const int32_t code = ErrorCode([&] { block.RecorsetTransazioni(); }, &text);
    // The rows read without the recordset refuse the same value alike.
    std::string rows_text;
    EXPECT_EQ(ErrorCode([&] { TransactionRows rows(block); }, &rows_text), code)
        << c.input;
    EXPECT_EQ(rows_text, text) << c.input;
    if (c.refused.empty()) {
      EXPECT_EQ(code, 0) << c.input << ": " << text;
    } else {
      EXPECT_EQ(code, codes::kValueNotAccepted) << c.input;
      EXPECT_EQ(text, c.refused) << c.input;
    }
  }
}

TEST(TransactionsRecordsetTest, StoresValuesInTheColumnsTypes) {
  struct Case {
    const char* input;
    Fill fill;
    const char* column;
    Variant expected;
  };
  const std::vector<Case> cases = {
      {"Importo keeps three decimals", [](auto& t) { t.Importo = 12.345; },
       "Importo", Variant(12.345)},
      {"Importo rounds to three decimals",
       [](auto& t) { t.Importo = -12.3456; }, "Importo", Variant(-12.346)},
      {"CVSImporto rounds to two decimals half away from zero",
       [](auto& t) { t.CVSImporto = 1.005; }, "CVSImporto", Variant(1.01)},
      {"Empty flag becomes Null", [](auto&) {}, "FlagDatiMandatoVariati",
       Variant::Null()},
      {"Null flag stays Null",
       [](auto& t) { t.FlagDatiMandatoVariati = Variant::Null(); },
       "FlagDatiMandatoVariati", Variant::Null()},
      {"True flag is -1",
       [](auto& t) { t.FlagDatiMandatoVariati = Variant(true); },
       "flagdatimandatovariati", Variant(int32_t{-1})},
      {"numeric text flag",
       [](auto& t) { t.FlagDatiMandatoVariati = Variant("2"); },
       "FlagDatiMandatoVariati", Variant(int32_t{2})},
      {"sequence type outside the enumeration",
       [](auto& t) { t.TipoSequenzaRidSDD = static_cast<Seq>(7); },
       "TipoSequenzaRidSDD", Variant(int16_t{7})},
      {"16-bit field in a 32-bit column",
       [](auto& t) { t.TitIBAN_Esistente = 1; }, "TitIBAN_Esistente",
       Variant(int32_t{1})},
      {"text unchanged, trailing blanks kept",
       [](auto& t) { t.Causale = "SUPP  "; }, "Causale", Variant("SUPP  ")},
      {"date", [](auto& t) { t.Scadenza = Date::FromParts(2024, 5, 10); },
       "Scadenza", Variant(Date::FromParts(2024, 5, 10))},
  };
  for (const Case& c : cases) {
    const CLSEP_INFOPAG block = BlockWithThird(c.fill);
    std::unique_ptr<TransactionsRecordset> rs = block.RecorsetTransazioni();
    // Returned on the last row: the third transaction.
    ASSERT_FALSE(rs->Eof()) << c.input;
    EXPECT_EQ(rs->Field(c.column), c.expected) << c.input;
    TransactionRows rows(block);
    rows.MoveNext();
    rows.MoveNext();
    EXPECT_EQ(rows.Value(rows.ColumnIndex(c.column)), c.expected) << c.input;
  }
}

// Short texts, long ones, a text repeated from the row before and one that
// differs from it read back exactly as the transactions hold them, in any
// order.
TEST(TransactionsRecordsetTest, ReadsBackEveryTextAsStored) {
  const std::vector<std::string> texts = {"",
                                          "A",
                                          "ABC",
                                          "ABCD",
                                          "ABCD",
                                          "ABCE",
                                          "SUPP  ",
                                          "Caff\xC3\xA8",
                                          std::string(200, 'x'),
                                          std::string(200, 'x'),
                                          "ABCD",
                                          ""};
  CLSEP_INFOPAG block;
  for (const std::string& text : texts) {
    CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
    t.Causale = text.substr(0, 6);
    t.RiferimentoNonStrutturato = text.substr(0, 100);
    t.NumeroEffetto = text.substr(0, 30);
  }
  std::unique_ptr<TransactionsRecordset> rs = block.RecorsetTransazioni();
  for (const char* sort : {"", "Causale DESC", "NumeroEffetto"}) {
    rs->Sort(sort);
    std::multiset<std::string> seen;
    for (; !rs->Eof(); rs->MoveNext()) {
      const std::string text = rs->Field("NumeroEffetto").ToText();
      seen.insert(text);
      const std::string input = "\"" + text + "\" sorted by \"" + sort + "\"";
      EXPECT_EQ(rs->Field("Causale"), Variant(text.substr(0, 6))) << input;
      EXPECT_EQ(rs->TextValue(10).substr(0, 30), text) << input;
    }
    std::multiset<std::string> expected;
    for (const std::string& text : texts) expected.insert(text.substr(0, 30));
    EXPECT_EQ(seen, expected) << sort;
  }
  rs->Sort("NumeroEffetto DESC");
  EXPECT_EQ(rs->Field("NumeroEffetto"), Variant(std::string(30, 'x')));
  EXPECT_EQ(ErrorCode([&] { rs->TextValue(0); }), rt::kTypeMismatch);
}

TEST(TransactionsRecordsetTest, HasTheColumnsAndIsPositionedOnTheLastRow) {
  CLSEP_INFOPAG block;
  std::unique_ptr<TransactionsRecordset> empty = block.RecorsetTransazioni();
  ASSERT_EQ(empty->Columns().size(), 42u);
  EXPECT_EQ(empty->Columns()[0].name, "Importo");
  EXPECT_EQ(empty->Columns()[0].precision, 14);
  EXPECT_EQ(empty->Columns()[0].scale, 3);
  EXPECT_EQ(empty->Columns()[12].name, "CVSImporto");
  EXPECT_EQ(empty->Columns()[12].precision, 18);
  EXPECT_EQ(empty->Columns()[41].name, "TitIBAN_CodiceFiscale");
  EXPECT_EQ(empty->RecordCount(), 0);
  EXPECT_TRUE(empty->Eof());

  block.AddTrasfer()->NumeroEffetto = "A";
  block.AddTrasfer()->NumeroEffetto = "B";
  std::unique_ptr<TransactionsRecordset> rs = block.RecorsetTransazioni();
  // Later changes to the transactions do not reach the recordset.
  block.Trasferimento(2)->NumeroEffetto = "changed";
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Field("NumeroEffetto"), Variant("B"));
  EXPECT_EQ(rs->Field(26), Variant("B"));
  rs->MoveFirst();
  EXPECT_EQ(rs->Field("NumeroEffetto"), Variant("A"));
  EXPECT_EQ(ErrorCode([&] { rs->Field("Clifor"); }), codes::kItemNotFound);
  EXPECT_EQ(ErrorCode([&] { rs->Field(42); }), codes::kItemNotFound);
  rs->MoveNext();
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorCode([&] { rs->Field("Importo"); }), codes::kNoCurrentRecord);
  EXPECT_EQ(ErrorCode([&] { rs->MoveNext(); }), codes::kNoCurrentRecord);
  rs->Close();
  rs->Close();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorCode([&] { rs->RecordCount(); }), codes::kObjectClosed);
  EXPECT_EQ(ErrorCode([&] { rs->Sort("Importo"); }), codes::kObjectClosed);
}

TEST(TransactionsRecordsetTest, SortsStablyByTheListedColumns) {
  struct Row {
    int32_t seq;
    int day;
  };
  struct Case {
    const char* input;
    std::vector<Row> rows;
    const char* sort;
    std::string
        expected;  // NumeroEffetto ("1" for the first row, ...) in order
  };
  const std::vector<Case> cases = {
      {"sequence type, then due date, equal keys in insertion order",
       {{1, 10}, {0, 10}, {1, 10}, {1, 12}, {0, 9}, {1, 10}},
       "TipoSequenzaRidSDD,Scadenza",
       "5 2 1 3 6 4"},
      {"a value outside the enumeration sorts last",
       {{7, 1}, {3, 20}, {2, 20}, {0, 30}},
       "TipoSequenzaRidSDD,Scadenza",
       "4 3 2 1"},
      {"blanks, case and direction",
       {{0, 1}, {0, 3}, {1, 2}, {0, 3}},
       " tiposequenzaridsdd ASC , Scadenza DESC",
       "2 4 1 3"},
      {"an empty list restores insertion order", {{1, 1}, {0, 1}}, "", "1 2"},
  };
  for (const Case& c : cases) {
    CLSEP_INFOPAG block;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
      t.NumeroEffetto = std::to_string(i + 1);
      t.TipoSequenzaRidSDD = static_cast<Seq>(c.rows[i].seq);
      t.Scadenza = Date::FromParts(2024, 5, c.rows[i].day);
    }
    std::unique_ptr<TransactionsRecordset> rs = block.RecorsetTransazioni();
    rs->Sort("Scadenza DESC");  // a previous order does not leak into the next
    rs->Sort(c.sort);
    std::string order;
    for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
      order += (order.empty() ? "" : " ") + rs->Field("NumeroEffetto").ToText();
    }
    EXPECT_EQ(order, c.expected) << c.input << " sorted by \"" << c.sort << '"';
    TransactionRows rows(block);
    rows.Sort("Scadenza DESC");
    rows.Sort(c.sort);
    const int32_t item = rows.ColumnIndex("NumeroEffetto");
    std::string rows_order;
    for (; !rows.Eof(); rows.MoveNext()) {
      rows_order +=
          (rows_order.empty() ? "" : " ") + std::string(rows.TextValue(item));
    }
    EXPECT_EQ(rows_order, c.expected) << c.input << " (rows)";
  }
  CLSEP_INFOPAG block;
  block.AddTrasfer();
  EXPECT_EQ(ErrorCode([&] { block.RecorsetTransazioni()->Sort("Nope"); }),
            codes::kItemNotFound);
}

}  // namespace
}  // namespace zsepa
