#include "tools/job.h"

#include <gtest/gtest.h>

#include <string>

namespace zsepa::cli {
namespace {

using Json = nlohmann::ordered_json;

TEST(ParseJobTest, RejectsFaultsNamingTheKeyAndItsPath) {
  const std::string block = R"({"blocchi":[{"trasferimenti":[{},{},{},)";
  const struct {
    std::string job;
    int32_t code;
    std::string message;
  } cases[] = {
      {block + R"({"Improto":5}]}]})", 438,
       "blocchi[0].trasferimenti[3].Improto: a transaction (CLSEP_TRANSFCREDIT)"
       " has no property named \"Improto\" (did you mean \"Importo\"?)"},
      {block + R"({"Importo":"12,50"}]}]})", 13,
       "blocchi[0].trasferimenti[3].Importo: expected a number, found the "
       "text \"12,50\""},
      {R"({"blocchi":[{"Add":{"TipoDistinta":1,"NumeroDistinta":15,"AnnoDistinta":70000}}]})",
       6, "blocchi[0].Add.AnnoDistinta: 70000 does not fit this field"},
      {R"({"blocchi":[{"Add":{"TipoDistinta":1,"NumeroDistinta":15}}]})", 449,
       "blocchi[0].Add.AnnoDistinta: missing"},
      {R"({"blocchi":[{"ProgrBanca":1.5}]})", 6,
       "blocchi[0].ProgrBanca: 1.5 does not fit"},
      {block + R"({"CodCG07":3000000000}]}]})", 6,
       "blocchi[0].trasferimenti[3].CodCG07: 3000000000 does not fit"},
      {R"({"blocchi":[{"FlagUrgente":1}]})", 13,
       "blocchi[0].FlagUrgente: expected true or false, found the number 1"},
      {R"({"blocchi":[{"trasferimenti":[{"Scadenza":"2024-02-30"}]}]})", 13,
       "\"2024-02-30\" is not a valid calendar date"},
      {R"({"blocchi":[{"trasferimenti":[{"riferimenti":[{"Numero":"1"}]}]}]})",
       438, "blocchi[0].trasferimenti[0].riferimenti[0].Numero: a document"},
      {R"({"blocchi":[{"trasferimenti":[{"CVSImporto":1e308,"Importo":-1e308}]}],"TipoStrutturaFile":true})",
       13, "TipoStrutturaFile: expected a whole number, found true"},
  };
  for (const auto& c : cases) {
    try {
      ParseJob(Json::parse(c.job));
      ADD_FAILURE() << "accepted: " << c.job;
    } catch (const JobError& error) {
      EXPECT_EQ(error.code(), c.code) << c.job << "\n" << error.what();
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << c.job << "\n got: " << error.what();
    }
  }
}

TEST(ParseJobTest, ConvertsValuesByFieldKind) {
  const Job job = ParseJob(Json::parse(R"({
    "ditta": {"CodiceDitta": 1, "RagioneSocialeDitta": "Rossi & Figli",
              "CodiceAnagraficaDitta": 5000000000},
    "DataCreazioneSupporto": "2024-03-05T09:07:03",
    "blocchi": [{"Abi": "03069", "DataValuta": "2024-03-15", "ProgrBanca": 2,
                 "IndicatoreTipoContatorePmtInf": -7,
      "trasferimenti": [{"Importo": 10, "Clifor": 42, "DataDocumento": null,
                         "FlagDatiMandatoVariati": true, "Scadenza": "2024-03-31"}]}]})"));
  EXPECT_EQ(job.ditta.CodiceDitta, Variant(int32_t{1}));
  EXPECT_EQ(job.ditta.CodiceAnagraficaDitta, Variant(int64_t{5000000000}));
  EXPECT_EQ(job.values.at(0).value,
            Variant(*Date::Parse("2024-03-05T09:07:03")));

  CLSEP_INFOPAG block;
  for (const auto& a : job.blocchi.at(0).values) a.ApplyTo(block);
  EXPECT_EQ(block.Abi, Variant("03069"));  // text keeps its leading zero
  EXPECT_EQ(block.DataValuta, Variant(Date::FromParts(2024, 3, 15)));
  EXPECT_EQ(block.ProgrBanca, 2);
  EXPECT_EQ(ToInt(block.IndicatoreTipoContatorePmtInf), -7);

  CLSEP_TRANSFCREDIT transaction;
  for (const auto& a : job.blocchi[0].trasferimenti.at(0).values) {
    a.ApplyTo(transaction);
  }
  EXPECT_EQ(transaction.Importo, 10.0);
  EXPECT_TRUE(transaction.DataDocumento.IsNull());
  EXPECT_EQ(transaction.Scadenza, Date::FromParts(2024, 3, 31));
}

TEST(ReadJsonFileTest, NamesAMissingFile) {
  try {
    ReadJsonFile("/nonexistent/job.json");
    ADD_FAILURE() << "no error";
  } catch (const JobError& error) {
    EXPECT_EQ(error.code(), 53);
    EXPECT_NE(std::string(error.what()).find("/nonexistent/job.json"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace zsepa::cli
