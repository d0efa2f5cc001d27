#include "zsepa/checks.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/testing/fake_builder.h"

namespace zsepa {
namespace {

// A finding in one line: code, severity, location and field.
std::string Line(const Finding& f) {
  return f.code + (f.severity == Finding::Severity::kError ? " E" : " W") +
         " b" + std::to_string(f.block) + " t" + std::to_string(f.transaction) +
         " r" + std::to_string(f.reference) + " " + f.field;
}

std::vector<std::string> Lines(const std::vector<Finding>& findings) {
  std::vector<std::string> lines;
  for (const Finding& f : findings) lines.push_back(Line(f));
  return lines;
}

// A builder with one block filled by the host, complete and valid for the
// file kind of `formato`, with one transaction.
struct Job {
  explicit Job(zxEnumFormatoFile formato) {
    auto& company = fake.framework.values();
    company.RagioneSocialeDitta = "Officine Rossi e Figli S.r.l.";
    company.IdentificativoDitta = "12345678903";
    CLSEP_FILESEPA& builder = fake.builder;
    builder.FormatoFile = formato;
    builder.DataCreazioneSupporto = Variant(Date::FromParts(2024, 3, 5, 9, 7));
    block = std::make_shared<CLSEP_INFOPAG>();
    block->IBAN = "IT60X0542811101000000123456";
    block->BicSwift = "BCITITMMXXX";
    block->Abi = Variant(int32_t{5428});
    block->DataValuta = Variant(Date::FromParts(2024, 3, 7));
    block->CreditorIdentifier = "IT86ZZZ01234567890";
    block->CodiceCUC = "12345678";
    block->TipoIncassoRidSDD = zxEnumTipoIncassoRidSDD::SDDCore;
    builder.AddWithInfoPag(block);
    Transfer();
  }

  CLSEP_TRANSFCREDIT& Transfer() {
    CLSEP_TRANSFCREDIT& t = *block->AddTrasfer();
    t.Importo = 1250.5;
    t.Causale = "SUPP";
    t.RagioneSociale = "Fonderia Lombarda S.p.A.";
    t.IBAN = "DE89370400440532013000";
    t.BicSwift = "COBADEFFXXX";
    t.Indirizzo = "Via Leonardo da Vinci 45";
    t.CodiceIso = "IT";
    t.CapCittaProvNazione = "25121 Brescia BS IT";
    t.PartitaIVA = "00743110157";
    t.RiferimentoNonStrutturato = "Saldo fattura 12/2024";
    t.NumeroEffetto = "2024/" + std::to_string(block->Count());
    t.RiferimentoMandato = "MND-000145";
    t.DataMandato = Date::FromParts(2022, 1, 10);
    t.Scadenza = Date::FromParts(2024, 5, 15);
    t.CVSDescr = "10125";
    return t;
  }

  std::vector<std::string> Findings() {
    return Lines(CheckBeforeSave(fake.builder));
  }

  db::testing::FakeBuilder fake;
  std::shared_ptr<CLSEP_INFOPAG> block;
};

TEST(ChecksTest, CompleteJobsHaveNoFindings) {
  for (auto formato :
       {zxEnumFormatoFile::BonificoSEPA, zxEnumFormatoFile::BonificoEsteroXML,
        zxEnumFormatoFile::RidSecureDirectDebit}) {
    Job job(formato);
    EXPECT_EQ(job.Findings(), std::vector<std::string>{}) << ToInt(formato);
    job.fake.builder.CodiceIsoLocalizzazione = "FR";
    if (formato != zxEnumFormatoFile::RidSecureDirectDebit) {
      EXPECT_EQ(job.Findings(), std::vector<std::string>{}) << ToInt(formato);
    }
  }
  // The builder is only read: Stato stays as it was.
  EXPECT_EQ(Job(zxEnumFormatoFile::BonificoSEPA).fake.builder.Stato(), 0);
}

// Every fault of a broken SEPA credit-transfer job, with where it is.
TEST(ChecksTest, BrokenCreditTransferJob) {
  Job job(zxEnumFormatoFile::BonificoSEPA);
  job.fake.framework.values().IdentificativoDitta = "01234567890";
  job.block->Abi = Variant::Null();
  job.block->DataValuta = Variant(Date::FromParts(2024, 3, 29));
  CLSEP_TRANSFCREDIT& t1 = *job.block->Trasferimento(1);
  t1.IBAN = "DE89370400440532013001";
  t1.BicSwift = "";
  t1.Importo = 10.005;
  CLSEP_TRANSFCREDIT& t2 = job.Transfer();
  t2.IBAN = "IT61X0306909606100000012345";
  t2.RagioneSociale = std::string(71, 'A');
  t2.PartitaIVA = "RSSMRA85T10A562T";
  t2.RiferimentoNonStrutturato = "Caff\xC3\xA8 " + std::string(140, 'x');
  t2.CodiceIso = "";
  t2.Causale = "SUPPL";
  CLSEP_TRANSFCREDIT& t3 = job.Transfer();
  t3.IBAN = "000012345678";
  t3.Importo = -5;
  t3.Divisa = "eur";
  job.Transfer();  // the same payment as the first, as written
  job.block->Trasferimento(4)->Importo = 10.005;
  job.block->Trasferimento(4)->IBAN = t1.IBAN;
  job.block->Trasferimento(4)->BicSwift = "COBADEFFXXX";
  EXPECT_EQ(job.Findings(),
            (std::vector<std::string>{
                "VAT_NUMBER_CHECK W b0 t0 r0 IdentificativoDitta",
                "MISSING_ELEMENT E b1 t0 r0 Abi",
                "DATE_CLOSING_DAY W b1 t0 r0 DataValuta",
                "AMOUNT_DECIMALS W b1 t1 r0 Importo",
                "IBAN_CHECK_DIGITS E b1 t1 r0 IBAN",
                "BIC_MISSING E b1 t1 r0 BicSwift",
                "TEXT_TOO_LONG E b1 t2 r0 RagioneSociale",
                "TEXT_CUT W b1 t2 r0 RiferimentoNonStrutturato",
                "CHARACTER_SET W b1 t2 r0 RiferimentoNonStrutturato",
                "TEXT_TOO_LONG E b1 t2 r0 Causale",
                "EMPTY_ELEMENT E b1 t2 r0 CodiceIso",
                "IBAN_CIN W b1 t2 r0 IBAN",
                "AMOUNT_NOT_POSITIVE E b1 t3 r0 Importo",
                "CURRENCY E b1 t3 r0 Divisa",
                "ACCOUNT_NOT_IBAN E b1 t3 r0 IBAN",
                "AMOUNT_DECIMALS W b1 t4 r0 Importo",
                "IBAN_CHECK_DIGITS E b1 t4 r0 IBAN",
                "DUPLICATE_PAYMENT W b1 t4 r0 ",
                "CONTROL_SUM E b0 t0 r0 ",
            }));
}

// Every fault of a broken direct-debit job, with where it is.
TEST(ChecksTest, BrokenDirectDebitJob) {
  Job job(zxEnumFormatoFile::RidSecureDirectDebit);
  job.block->CreditorIdentifier = "IT87ZZZ01234567890";
  job.block->CodiceCUC = "1234567";
  CLSEP_TRANSFCREDIT& t1 = *job.block->Trasferimento(1);
  t1.RagioneSociale = "Societ\xC3\xA0 & C. @home";
  t1.DataMandato = Date::FromParts(2024, 6, 1);
  t1.Scadenza = Date::FromParts(2024, 3, 1);
  t1.BicSwift = "";
  CLSEP_TRANSFCREDIT& t2 = job.Transfer();
  t2.NumeroEffetto = t1.NumeroEffetto;
  t2.IBAN = "IT60X0542811101000000123456";
  t2.RiferimentoMandato = " ";
  t2.DataMandato = Date();
  t2.TipoSequenzaRidSDD = static_cast<zxEnumTipoSequenzaRidSDD>(7);
  t2.TitIBAN_Esistente = 1;
  t2.TitIBAN_RagioneSociale = "Mario Rossi";
  t2.TitIBAN_CodiceIso = "IT";
  t2.TitIBAN_PartitaIVA = "RSSMRA85T10A56NH";
  t2.RiferimentoNonStrutturato = std::string(101, 'x');
  EXPECT_EQ(job.Findings(),
            (std::vector<std::string>{
                "CREDITOR_ID_CHECK_DIGITS E b1 t0 r0 CreditorIdentifier",
                "CUC_FORM E b1 t0 r0 CodiceCUC",
                "CHARACTER_SET W b1 t1 r0 RagioneSociale",
                "BIC_MISSING E b1 t1 r0 BicSwift",
                "DATE_BEFORE_CREATION E b1 t1 r0 Scadenza",
                "MANDATE_AFTER_COLLECTION E b1 t1 r0 DataMandato",
                "RECORDSET_COLUMN E b1 t2 r0 RiferimentoNonStrutturato",
                "MANDATE_REFERENCE_MISSING E b1 t2 r0 RiferimentoMandato",
                "MANDATE_DATE_MISSING E b1 t2 r0 DataMandato",
                "SEQUENCE_TYPE E b1 t2 r0 TipoSequenzaRidSDD",
                "DUPLICATE_END_TO_END E b1 t2 r0 NumeroEffetto",
            }));
  const std::vector<Finding> findings = CheckBeforeSave(job.fake.builder);
  // The characters that NormalizzaTesto turns into "?", and those it keeps.
  EXPECT_EQ(findings[2].message,
            "NormalizzaTesto writes \"?\" for \"\xC3\xA0\"; outside the "
            "CBI/SEPA character set: \"@\"");
}

// The edges of each rule: the last value that passes and the first that
// does not.
TEST(ChecksTest, Boundaries) {
  const struct {
    const char* name;
    std::function<void(Job&)> change;
    std::vector<std::string> expected;
  } cases[] = {
      {"largest amount",
       [](Job& j) { j.block->Trasferimento(1)->Importo = 999999999.99; },
       {}},
      {"beyond the largest amount",
       [](Job& j) { j.block->Trasferimento(1)->Importo = 1e9; },
       {"AMOUNT_TOO_LARGE E b1 t1 r0 Importo"}},
      {"one cent",
       [](Job& j) { j.block->Trasferimento(1)->Importo = 0.01; },
       {}},
      {"zero",
       [](Job& j) { j.block->Trasferimento(1)->Importo = 0; },
       {"AMOUNT_NOT_POSITIVE E b1 t1 r0 Importo"}},
      {"70 characters",
       [](Job& j) {
         j.block->Trasferimento(1)->RagioneSociale = std::string(70, 'A');
       },
       {}},
      {"140 characters of remittance",
       [](Job& j) {
         j.block->Trasferimento(1)->RiferimentoNonStrutturato =
             std::string(140, 'x');
       },
       {}},
      {"execution on the creation day",
       [](Job& j) {
         j.block->DataValuta = Variant(Date::FromParts(2024, 3, 5));
       },
       {}},
      {"execution the day before",
       [](Job& j) {
         j.block->DataValuta = Variant(Date::FromParts(2024, 3, 4));
       },
       {"DATE_BEFORE_CREATION E b1 t0 r0 DataValuta"}},
      {"last year of the range",
       [](Job& j) {
         j.block->DataValuta = Variant(Date::FromParts(2099, 12, 30));
       },
       {}},
      {"first year beyond",
       [](Job& j) {
         j.block->DataValuta = Variant(Date::FromParts(2100, 1, 4));
       },
       {"DATE_OUT_OF_RANGE E b1 t0 r0 DataValuta"}},
      {"a Null date",
       [](Job& j) { j.block->DataValuta = Variant(int32_t{0}); },
       {"DATE_OUT_OF_RANGE E b1 t0 r0 DataValuta"}},
      {"no date",
       [](Job& j) { j.block->DataValuta = Variant(); },
       {"DATE_MISSING E b1 t0 r0 DataValuta"}},
      {"Easter Monday",
       [](Job& j) {
         j.block->DataValuta = Variant(Date::FromParts(2024, 4, 1));
       },
       {"DATE_CLOSING_DAY W b1 t0 r0 DataValuta"}},
      {"structured without reference",
       [](Job& j) {
         j.fake.builder.TipoStrutturaFile = zxEnumStrutturaSepa::Strutturato;
       },
       {"STRUCTURED_WITHOUT_REFERENCE E b1 t1 r0 "}},
      {"structured with an empty reference",
       [](Job& j) {
         j.fake.builder.TipoStrutturaFile = zxEnumStrutturaSepa::Strutturato;
         j.block->Trasferimento(1)->AddRiferimentoScadenza();
       },
       {"EMPTY_ELEMENT E b1 t1 r1 NumeroDocumento"}},
      {"two blocks",
       [](Job& j) {
         auto second = std::make_shared<CLSEP_INFOPAG>(*j.block);
         j.fake.builder.AddWithInfoPag(second);
       },
       {"TOO_MANY_BLOCKS E b0 t0 r0 "}},
      {"block without transactions",
       [](Job& j) {
         auto empty = std::make_shared<CLSEP_INFOPAG>();
         empty->IBAN = j.block->IBAN;
         empty->Abi = j.block->Abi;
         empty->DataValuta = j.block->DataValuta;
         j.fake.builder.Initialize();
         j.fake.builder.AddWithInfoPag(empty);
       },
       {"BLOCK_WITHOUT_TRANSACTIONS E b1 t0 r0 "}},
      {"no block",
       [](Job& j) { j.fake.builder.Initialize(); },
       {"NO_BLOCK E b0 t0 r0 "}},
  };
  for (const auto& c : cases) {
    Job job(zxEnumFormatoFile::BonificoSEPA);
    c.change(job);
    EXPECT_EQ(job.Findings(), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace zsepa
