// Failures of the credit-transfer writers: SaveXML answers False, Stato
// and Errore say why, and the target path is left exactly as it was (no
// file, or the earlier file unchanged) with no temporary file beside it.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/scenarios.h"
#include "zsepa/error.h"

namespace zsepa::testing {
namespace {

CLSEP_INFOPAG& AddBatch(CLSEP_FILESEPA& builder, int32_t numero) {
  auto block = builder.Add(1, numero, 2024);
  if (block == nullptr) throw std::runtime_error(builder.Errore());
  block->ProgrBanca = 1;
  return *block;
}

TEST(FailureTest, ReturnsFalseAndLeavesThePathAsItWas) {
  const struct {
    std::string name;
    int blocks;  // each with the transactions `txs`
    bool structured;
    std::vector<Tx> txs;
    int32_t stato;
    std::string errore_fragment;
    bool cbi_only = false;  // the ISO file reads no document reference
  } cases[] = {
      // clang-format off
      {"two_blocks", 2, false, {{.imp = 1, .iban = kIbanIt}},
       codes::kTooManyBlocks, "una sola distinta"},
      {"no_block", 0, false, {}, rt::kObjectNotSet, "Nessuna distinta"},
      {"structured_without_reference", 1, true,
       {{.imp = 1, .iban = kIbanIt, .refs = {{"F1", Scad::Fattura}}},
        {.imp = 2, .iban = kIbanIt}}, rt::kInvalidArgument, "", true},
      {"control_character", 1, false,
       {{.imp = 1, .nome = "Rossi\x01 S.r.l.", .iban = kIbanIt}},
       codes::kInvalidXmlText, "\"Nm\""},
      {"invalid_utf8_remittance", 1, false,
       {{.imp = 1, .nome = "A", .iban = kIbanIt, .rif = "Caff\xE8"}},
       codes::kInvalidXmlText, "\"Ustrd\""},
      // clang-format on
  };
  // A SEPA and a cross-border batch, and the localised batch in both
  // formats of the ISO file.
  const struct {
    int32_t numero;
    zxEnumFormatoFile formato;
    const char* localizzazione;
  } files[] = {{15, zxEnumFormatoFile::BonificoSEPA, ""},
               {17, zxEnumFormatoFile::BonificoEsteroXML, ""},
               {21, zxEnumFormatoFile::BonificoSEPA, "FR"},
               {21, zxEnumFormatoFile::BonificoEsteroXML, "FR"}};
  for (const auto& c : cases) {
    for (const auto& file : files) {
      const bool iso = std::string(file.localizzazione) == "FR";
      if (iso && c.cbi_only) continue;
      SCOPED_TRACE(c.name + " in batch " + std::to_string(file.numero) +
                   (iso ? " (ISO)" : ""));
      DemoCompany company;
      auto builder = company.NewBuilder();
      builder->FormatoFile = file.formato;
      builder->CodiceIsoLocalizzazione = file.localizzazione;
      if (c.structured)
        builder->TipoStrutturaFile = zxEnumStrutturaSepa::Strutturato;
      for (int i = 0; i < c.blocks; ++i) {
        CLSEP_INFOPAG& block = AddBatch(*builder, file.numero);
        for (const Tx& tx : c.txs) AddTx(block, tx);
      }
      ExpectRefusalLeavesThePath(company, *builder, c.stato, c.errore_fragment);
    }
  }
}

TEST(FailureTest, SuccessReplacesAnEarlierFileAndKeepsStato) {
  DemoCompany company;
  const std::string path = company.File("out.xml");
  WriteFile(path, "earlier file\n");
  std::unique_ptr<CLSEP_FILESEPA> builder = company.NewBuilder();
  EXPECT_EQ(builder->Add(1, 999, 2024), nullptr);  // batch not found
  AddBatch(*builder, 15);
  ASSERT_TRUE(builder->SaveXML(path)) << builder->Errore();
  EXPECT_EQ(builder->Stato(), codes::kBatchNotFound);
  EXPECT_EQ(ReadFile(path).substr(0, 6), "<?xml ");
  EXPECT_EQ(company.Count(), 2);  // the database and the file

  // A save that cannot start fails once the file is built.
  EXPECT_FALSE(builder->SaveXML(company.File("missing/out.xml")));
  EXPECT_EQ(builder->Stato(), codes::kSaveFailed);
  EXPECT_NE(builder->Errore().find("No such file or directory"),
            std::string::npos)
      << builder->Errore();
}

}  // namespace
}  // namespace zsepa::testing
