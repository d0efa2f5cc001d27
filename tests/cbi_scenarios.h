#ifndef ZSEPA_TESTS_CBI_SCENARIOS_H_
#define ZSEPA_TESTS_CBI_SCENARIOS_H_

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "model/clsep_filesepa.h"
#include "tests/cbi_test_support.h"

// The credit-transfer files of the golden-file and schema tests. Each
// scenario loads one batch of the demo company with Add, as a host does, and
// fills its transactions; tests/data/cbi/<name>.xml is the expected file.

namespace zsepa::testing {

struct CbiScenario {
  std::string name;
  zxEnumFormatoFile formato;
  int32_t numero;  // batch number of kind 1, year 2024
  // Sets the builder, the company and the block before the transactions.
  std::function<void(CLSEP_FILESEPA&, framework::CompanyValues&,
                     CLSEP_INFOPAG&)>
      fill;
};

// Test names and failure messages show the scenario by its name.
inline void PrintTo(const CbiScenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

// Adds a transaction with the fields most transactions share.
inline CLSEP_TRANSFCREDIT& Transfer(CLSEP_INFOPAG& block, double importo,
                                    const std::string& nome,
                                    const std::string& iban,
                                    const std::string& bic) {
  CLSEP_TRANSFCREDIT& t = *block.AddTrasfer();
  t.Importo = importo;
  t.RagioneSociale = nome;
  t.IBAN = iban;
  t.BicSwift = bic;
  return t;
}

inline void Reference(
    CLSEP_TRANSFCREDIT& transfer, const std::string& number,
    zxEnumTipoScadenzaPassiva kind = zxEnumTipoScadenzaPassiva::Fattura) {
  CLSEP_RIFSCA& reference = *transfer.AddRiferimentoScadenza();
  reference.NumeroDocumento = number;
  reference.IndicatoreTipoScadenza = kind;
}

inline std::vector<CbiScenario> CbiScenarios() {
  using Fmt = zxEnumFormatoFile;
  return {
      // The common SEPA batch (batch 15: normal priority, outcome "TRA",
      // addresses on two lines, free-text remittance): a domestic supplier,
      // a foreign one (agent with BIC), a private person with a credit note
      // (negative amount) and a 200-character remittance text cut to 140
      // characters, and batch booking asked for. Valid against the schema.
      {"sepa_batch", Fmt::BonificoSEPA, 15,
       [](CLSEP_FILESEPA&, framework::CompanyValues&, CLSEP_INFOPAG& block) {
         block.ProgrBanca = 1;
         block.IndicatoreAccumuloSpese = 1;
         auto& a = Transfer(block, 1250, "Fornitore Alfa S.p.A.",
                            "IT60X0542811101000000123456", "BCITITMMXXX");
         a.Causale = "SUPP";
         a.Indirizzo = "Via Roma 1";
         a.CodiceIso = "IT";
         a.CapCittaProvNazione = "20100 Milano MI Italia";
         a.PartitaIVA = "01987654321";
         a.CodCG07 = 86;
         a.RiferimentoNonStrutturato = "Fattura 2024/101 del 15/02/2024";
         auto& b = Transfer(block, 980.4,
                            "Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale "
                            "d'\xC3\x89quipement SARL",
                            "FR7630006000011234567890189", "AGRIFRPPXXX");
         b.Indirizzo = "12 rue de la Paix";
         b.CodiceIso = "FR";
         b.CapCittaProvNazione = "75002 Paris France";
         b.PartitaIVA = "FR40303265045";
         b.CodCG07 = 29;
         b.RiferimentoNonStrutturato = "Facture F-778";
         auto& c = Transfer(block, -150.5, "Mario Bianchi",
                            "IT02A0503401633000000012345", "");
         c.Causale = "SALA";
         c.FlgPrsFis = 1;
         c.Indirizzo = "Corso Venezia 3";
         c.CodiceIso = "IT";
         c.CapCittaProvNazione = "20121 Milano MI";
         c.PartitaIVA = "BNCMRA80A01F205X";
         c.CodCG07 = 86;
         std::string text = "Rimborso nota di credito n. 7 - ";
         while (text.size() < 200) text += "citt\xC3\xA0 ";
         c.RiferimentoNonStrutturato = text;
       }},
      // The urgent batch (batch 16: priority "HIGH", outcome "TRF", bank row
      // 2 asks for structured addresses) with structured remittance: full
      // address with type ADDR, a private person with only town and
      // country, a foreign creditor with a post-office box address.
      {"sepa_urgent_structured", Fmt::BonificoSEPA, 16,
       [](CLSEP_FILESEPA& builder, framework::CompanyValues&,
          CLSEP_INFOPAG& block) {
         builder.TipoStrutturaFile = zxEnumStrutturaSepa::Strutturato;
         block.ProgrBanca = 2;
         auto& a = Transfer(block, 4200.75, "Rossi & Figli <Torino> S.n.c.",
                            "IT60X0542811101000000123456", "BCITITMMXXX");
         a.Causale = "SUPP";
         a.IndicatoreIndirizzo = zxEnumIndicatoreTipoIndirizzo::ADDR;
         a.Indirizzo = "Via Torino";
         a.NumeroCivico = "25";
         a.Cap = "10121";
         a.Citta = "Torino";
         a.Provincia = "TO";
         a.CodiceIso = "IT";
         a.PartitaIVA = "07643520017";
         a.CodCG07 = 86;
         Reference(a, "FT-2024-0042");
         Reference(a, "FT-2024-0043");
         auto& b = Transfer(block, 310, "Anna Verdi",
                            "IT02A0503401633000000012345", "");
         b.FlgPrsFis = 1;
         b.IndicatoreIndirizzo = zxEnumIndicatoreTipoIndirizzo::HOME;
         b.Citta = "Roma";
         b.CodiceIso = "IT";
         b.PartitaIVA = "VRDNNA75B41H501Y";
         b.CodCG07 = 86;
         Reference(b, "NC-7", zxEnumTipoScadenzaPassiva::NotaCredito);
         auto& c = Transfer(block, 15000, "Z\xC3\xBCrcher Uhren AG",
                            "CH9300762011623852957", "UBSWCHZH80A");
         c.Causale = "SUPP";
         c.IndicatoreIndirizzo = zxEnumIndicatoreTipoIndirizzo::PBOX;
         c.Indirizzo = "Postfach";
         c.NumeroCivico = "1234";
         c.Cap = "8001";
         c.Citta = "Z\xC3\xBCrich";
         c.CodiceIso = "CH";
         c.PartitaIVA = "CHE-123.456.789";
         c.CodCG07 = 71;
         Reference(c, "R-99");
       }},
      // Missing and odd data, written as the rules say (not valid against the
      // schema): the alternative company identifier, batch booking "false",
      // outcome "TRA" for 6, an address form that gives only "Ctry", an
      // account that is not IBAN-shaped ("Othr"), a blank account (empty
      // "Id"), a foreign account without BIC (empty "FinInstnId"), a reason
      // with trailing blanks, an empty currency and blank identifiers.
      {"sepa_missing_data", Fmt::BonificoSEPA, 15,
       [](CLSEP_FILESEPA&, framework::CompanyValues& company,
          CLSEP_INFOPAG& block) {
         company.IdentificativoDitta = "   ";
         company.IdentificativoDittaAlternativo = "ALT-0001  ";
         block.ProgrBanca = 1;
         block.IndicatoreAccumuloSpese = 2;
         block.IndicatoreEsito = 6;
         block.IndicatoreComposizioneIndirizzo =
             static_cast<zxEnumIndicatoreIndirizzoBonifici>(7);
         auto& a = Transfer(block, 99.99, "Conto non IBAN", "000012345678", "");
         a.CodiceIso = "IT";
         a.Causale = "SUPP  ";
         a.RiferimentoNonStrutturato = "Saldo";
         auto& b = Transfer(block, 10, "", "", "");
         b.Divisa = "";
         auto& c = Transfer(block, 20, "Deutsche Lieferant GmbH",
                            "DE89370400440532013000", "  ");
         c.CodiceIso = "DE";
         c.PartitaIVA = "DE123456789";
         c.CodCG07 = 94;
       }},
      // The cross-border batch 17 (service level "SDVA" from the batch; its
      // urgent flag changes nothing here) with regulatory reports: "CVA"
      // with a short and a long description, and the codes "INF" and "CDV"
      // (35 blanks); a private person; a domestic account. The copy of this
      // file without "BICOrBEI" is valid against the schema.
      {"cross_border_sdva", Fmt::BonificoEsteroXML, 17,
       [](CLSEP_FILESEPA&, framework::CompanyValues&, CLSEP_INFOPAG& block) {
         block.ProgrBanca = 1;
         auto& a = Transfer(block, 15000, "Z\xC3\xBCrcher Uhren AG",
                            "CH9300762011623852957", "UBSWCHZH80A");
         a.Divisa = "CHF";
         a.Causale = "SUPP";
         a.Indirizzo = "Bahnhofstrasse 1";
         a.CodiceIso = "CH";
         a.CapCittaProvNazione = "8001 Z\xC3\xBCrich Schweiz";
         a.PartitaIVA = "CHE-123.456.789";
         a.CodCG07 = 71;
         a.CVSTipo = "CVA";
         a.CVSImporto = 15000;
         a.CVSDescr = "AB";
         a.RiferimentoNonStrutturato = "Invoice 2024-0815";
         auto& b = Transfer(block, 7300.5, "Acme Trading Inc.",
                            "DE89370400440532013000", "COBADEFFXXX");
         b.Indirizzo = "Friedrichstrasse 10";
         b.CodiceIso = "DE";
         b.CapCittaProvNazione = "10117 Berlin Deutschland";
         b.PartitaIVA = "DE123456789";
         b.CodCG07 = 94;
         b.CVSTipo = "CVA";
         b.CVSImporto = 7300.5;
         b.CVSDescr = "1234567";
         b.RiferimentoNonStrutturato = "Order 55";
         auto& c = Transfer(block, 820, "John Smith",
                            "FR7630006000011234567890189", "AGRIFRPPXXX");
         c.FlgPrsFis = 1;
         c.Indirizzo = "1 avenue Foch";
         c.CodiceIso = "FR";
         c.CapCittaProvNazione = "75116 Paris";
         c.PartitaIVA = "SMTJHN70A01Z114K";
         c.CodCG07 = 29;
         c.CVSTipo = "INF";
         c.CVSImporto = 820;
         c.CVSDescr = "XY";
         c.RiferimentoNonStrutturato = "Fee";
         auto& d = Transfer(block, 1000, "Fornitore Alfa S.p.A.",
                            "IT60X0542811101000000123456", "BCITITMMXXX");
         d.Indirizzo = "Via Roma 1";
         d.CodiceIso = "IT";
         d.CapCittaProvNazione = "20100 Milano MI";
         d.PartitaIVA = "01987654321";
         d.CodCG07 = 86;
         d.CVSTipo = "CDV";
         d.CVSImporto = 1000;
         d.CVSDescr = "QQ";
         d.RiferimentoNonStrutturato = "Domestic account, foreign file";
       }},
      // Urgent cross-border level "URGP"; a domestic creditor without BIC
      // still gets "CdtrAgt" (empty "FinInstnId") and an empty "BICOrBEI";
      // "CVA " with a trailing blank is reported but is not "CVA".
      {"cross_border_urgp", Fmt::BonificoEsteroXML, 17,
       [](CLSEP_FILESEPA&, framework::CompanyValues&, CLSEP_INFOPAG& block) {
         block.ProgrBanca = 1;
         block.IndicatoreLivelloServizio =
             zxEnumIndicatoreLivelloServizio::EsteroUrgente;
         auto& a = Transfer(block, 500, "Fornitore Beta S.r.l.",
                            "IT02A0503401633000000012345", "");
         a.Indirizzo = "Via Po 2";
         a.CodiceIso = "IT";
         a.CapCittaProvNazione = "10123 Torino TO";
         a.PartitaIVA = "01234509876";
         a.CodCG07 = 86;
         a.RiferimentoNonStrutturato = "Acconto";
         a.CVSTipo = "CVA ";
         a.CVSImporto = 500;
         a.CVSDescr = "QQ";
       }},
      // Cross-border without service level: no "PmtTpInf" at block level.
      {"cross_border_no_service_level", Fmt::BonificoEsteroXML, 17,
       [](CLSEP_FILESEPA&, framework::CompanyValues&, CLSEP_INFOPAG& block) {
         block.ProgrBanca = 1;
         block.IndicatoreLivelloServizio =
             zxEnumIndicatoreLivelloServizio::Assente;
         auto& a = Transfer(block, 1234.56, "Acme Trading Inc.",
                            "DE89370400440532013000", "COBADEFFXXX");
         a.Divisa = "USD";
         a.Indirizzo = "Friedrichstrasse 10";
         a.CodiceIso = "DE";
         a.CapCittaProvNazione = "10117 Berlin";
         a.PartitaIVA = "DE123456789";
         a.CodCG07 = 94;
         a.CVSTipo = "CVA";
         a.CVSImporto = 1234.56;
         a.CVSDescr = "Z";
         a.RiferimentoNonStrutturato = "Order 56";
       }},
  };
}

// Writes `scenario` on `company` to `path`. Returns SaveXML's result; the
// builder is left for inspection.
inline bool WriteScenario(DemoCompany& company, const CbiScenario& scenario,
                          const std::string& path,
                          std::unique_ptr<CLSEP_FILESEPA>& builder,
                          db::Connection* connection = nullptr) {
  builder = company.NewBuilder(connection);
  builder->FormatoFile = scenario.formato;
  std::shared_ptr<CLSEP_INFOPAG> block = builder->Add(1, scenario.numero, 2024);
  if (block == nullptr) return false;
  scenario.fill(*builder, company.company(), *block);
  return builder->SaveXML(path);
}

}  // namespace zsepa::testing

#endif  // ZSEPA_TESTS_CBI_SCENARIOS_H_
