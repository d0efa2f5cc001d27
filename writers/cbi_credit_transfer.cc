#include "writers/cbi_credit_transfer.h"

#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"
#include "db/ordinante.h"
#include "format/formatting.h"
#include "format/msg_id.h"
#include "writers/bank_profile.h"
#include "writers/credit_transfer_parts.h"
#include "writers/xml_builder.h"
#include "zsepa/error.h"

// The CBI credit-transfer writer: the SEPA file
// "urn:CBI:xsd:CBIPaymentRequest.00.04.00" and, for FormatoFile 2, the
// cross-border file "urn:CBI:xsd:CBICrossBorderPaymentRequestLogMsg.00.01.01".
// One group header, one payment-information group for the builder's block and
// one credit-transfer record per transaction of the block.

namespace zsepa::writers {
namespace {

constexpr char kSepaNamespace[] = "urn:CBI:xsd:CBIPaymentRequest.00.04.00";
constexpr char kSepaRoot[] = "CBIPaymentRequest";
constexpr char kCrossBorderNamespace[] =
    "urn:CBI:xsd:CBICrossBorderPaymentRequestLogMsg.00.01.01";
constexpr char kCrossBorderRoot[] = "CBICrossBorderPaymentRequestLogMsg";

// Code of a regulatory report whose description goes into "Inf".
constexpr char kCodiceCva[] = "CVA";

// "Inf" of a regulatory report: for "CVA" the description fitted to five
// characters and 30 spaces, for any other code 35 spaces.
std::string RegulatoryInformation(const CLSEP_TRANSFCREDIT& transfer) {
  if (transfer.CVSTipo != kCodiceCva) return std::string(35, ' ');
  return utf8::FitRight(transfer.CVSDescr, 5) + std::string(30, ' ');
}

// What the writer needs for one file, read before the tree is built.
struct FileValues {
  bool sepa = true;
  std::string company_identifier;
  std::string msg_id;
  db::DatiOrdinante ordinante;
  std::string ordinante_country;
};

class CbiDocument : public CreditTransferParts {
 public:
  // `profile` collects the bank-2026 profile's findings; nullptr for the
  // exact file.
  CbiDocument(xml::Documento& doc, const FileValues& values, bool structured,
              std::vector<Finding>* profile)
      : CreditTransferParts(doc),
        values_(values),
        structured_(structured),
        profile_(profile) {}

  xml::Element GroupHeader(int32_t transactions, double total,
                           const Variant& created,
                           const std::string& company_name,
                           const std::string& cuc) {
    xml::Element header = doc_.NuovoElemento("GrpHdr");
    doc_.AggiungiElemento(header, "MsgId", values_.msg_id);
    doc_.AggiungiElemento(header, "CreDtTm", FormattaDataOra(created));
    doc_.AggiungiElemento(header, "NbOfTxs",
                          FormatNumberPicture(Variant(transactions), 3));
    doc_.AggiungiElemento(header, "CtrlSum", FormattaImporto(Variant(total)));
    xml::Element party = doc_.NuovoElemento("InitgPty");
    doc_.AggiungiElemento(party, "Nm", company_name);
    xml::Element org = doc_.NuovoElemento("OrgId");
    Aggiungi(org, Other(cuc, "CBI"));
    if (!values_.company_identifier.empty()) {
      Aggiungi(org, Other(values_.company_identifier, "ADE"));
    }
    Aggiungi(party, Wrap("Id", std::move(org)));
    Aggiungi(header, std::move(party));
    return header;
  }

  // "PmtInf" up to, not including, the transactions.
  xml::Element PaymentInformation(const CLSEP_INFOPAG& block) {
    xml::Element info = doc_.NuovoElemento("PmtInf");
    doc_.AggiungiElemento(info, "PmtInfId", values_.msg_id);
    doc_.AggiungiElemento(info, "PmtMtd", PaymentMethod(block));
    if (block.IndicatoreAccumuloSpese != 0) {
      doc_.AggiungiElemento(
          info, "BtchBookg",
          block.IndicatoreAccumuloSpese == 1 ? "true" : "false");
    }
    const char* service_level = ServiceLevel(block);
    if (service_level != nullptr) {
      xml::Element type = doc_.NuovoElemento("PmtTpInf");
      if (values_.sepa) {
        doc_.AggiungiElemento(type, "InstrPrty",
                              block.FlagUrgente ? "HIGH" : "NORM");
      }
      xml::Element level = doc_.NuovoElemento("SvcLvl");
      doc_.AggiungiElemento(level, "Cd", service_level);
      Aggiungi(type, std::move(level));
      Aggiungi(info, std::move(type));
    }
    doc_.AggiungiElemento(info, "ReqdExctnDt",
                          FormatDatePicture(block.DataValuta, "-"));
    Aggiungi(info, Debtor());
    Aggiungi(info, DebtorAccount(block));
    xml::Element institution = Institution(block.BicSwift);
    if (!TestoNonNullo(block.Abi).empty()) {
      xml::Element member = doc_.NuovoElemento("ClrSysMmbId");
      doc_.AggiungiElemento(member, "MmbId", FormatNumberPicture(block.Abi, 5));
      Aggiungi(institution, std::move(member));
    }
    Aggiungi(info, Wrap("DbtrAgt", std::move(institution)));
    doc_.AggiungiElemento(info, "ChrgBr", values_.sepa ? "SLEV" : "SHAR");
    return info;
  }

  // One "CdtTrfTxInf". `foreign_iban` and `italian_state` are the answers of
  // the two lookups that every transaction costs.
  xml::Element Transaction(int32_t position, const CLSEP_TRANSFCREDIT& transfer,
                           zxEnumIndicatoreIndirizzoBonifici address_form,
                           bool foreign_iban, bool italian_state) {
    xml::Element record = doc_.NuovoElemento("CdtTrfTxInf");
    const std::string id = FormatNumberPicture(Variant(position), 6);
    xml::Element payment_id = doc_.NuovoElemento("PmtId");
    doc_.AggiungiElemento(payment_id, "InstrId", id);
    doc_.AggiungiElemento(payment_id, "EndToEndId", id);
    Aggiungi(record, std::move(payment_id));
    if (NonBlank(transfer.Causale)) {
      xml::Element purpose = doc_.NuovoElemento("CtgyPurp");
      doc_.AggiungiElemento(purpose, "Cd", transfer.Causale);
      Aggiungi(record, Wrap("PmtTpInf", std::move(purpose)));
    }
    Aggiungi(record, Amount(transfer));
    if (!values_.sepa || foreign_iban) {
      Aggiungi(record, Wrap("CdtrAgt", Institution(transfer.BicSwift)));
    }
    Aggiungi(record, Creditor(position, transfer, address_form, italian_state));
    Aggiungi(record, CreditorAccount(transfer));
    if (!values_.sepa && NonBlank(transfer.CVSTipo)) {
      Aggiungi(record, RegulatoryReporting(transfer));
    }
    Aggiungi(record, Remittance(transfer));
    return record;
  }

 private:
  // The service-level code of the block, or nullptr when the file has no
  // "PmtTpInf" at block level.
  const char* ServiceLevel(const CLSEP_INFOPAG& block) const {
    if (values_.sepa) return "SEPA";
    switch (block.IndicatoreLivelloServizio) {
      case zxEnumIndicatoreLivelloServizio::EsteroUrgente:
        return "URGP";
      case zxEnumIndicatoreLivelloServizio::DataValutaCompensata:
        return "SDVA";
      default:
        return nullptr;
    }
  }

  xml::Element Other(const std::string& id, const char* issuer) {
    xml::Element other = doc_.NuovoElemento("Othr");
    doc_.AggiungiElemento(other, "Id", id);
    doc_.AggiungiElemento(other, "Issr", issuer);
    return other;
  }

  xml::Element Debtor() {
    xml::Element debtor = doc_.NuovoElemento("Dbtr");
    doc_.AggiungiElemento(debtor, "Nm", values_.ordinante.name);
    const db::DatiOrdinante& ordinante = values_.ordinante;
    if (profile_ != nullptr) {
      AddressFields fields;
      fields.street = ordinante.address_line1;
      fields.postcode = ordinante.postcode;
      fields.town = ordinante.town;
      fields.province = ordinante.province;
      fields.country = values_.ordinante_country;
      ProfileAddress(doc_, debtor, fields, ExactAddress::kFreeText,
                     {1, 0, "Dbtr/PstlAdr"}, *profile_);
    } else {
      xml::Element address = doc_.NuovoElemento("PstlAdr");
      doc_.AggiungiElemento(address, "Ctry", values_.ordinante_country);
      doc_.AggiungiElemento(address, "AdrLine", ordinante.address_line1);
      doc_.AggiungiElemento(address, "AdrLine", ordinante.address_line2);
      Aggiungi(debtor, std::move(address));
    }
    xml::Element org = doc_.NuovoElemento("OrgId");
    Aggiungi(org, Other(values_.company_identifier, "ADE"));
    Aggiungi(debtor, Wrap("Id", std::move(org)));
    return debtor;
  }

  xml::Element CreditorAddress(const CLSEP_TRANSFCREDIT& transfer,
                               zxEnumIndicatoreIndirizzoBonifici form) {
    xml::Element address = doc_.NuovoElemento("PstlAdr");
    if (form == zxEnumIndicatoreIndirizzoBonifici::IndirizzoStrutturato) {
      const char* type = AddressTypeCode(transfer.IndicatoreIndirizzo);
      if (type != nullptr) doc_.AggiungiElemento(address, "AdrTp", type);
      const std::pair<const char*, const std::string*> parts[] = {
          {"StrtNm", &transfer.Indirizzo},
          {"BldgNb", &transfer.NumeroCivico},
          {"PstCd", &transfer.Cap},
          {"TwnNm", &transfer.Citta},
          {"CtrySubDvsn", &transfer.Provincia}};
      for (const auto& [tag, value] : parts) {
        if (NonBlank(*value)) doc_.AggiungiElemento(address, tag, *value);
      }
    }
    doc_.AggiungiElemento(address, "Ctry", transfer.CodiceIso);
    if (form == zxEnumIndicatoreIndirizzoBonifici::IndirizzoSuSingoloTag) {
      doc_.AggiungiElemento(address, "AdrLine", transfer.Indirizzo);
      doc_.AggiungiElemento(address, "AdrLine", transfer.CapCittaProvNazione);
    }
    return address;
  }

  // The creditor's address under the bank-2026 profile, from the fields the
  // exact forms take it from.
  void ProfileCreditorAddress(xml::Element& creditor, int32_t position,
                              const CLSEP_TRANSFCREDIT& transfer,
                              zxEnumIndicatoreIndirizzoBonifici form) {
    AddressFields fields;
    fields.postcode = transfer.Cap;
    fields.town = transfer.Citta;
    fields.province = transfer.Provincia;
    fields.country = transfer.CodiceIso;
    ExactAddress exact = ExactAddress::kCountryOnly;
    // The single line carries the house number after the street.
    std::string line;
    if (form == zxEnumIndicatoreIndirizzoBonifici::IndirizzoSuSingoloTag) {
      line = RTrimSpaces(transfer.Indirizzo);
      if (NonBlank(transfer.NumeroCivico)) {
        line += " " + RTrimSpaces(transfer.NumeroCivico);
      }
      fields.line = line;
      exact = ExactAddress::kFreeText;
    } else {
      fields.street = transfer.Indirizzo;
      fields.building = transfer.NumeroCivico;
    }
    if (form == zxEnumIndicatoreIndirizzoBonifici::IndirizzoStrutturato) {
      fields.type = AddressTypeCode(transfer.IndicatoreIndirizzo);
      exact = ExactAddress::kStructured;
    }
    ProfileAddress(doc_, creditor, fields, exact, {1, position, "Cdtr/PstlAdr"},
                   *profile_);
  }

  xml::Element Creditor(int32_t position, const CLSEP_TRANSFCREDIT& transfer,
                        zxEnumIndicatoreIndirizzoBonifici address_form,
                        bool italian_state) {
    xml::Element creditor = doc_.NuovoElemento("Cdtr");
    doc_.AggiungiElemento(creditor, "Nm", transfer.RagioneSociale);
    if (profile_ != nullptr) {
      ProfileCreditorAddress(creditor, position, transfer, address_form);
    } else {
      Aggiungi(creditor, CreditorAddress(transfer, address_form));
    }
    xml::Element identification =
        doc_.NuovoElemento(transfer.FlgPrsFis == 1 ? "PrvtId" : "OrgId");
    if (!values_.sepa) {
      doc_.AggiungiElemento(identification, "BICOrBEI", transfer.BicSwift);
    }
    xml::Element other = doc_.NuovoElemento("Othr");
    doc_.AggiungiElemento(other, "Id", transfer.PartitaIVA);
    if (italian_state) doc_.AggiungiElemento(other, "Issr", "ADE");
    Aggiungi(identification, std::move(other));
    Aggiungi(creditor, Wrap("Id", std::move(identification)));
    return creditor;
  }

  xml::Element RegulatoryReporting(const CLSEP_TRANSFCREDIT& transfer) {
    xml::Element reporting = doc_.NuovoElemento("RgltryRptg");
    doc_.AggiungiElemento(reporting, "DbtCdtRptgInd", "DEBT");
    xml::Element details = doc_.NuovoElemento("Dtls");
    doc_.AggiungiElemento(details, "Cd", transfer.CVSTipo);
    doc_.AggiungiImporto(details, "Amt", transfer.CVSImporto, transfer.Divisa);
    doc_.AggiungiElemento(details, "Inf", RegulatoryInformation(transfer));
    Aggiungi(reporting, std::move(details));
    return reporting;
  }

  xml::Element Remittance(const CLSEP_TRANSFCREDIT& transfer) {
    if (!structured_) return UnstructuredRemittance(transfer);
    xml::Element remittance = doc_.NuovoElemento("RmtInf");
    xml::Element code = doc_.NuovoElemento("CdOrPrtry");
    doc_.AggiungiElemento(code, "Cd", "SCOR");
    xml::Element type = doc_.NuovoElemento("Tp");
    Aggiungi(type, std::move(code));
    doc_.AggiungiElemento(type, "Issr", transfer.RagioneSociale);
    xml::Element reference = doc_.NuovoElemento("CdtrRefInf");
    Aggiungi(reference, std::move(type));
    // A transaction without document references fails here (run-time
    // error 5): structured remittance needs at least one.
    doc_.AggiungiElemento(reference, "Ref",
                          transfer.RiferimentoScadenza(1)->NumeroDocumento);
    Aggiungi(remittance, Wrap("Strd", std::move(reference)));
    return remittance;
  }

  const FileValues& values_;
  bool structured_;
  std::vector<Finding>* profile_;
};

}  // namespace

void CbiCreditTransferWriter::Write(const WriteContext& context,
                                    const std::string& PercorsoFile) const {
  const BlockList& blocks = context.Blocks();
  RequireAtMostOneBlock(blocks, "CBI");

  FileValues values;
  values.sepa = context.FormatoFile == zxEnumFormatoFile::BonificoSEPA;
  values.company_identifier = CompanyIdentifier(context.Company());
  values.msg_id = MsgIdOf(blocks);
  values.ordinante = db::QueryOrdinante(
      context.Connection(), context.Company().CodiceAnagraficaDitta());
  if (values.ordinante.found) values.ordinante_country = "IT";

  xml::Documento doc(values.sepa ? kSepaRoot : kCrossBorderRoot,
                     values.sepa ? kSepaNamespace : kCrossBorderNamespace);
  DocumentSave save(context, doc, PercorsoFile);
  CbiDocument writer(
      doc, values,
      context.TipoStrutturaFile != zxEnumStrutturaSepa::NonStrutturato,
      context.profile == FileProfile::kBank2026 ? context.findings : nullptr);
  const std::string cuc =
      blocks.Count() > 0
          ? context.Lookups().LeggiCodiceCUC(blocks.Item(1)->ProgrBanca)
          : "";
  writer.Aggiungi(
      doc.Radice(),
      writer.GroupHeader(NumeroTotaleTrasferimenti(blocks),
                         ImportoTotaleTrasferimenti(blocks),
                         context.DataCreazioneSupporto,
                         context.Company().RagioneSocialeDitta(), cuc));
  const CLSEP_INFOPAG& block = TheBlock(blocks);
  xml::Element info = writer.PaymentInformation(block);
  doc.Apri(doc.Radice(), info);
  for (int32_t i = 1; i <= block.Count(); ++i) {
    const CLSEP_TRANSFCREDIT& transfer = *block.Trasferimento(i);
    // Both lookups run for every transaction of both file kinds.
    const bool foreign_iban = context.Lookups().IsIbanEstero(transfer.IBAN);
    const bool italian_state =
        context.Lookups().IsIndTipoStato(Variant(transfer.CodCG07));
    writer.Aggiungi(
        info,
        writer.Transaction(i, transfer, block.IndicatoreComposizioneIndirizzo,
                           foreign_iban, italian_state));
  }
  doc.Chiudi(info);
  save.Complete();
}

}  // namespace zsepa::writers
