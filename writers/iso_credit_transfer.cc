#include "writers/iso_credit_transfer.h"

#include <string>
#include <string_view>

#include "db/ordinante.h"
#include "format/formatting.h"
#include "format/msg_id.h"
#include "writers/bank_profile.h"
#include "writers/credit_transfer_parts.h"
#include "writers/xml_builder.h"
#include "zsepa/error.h"

// One group header, one payment-information group for the block and one
// credit-transfer record per transaction, under "CstmrCdtTrfInitn".

namespace zsepa::writers {
namespace {

constexpr char kNamespace[] = "urn:iso:std:iso:20022:tech:xsd:pain.001.001.03";
constexpr char kRoot[] = "Document";

// "EndToEndId": customer code, document number and document date
// ("yyyymmdd", any "/" removed), joined by "/".
std::string EndToEndId(const CLSEP_TRANSFCREDIT& transfer) {
  std::string date = FormatDatePicture(transfer.DataDocumento, "");
  std::erase(date, '/');
  return TestoNonNullo(transfer.Clifor) + "/" +
         transfer.NumeroDocumentoOrigine + "/" + date;
}

class IsoDocument : public CreditTransferParts {
 public:
  IsoDocument(xml::Documento& doc, const std::string& msg_id, bool foreign,
              bool structured)
      : CreditTransferParts(doc),
        msg_id_(msg_id),
        foreign_(foreign),
        structured_(structured) {}

  xml::Element GroupHeader(int32_t transactions, double total,
                           const Variant& created,
                           const std::string& company_name) {
    xml::Element header = doc_.NuovoElemento("GrpHdr");
    doc_.AggiungiElemento(header, "MsgId", msg_id_);
    doc_.AggiungiElemento(header, "CreDtTm", FormattaDataOra(created));
    doc_.AggiungiElemento(header, "NbOfTxs",
                          FormatNumberPicture(Variant(transactions), 3));
    doc_.AggiungiElemento(header, "CtrlSum", FormattaImporto(Variant(total)));
    xml::Element party = doc_.NuovoElemento("InitgPty");
    doc_.AggiungiElemento(party, "Nm", company_name);
    Aggiungi(header, std::move(party));
    return header;
  }

  // "PmtInf" up to, not including, the transactions.
  xml::Element PaymentInformation(const CLSEP_INFOPAG& block,
                                  const std::string& debtor_name) {
    xml::Element info = doc_.NuovoElemento("PmtInf");
    doc_.AggiungiElemento(info, "PmtInfId", msg_id_);
    doc_.AggiungiElemento(info, "PmtMtd", PaymentMethod(block));
    doc_.AggiungiElemento(
        info, "BtchBookg",
        block.IndicatoreAccumuloSpese == 1 ? "true" : "false");
    doc_.AggiungiElemento(info, "NbOfTxs",
                          std::to_string(block.NumeroTrasferimenti()));
    doc_.AggiungiElemento(
        info, "CtrlSum",
        FormattaImporto(Variant(block.TotaleImportoTrasferimenti())));
    xml::Element type = doc_.NuovoElemento("PmtTpInf");
    if (foreign_) {
      doc_.AggiungiElemento(type, "InstrPrty",
                            block.FlagUrgente ? "HIGH" : "NORM");
    } else {
      xml::Element level = doc_.NuovoElemento("SvcLvl");
      doc_.AggiungiElemento(level, "Cd", "SEPA");
      Aggiungi(type, std::move(level));
    }
    Aggiungi(info, std::move(type));
    doc_.AggiungiElemento(info, "ReqdExctnDt",
                          FormatDatePicture(block.DataValuta, "-"));
    xml::Element debtor = doc_.NuovoElemento("Dbtr");
    doc_.AggiungiElemento(debtor, "Nm", debtor_name);
    Aggiungi(info, std::move(debtor));
    Aggiungi(info, DebtorAccount(block));
    Aggiungi(info, Wrap("DbtrAgt",
                        Institution(WithoutTrailingSpaces(block.BicSwift))));
    doc_.AggiungiElemento(info, "ChrgBr", foreign_ ? "SHAR" : "SLEV");
    return info;
  }

  xml::Element Transaction(int32_t position,
                           const CLSEP_TRANSFCREDIT& transfer) {
    xml::Element record = doc_.NuovoElemento("CdtTrfTxInf");
    xml::Element payment_id = doc_.NuovoElemento("PmtId");
    doc_.AggiungiElemento(
        payment_id, "InstrId",
        msg_id_ + "/" + FormatNumberPicture(Variant(position), 6));
    doc_.AggiungiElemento(payment_id, "EndToEndId", EndToEndId(transfer));
    Aggiungi(record, std::move(payment_id));
    Aggiungi(record, Amount(transfer));
    if (foreign_) {
      Aggiungi(record, Wrap("CdtrAgt", Institution(transfer.BicSwift)));
    }
    xml::Element creditor = doc_.NuovoElemento("Cdtr");
    doc_.AggiungiElemento(creditor, "Nm", transfer.RagioneSociale);
    Aggiungi(record, std::move(creditor));
    Aggiungi(record, CreditorAccount(transfer));
    if (foreign_) {
      xml::Element details = doc_.NuovoElemento("Dtls");
      doc_.AggiungiElemento(details, "Cd", RTrimSpaces(transfer.CVSDescr));
      Aggiungi(record, Wrap("RgltryRptg", std::move(details)));
    }
    // This file carries no structured remittance: "RmtInf" stays empty.
    Aggiungi(record, structured_ ? doc_.NuovoElemento("RmtInf")
                                 : UnstructuredRemittance(transfer));
    return record;
  }

 private:
  const std::string& msg_id_;
  bool foreign_;
  bool structured_;
};

}  // namespace

void IsoCreditTransferWriter::Write(const WriteContext& context,
                                    const std::string& PercorsoFile) const {
  const BlockList& blocks = context.Blocks();
  RequireAtMostOneBlock(blocks, "ISO 20022");
  const std::string msg_id = MsgIdOf(blocks);
  const std::string debtor_name =
      db::QueryOrdinante(context.Connection(),
                         context.Company().CodiceAnagraficaDitta())
          .name;

  xml::Documento doc(kRoot, kNamespace);
  DocumentSave save(context, doc, PercorsoFile);
  IsoDocument writer(
      doc, msg_id, context.FormatoFile == zxEnumFormatoFile::BonificoEsteroXML,
      context.TipoStrutturaFile != zxEnumStrutturaSepa::NonStrutturato);
  xml::Element message = doc.NuovoElemento("CstmrCdtTrfInitn");
  doc.Apri(doc.Radice(), message);
  writer.Aggiungi(message,
                  writer.GroupHeader(NumeroTotaleTrasferimenti(blocks),
                                     ImportoTotaleTrasferimenti(blocks),
                                     context.DataCreazioneSupporto,
                                     context.Company().RagioneSocialeDitta()));
  const CLSEP_INFOPAG& block = TheBlock(blocks);
  xml::Element info = writer.PaymentInformation(block, debtor_name);
  doc.Apri(message, info);
  for (int32_t i = 1; i <= block.Count(); ++i) {
    writer.Aggiungi(info, writer.Transaction(i, *block.Trasferimento(i)));
  }
  doc.Chiudi(info);
  doc.Chiudi(message);
  save.Complete();
}

}  // namespace zsepa::writers
