#include "tools/job.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/connection.h"
#include "model/error.h"

namespace zsepa::cli {
namespace {

using Json = nlohmann::ordered_json;

// The key error of a job text: its code and message.
struct Rejected {
  int32_t code = 0;
  std::string message;
};

Rejected ErrorOf(const std::string& text) {
  try {
    ParseJob(Json::parse(text));
  } catch (const JobError& error) {
    return {error.code(), error.what()};
  }
  return {};
}

TEST(ParseJobTest, RejectsFaultsNamingTheKeyAndItsPath) {
  struct Case {
    std::string job;
    int32_t code;
    std::string message;
  };
  const std::string block = R"({"blocchi":[{"trasferimenti":[{},{},{},)";
  const Case cases[] = {
      {R"({"FormatoFlie":1})", 438,
       "FormatoFlie: the job has no property named \"FormatoFlie\" (did you "
       "mean \"FormatoFile\"?)"},
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
      {R"({"blocchi":[{"ProgrBanca":"1"}]})", 13,
       "blocchi[0].ProgrBanca: expected a whole number, found the text"},
      {R"({"blocchi":[{"IndicatoreLivelloServizio":4294967296}]})", 6,
       "blocchi[0].IndicatoreLivelloServizio: 4294967296 does not fit"},
      {R"({"blocchi":[{"FlagUrgente":1}]})", 13,
       "blocchi[0].FlagUrgente: expected true or false, found the number 1"},
      {R"({"blocchi":[{"trasferimenti":[{"Scadenza":"31/03/2024"}]}]})", 13,
       "blocchi[0].trasferimenti[0].Scadenza: expected a date"},
      {R"({"blocchi":[{"trasferimenti":[{"Scadenza":"2024-02-30"}]}]})", 13,
       "\"2024-02-30\" is not a valid calendar date"},
      {R"({"blocchi":[{"trasferimenti":[{"Causale":null}]}]})", 13,
       "blocchi[0].trasferimenti[0].Causale: expected text, found null"},
      {R"({"blocchi":[{"trasferimenti":[{"riferimenti":[{"Numero":"1"}]}]}]})",
       438, "blocchi[0].trasferimenti[0].riferimenti[0].Numero: a document"},
      {R"({"blocchi":{"ProgrBanca":1}})", 13,
       "blocchi: expected a list [ ... ], found an object"},
      {R"({"ditta":{"CodiceDitta":1,"Ragione":"x"}})", 438,
       "ditta.Ragione: the company (ditta) has no property"},
      {R"({"blocchi":[{"trasferimenti":[{"CVSImporto":1e308,"Importo":-1e308}]}],"TipoStrutturaFile":true})",
       13, "TipoStrutturaFile: expected a whole number, found true"},
      {"[1,2]", 13, "the job: expected an object"},
  };
  for (const Case& c : cases) {
    const Rejected rejected = ErrorOf(c.job);
    EXPECT_EQ(rejected.code, c.code) << c.job << "\n" << rejected.message;
    EXPECT_NE(rejected.message.find(c.message), std::string::npos)
        << c.job << "\n got: " << rejected.message;
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
                         "FlagDatiMandatoVariati": true, "Scadenza": "2024-03-31",
                         "riferimenti": [{"DataDocumento": "2024-02-28",
                                          "IndicatoreTipoScadenza": 2}]}]}]})"));
  EXPECT_EQ(job.ditta.CodiceDitta, Variant(int32_t{1}));
  EXPECT_EQ(job.ditta.CodiceAnagraficaDitta, Variant(int64_t{5000000000}));
  EXPECT_EQ(job.ditta.RagioneSocialeDitta, "Rossi & Figli");
  ASSERT_EQ(job.values.size(), 1u);
  EXPECT_EQ(job.values[0].value, Variant(*Date::Parse("2024-03-05T09:07:03")));

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
  EXPECT_EQ(transaction.Clifor, Variant(int32_t{42}));
  EXPECT_TRUE(transaction.DataDocumento.IsNull());
  EXPECT_EQ(transaction.FlagDatiMandatoVariati, Variant(true));
  EXPECT_EQ(transaction.Scadenza, Date::FromParts(2024, 3, 31));

  CLSEP_RIFSCA reference;
  for (const auto& a : job.blocchi[0].trasferimenti[0].riferimenti.at(0)) {
    a.ApplyTo(reference);
  }
  EXPECT_EQ(reference.DataDocumento, Variant(Date::FromParts(2024, 2, 28)));
  EXPECT_EQ(reference.IndicatoreTipoScadenza,
            zxEnumTipoScadenzaPassiva::NotaCredito);
}

TEST(PropertyTablesTest, EveryNameIsUnique) {
  auto check = [](const auto& table) {
    for (size_t i = 0; i < table.size(); ++i) {
      for (size_t j = i + 1; j < table.size(); ++j) {
        EXPECT_NE(table[i].name, table[j].name);
      }
    }
  };
  check(BuilderProperties());
  check(BlockProperties());
  check(TransactionProperties());
  check(ReferenceProperties());
  check(CompanyProperties());
  EXPECT_EQ(TransactionProperties().size(), 48u);
  EXPECT_EQ(BlockProperties().size(), 18u);
}

// A database that the builder must not reach for blocks handed over whole.
class NoDatabase final : public db::Connection {
 public:
  std::unique_ptr<db::Recordset> Execute(const std::string& sql) override {
    throw Error(1, "test", "unexpected statement: " + sql);
  }
};

TEST(RunJobTest, HandsOverBlocksWithoutAddInOrder) {
  const Job job = ParseJob(Json::parse(R"({
    "FormatoFile": 2,
    "blocchi": [
      {"NumeroDistinta": 7, "AnnoDistinta": 2024, "TipoDistinta": 1,
       "trasferimenti": [{"Importo": 100}, {"Importo": -30.25,
                          "riferimenti": [{}, {}]}]},
      {"NumeroDistinta": 8, "trasferimenti": [{"Importo": 1}]}]})"));
  framework::InMemoryFramework framework;
  NoDatabase database;
  CLSEP_FILESEPA builder;
  builder.ActiveInterface = &framework;
  builder.AdoConnection = &database;
  builder.Initialize();
  int64_t last_done = 0;
  ASSERT_TRUE(RunJob(job, builder,
                     [&](std::string_view, int64_t done, int64_t total) {
                       EXPECT_EQ(total, 3);
                       last_done = done;
                     }))
      << builder.Errore();
  EXPECT_EQ(last_done, 3);
  EXPECT_EQ(builder.FormatoFile, zxEnumFormatoFile::BonificoEsteroXML);
  EXPECT_EQ(builder.NumeroTotaleTrasferimenti(), 3);
  EXPECT_DOUBLE_EQ(builder.ImportoTotaleTrasferimenti(), 131.25);
  EXPECT_EQ(builder.MsgId(), "000000720241");
  EXPECT_EQ(builder.Stato(), 0);
}

TEST(ReadJsonFileTest, ReportsMissingAndMalformedFiles) {
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
