// Whole direct-debit files written through the public classes on the
// embedded demo database (direct-debit batch 12 of 2024), compared byte for
// byte with tests/data/sdd/, checked against the official schema, and the
// writer's failures: False, Stato and Errore from the part that failed, the
// path left as it was.
//
// To regenerate the expected files after a deliberate change of the output,
// run this test once with ZSEPA_UPDATE_GOLDEN=1 and read every changed line.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/testing/shared_files.h"
#include "db/statements.h"
#include "tests/profile_outcome.h"
#include "tests/scenarios.h"
#include "writers/schema_validation.h"
#include "zsepa/error.h"

namespace zsepa::testing {
namespace {

using Seq = zxEnumTipoSequenzaRidSDD;
using Scheme = zxEnumTipoIncassoRidSDD;
using Counter = zxEnumIndicatoreContatorePmtInf;

const std::string kXsd = SharedPath("xsd/CBISDDReqLogMsg.00.01.00.xsd");

// One direct debit; unnamed fields keep the transaction's defaults.
struct Dd {
  double imp = 0;
  std::string eff, nome, iban, bic, cau = "RENT", rif;
  Seq seq = Seq::Recurring;
  int day = 10;  // due date: this day of May 2024
  std::string mandato, prec_mandato, prec_iban;
  std::string ind, cap, citta, prov, iso, piva;
  int32_t cg07 = 0;
  // The account holder: filled when `tit_nome` is not empty.
  int16_t tit = 0;
  std::string tit_nome, tit_ind, tit_cap, tit_citta, tit_prov, tit_iso,
      tit_piva;
  int32_t tit_cg07 = 0;
  std::string div = "EUR";
};

void AddDd(CLSEP_INFOPAG& block, const Dd& x) {
  CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
  t.Importo = x.imp, t.NumeroEffetto = x.eff, t.RagioneSociale = x.nome;
  t.IBAN = x.iban, t.BicSwift = x.bic, t.Causale = x.cau;
  t.RiferimentoNonStrutturato = x.rif, t.TipoSequenzaRidSDD = x.seq;
  t.Scadenza = Date::FromParts(2024, 5, x.day);
  t.RiferimentoMandato = x.mandato;
  t.DataMandato = Date::FromParts(2023, 1, 15);
  t.PrecedenteRiferimentoMandato = x.prec_mandato;
  t.PrecedenteIbanMandato = x.prec_iban;
  t.Indirizzo = x.ind, t.Cap = x.cap, t.Citta = x.citta, t.Provincia = x.prov;
  t.CodiceIso = x.iso, t.PartitaIVA = x.piva, t.CodCG07 = x.cg07;
  t.TitIBAN_Esistente = x.tit, t.TitIBAN_RagioneSociale = x.tit_nome;
  t.TitIBAN_Indirizzo = x.tit_ind, t.TitIBAN_Cap = x.tit_cap;
  t.TitIBAN_Citta = x.tit_citta, t.TitIBAN_Provincia = x.tit_prov;
  t.TitIBAN_CodiceIso = x.tit_iso, t.TitIBAN_PartitaIVA = x.tit_piva;
  t.TitIBAN_CodCG07 = x.tit_cg07, t.Divisa = x.div;
}

// A customer with a full Italian address.
Dd Customer(std::string eff, double imp, Seq seq, int day) {
  return {.imp = imp,
          .eff = eff,
          .nome = "Cliente " + eff + " S.r.l.",
          .iban = kIbanIt2,
          .rif = "Canone " + eff,
          .seq = seq,
          .day = day,
          .mandato = "MND-" + eff,
          .ind = "Via Manzoni 18",
          .cap = "22100",
          .citta = "Como",
          .prov = "CO",
          .iso = "IT",
          .piva = "01122330189",
          .cg07 = 86};
}

struct DdScenario {
  std::string name;
  std::vector<Dd> txs;
  // Sets the builder, the company and the block before the transactions.
  std::function<void(CLSEP_FILESEPA&, framework::CompanyValues&,
                     CLSEP_INFOPAG&)>
      fill = [](auto&, auto&, auto&) {};
};

void PrintTo(const DdScenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

// The due dates and sequence types of the grouping cases: (RCUR, 10 May),
// (FRST, 10 May), (RCUR, 10 May), (RCUR, 12 May).
std::vector<Dd> FourToGroup() {
  return {Customer("0001", 120.5, Seq::Recurring, 10),
          Customer("0002", 75, Seq::First, 10),
          Customer("0003", 230.9, Seq::Recurring, 10),
          Customer("0004", 10, Seq::Recurring, 12)};
}

void Options(CLSEP_INFOPAG& block, bool grouped, Counter counter,
             Scheme scheme) {
  block.IsMultipla = grouped;
  block.IndicatoreTipoContatorePmtInf = counter;
  block.TipoIncassoRidSDD = scheme;
}

std::vector<DdScenario> Scenarios() {
  std::vector<DdScenario> scenarios = {
      // Bank row 1 asks for grouped blocks and running numbers; CORE. Three
      // groups (FRST 10 May, RCUR 10 May with two, RCUR 12 May); the
      // amendments: mandate only, IBAN only, both, neither; an Italian VAT
      // number with "ADE". Valid against the schema.
      {"grouped_running", FourToGroup(),
       [](auto&, auto&, CLSEP_INFOPAG& b) {
         Options(b, true, Counter::SempreProgressivo, Scheme::SDDCore);
       }},
      {"grouped_reset", FourToGroup(),
       [](auto&, auto&, CLSEP_INFOPAG& b) {
         Options(b, true, Counter::DaAzzerare, Scheme::SDDB2B);
       }},
      // One group per transaction, scheme 5 ("B2B").
      {"one_per_transaction_running",
       {Customer("0001", 1, Seq::Recurring, 10),
        Customer("0002", 2, Seq::Recurring, 10),
        Customer("0003", 3, Seq::Recurring, 10)},
       [](auto&, auto&, CLSEP_INFOPAG& b) {
         Options(b, false, Counter::SempreProgressivo, Scheme::SDDCoreAndB2B);
       }},
      // Every InstrId "1"; no scheme set ("B2B").
      {"one_per_transaction_reset",
       {Customer("0001", 1, Seq::Recurring, 10),
        Customer("0002", 2, Seq::Recurring, 10),
        Customer("0003", 3, Seq::Recurring, 10)},
       [](auto&, auto&, CLSEP_INFOPAG& b) {
         Options(b, false, Counter::DaAzzerare, Scheme{});
       }},
      // The four sequence types and one outside the enumeration (empty
      // "SeqTp", sorted last), given in reverse order.
      {"sequence_types",
       {Customer("0007", 7, static_cast<Seq>(7), 1),
        Customer("0003", 3, Seq::FirstOneOff, 20),
        Customer("0002", 2, Seq::final, 20),
        Customer("0001", 1, Seq::Recurring, 20),
        Customer("0000", 0.5, Seq::First, 20)},
       [](auto&, auto&, CLSEP_INFOPAG& b) {
         Options(b, true, Counter::DaAzzerare, Scheme::SDDCore);
       }},
      // Parties: an account holder other than the customer (both with VAT
      // numbers, the holder's state not Italian), a foreign debtor with and
      // without BIC, a party with only a country code and one with nothing;
      // texts with accents, a tab, a line break and "&"; a negative amount;
      // a bank code that is not a number.
      {"parties_and_texts",
       {{.imp = -12.5,
         .eff = "2024/0001",
         .nome = "Ferramenta Galli & C.",
         .iban = kIbanIt2,
         .rif = "Canone\tmaggio\r\n2024 citt\xC3\xA0",
         .mandato = "MND-1",
         .ind = "Via Manzoni 18",
         .cap = "22100",
         .citta = "Como",
         .prov = "CO",
         .iso = "IT",
         .piva = "01122330189",
         .cg07 = 86,
         .tit = 1,
         .tit_nome = "Luca Galli",
         .tit_ind = "Rue de la Paix 1",
         .tit_cap = "75002",
         .tit_citta = "Paris",
         .tit_iso = "FR",
         .tit_piva = "FR40303265045",
         .tit_cg07 = 29},
        {.imp = 40,
         .eff = "2024/0002",
         .nome = "Soci\xC3\xA9t\xC3\xA9 Dupont",
         .iban = kIbanFr,
         .bic = "AGRIFRPPXXX",
         .cau = "",
         .mandato = "MND-2",
         .iso = "FR",
         .piva = "FR40303265045",
         .cg07 = 29},
        {.imp = 50,
         .eff = "2024/0003",
         .nome = "Deutsche Kunde GmbH",
         .iban = kIbanDe,
         .mandato = "MND-3"},
        {.imp = 60,
         .eff = "2024/0004",
         .nome = "Conto di terzi",
         .iban = kIbanIt,
         .mandato = "MND-4",
         .tit = 2,
         .tit_nome = "ignored"}},
       [](auto&, auto&, CLSEP_INFOPAG& b) {
         Options(b, true, Counter::SempreProgressivo, Scheme::SDDCore);
         b.Abi = Variant("X3069");
       }},
      // No master record for the company: the creditor's elements are
      // written empty; no bank code.
      {"creditor_without_master_data",
       {Customer("0001", 99.99, Seq::First, 15)},
       [](auto&, framework::CompanyValues& company, CLSEP_INFOPAG& b) {
         company.CodiceAnagraficaDitta = Variant(int32_t{9999});
         b.Abi = Variant::Null();
         b.CreditorIdentifier = "";
       }},
      // A block without transactions: the header only, totals "000", "0.00".
      {"empty_block", {}},
      // Two blocks: the first is written, the totals count both.
      {"two_blocks",
       {Customer("0001", 100, Seq::Recurring, 10)},
       [](CLSEP_FILESEPA& builder, auto&, auto&) {
         auto second = builder.Add(1, 12, 2024);
         AddDd(*second, Customer("0099", 1000, Seq::First, 11));
         AddDd(*second, Customer("0098", 2000, Seq::First, 11));
       }},
  };
  // The amendment cases of the first two scenarios.
  for (int s = 0; s < 2; ++s) {
    std::vector<Dd>& txs = scenarios[static_cast<size_t>(s)].txs;
    txs[0].prec_mandato = "MND-OLD-1";
    txs[2].prec_iban = kIbanIt;
    txs[3].prec_mandato = "MND-OLD-4";
    txs[3].prec_iban = kIbanIt;
    txs[1].iban = kIbanFr, txs[1].bic = "AGRIFRPPXXX";
  }
  return scenarios;
}

bool WriteDd(DemoCompany& company, const DdScenario& scenario,
             const std::string& path, std::unique_ptr<CLSEP_FILESEPA>& builder,
             db::Connection* connection = nullptr,
             FileProfile profile = FileProfile::kExact) {
  builder = company.NewBuilder(connection);
  builder->Profile = profile;
  builder->FormatoFile = zxEnumFormatoFile::RidSecureDirectDebit;
  std::shared_ptr<CLSEP_INFOPAG> block = builder->Add(1, 12, 2024);
  if (block == nullptr) return false;
  block->ProgrBanca = 1;
  block->CreditorIdentifier = "IT86ZZZ01234567890";
  block->CodiceCUC = "12345678";
  scenario.fill(*builder, company.company(), *block);
  for (const Dd& tx : scenario.txs) AddDd(*block, tx);
  return builder->SaveXML(path);
}

class DirectDebitGoldenTest : public ::testing::TestWithParam<DdScenario> {};

TEST_P(DirectDebitGoldenTest, WritesTheExpectedFileWithTheExpectedQueries) {
  const DdScenario& scenario = GetParam();
  const std::string golden = std::string(ZSEPA_SOURCE_DIR) +
                             "/tests/data/sdd/" + scenario.name + ".xml";
  DemoCompany company;
  RecordingConnection recording(company.connection());
  const std::string path = company.File("out.xml");
  std::unique_ptr<CLSEP_FILESEPA> builder;
  ASSERT_TRUE(WriteDd(company, scenario, path, builder, &recording))
      << builder->Stato() << " " << builder->Errore();
  EXPECT_EQ(builder->Stato(), 0) << builder->Errore();
  ExpectGoldenFile(golden, ReadFile(path));
  // Kept whole until saved, the document is the same file.
  company.whole_documents = true;
  const std::string whole = company.File("whole.xml");
  std::unique_ptr<CLSEP_FILESEPA> whole_builder;
  ASSERT_TRUE(WriteDd(company, scenario, whole, whole_builder));
  EXPECT_EQ(ReadFile(whole), ReadFile(path));

  // The creditor's query once, with its exact text; the foreign-account
  // lookup once per transaction of the first block.
  const std::string creditor =
      db::QueryCreditoreStatement(company.company().CodiceAnagraficaDitta);
  EXPECT_EQ(recording.Count(creditor), 1);
  EXPECT_EQ(recording.Count("FROM CG16_ANAGGEN\r\n"), 1);
  EXPECT_EQ(recording.Count("FNEP_ISIBANESTERO"),
            static_cast<int>(scenario.txs.size()));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, DirectDebitGoldenTest,
                         ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return info.param.name; });

// The same scenarios under the bank-2026 profile.
class DirectDebitProfileTest : public ::testing::TestWithParam<DdScenario> {};

TEST_P(DirectDebitProfileTest, WritesTheCurrentFormatOrSaysWhyNot) {
  const DdScenario& scenario = GetParam();
  DemoCompany company;
  const std::string path = company.File("out.xml");
  std::unique_ptr<CLSEP_FILESEPA> builder;
  const bool saved = WriteDd(company, scenario, path, builder, nullptr,
                             FileProfile::kBank2026);
  ExpectProfileOutcome("sdd_" + scenario.name, saved, *builder, path,
                       SharedPath("xsd/CBISDDReqLogMsg.00.01.01.xsd"));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, DirectDebitProfileTest,
                         ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return info.param.name; });

// The complete file validates; the files of missing or odd data leave the
// schema in the ways docs/schema-deviations.md lists.
TEST(DirectDebitSchemaTest, ValidatesAgainstTheOfficialSchema) {
  ZSEPA_REQUIRE_SHARED_FILE(kXsd);
  const struct {
    const char* name;
    std::vector<std::string> issues;  // fragments; none for a valid file
  } cases[] = {
      {"grouped_running", {}},
      {"grouped_reset", {}},
      {"one_per_transaction_running", {}},
      {"two_blocks", {}},
      {"sequence_types", {"}SeqTp': [facet 'enumeration']"}},
      {"parties_and_texts",
       {"}BIC': [facet 'pattern']", "}Ctry': [facet 'pattern']",
        "}Cd': [facet 'minLength']", "}Ustrd': [facet 'minLength']"}},
      {"creditor_without_master_data",
       {"}Nm': [facet 'minLength']", "}Ctry': [facet 'pattern']",
        "}MmbId': [facet 'minLength']", "}Id': [facet 'minLength']"}},
      {"empty_block",
       {"Missing child element(s). Expected is ( "
        "{urn:CBI:xsd:CBISDDReqLogMsg.00.01.00}PmtInf )"}},
  };
  for (const auto& c : cases) {
    DdScenario scenario;
    for (const DdScenario& s : Scenarios()) {
      if (s.name == c.name) scenario = s;
    }
    DemoCompany company;
    const std::string path = company.File("out.xml");
    std::unique_ptr<CLSEP_FILESEPA> builder;
    ASSERT_TRUE(WriteDd(company, scenario, path, builder)) << c.name;
    std::string issues;
    for (const auto& issue : ValidateAgainstSchema(path, kXsd)) {
      issues += std::to_string(issue.line) + ": " + issue.message + "\n";
    }
    if (c.issues.empty()) {
      EXPECT_EQ(issues, "") << c.name;
    }
    for (const std::string& fragment : c.issues) {
      EXPECT_NE(issues.find(fragment), std::string::npos) << c.name << "\n"
                                                          << issues;
    }
  }
}

// A connection that fails every statement holding `fragment`.
class FailingConnection final : public db::Connection {
 public:
  FailingConnection(db::Connection& target, std::string fragment)
      : target_(target), fragment_(std::move(fragment)) {}
  std::unique_ptr<db::Recordset> Execute(const std::string& sql) override {
    if (sql.find(fragment_) != std::string::npos) {
      throw Error(19, "SQLite", "database is locked");
    }
    return target_.Execute(sql);
  }

 private:
  db::Connection& target_;
  std::string fragment_;
};

TEST(DirectDebitFailureTest, ReturnsFalseAndLeavesThePathAsItWas) {
  const struct {
    std::string name;
    std::function<void(CLSEP_FILESEPA&, framework::CompanyValues&)> setup;
    const char* failing_sql;  // nullptr: the database answers every query
    int32_t stato;
    std::string errore;  // a fragment
  } cases[] = {
      {"no_block", [](auto&, auto&) {}, nullptr, rt::kInvalidArgument, ""},
      {"creditor_query_fails",
       [](CLSEP_FILESEPA& b, auto&) { AddDd(*b.Add(1, 12, 2024), {}); },
       "FROM CG16_ANAGGEN", 19, "database is locked"},
      {"unsafe_master_data_code",
       [](CLSEP_FILESEPA& b, framework::CompanyValues& company) {
         company.CodiceAnagraficaDitta = Variant("1000 OR 1=1");
         AddDd(*b.Add(1, 12, 2024), {});
       },
       nullptr, codes::kUnsafeSqlValue, "1000 OR 1=1"},
      {"value_refused_by_the_recordset",
       [](CLSEP_FILESEPA& b, auto&) {
         auto block = b.Add(1, 12, 2024);
         AddDd(*block, Customer("0001", 1, Seq::First, 1));
         AddDd(*block, Customer("0002", 1, Seq::First, 1));
         AddDd(*block, {.cau = "CAUSALE"});
       },
       nullptr, codes::kValueNotAccepted,
       "Valore non valido per la colonna 'Causale' (massimo 6 caratteri) "
       "della transazione 3"},
      {"currency_not_xml",
       [](CLSEP_FILESEPA& b, auto&) {
         AddDd(*b.Add(1, 12, 2024), {.div = "EU\x01"});
       },
       nullptr, codes::kInvalidXmlText, "\"InstdAmt\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DemoCompany company;
    FailingConnection failing(company.connection(),
                              c.failing_sql ? c.failing_sql : "\x01");
    auto builder = company.NewBuilder(&failing);
    builder->FormatoFile = zxEnumFormatoFile::RidSecureDirectDebit;
    c.setup(*builder, company.company());
    ExpectRefusalLeavesThePath(company, *builder, c.stato, c.errore);
  }
}

// The lookups absorb their own failures: a failing foreign-account lookup
// reads as a domestic account, the file is written and Stato stays 0.
TEST(DirectDebitFailureTest, LookupsKeepAbsorbingTheirFailures) {
  DemoCompany company;
  FailingConnection failing(company.connection(), "FNEP_ISIBANESTERO");
  auto builder = company.NewBuilder(&failing);
  builder->FormatoFile = zxEnumFormatoFile::RidSecureDirectDebit;
  Dd foreign = Customer("0001", 1, Seq::First, 1);
  foreign.iban = kIbanFr;
  AddDd(*builder->Add(1, 12, 2024), foreign);
  const std::string path = company.File("out.xml");
  ASSERT_TRUE(builder->SaveXML(path)) << builder->Errore();
  EXPECT_EQ(builder->Stato(), 0) << builder->Errore();
  EXPECT_EQ(ReadFile(path).find("<DbtrAgt>"), std::string::npos);
}

}  // namespace
}  // namespace zsepa::testing
