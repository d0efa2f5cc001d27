// Failures of the CBI credit-transfer writer: SaveXML answers False, Stato
// and Errore say why, and the target path is left exactly as it was (no
// file, or the earlier file unchanged) with no temporary file beside it.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/error.h"
#include "tests/cbi_scenarios.h"
#include "tests/cbi_test_support.h"

namespace zsepa::testing {
namespace {

struct FailureCase {
  std::string name;
  zxEnumFormatoFile formato;
  // Prepares the builder (blocks and transactions) for a SaveXML that fails.
  std::function<void(CLSEP_FILESEPA&)> prepare;
  int32_t stato;
  std::string errore_fragment;
};

std::ostream& operator<<(std::ostream& out, const FailureCase& c) {
  return out << c.name;
}

std::shared_ptr<CLSEP_INFOPAG> AddBatch(CLSEP_FILESEPA& builder,
                                        int32_t numero) {
  auto block = builder.Add(1, numero, 2024);
  if (block == nullptr) throw std::runtime_error(builder.Errore());
  block->ProgrBanca = 1;
  return block;
}

std::vector<FailureCase> FailureCases() {
  using Fmt = zxEnumFormatoFile;
  std::vector<FailureCase> cases;
  for (Fmt formato : {Fmt::BonificoSEPA, Fmt::BonificoEsteroXML}) {
    const std::string kind =
        formato == Fmt::BonificoSEPA ? "sepa_" : "cross_border_";
    cases.push_back({kind + "two_blocks", formato,
                     [](CLSEP_FILESEPA& b) {
                       Transfer(*AddBatch(b, 15), 1, "A",
                                "IT60X0542811101000000123456", "");
                       Transfer(*AddBatch(b, 16), 2, "B",
                                "IT60X0542811101000000123456", "");
                     },
                     codes::kTooManyBlocks, "una sola distinta"});
    cases.push_back({kind + "no_block", formato, [](CLSEP_FILESEPA&) {},
                     rt::kObjectNotSet, "Nessuna distinta"});
    cases.push_back(
        {kind + "structured_without_reference", formato,
         [formato](CLSEP_FILESEPA& b) {
           b.TipoStrutturaFile = zxEnumStrutturaSepa::Strutturato;
           auto block = AddBatch(b, formato == Fmt::BonificoSEPA ? 15 : 17);
           Reference(
               Transfer(*block, 1, "A", "IT60X0542811101000000123456", ""),
               "F1");
           Transfer(*block, 2, "B", "IT60X0542811101000000123456", "");
         },
         rt::kInvalidArgument, ""});
    cases.push_back({kind + "control_character", formato,
                     [formato](CLSEP_FILESEPA& b) {
                       auto block =
                           AddBatch(b, formato == Fmt::BonificoSEPA ? 15 : 17);
                       Transfer(*block, 1, "Rossi\x01 S.r.l.",
                                "IT60X0542811101000000123456", "");
                     },
                     codes::kInvalidXmlText, "\"Nm\""});
    cases.push_back(
        {kind + "invalid_utf8_remittance", formato,
         [formato](CLSEP_FILESEPA& b) {
           auto block = AddBatch(b, formato == Fmt::BonificoSEPA ? 15 : 17);
           Transfer(*block, 1, "A", "IT60X0542811101000000123456", "")
               .RiferimentoNonStrutturato = "Caff\xE8";
         },
         codes::kInvalidXmlText, "\"Ustrd\""});
  }
  return cases;
}

class CbiFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CbiFailureTest, ReturnsFalseAndLeavesNoFile) {
  const FailureCase& c = GetParam();
  DemoCompany company;
  auto builder = company.NewBuilder();
  builder->FormatoFile = c.formato;
  c.prepare(*builder);
  const auto before = company.dir().Entries();
  const std::string path = company.dir().File("out.xml");

  EXPECT_FALSE(builder->SaveXML(path)) << c;
  EXPECT_EQ(builder->Stato(), c.stato) << c << ": " << builder->Errore();
  EXPECT_FALSE(builder->Errore().empty()) << c;
  EXPECT_NE(builder->Errore().find(c.errore_fragment), std::string::npos)
      << c << ": " << builder->Errore();
  EXPECT_EQ(company.dir().Entries(), before) << c;
}

TEST_P(CbiFailureTest, KeepsAnEarlierFileUnchanged) {
  const FailureCase& c = GetParam();
  DemoCompany company;
  auto builder = company.NewBuilder();
  builder->FormatoFile = c.formato;
  c.prepare(*builder);
  const std::string path = company.dir().File("out.xml");
  WriteFile(path, "earlier file\n");
  const auto before = company.dir().Entries();

  EXPECT_FALSE(builder->SaveXML(path)) << c;
  EXPECT_EQ(ReadFile(path), "earlier file\n") << c;
  EXPECT_EQ(company.dir().Entries(), before) << c;
}

INSTANTIATE_TEST_SUITE_P(Cases, CbiFailureTest,
                         ::testing::ValuesIn(FailureCases()),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                           return info.param.name;
                         });

TEST(CbiWriterTest, UnwritablePathFailsWithStatoAndErrore) {
  DemoCompany company;
  std::unique_ptr<CLSEP_FILESEPA> builder;
  const std::string path = company.dir().File("no-such-folder/out.xml");
  EXPECT_FALSE(WriteScenario(company, CbiScenarios()[0], path, builder));
  EXPECT_NE(builder->Stato(), 0);
  EXPECT_FALSE(builder->Errore().empty());
  EXPECT_FALSE(fs::exists(path));
}

TEST(CbiWriterTest, TwoBlocksAreRefusedBeforeAnyStatement) {
  DemoCompany company;
  RecordingConnection recording(company.connection());
  auto builder = company.NewBuilder(&recording);
  AddBatch(*builder, 15);
  AddBatch(*builder, 16);
  const size_t statements = recording.executed().size();
  EXPECT_FALSE(builder->SaveXML(company.dir().File("out.xml")));
  EXPECT_EQ(recording.executed().size(), statements);
}

TEST(CbiWriterTest, SuccessReplacesAnEarlierFileAndKeepsStato) {
  DemoCompany company;
  const std::string path = company.dir().File("out.xml");
  WriteFile(path, "earlier file\n");
  std::unique_ptr<CLSEP_FILESEPA> builder = company.NewBuilder();
  EXPECT_EQ(builder->Add(1, 999, 2024), nullptr);  // batch not found
  builder->Add(1, 15, 2024)->ProgrBanca = 1;
  ASSERT_TRUE(builder->SaveXML(path)) << builder->Errore();
  EXPECT_EQ(builder->Stato(), codes::kBatchNotFound);
  EXPECT_EQ(
      ReadFile(path).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0),
      0u);
  EXPECT_EQ(company.dir().Entries(),
            (std::vector<std::string>{DemoCompany::kDatabaseName, "out.xml"}));
}

}  // namespace
}  // namespace zsepa::testing
