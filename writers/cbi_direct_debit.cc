#include "writers/cbi_direct_debit.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/creditore.h"
#include "format/formatting.h"
#include "format/msg_id.h"
#include "writers/bank_profile.h"
#include "writers/xml_builder.h"
#include "zsepa/error.h"
#include "zsepa/transaction_rows.h"

// The CBI direct-debit writer: one group header with the builder's totals,
// then the first block's transactions grouped into "PmtInf" elements by
// sequence type and due date (or one group per transaction when the bank
// does not ask for grouped blocks). Every text of the file passes through
// NormalizzaTesto except the message identifier and the currency; under the
// bank-2026 profile the texts stay as they are until the profile's rewrite
// puts them into the SEPA character set.

namespace zsepa::writers {
namespace {

constexpr char kNamespace[] = "urn:CBI:xsd:CBISDDReqLogMsg.00.01.00";
constexpr char kRoot[] = "CBISDDReqLogMsg";
constexpr char kSortOrder[] = "TipoSequenzaRidSDD,Scadenza";

bool Equals(const Variant& value, int32_t number) {
  return value.IsNumber() && value.ToDouble() == number;
}

const char* SequenceCode(const Variant& value) {
  if (!value.IsNumber()) return "";
  switch (static_cast<int64_t>(value.ToDouble())) {
    case 0:
      return "FRST";
    case 1:
      return "RCUR";
    case 2:
      return "FNAL";
    case 3:
      return "OOFF";
    default:
      return "";
  }
}

// The recordset columns of one party: the customer's or the account
// holder's ("TitIBAN_").
struct PartyColumns {
  PartyColumns(const TransactionRows& rs, const std::string& prefix)
      : name(rs.ColumnIndex(prefix + "RagioneSociale")),
        street(rs.ColumnIndex(prefix + "Indirizzo")),
        postcode(rs.ColumnIndex(prefix + "Cap")),
        town(rs.ColumnIndex(prefix + "Citta")),
        province(rs.ColumnIndex(prefix + "Provincia")),
        country(rs.ColumnIndex(prefix + "CodiceIso")),
        state(rs.ColumnIndex(prefix + "CodCG07")),
        vat(rs.ColumnIndex(prefix + "PartitaIVA")) {}
  int32_t name, street, postcode, town, province, country, state, vat;
};

// The columns the writer reads, found by name once per file.
struct Columns {
  explicit Columns(const TransactionRows& rs)
      : sequence(rs.ColumnIndex("TipoSequenzaRidSDD")),
        due_date(rs.ColumnIndex("Scadenza")),
        item(rs.ColumnIndex("NumeroEffetto")),
        currency(rs.ColumnIndex("Divisa")),
        amount(rs.ColumnIndex("Importo")),
        mandate(rs.ColumnIndex("RiferimentoMandato")),
        mandate_date(rs.ColumnIndex("DataMandato")),
        previous_mandate(rs.ColumnIndex("PrecedenteRiferimentoMandato")),
        previous_iban(rs.ColumnIndex("PrecedenteIbanMandato")),
        iban(rs.ColumnIndex("IBAN")),
        bic(rs.ColumnIndex("BicSwift")),
        holder_exists(rs.ColumnIndex("TitIBAN_Esistente")),
        purpose(rs.ColumnIndex("Causale")),
        remittance(rs.ColumnIndex("RiferimentoNonStrutturato")),
        customer(rs, ""),
        holder(rs, "TitIBAN_") {}
  int32_t sequence, due_date, item, currency, amount, mandate, mandate_date,
      previous_mandate, previous_iban, iban, bic, holder_exists, purpose,
      remittance;
  PartyColumns customer, holder;
};

class DirectDebitDocument {
 public:
  DirectDebitDocument(xml::Documento& doc, const WriteContext& context,
                      const std::string& msg_id,
                      const db::DatiCreditore& creditor)
      : doc_(doc),
        context_(context),
        msg_id_(msg_id),
        creditor_(creditor),
        profile_(context.profile == FileProfile::kBank2026) {}

  xml::Element GroupHeader(const BlockList& blocks,
                           const CLSEP_INFOPAG& block) {
    xml::Element header = doc_.NuovoElemento("GrpHdr");
    doc_.AggiungiElemento(header, "MsgId", msg_id_);
    doc_.AggiungiElemento(header, "CreDtTm",
                          FormattaDataOraFuso(context_.DataCreazioneSupporto));
    doc_.AggiungiElemento(
        header, "NbOfTxs",
        FormatNumberPicture(Variant(NumeroTotaleTrasferimenti(blocks)), 3));
    doc_.AggiungiElemento(
        header, "CtrlSum",
        FormattaImporto(Variant(ImportoTotaleTrasferimenti(blocks))));
    xml::Element party = doc_.NuovoElemento("InitgPty");
    doc_.AggiungiElemento(party, "Nm",
                          CleanText(context_.Company().RagioneSocialeDitta()));
    xml::Element other = doc_.NuovoElemento("Othr");
    doc_.AggiungiElemento(other, "Id", CleanText(block.CodiceCUC));
    doc_.AggiungiElemento(other, "Issr", "CBI");
    Aggiungi(party, Wrap("Id", Wrap("OrgId", std::move(other))));
    Aggiungi(header, std::move(party));
    return header;
  }

  // A "PmtInf" up to, not including, its transactions.
  xml::Element PaymentInformation(const CLSEP_INFOPAG& block, int32_t counter,
                                  const Variant& sequence,
                                  const Variant& due_date) {
    group_ = counter;
    xml::Element info = doc_.NuovoElemento("PmtInf");
    doc_.AggiungiElemento(info, "PmtInfId",
                          msg_id_ + FormatNumberPicture(Variant(counter), 5));
    doc_.AggiungiElemento(info, "PmtMtd", "DD");
    xml::Element type = doc_.NuovoElemento("PmtTpInf");
    xml::Element level = doc_.NuovoElemento("SvcLvl");
    doc_.AggiungiElemento(level, "Cd", "SEPA");
    Aggiungi(type, std::move(level));
    xml::Element instrument = doc_.NuovoElemento("LclInstrm");
    doc_.AggiungiElemento(
        instrument, "Cd",
        block.TipoIncassoRidSDD == zxEnumTipoIncassoRidSDD::SDDCore ? "CORE"
                                                                    : "B2B");
    Aggiungi(type, std::move(instrument));
    doc_.AggiungiElemento(type, "SeqTp", SequenceCode(sequence));
    Aggiungi(info, std::move(type));
    doc_.AggiungiElemento(info, "ReqdColltnDt", FormattaData(due_date));

    xml::Element creditor = doc_.NuovoElemento("Cdtr");
    doc_.AggiungiElemento(creditor, "Nm", Text(creditor_.name));
    if (profile_) {
      AddressFields fields;
      fields.street = creditor_.street;
      fields.postcode = creditor_.postcode;
      fields.town = creditor_.town;
      fields.province = creditor_.province;
      fields.country = creditor_.country;
      ProfileAddress(doc_, creditor, fields, ExactAddress::kStructured,
                     {counter, 0, "Cdtr/PstlAdr"}, *context_.findings);
    } else {
      xml::Element address = doc_.NuovoElemento("PstlAdr");
      doc_.AggiungiElemento(address, "StrtNm", Text(creditor_.street));
      doc_.AggiungiElemento(address, "PstCd", Text(creditor_.postcode));
      doc_.AggiungiElemento(address, "TwnNm", Text(creditor_.town));
      doc_.AggiungiElemento(address, "CtrySubDvsn", Text(creditor_.province));
      doc_.AggiungiElemento(address, "Ctry", Text(creditor_.country));
      Aggiungi(creditor, std::move(address));
    }
    Aggiungi(info, std::move(creditor));

    xml::Element account = doc_.NuovoElemento("Id");
    doc_.AggiungiElemento(account, "IBAN", CleanText(block.IBAN));
    Aggiungi(info, Wrap("CdtrAcct", std::move(account)));
    // A numeric bank code is written with five digits ("03069"); any other
    // is written as it is.
    const std::string abi = block.Abi.IsNumeric()
                                ? Text(FormatNumberPicture(block.Abi, 5))
                                : Text(TestoNonNullo(block.Abi));
    xml::Element member = doc_.NuovoElemento("ClrSysMmbId");
    doc_.AggiungiElemento(member, "MmbId", abi);
    Aggiungi(info, Wrap("CdtrAgt", Wrap("FinInstnId", std::move(member))));
    doc_.AggiungiElemento(info, "ChrgBr", "SLEV");
    xml::Element scheme = doc_.NuovoElemento("Othr");
    doc_.AggiungiElemento(scheme, "Id", CleanText(block.CreditorIdentifier));
    xml::Element name = doc_.NuovoElemento("SchmeNm");
    doc_.AggiungiElemento(name, "Prtry", "SEPA");
    Aggiungi(scheme, std::move(name));
    Aggiungi(info, Wrap("CdtrSchmeId",
                        Wrap("Id", Wrap("PrvtId", std::move(scheme)))));
    return info;
  }

  // One "DrctDbtTxInf" from the current row.
  xml::Element Transaction(const TransactionRows& rs, const Columns& c,
                           int32_t counter) {
    auto text = [&rs](int32_t column) { return rs.TextValue(column); };
    ++position_;
    xml::Element record = doc_.NuovoElemento("DrctDbtTxInf");
    xml::Element payment_id = doc_.NuovoElemento("PmtId");
    doc_.AggiungiElemento(payment_id, "InstrId", std::to_string(counter));
    doc_.AggiungiElemento(payment_id, "EndToEndId", CleanText(text(c.item)));
    Aggiungi(record, std::move(payment_id));
    doc_.AggiungiImporto(record, "InstdAmt",
                         std::fabs(rs.Value(c.amount).ToDouble()),
                         RTrimSpaces(text(c.currency)));
    doc_.AggiungiElemento(record, "ChrgBr", "SLEV");

    xml::Element mandate = doc_.NuovoElemento("MndtRltdInf");
    doc_.AggiungiElemento(mandate, "MndtId", CleanText(text(c.mandate)));
    doc_.AggiungiElemento(mandate, "DtOfSgntr",
                          FormattaData(rs.Value(c.mandate_date)));
    // The amendment indicator follows the previous mandate data alone.
    const std::string previous_mandate = RTrimSpaces(text(c.previous_mandate));
    const std::string previous_iban = RTrimSpaces(text(c.previous_iban));
    const bool amended = !previous_mandate.empty() || !previous_iban.empty();
    doc_.AggiungiElemento(mandate, "AmdmntInd", amended ? "true" : "false");
    if (amended) {
      xml::Element details = doc_.NuovoElemento("AmdmntInfDtls");
      if (!previous_mandate.empty()) {
        doc_.AggiungiElemento(details, "OrgnlMndtId", Text(previous_mandate));
      }
      if (!previous_iban.empty()) {
        xml::Element id = doc_.NuovoElemento("Id");
        doc_.AggiungiElemento(id, "IBAN", Text(previous_iban));
        Aggiungi(details, Wrap("OrgnlDbtrAcct", std::move(id)));
      }
      Aggiungi(mandate, std::move(details));
    }
    Aggiungi(record, Wrap("DrctDbtTx", std::move(mandate)));

    const std::string_view iban = text(c.iban);
    if (context_.Lookups().IsIbanEstero(std::string(iban))) {
      xml::Element institution = doc_.NuovoElemento("FinInstnId");
      doc_.AggiungiElemento(institution, "BIC", CleanText(text(c.bic)));
      Aggiungi(record, Wrap("DbtrAgt", std::move(institution)));
    }
    // With a separate account holder the debtor is the holder and the
    // customer becomes the ultimate debtor.
    const bool holder = Equals(rs.Value(c.holder_exists), 1);
    Aggiungi(record, Party(rs, "Dbtr", holder ? c.holder : c.customer));
    xml::Element account = doc_.NuovoElemento("Id");
    doc_.AggiungiElemento(account, "IBAN", CleanText(iban));
    Aggiungi(record, Wrap("DbtrAcct", std::move(account)));
    if (holder) Aggiungi(record, Party(rs, "UltmtDbtr", c.customer));
    xml::Element purpose = doc_.NuovoElemento("Purp");
    doc_.AggiungiElemento(purpose, "Cd", CleanText(text(c.purpose)));
    Aggiungi(record, std::move(purpose));
    xml::Element remittance = doc_.NuovoElemento("RmtInf");
    doc_.AggiungiElemento(remittance, "Ustrd", CleanText(text(c.remittance)));
    Aggiungi(record, std::move(remittance));
    return record;
  }

  void Aggiungi(xml::Element& parent, xml::Element&& child) {
    doc_.Aggiungi(parent, std::move(child));
  }

 private:
  xml::Element Wrap(const char* tag, xml::Element&& child) {
    xml::Element wrapper = doc_.NuovoElemento(tag);
    doc_.Aggiungi(wrapper, std::move(child));
    return wrapper;
  }

  xml::Element Party(const TransactionRows& rs, const char* tag,
                     const PartyColumns& p) {
    xml::Element party = doc_.NuovoElemento(tag);
    doc_.AggiungiElemento(party, "Nm", CleanText(rs.TextValue(p.name)));
    if (profile_) {
      const std::string path = std::string(tag) + "/PstlAdr";
      AddressFields fields;
      fields.street = rs.TextValue(p.street);
      fields.postcode = rs.TextValue(p.postcode);
      fields.town = rs.TextValue(p.town);
      fields.province = rs.TextValue(p.province);
      fields.country = rs.TextValue(p.country);
      ProfileAddress(doc_, party, fields, ExactAddress::kStructured,
                     {group_, position_, path}, *context_.findings);
    } else {
      xml::Element address = doc_.NuovoElemento("PstlAdr");
      const std::pair<const char*, int32_t> elements[] = {
          {"StrtNm", p.street},
          {"PstCd", p.postcode},
          {"TwnNm", p.town},
          {"CtrySubDvsn", p.province}};
      for (const auto& [element, column] : elements) {
        const std::string text = RTrimSpaces(rs.TextValue(column));
        if (!text.empty()) doc_.AggiungiElemento(address, element, Text(text));
      }
      doc_.AggiungiElemento(address, "Ctry",
                            CleanText(rs.TextValue(p.country)));
      Aggiungi(party, std::move(address));
    }
    // The state lookup runs for every party, VAT number or not.
    const bool italian_state =
        context_.Lookups().IsIndTipoStato(rs.Value(p.state));
    const std::string vat = RTrimSpaces(rs.TextValue(p.vat));
    if (!vat.empty() && italian_state) {
      xml::Element other = doc_.NuovoElemento("Othr");
      doc_.AggiungiElemento(other, "Id", Text(vat));
      doc_.AggiungiElemento(other, "Issr", "ADE");
      Aggiungi(party, Wrap("Id", Wrap("PrvtId", std::move(other))));
    }
    return party;
  }

  // A text as the file carries it, and the same without trailing blanks.
  std::string Text(std::string_view text) const {
    return profile_ ? std::string(text) : NormalizzaTesto(text);
  }
  std::string CleanText(std::string_view text) const {
    return Text(RTrimSpaces(text));
  }

  xml::Documento& doc_;
  const WriteContext& context_;
  const std::string& msg_id_;
  const db::DatiCreditore& creditor_;
  const bool profile_;
  // The file's position of the group and of the transaction being written.
  int32_t group_ = 0;
  int32_t position_ = 0;
};

}  // namespace

void CbiDirectDebitWriter::Write(const WriteContext& context,
                                 const std::string& PercorsoFile) const {
  const db::DatiCreditore creditor = db::QueryCreditore(
      context.Connection(), context.Company().CodiceAnagraficaDitta());
  const BlockList& blocks = context.Blocks();
  // Only the first block is written; the header totals count every block.
  const CLSEP_INFOPAG& block = *blocks.Item(1);
  const std::string msg_id = MsgIdOf(blocks);

  xml::Documento doc(kRoot, kNamespace);
  DocumentSave save(context, doc, PercorsoFile);
  DirectDebitDocument writer(doc, context, msg_id, creditor);
  writer.Aggiungi(doc.Radice(), writer.GroupHeader(blocks, block));

  // The block's transactions recordset, read without its copy of the values.
  TransactionRows rs(block);
  if (rs.RecordCount() > 0) {
    rs.Sort(kSortOrder);
    const Columns columns(rs);
    int32_t groups = 0;
    int32_t transactions = 0;
    std::optional<Variant> previous_sequence, previous_due_date;
    std::optional<xml::Element> open;
    for (; !rs.Eof(); rs.MoveNext()) {
      const Variant sequence = rs.Value(columns.sequence);
      const Variant due_date = rs.Value(columns.due_date);
      const bool new_group =
          !previous_sequence || previous_sequence->IsNull() ||
          !previous_due_date || previous_due_date->IsNull() ||
          !block.IsMultipla || sequence != *previous_sequence ||
          due_date != *previous_due_date;
      if (new_group) {
        if (open) doc.Chiudi(*open);
        if (block.IndicatoreTipoContatorePmtInf ==
            zxEnumIndicatoreContatorePmtInf::DaAzzerare) {
          transactions = 0;
        }
        if (groups == INT32_MAX) rt::Raise(rt::kOverflow);
        ++groups;
        open.emplace(
            writer.PaymentInformation(block, groups, sequence, due_date));
        doc.Apri(doc.Radice(), *open);
      }
      if (transactions == INT32_MAX) rt::Raise(rt::kOverflow);
      ++transactions;
      writer.Aggiungi(*open, writer.Transaction(rs, columns, transactions));
      previous_sequence = sequence;
      previous_due_date = due_date;
    }
    if (open) doc.Chiudi(*open);
  }
  save.Complete();
}

}  // namespace zsepa::writers
