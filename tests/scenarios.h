#ifndef ZSEPA_TESTS_SCENARIOS_H_
#define ZSEPA_TESTS_SCENARIOS_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/testing/temp_dir.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/date.h"
#include "zsepa/framework.h"
#include "zsepa/sqlite_connection.h"
#include "zsepa/xml_file_service.h"

// What the tests of the CBI credit-transfer writer share: the demo company
// on a temporary embedded database, and the scenarios of the golden-file
// tests. Each scenario loads one batch of the demo company with Add, as a
// host does, and fills its transactions; tests/data/cbi/<name>.xml is the
// expected file.

// Transactions are written with designated initializers that leave the
// other fields to their defaults, which older GCC releases warn about.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zsepa::testing {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The platform's file service with saves of whole documents only, as a
// host's own service may be: a builder using it keeps every document whole
// until it is saved.
class WholeDocumentSaves final : public framework::XmlFileService {
 public:
  void Load(framework::XmlDocument& doc, const std::string& path) override {
    files_->Load(doc, path);
  }
  void Save(const framework::XmlDocument& doc,
            const std::string& path) override {
    files_->Save(doc, path);
  }

 private:
  std::unique_ptr<framework::XmlFileService> files_ =
      framework::NewDefaultXmlFileService();
};

// The demo company on a new embedded database in a temporary folder, with
// the database clock fixed at 1 March 2024, and a builder that borrows both,
// initialised and with a fixed creation date-time.
class DemoCompany {
 public:
  DemoCompany() {
    sqlite::SqliteConnection::Options options;
    options.clock = [] { return Date::FromParts(2024, 3, 1); };
    connection_ =
        sqlite::SqliteConnection::Create(File("demo.db"), std::move(options));
    sqlite::FillDemoData(*connection_);
    framework_.values() = {Variant(int32_t{1}), "Officine Rossi & Figli S.r.l.",
                           Variant(int32_t{1000}), "01234567890", ""};
  }

  // A new initialised builder on the demo company. `connection` replaces the
  // embedded database when given. With `whole_documents`, the builder's file
  // service saves whole documents only.
  std::unique_ptr<CLSEP_FILESEPA> NewBuilder(
      db::Connection* connection = nullptr) {
    auto builder = whole_documents ? std::make_unique<CLSEP_FILESEPA>(
                                         std::make_unique<WholeDocumentSaves>())
                                   : std::make_unique<CLSEP_FILESEPA>();
    builder->ActiveInterface = &framework_;
    builder->AdoConnection =
        connection != nullptr ? connection : connection_.get();
    builder->Initialize();
    builder->DataCreazioneSupporto = Date::FromParts(2024, 3, 10, 9, 30, 5);
    return builder;
  }

  // A path in the temporary folder, and how many entries the folder holds.
  std::string File(const std::string& name) const { return dir_.File(name); }
  long Count() const {
    return std::distance(fs::directory_iterator(dir_.path()), {});
  }
  sqlite::SqliteConnection& connection() { return *connection_; }
  framework::CompanyValues& company() { return framework_.values(); }

  bool whole_documents = false;

 private:
  TempDir dir_;  // first in, last out: the database file lives in it
  std::unique_ptr<sqlite::SqliteConnection> connection_;
  framework::InMemoryFramework framework_;
};

// A connection that records every SQL text and hands it on.
class RecordingConnection final : public db::Connection {
 public:
  explicit RecordingConnection(db::Connection& target) : target_(target) {}
  std::unique_ptr<db::Recordset> Execute(const std::string& sql) override {
    executed_.push_back(sql);
    return target_.Execute(sql);
  }
  int Count(const std::string& fragment) const {
    return std::count_if(executed_.begin(), executed_.end(), [&](auto& sql) {
      return sql.find(fragment) != std::string::npos;
    });
  }

 private:
  db::Connection& target_;
  std::vector<std::string> executed_;
};

using Addr = zxEnumIndicatoreTipoIndirizzo;
using Scad = zxEnumTipoScadenzaPassiva;
constexpr char kIbanIt[] = "IT60X0542811101000000123456";
constexpr char kIbanIt2[] = "IT02A0503401633000000012345";
constexpr char kIbanFr[] = "FR7630006000011234567890189";
constexpr char kIbanDe[] = "DE89370400440532013000";
constexpr char kIbanCh[] = "CH9300762011623852957";

// One transaction, written with designated initializers; unnamed fields keep
// the transaction's defaults.
struct Tx {
  double imp = 0;
  std::string nome, iban, bic, cau, ind, civico, cap, citta, prov, iso,
      cap_citta, piva;
  int32_t cg07 = 0;
  int16_t prs_fis = 0;
  Addr tipo_ind = Addr::UNKN;
  std::string rif, div = "EUR", cvs_tipo, cvs_descr;
  double cvs_imp = 0;
  std::vector<std::pair<std::string, Scad>> refs;
  Variant clifor, data_doc;
  std::string num_doc;
};

inline void AddTx(CLSEP_INFOPAG& block, const Tx& x) {
  CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
  t.Importo = x.imp, t.RagioneSociale = x.nome, t.IBAN = x.iban;
  t.BicSwift = x.bic, t.Causale = x.cau, t.Indirizzo = x.ind;
  t.NumeroCivico = x.civico, t.Cap = x.cap, t.Citta = x.citta;
  t.Provincia = x.prov, t.CodiceIso = x.iso,
  t.CapCittaProvNazione = x.cap_citta;
  t.PartitaIVA = x.piva, t.CodCG07 = x.cg07, t.FlgPrsFis = x.prs_fis;
  t.IndicatoreIndirizzo = x.tipo_ind, t.RiferimentoNonStrutturato = x.rif;
  t.Divisa = x.div, t.CVSTipo = x.cvs_tipo, t.CVSImporto = x.cvs_imp;
  t.CVSDescr = x.cvs_descr, t.Clifor = x.clifor;
  t.NumeroDocumentoOrigine = x.num_doc, t.DataDocumento = x.data_doc;
  for (const auto& [numero, tipo] : x.refs) {
    CLSEP_RIFSCA& reference = *t.AddRiferimentoScadenza();
    reference.NumeroDocumento = numero;
    reference.IndicatoreTipoScadenza = tipo;
  }
}

// A whole file written through the public classes: its golden file is
// tests/data/<Folder()>/<name>.xml.
struct FileScenario {
  std::string name;
  zxEnumFormatoFile formato;
  std::string localizzazione;
  int32_t numero;  // batch number of kind 1, year 2024
  int32_t progr_banca;
  std::vector<Tx> txs;
  // Sets the builder, the company and the block before the transactions.
  std::function<void(CLSEP_FILESEPA&, framework::CompanyValues&,
                     CLSEP_INFOPAG&)>
      fill = [](auto&, auto&, auto&) {};

  bool Iso() const { return localizzazione == "FR"; }
  std::string Folder() const { return Iso() ? "iso" : "cbi"; }
};

// Test names and failure messages show the scenario's name.
inline void PrintTo(const FileScenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

inline std::vector<FileScenario> FileScenarios() {
  using Fmt = zxEnumFormatoFile;
  using Svc = zxEnumIndicatoreLivelloServizio;
  std::string long_text = "Rimborso nota di credito n. 7 - ";
  while (long_text.size() < 200) long_text += "citt\xC3\xA0 ";
  // clang-format off
  std::vector<FileScenario> scenarios = {
      // The common SEPA batch (normal priority, outcome "TRA", addresses on
      // two lines, free-text remittance): a domestic supplier, a foreign one
      // (agent with BIC), a private person with a credit note (negative
      // amount) and a 200-character remittance cut to 140 characters, and
      // batch booking asked for. Valid against the schema.
      {"sepa_batch", Fmt::BonificoSEPA, "", 15, 1,
       {{.imp = 1250, .nome = "Fornitore Alfa S.p.A.", .iban = kIbanIt,
         .bic = "BCITITMMXXX", .cau = "SUPP", .ind = "Via Roma 1", .iso = "IT",
         .cap_citta = "20100 Milano MI Italia", .piva = "01987654321",
         .cg07 = 86, .rif = "Fattura 2024/101 del 15/02/2024"},
        {.imp = 980.4, .nome = "Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale "
                               "d'\xC3\x89quipement SARL",
         .iban = kIbanFr, .bic = "AGRIFRPPXXX", .ind = "12 rue de la Paix",
         .iso = "FR", .cap_citta = "75002 Paris France",
         .piva = "FR40303265045", .cg07 = 29, .rif = "Facture F-778"},
        {.imp = -150.5, .nome = "Mario Bianchi", .iban = kIbanIt2,
         .cau = "SALA", .ind = "Corso Venezia 3", .iso = "IT",
         .cap_citta = "20121 Milano MI", .piva = "BNCMRA80A01F205X",
         .cg07 = 86, .prs_fis = 1, .rif = long_text}},
       [](auto&, auto&, CLSEP_INFOPAG& b) { b.IndicatoreAccumuloSpese = 1; }},
      // The urgent batch (priority "HIGH", outcome "TRF", bank row 2 asks
      // for structured addresses) with structured remittance: full address
      // with type ADDR, a private person with only town and country, a
      // foreign creditor with a post-office box address.
      {"sepa_urgent_structured", Fmt::BonificoSEPA, "", 16, 2,
       {{.imp = 4200.75, .nome = "Rossi & Figli <Torino> S.n.c.",
         .iban = kIbanIt, .bic = "BCITITMMXXX", .cau = "SUPP",
         .ind = "Via Torino", .civico = "25", .cap = "10121",
         .citta = "Torino", .prov = "TO", .iso = "IT", .piva = "07643520017",
         .cg07 = 86, .tipo_ind = Addr::ADDR,
         .refs = {{"FT-2024-0042", Scad::Fattura},
                  {"FT-2024-0043", Scad::Fattura}}},
        {.imp = 310, .nome = "Anna Verdi", .iban = kIbanIt2, .citta = "Roma",
         .iso = "IT", .piva = "VRDNNA75B41H501Y", .cg07 = 86, .prs_fis = 1,
         .tipo_ind = Addr::HOME, .refs = {{"NC-7", Scad::NotaCredito}}},
        {.imp = 15000, .nome = "Z\xC3\xBCrcher Uhren AG", .iban = kIbanCh,
         .bic = "UBSWCHZH80A", .cau = "SUPP", .ind = "Postfach",
         .civico = "1234", .cap = "8001", .citta = "Z\xC3\xBCrich",
         .iso = "CH", .piva = "CHE-123.456.789", .cg07 = 71,
         .tipo_ind = Addr::PBOX, .refs = {{"R-99", Scad::Fattura}}}},
       [](CLSEP_FILESEPA& f, auto&, auto&) {
         f.TipoStrutturaFile = zxEnumStrutturaSepa::Strutturato;
       }},
      // Missing and odd data, written as the rules say (not valid against the
      // schema): the alternative company identifier, batch booking "false",
      // outcome "TRA" for 6, an address form that gives only "Ctry", an
      // account that is not IBAN-shaped ("Othr"), a blank account (empty
      // "Id"), a foreign account without BIC (empty "FinInstnId"), a reason
      // with trailing blanks, an empty currency and blank identifiers.
      {"sepa_missing_data", Fmt::BonificoSEPA, "", 15, 1,
       {{.imp = 99.99, .nome = "Conto non IBAN", .iban = "000012345678",
         .cau = "SUPP  ", .iso = "IT", .rif = "Saldo"},
        {.imp = 10, .div = ""},
        {.imp = 20, .nome = "Deutsche Lieferant GmbH", .iban = kIbanDe,
         .bic = "  ", .iso = "DE", .piva = "DE123456789", .cg07 = 94}},
       [](auto&, framework::CompanyValues& company, CLSEP_INFOPAG& block) {
         company.IdentificativoDitta = "   ";
         company.IdentificativoDittaAlternativo = "ALT-0001  ";
         block.IndicatoreAccumuloSpese = 2;
         block.IndicatoreEsito = 6;
         block.IndicatoreComposizioneIndirizzo =
             static_cast<zxEnumIndicatoreIndirizzoBonifici>(7);
       }},
      // Cross-border batch 17 (service level "SDVA" from the batch; its
      // urgent flag changes nothing here) with regulatory reports: "CVA"
      // with a short and a long description, and the codes "INF" and "CDV";
      // a private person; a domestic account. The copy of this file without
      // "BICOrBEI" is valid against the schema.
      {"cross_border_sdva", Fmt::BonificoEsteroXML, "", 17, 1,
       {{.imp = 15000, .nome = "Z\xC3\xBCrcher Uhren AG", .iban = kIbanCh,
         .bic = "UBSWCHZH80A", .cau = "SUPP", .ind = "Bahnhofstrasse 1",
         .iso = "CH", .cap_citta = "8001 Z\xC3\xBCrich Schweiz",
         .piva = "CHE-123.456.789", .cg07 = 71, .rif = "Invoice 2024-0815",
         .div = "CHF", .cvs_tipo = "CVA", .cvs_descr = "AB", .cvs_imp = 15000},
        {.imp = 7300.5, .nome = "Acme Trading Inc.", .iban = kIbanDe,
         .bic = "COBADEFFXXX", .ind = "Friedrichstrasse 10", .iso = "DE",
         .cap_citta = "10117 Berlin Deutschland", .piva = "DE123456789",
         .cg07 = 94, .rif = "Order 55", .cvs_tipo = "CVA",
         .cvs_descr = "1234567", .cvs_imp = 7300.5},
        {.imp = 820, .nome = "John Smith", .iban = kIbanFr,
         .bic = "AGRIFRPPXXX", .ind = "1 avenue Foch", .iso = "FR",
         .cap_citta = "75116 Paris", .piva = "SMTJHN70A01Z114K", .cg07 = 29,
         .prs_fis = 1, .rif = "Fee", .cvs_tipo = "INF", .cvs_descr = "XY",
         .cvs_imp = 820},
        {.imp = 1000, .nome = "Fornitore Alfa S.p.A.", .iban = kIbanIt,
         .bic = "BCITITMMXXX", .ind = "Via Roma 1", .iso = "IT",
         .cap_citta = "20100 Milano MI", .piva = "01987654321", .cg07 = 86,
         .rif = "Domestic account, foreign file", .cvs_tipo = "CDV",
         .cvs_descr = "QQ", .cvs_imp = 1000}}},
      // Urgent cross-border level "URGP"; a domestic creditor without BIC
      // still gets "CdtrAgt" (empty "FinInstnId") and an empty "BICOrBEI";
      // "CVA " with a trailing blank is reported but is not "CVA".
      {"cross_border_urgp", Fmt::BonificoEsteroXML, "", 17, 1,
       {{.imp = 500, .nome = "Fornitore Beta S.r.l.", .iban = kIbanIt2,
         .ind = "Via Po 2", .iso = "IT", .cap_citta = "10123 Torino TO",
         .piva = "01234509876", .cg07 = 86, .rif = "Acconto",
         .cvs_tipo = "CVA ", .cvs_descr = "QQ", .cvs_imp = 500}},
       [](auto&, auto&, CLSEP_INFOPAG& block) {
         block.IndicatoreLivelloServizio = Svc::EsteroUrgente;
       }},
      // Cross-border without service level: no "PmtTpInf" at block level.
      {"cross_border_no_service_level", Fmt::BonificoEsteroXML, "", 17, 1,
       {{.imp = 1234.56, .nome = "Acme Trading Inc.", .iban = kIbanDe,
         .bic = "COBADEFFXXX", .ind = "Friedrichstrasse 10", .iso = "DE",
         .cap_citta = "10117 Berlin", .piva = "DE123456789", .cg07 = 94,
         .rif = "Order 56", .div = "USD", .cvs_tipo = "CVA",
         .cvs_descr = "Z", .cvs_imp = 1234.56}},
       [](auto&, auto&, CLSEP_INFOPAG& block) {
         block.IndicatoreLivelloServizio = Svc::Assente;
       }},
  };
  // The ISO file of the localised batch 21. SEPA format: outcome "TRA",
  // batch booking "false", twelve French creditors (customer, document and
  // date make "EndToEndId"), a credit note (negative amount) and a
  // 200-character remittance cut to 140 characters. Valid.
  std::vector<Tx> twelve;
  for (int i = 1; i <= 12; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    twelve.push_back({.imp = i == 5 ? -150.5 : 100.1 * i,
                      .nome = "Fournisseur " + n + " SARL", .iban = kIbanFr,
                      .bic = "AGRIFRPPXXX",
                      .rif = i == 12 ? long_text : "Facture F-" + n,
                      .clifor = Variant(int32_t{40000 + i}),
                      .data_doc = Variant(Date::FromParts(2024, 3, i)),
                      .num_doc = "F2024-00" + n});
  }
  scenarios.push_back({"iso_sepa", Fmt::BonificoSEPA, "FR", 21, 1, twelve});
  // Foreign format: urgent ("HIGH"), outcome "TRF", batch booking "true";
  // every creditor gets its agent and its regulatory code; a customer code
  // given as text and a document date given as Italian date text. Valid.
  scenarios.push_back(
      {"iso_foreign", Fmt::BonificoEsteroXML, "FR", 21, 1,
       {{.imp = 15000, .nome = "Z\xC3\xBCrcher Uhren AG", .iban = kIbanCh,
         .bic = "UBSWCHZH80A", .rif = "Invoice 2024-0815", .div = "CHF",
         .cvs_descr = "CVA", .clifor = Variant("C-77 "),
         .data_doc = Variant("05/03/2024"), .num_doc = "INV-0815"},
        {.imp = 7300.5, .nome = "Acme Trading Inc.", .iban = kIbanDe,
         .bic = "COBADEFFXXX", .rif = "Order 55", .div = "USD",
         .cvs_descr = "INF  ", .clifor = Variant(int32_t{4711}),
         .data_doc = Variant(Date::FromParts(2024, 3, 5)), .num_doc = "FT-12"}},
       [](auto&, auto&, CLSEP_INFOPAG& block) {
         block.FlagUrgente = true;
         block.IndicatoreEsito = 5;
         block.IndicatoreAccumuloSpese = 1;
       }});
  // Missing and odd data: no BIC for the block or a creditor (empty
  // "FinInstnId"), an account that is not IBAN-shaped ("Othr"), a blank one
  // (empty "Id"), no regulatory code, no customer or document date, and
  // structured remittance (an empty "RmtInf": this file carries none).
  scenarios.push_back(
      {"iso_missing_data", Fmt::BonificoEsteroXML, "FR", 21, 1,
       {{.imp = 99.99, .nome = "Conto non IBAN", .iban = "000012345678",
         .num_doc = "X-1"},
        {.imp = 10, .iban = "   ", .rif = "ignored", .data_doc = Variant::Null()}},
       [](CLSEP_FILESEPA& builder, auto&, CLSEP_INFOPAG& block) {
         builder.TipoStrutturaFile = zxEnumStrutturaSepa::Strutturato;
         block.BicSwift = "";
       }});
  // clang-format on
  return scenarios;
}

// Compares a written file with its golden file; with ZSEPA_UPDATE_GOLDEN=1
// rewrites the golden file instead and marks the test skipped.
inline void ExpectGoldenFile(const std::string& golden,
                             const std::string& actual) {
  if (const char* update = getenv("ZSEPA_UPDATE_GOLDEN");
      update != nullptr && std::string(update) == "1") {
    WriteFile(golden, actual);
    GTEST_SKIP() << "ZSEPA_UPDATE_GOLDEN=1: rewrote " << golden;
  }
  const std::string expected = ReadFile(golden);
  ASSERT_FALSE(expected.empty()) << "missing " << golden;
  EXPECT_EQ(actual, expected);
}

// SaveXML refused with `stato` and an Errore holding `fragment`: no file and
// no temporary file is left, and a file already at the path is kept as it
// was.
inline void ExpectRefusalLeavesThePath(DemoCompany& company,
                                       CLSEP_FILESEPA& builder, int32_t stato,
                                       const std::string& fragment) {
  const long before = company.Count();
  const std::string path = company.File("out.xml");
  EXPECT_FALSE(builder.SaveXML(path));
  EXPECT_EQ(builder.Stato(), stato) << builder.Errore();
  EXPECT_NE(builder.Errore().find(fragment), std::string::npos)
      << builder.Errore();
  EXPECT_EQ(company.Count(), before);

  WriteFile(path, "earlier file\n");
  EXPECT_FALSE(builder.SaveXML(path));
  EXPECT_EQ(ReadFile(path), "earlier file\n");
  EXPECT_EQ(company.Count(), before + 1);

  // The build's failure comes before the save's, as ever.
  EXPECT_FALSE(builder.SaveXML(company.File("missing/out.xml")));
  EXPECT_EQ(builder.Stato(), stato) << builder.Errore();
}

// Writes `scenario` on `company` to `path` under `profile`. Returns
// SaveXML's result; the caller keeps the builder to look at.
inline bool WriteScenario(DemoCompany& company, const FileScenario& scenario,
                          const std::string& path,
                          std::unique_ptr<CLSEP_FILESEPA>& builder,
                          db::Connection* connection = nullptr,
                          FileProfile profile = FileProfile::kExact) {
  builder = company.NewBuilder(connection);
  builder->Profile = profile;
  builder->FormatoFile = scenario.formato;
  builder->CodiceIsoLocalizzazione = scenario.localizzazione;
  std::shared_ptr<CLSEP_INFOPAG> block = builder->Add(1, scenario.numero, 2024);
  if (block == nullptr) return false;
  block->ProgrBanca = scenario.progr_banca;
  scenario.fill(*builder, company.company(), *block);
  for (const Tx& tx : scenario.txs) AddTx(*block, tx);
  return builder->SaveXML(path);
}

}  // namespace zsepa::testing

#endif  // ZSEPA_TESTS_SCENARIOS_H_
