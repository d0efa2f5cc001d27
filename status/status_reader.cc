#include "status/status_reader.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/required.h"
#include "base/utf8.h"
#include "db/statements.h"
#include "format/formatting.h"
#include "format/msg_id.h"
#include "framework/xml_document.h"
#include "status/report_tree.h"
#include "zsepa/error.h"
#include "zsepa/variant.h"

namespace zsepa::status {
namespace {

// Codes of the reader.
constexpr int32_t kInvalidReport = 99;
constexpr int32_t kItemWithoutIdentifier = 70;
constexpr int32_t kBatchNotIdentified = 71;
constexpr int32_t kBatchWithoutItems = 72;

constexpr char kNoRoot[] =
    "Il file non contiene il nodo <CBISDDReqLogMsg>. File non valido";
constexpr char kNoGroupStatus[] =
    "Il file non contiene il nodo <OrgnlGrpInfAndSts>. File non valido";
constexpr char kNoGroupHeader[] =
    "Il file non contiene il nodo <GrpHdr>. File non valido";
constexpr char kNoOriginalMsgId[] =
    "Non è stato trovato il nodo <OrgnlMsgId> all'interno del "
    "<OrgnlGrpInfAndSts>";
constexpr char kNoQualifier[] =
    "Non è stato trovato il nodo <MsgQual> all'interno del <objGrpHdr>";
constexpr char kBadQualifier[] =
    "Il nodo <MsgQual> può valere solo 6=Totalmente rifiutata oppure "
    "8=Parzialmente rifiutata";
constexpr char kNoBankCode[] =
    "Non è stato trovato il nodo CdtrAgt/FinInstnId/ClrSysMmbId/MmbId con il "
    "codice ABi della banca";
constexpr char kNoGroupReason[] = "Nodo StsRsnInf/Rsn/Cd non presente";
constexpr char kNoBatchNumber[] =
    "Non è stato ripossibile risalire al numero distinta con questo "
    "<OrgnlMsgId>";
constexpr char kNoEndToEndId[] =
    "Il nodo TxInfAndSts/OrgnlEndToEndId non è stato trovato";
constexpr char kNoItemReason[] =
    "Il nodo TxInfAndSts/StsRsnInf/Rsn/Cd non è stato trovato";

// How many bytes the replacement text of entities may add to the texts that
// one report gives: far more than any report needs, far less than a file of
// a few references to a large entity would otherwise expand to.
constexpr size_t kEntityTextBudget = size_t{1} << 20;

// Characters `first`..`first + count - 1` (1-based, counted as the host
// counts them), fewer when the text is shorter.
std::string Mid(std::string_view text, size_t first, size_t count) {
  const std::string tail = utf8::Left(text, first - 1 + count);
  const std::string head = utf8::Left(text, first - 1);
  return tail.substr(head.size());
}

std::string ReplaceAll(std::string text, char from, char to) {
  for (char& c : text) {
    if (c == from) c = to;
  }
  return text;
}

// One call of LoadXml.
class Reader {
 public:
  explicit Reader(const ReadContext& context)
      : context_(context), output_(context.output) {}

  bool Read(const std::string& path, bool FlagSoloValidazione) {
    framework::XmlDocument doc;
    context_.files.Load(doc, path);
    const framework::ParseError& error = doc.parseError();
    if (error.errorCode != 0) {
      return Fail(kInvalidReport,
                  "error=" + std::to_string(error.errorCode) + "\r\n" +
                      "reason=" + error.reason + "\r\n" +
                      "source=" + error.srcText + "\r\n" + "url=" + error.url +
                      "\r\n" + "line=" + std::to_string(error.line) + "\r\n");
    }
    tree_ = framework::TreeOf(doc);

    Element root = FirstElement(tree_, "CBISDDReqLogMsg");
    if (root == nullptr) root = FirstElement(tree_, "CBISDDStsRptLogMsg");
    if (root == nullptr) return Fail(kInvalidReport, kNoRoot);
    const Element group_status = Child(root, "OrgnlGrpInfAndSts");
    if (group_status == nullptr) return Fail(kInvalidReport, kNoGroupStatus);
    const Element group_header = Child(root, "GrpHdr");
    if (group_header == nullptr) return Fail(kInvalidReport, kNoGroupHeader);

    const Element msg_id = Child(group_status, "OrgnlMsgId");
    if (msg_id == nullptr) return Fail(kInvalidReport, kNoOriginalMsgId);
    int32_t numero = 0;
    int16_t anno = 0;
    int16_t tipo = 0;
    DecodificaMsgId(Text(msg_id), numero, anno, tipo);
    output_.NumeroDistinta = numero;
    output_.AnnoDistinta = anno;
    output_.TipoDistinta = tipo;

    const Element qualifier = Child(group_header, "MsgQual");
    if (qualifier == nullptr) return Fail(kInvalidReport, kNoQualifier);
    // Stored before the check: the host sees the value the report holds.
    output_.MessageQualifier = static_cast<zxEnumEsitoMessageQualifier>(
        Variant(Text(qualifier)).ToInt32());
    const auto kind = output_.MessageQualifier;
    if (kind != zxEnumEsitoMessageQualifier::TotallyRejected &&
        kind != zxEnumEsitoMessageQualifier::PartiallyRejected) {
      return Fail(kInvalidReport, kBadQualifier);
    }

    const Element bank =
        Path(group_header, "CdtrAgt/FinInstnId/ClrSysMmbId/MmbId");
    if (bank == nullptr) return Fail(kInvalidReport, kNoBankCode);
    output_.AbiBanca = TestoNonNullo(Text(bank));

    if (FlagSoloValidazione) return false;
    return kind == zxEnumEsitoMessageQualifier::TotallyRejected
               ? ReadWholeBatch(group_status)
               : ReadTransactions(root);
  }

 private:
  // The whole batch was rejected: every item of the batch in the database
  // gets the group's reason.
  bool ReadWholeBatch(Element group_status) {
    const Element reason = Path(group_status, "StsRsnInf/Rsn/Cd");
    if (reason == nullptr) return Fail(kInvalidReport, kNoGroupReason);
    output_.RejectReason = TestoNonNullo(Text(reason));
    if (output_.NumeroDistinta <= 0 || output_.AnnoDistinta <= 0) {
      return Fail(kBatchNotIdentified, kNoBatchNumber);
    }

    const std::string sql = db::QueryEffettiDistintaStatement(
        db::CompanyOf(context_.framework).CodiceDitta(), output_.NumeroDistinta,
        output_.AnnoDistinta);
    std::unique_ptr<Recordset> items =
        Required(context_.connection).Execute(sql);
    if (items->Eof()) {
      return Fail(kBatchWithoutItems,
                  "La distinta numero" +
                      std::to_string(output_.NumeroDistinta) +
                      " dell'anno non contiene effetti, oppure non esiste" +
                      std::to_string(output_.AnnoDistinta));
    }
    for (; !items->Eof(); items->MoveNext()) {
      const std::shared_ptr<CLSEP_STATUSSCA> item = output_.AddEffetto(
          items->Field("EF01_NUMEFF").ToText(), output_.RejectReason);
      item->Importo =
          ValoreNonNullo(items->Field("EF01_IMPEFFNETPREV_S"), int32_t{0})
              .ToDouble();
      // One lookup per item, as each item is booked on its own.
      item->IsInsoluto =
          context_.lookups.IsCausaleInsoluto(output_.RejectReason);
    }
    items->Close();
    return true;
  }

  // Some collections of the batch were rejected: one item per transaction
  // of the report, in document order.
  bool ReadTransactions(Element root) {
    for (Element block = Child(root, "OrgnlPmtInfAndSts"); block != nullptr;
         block = Child(root, "OrgnlPmtInfAndSts", block)) {
      for (Element tx = Child(block, "TxInfAndSts"); tx != nullptr;
           tx = Child(block, "TxInfAndSts", tx)) {
        if (!ReadTransaction(tx)) return false;
      }
    }
    return true;
  }

  bool ReadTransaction(Element tx) {
    const Element id = Path(tx, "OrgnlEndToEndId");
    if (id == nullptr) return Fail(kInvalidReport, kNoEndToEndId);
    const std::string identifier = Text(id);
    const Element reason_element = Path(tx, "StsRsnInf/Rsn/Cd");
    if (reason_element == nullptr) return Fail(kInvalidReport, kNoItemReason);
    const std::string reason = TestoNonNullo(Text(reason_element));
    // The amount is read with the comma as decimal separator, whichever
    // separator the bank wrote.
    std::optional<std::string> amount;
    if (const Element amt = Path(tx, "OrgnlTxRef/Amt")) {
      amount = ReplaceAll(TestoNonNullo(Text(amt)), '.', ',');
    }
    Variant collection_date = Variant::Null();
    if (const Element date = Path(tx, "OrgnlTxRef/ReqdColltnDt")) {
      collection_date = Variant(DataDaTestoIso(TestoNonNullo(Text(date))));
    }

    if (TestoNonNullo(identifier).empty()) {
      // Skipped, and the call goes on: the host learns of it from Stato.
      context_.last_error.stato = kItemWithoutIdentifier;
      context_.last_error.errore =
          "Impossibile reperire l'effetto '" + TestoNonNullo(identifier) + "'";
      return true;
    }
    const std::shared_ptr<CLSEP_STATUSSCA> item =
        output_.AddEffetto(identifier, reason);
    std::optional<double> importo = 0;
    if (amount) {
      importo = Variant::ParseNumber(*amount);
      // An amount that is not a finite number leaves the item as created.
      if (!importo || !std::isfinite(*importo)) return true;
    }
    item->Importo = *importo;
    item->IsInsoluto = context_.lookups.IsCausaleInsoluto(reason);
    item->DataScadenza = collection_date;
    return true;
  }

  bool Fail(int32_t code, std::string message) {
    context_.last_error.stato = code;
    context_.last_error.errore = std::move(message);
    return false;
  }
  Element Child(Element parent, std::string_view name,
                Element after = nullptr) const {
    return ChildElement(tree_, parent, name, after);
  }
  Element Path(Element start, std::string_view path) const {
    return PathElement(tree_, start, path);
  }
  std::string Text(Element element) {
    return ElementText(element, entity_budget_);
  }

  const ReadContext& context_;
  CLSEP_OUTPUTSEPA& output_;
  const _xmlDoc* tree_ = nullptr;
  size_t entity_budget_ = kEntityTextBudget;
};

}  // namespace

Date DataDaTestoIso(std::string_view text) {
  const int16_t year = Variant(Mid(text, 1, 4)).ToInt16();
  const int16_t month = Variant(Mid(text, 6, 2)).ToInt16();
  const int16_t day = Variant(Mid(text, 9, 2)).ToInt16();
  const Date date = Date::FromParts(year, month, day);
  // Dates exist from the year 100 to the year 9999.
  if (date.Year() < 100 || date.Year() > 9999) rt::Raise(rt::kInvalidArgument);
  return date;
}

bool ReadStatusReport(const ReadContext& context,
                      const std::string& PercorsoFile,
                      bool FlagSoloValidazione) {
  context.last_error.errore.clear();
  bool read = false;
  context.last_error.Guarded(
      [&] { read = Reader(context).Read(PercorsoFile, FlagSoloValidazione); });
  return read;
}

}  // namespace zsepa::status
