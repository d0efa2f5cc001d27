#include "status/status_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/posix/posix_file_service.h"
#include "base/testing/temp_dir.h"
#include "db/testing/fake_builder.h"
#include "status/testing/outcome_text.h"
#include "zsepa/error.h"

namespace zsepa::status {
namespace {

using db::testing::FakeConnection;
using db::testing::FakeResult;

// Report fragments.
std::string Report(const std::string& inner,
                   const std::string& root = "CBISDDStsRptLogMsg") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root + ">" + inner +
         "</" + root + ">\n";
}
const std::string kBank =
    "<CdtrAgt><FinInstnId><ClrSysMmbId><MmbId>03069  </MmbId></ClrSysMmbId>"
    "</FinInstnId></CdtrAgt>";
std::string GrpHdr(const std::string& qualifier,
                   const std::string& bank = kBank) {
  return "<GrpHdr><MsgId>E1</MsgId><MsgQual>" + qualifier + "</MsgQual>" +
         bank + "</GrpHdr>";
}
std::string Group(const std::string& msg_id, const std::string& more = "") {
  return "<OrgnlGrpInfAndSts><OrgnlMsgId>" + msg_id + "</OrgnlMsgId>" + more +
         "</OrgnlGrpInfAndSts>";
}
std::string Reason(const std::string& code) {
  return "<StsRsnInf><Rsn><Cd>" + code + "</Cd></Rsn></StsRsnInf>";
}
std::string Tx(const std::string& id, const std::string& reason,
               const std::string& ref = "") {
  return "<TxInfAndSts><OrgnlEndToEndId>" + id + "</OrgnlEndToEndId>" +
         Reason(reason) + ref + "</TxInfAndSts>";
}
std::string Block(const std::string& transactions) {
  return "<OrgnlPmtInfAndSts>" + transactions + "</OrgnlPmtInfAndSts>";
}
// A partly rejected report of batch 12 of 2024.
std::string Partly(const std::string& blocks) {
  return Report(GrpHdr("8") + Group("000001220241") + blocks);
}
// A wholly rejected report with group reason `reason`.
std::string Whole(const std::string& msg_id, const std::string& reason) {
  return Report(GrpHdr("6") + Group(msg_id, Reason(reason)));
}

class StatusReaderTest : public testing::TempDirTest {
 protected:
  StatusReaderTest() {
    // MD06 is a recall, AM04 an unpaid item, any other code is unknown.
    connection_
        .On("CG6G_CODICE='MD06'",
            FakeResult::Scalar("CG6G_INDTIPOMOV", int32_t{2}))
        .On("CG6G_CODICE='AM04'",
            FakeResult::Scalar("CG6G_INDTIPOMOV", int32_t{1}));
    // What an earlier call left.
    last_error().stato = -1;
    last_error().errore = "precedente";
  }

  // Reads `text` written to a file; nullopt text: no file.
  bool Load(const std::optional<std::string>& text, bool only_header = false) {
    const std::string path = PathOf("esito.xml");
    std::filesystem::remove(path);
    if (text) std::ofstream(path, std::ios::binary) << *text;
    return LoadPath(path, only_header);
  }
  bool LoadPath(const std::string& path, bool only_header = false) {
    const ReadContext context{last_error(), output_,     &framework_,
                              &connection_, on_.lookups, *files_};
    return ReadStatusReport(context, path, only_header);
  }

  LastError& last_error() { return on_.last_error; }
  std::string Items() const { return testing::ItemsText(output_); }

  framework::InMemoryFramework framework_{db::testing::DemoCompany()};
  FakeConnection connection_;
  db::testing::LookupsOn on_{connection_, framework_};
  CLSEP_OUTPUTSEPA output_;
  std::unique_ptr<framework::XmlFileService> files_ =
      framework::NewDefaultXmlFileService();
};

// Every failure that LoadXml reports: Stato, Errore, result and the items
// left. The code 99 cases end before the database is asked anything.
TEST_F(StatusReaderTest, FailuresGiveTheirCodeAndText) {
  struct Case {
    const char* input;
    std::string report;
    int32_t stato;
    std::string errore;
    std::string items;
  };
  const Case cases[] = {
      {"no root", Report("<GrpHdr/>", "Altro"), 99,
       "Il file non contiene il nodo <CBISDDReqLogMsg>. File non valido", ""},
      {"request root without group status",
       Report(GrpHdr("8"), "CBISDDReqLogMsg"), 99,
       "Il file non contiene il nodo <OrgnlGrpInfAndSts>. File non valido", ""},
      {"request root found first, even inside the report",
       Report(GrpHdr("8") + Group("000001220241") + "<CBISDDReqLogMsg/>"), 99,
       "Il file non contiene il nodo <OrgnlGrpInfAndSts>. File non valido", ""},
      {"group status only as grandchild",
       Report(GrpHdr("8") + "<X>" + Group("1") + "</X>"), 99,
       "Il file non contiene il nodo <OrgnlGrpInfAndSts>. File non valido", ""},
      {"no group header", Report(Group("000001220241")), 99,
       "Il file non contiene il nodo <GrpHdr>. File non valido", ""},
      {"no OrgnlMsgId", Report(GrpHdr("8") + "<OrgnlGrpInfAndSts/>"), 99,
       "Non è stato trovato il nodo <OrgnlMsgId> all'interno del "
       "<OrgnlGrpInfAndSts>",
       ""},
      {"no MsgQual", Report("<GrpHdr>" + kBank + "</GrpHdr>" + Group("1")), 99,
       "Non è stato trovato il nodo <MsgQual> all'interno del <objGrpHdr>", ""},
      {"qualifier 7", Report(GrpHdr("7") + Group("000001220241")), 99,
       "Il nodo <MsgQual> può valere solo 6=Totalmente rifiutata oppure "
       "8=Parzialmente rifiutata",
       ""},
      {"qualifier not a number", Report(GrpHdr("otto") + Group("1")), 13,
       "Type mismatch", ""},
      {"qualifier beyond 32 bits", Report(GrpHdr("4294967296") + Group("1")), 6,
       "Overflow", ""},
      {"no bank code",
       Report(GrpHdr("8", "<CdtrAgt><FinInstnId/></CdtrAgt>") + Group("1")), 99,
       "Non è stato trovato il nodo CdtrAgt/FinInstnId/ClrSysMmbId/MmbId con "
       "il codice ABi della banca",
       ""},
      {"bank code as grandchild only",
       Report(GrpHdr("8", "<X>" + kBank + "</X>") + Group("1")), 99,
       "Non è stato trovato il nodo CdtrAgt/FinInstnId/ClrSysMmbId/MmbId con "
       "il codice ABi della banca",
       ""},
      {"whole batch without reason",
       Report(GrpHdr("6") + Group("000001220241")), 99,
       "Nodo StsRsnInf/Rsn/Cd non presente", ""},
      {"whole batch, number 0", Whole("000000020241", "AM04"), 71,
       "Non è stato ripossibile risalire al numero distinta con questo "
       "<OrgnlMsgId>",
       ""},
      {"whole batch, year 0", Whole("000001200001", "AM04"), 71,
       "Non è stato ripossibile risalire al numero distinta con questo "
       "<OrgnlMsgId>",
       ""},
      {"whole batch without items", Whole("000001220241", "AM04"), 72,
       "La distinta numero12 dell'anno non contiene effetti, oppure non "
       "esiste2024",
       ""},
      {"transaction without identifier",
       Partly(Block(Tx("A1", "AM04") + "<TxInfAndSts>" + Reason("AM04") +
                    "</TxInfAndSts>")),
       99, "Il nodo TxInfAndSts/OrgnlEndToEndId non è stato trovato",
       "A1|0.000000|AM04|I|null;"},
      {"transaction without reason",
       Partly(Block(Tx("A1", "AM04") +
                    "<TxInfAndSts><OrgnlEndToEndId>A2</OrgnlEndToEndId>"
                    "<StsRsnInf><Rsn/></StsRsnInf></TxInfAndSts>")),
       99, "Il nodo TxInfAndSts/StsRsnInf/Rsn/Cd non è stato trovato",
       "A1|0.000000|AM04|I|null;"},
      {"same identifier twice (keys ignore case)",
       Partly(Block(Tx("A1", "AM04")) + Block(Tx("a1", "MD06"))), 457,
       "This key is already associated with an element of this collection",
       "A1|0.000000|AM04|I|null;"},
      {"collection date not a number",
       Partly(Block(Tx("A1", "AM04") +
                    Tx("A2", "AM04",
                       "<OrgnlTxRef><ReqdColltnDt>2024-MM-01</ReqdColltnDt>"
                       "</OrgnlTxRef>"))),
       13, "Type mismatch", "A1|0.000000|AM04|I|null;"},
      {"collection date before the year 100",
       Partly(Block(Tx("A1", "AM04",
                       "<OrgnlTxRef><ReqdColltnDt>0099-12-31</ReqdColltnDt>"
                       "</OrgnlTxRef>"))),
       5, "Invalid procedure call or argument", ""},
      {"reason code with a quote", Partly(Block(Tx("A1", "AM04' OR '1'='1"))),
       codes::kUnsafeSqlValue, "", "A1|0.000000|AM04' OR '1'='1|I|empty;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    output_ = CLSEP_OUTPUTSEPA();
    last_error().stato = -1;
    const int executed_before = static_cast<int>(connection_.executed().size());
    EXPECT_FALSE(Load(c.report)) << c.report;
    EXPECT_EQ(last_error().stato, c.stato) << c.report;
    if (!c.errore.empty()) {
      EXPECT_EQ(last_error().errore, c.errore);
    }
    EXPECT_EQ(Items(), c.items);
    if (c.stato == 99) {
      // Only the transactions' reason lookups reach the database.
      EXPECT_EQ(connection_.executed().size() - executed_before,
                output_.Effetti().Count());
    }
    EXPECT_EQ(connection_.open_recordsets(), 0);
    for (const std::string& sql : connection_.executed()) {
      EXPECT_EQ(sql.find("OR '1'"), std::string::npos) << sql;
    }
  }
}

// A file that is missing, malformed or hostile never reaches the checks: its
// parse error is five lines, each ended by CR LF, with code 99.
TEST_F(StatusReaderTest, UnloadableFilesGiveTheParseError) {
  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
  for (int i = 1; i < 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "'>";
  }
  laughs += "]>\n<r>&l9;</r>";
  // Input, content (nullopt: no file), line and source of the first error.
  const std::tuple<const char*, std::optional<std::string>, int, std::string>
      cases[] = {
          {"missing file", std::nullopt, 0, ""},
          {"mismatched tag", "<r>\n<a></b>\n</r>", 2, "<a></b>"},
          {"two roots", Partly("") + "<x/>", 3, "<x/>"},
          {"billion laughs", laughs, 0, ""},
          {"undeclared entity", "<r>\r\n&x;</r>", 2, "&x;</r>"},
      };
  const std::string path = PathOf("esito.xml");
  for (const auto& [input, content, line, source] : cases) {
    SCOPED_TRACE(input);
    last_error().stato = -1;
    EXPECT_FALSE(Load(content));
    EXPECT_EQ(last_error().stato, 99);
    const std::string& errore = last_error().errore;
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = errore.find("\r\n", at)) != errore.npos;
         at = end + 2) {
      lines.push_back(errore.substr(at, end - at));
    }
    ASSERT_EQ(lines.size(), 5u) << errore;
    EXPECT_EQ(errore.size(), [&] {
      size_t size = 0;
      for (const auto& l : lines) size += l.size() + 2;
      return size;
    }()) << errore;
    EXPECT_NE(lines[0], "error=0");
    EXPECT_EQ(lines[0].rfind("error=", 0), 0u) << errore;
    EXPECT_GT(lines[1].size(), std::string("reason=").size()) << errore;
    EXPECT_EQ(lines[1].rfind("reason=", 0), 0u) << errore;
    // The entity loop is found inside the declarations (line 0: not checked).
    if (line != 0 || !content) {
      EXPECT_EQ(lines[2], "source=" + source);
    }
    EXPECT_EQ(lines[3], "url=" + path);
    if (line != 0 || !content) {
      EXPECT_EQ(lines[4], "line=" + std::to_string(line));
    }
    EXPECT_EQ(output_.Effetti().Count(), 0);
  }
}

// A file over the file service's size limit is refused before it is parsed.
TEST_F(StatusReaderTest, FilesOverTheSizeLimitAreRefused) {
  files_ = std::make_unique<posix::PosixXmlFileService>(nullptr, 1024);
  const std::string report = Partly(Block(Tx("A1", "AM04")));
  ASSERT_LT(report.size(), 1024u);
  EXPECT_TRUE(Load(report));
  EXPECT_FALSE(Load(Partly(Block(std::string(1024, ' ') + Tx("A2", "AM04")))));
  EXPECT_EQ(last_error().stato, 99);
  EXPECT_EQ(
      last_error().errore.rfind(
          "error=" + std::to_string(codes::kLoadFileTooLarge) + "\r\n", 0),
      0u)
      << last_error().errore;
  EXPECT_EQ(Items(), "A1|0.000000|AM04|I|null;");
}

// No external entity or DTD is ever read, and entities cannot blow a small
// file up into huge item identifiers.
TEST_F(StatusReaderTest, HostileEntitiesStayOut) {
  const std::string doctype =
      "<!DOCTYPE CBISDDStsRptLogMsg SYSTEM \"file:///etc/passwd\" [\n"
      "<!ENTITY pw SYSTEM \"file:///etc/passwd\">\n"
      "<!ENTITY net SYSTEM \"http://127.0.0.1:1/x\">\n"
      "<!ENTITY ok \"B\">]>\n";
  std::string report =
      Partly(Block(Tx("A&pw;", "AM04&net;") + Tx("&ok;1", "MD06")));
  report.insert(report.find('\n') + 1, doctype);
  EXPECT_TRUE(Load(report)) << last_error().errore;
  EXPECT_EQ(Items(), "A|0.000000|AM04|I|null;B1|0.000000|MD06|R|null;");

  std::string big = "<!DOCTYPE CBISDDStsRptLogMsg [<!ENTITY big \"" +
                    std::string(20000, 'x') + "\">]>\n";
  std::string transactions;
  for (int i = 0; i < 60; ++i) {
    transactions += Tx(std::to_string(i) + "&big;", "AM04");
  }
  report = Partly(Block(transactions));
  report.insert(report.find('\n') + 1, big);
  output_ = CLSEP_OUTPUTSEPA();
  EXPECT_FALSE(Load(report));
  EXPECT_EQ(last_error().stato, codes::kLoadFileTooLarge);
  EXPECT_LT(output_.Effetti().Count(), 60);
}

// The header fields: decoded batch key, qualifier and trimmed bank code; with
// FlagSoloValidazione the call stops there with False and an empty Errore.
TEST_F(StatusReaderTest, HeaderOnlyStopsAfterTheHeader) {
  EXPECT_FALSE(Load(Partly(Block(Tx("A1", "AM04"))), true));
  EXPECT_EQ(last_error().stato, -1);
  EXPECT_EQ(last_error().errore, "");
  EXPECT_EQ(output_.NumeroDistinta, 12);
  EXPECT_EQ(output_.AnnoDistinta, 2024);
  EXPECT_EQ(output_.TipoDistinta, 1);
  EXPECT_EQ(output_.MessageQualifier,
            zxEnumEsitoMessageQualifier::PartiallyRejected);
  EXPECT_EQ(output_.AbiBanca, "03069");
  EXPECT_EQ(output_.Effetti().Count(), 0);
  EXPECT_TRUE(connection_.executed().empty());

  // A qualifier out of range is kept; the "RID" form decodes too.
  EXPECT_FALSE(Load(Report(GrpHdr("7") + Group("RID20240000015")), true));
  EXPECT_EQ(static_cast<int32_t>(output_.MessageQualifier), 7);
  EXPECT_EQ(output_.NumeroDistinta, 15);
  EXPECT_EQ(output_.TipoDistinta, 1);
  EXPECT_EQ(last_error().stato, 99);
}

// The whole batch rejected: one item per row of the batch's items, with the
// group reason, the amount (Null as 0) and one reason lookup per item.
TEST_F(StatusReaderTest, WholeBatchListsTheBatchItems) {
  connection_.On("FROM EF09_DISTINTE",
                 FakeResult::Rows({"EF01_NUMEFF", "EF01_IMPEFFNETPREV_S"},
                                  {{"2024/0001", 120.5},
                                   {"2024/0002", Variant::Null()},
                                   {"2024/0003 ", int32_t{75}}}));
  EXPECT_TRUE(Load(Whole("000001220241", "MD06 ")));
  EXPECT_EQ(last_error().stato, -1);
  EXPECT_EQ(last_error().errore, "");
  EXPECT_EQ(output_.RejectReason, "MD06");
  EXPECT_EQ(Items(),
            "2024/0001|120.500000|MD06|R|empty;2024/0002|0.000000|MD06|R|empty;"
            "2024/0003 |75.000000|MD06|R|empty;");
  std::ifstream expected_file(
      std::string(ZSEPA_SOURCE_DIR) + "/db/testdata/effetti_distinta.sql",
      std::ios::binary);
  const std::string expected_sql(
      (std::istreambuf_iterator<char>(expected_file)),
      std::istreambuf_iterator<char>());
  ASSERT_EQ(connection_.executed().size(), 4u);
  EXPECT_EQ(connection_.executed()[0], expected_sql);
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(connection_.executed()[i],
              "SELECT * FROM CG6G_CAUSPAGSEPA WITH(NOLOCK) WHERE "
              "CG6G_CODICE='MD06'");
  }
  EXPECT_EQ(connection_.open_recordsets(), 0);
}

// Failures of the database while the batch is read: the general failure
// path with the database's code, the items added so far kept, every
// recordset closed.
TEST_F(StatusReaderTest, WholeBatchDatabaseFailures) {
  const FakeResult items = FakeResult::Rows(
      {"EF01_NUMEFF", "EF01_IMPEFFNETPREV_S"}, {{"X1", 1.0}, {"X2", 2.0}});
  connection_.On("FROM EF09_DISTINTE", items);
  // Call 1 is the items query, calls 2 and 3 the reason lookups.
  for (int failing = 1; failing <= 3; ++failing) {
    SCOPED_TRACE(failing);
    FakeConnection connection;
    connection.On("FROM EF09_DISTINTE", items);
    output_ = CLSEP_OUTPUTSEPA();
    connection.FailOnExecute(failing);
    db::testing::LookupsOn on(connection, framework_);
    const std::string path = PathOf("whole.xml");
    std::ofstream(path, std::ios::binary) << Whole("000001220241", "AM04");
    const ReadContext context{last_error(), output_,    &framework_,
                              &connection,  on.lookups, *files_};
    EXPECT_FALSE(ReadStatusReport(context, path, false));
    EXPECT_EQ(last_error().stato, FakeConnection::kFailureCode);
    EXPECT_EQ(last_error().errore, "Connessione non disponibile");
    EXPECT_EQ(output_.Effetti().Count(), failing - 1);
    EXPECT_EQ(connection.open_recordsets(), 0);
  }
  // A reason code with a quote never reaches the database.
  output_ = CLSEP_OUTPUTSEPA();
  EXPECT_FALSE(Load(Whole("000001220241", "AM04'--")));
  EXPECT_EQ(last_error().stato, codes::kUnsafeSqlValue);
  EXPECT_EQ(output_.Effetti().Count(), 1);
  for (const std::string& sql : connection_.executed()) {
    EXPECT_EQ(sql.find("'--"), std::string::npos) << sql;
  }
}

// Transactions of a partly rejected report: amount, reason and collection
// date of each, as the item gets them.
TEST_F(StatusReaderTest, PartlyRejectedTransactions) {
  struct Case {
    const char* input;
    std::string ref;  // the OrgnlTxRef element, or ""
    std::string reason;
    std::string item;
  };
  const Case cases[] = {
      {"amount with point", "<OrgnlTxRef><Amt>12.50</Amt></OrgnlTxRef>", "AM04",
       "|12.500000|AM04|I|null;"},
      {"amount with comma", "<OrgnlTxRef><Amt>12,50</Amt></OrgnlTxRef>", "MD06",
       "|12.500000|MD06|R|null;"},
      {"amount in an indented child",
       "<OrgnlTxRef>\n  <Amt>\n    <InstdAmt Ccy=\"EUR\">2540.22</InstdAmt>\n"
       "  </Amt>\n  <ReqdColltnDt>2023-09-02</ReqdColltnDt>\n</OrgnlTxRef>",
       "MD06", "|2540.220000|MD06|R|2023-09-02;"},
      {"amount not a number",
       "<OrgnlTxRef><Amt>dodici</Amt><ReqdColltnDt>2024-05-15</ReqdColltnDt>"
       "</OrgnlTxRef>",
       "MD06", "|0.000000|MD06|I|empty;"},
      {"empty amount", "<OrgnlTxRef><Amt/></OrgnlTxRef>", "MD06",
       "|0.000000|MD06|I|empty;"},
      {"two decimal points", "<OrgnlTxRef><Amt>1.234.50</Amt></OrgnlTxRef>",
       "MD06", "|0.000000|MD06|I|empty;"},
      {"amount beyond a double", "<OrgnlTxRef><Amt>1e999</Amt></OrgnlTxRef>",
       "MD06", "|0.000000|MD06|I|empty;"},
      {"no amount",
       "<OrgnlTxRef><ReqdColltnDt>2024-05-15</ReqdColltnDt></OrgnlTxRef>",
       "MD06", "|0.000000|MD06|R|2024-05-15;"},
      {"no reference", "", "XX99", "|0.000000|XX99|I|null;"},
      {"month rolls over",
       "<OrgnlTxRef><ReqdColltnDt>2024-13-01</ReqdColltnDt></OrgnlTxRef>",
       "AM04", "|0.000000|AM04|I|2025-01-01;"},
      {"day rolls over",
       "<OrgnlTxRef><ReqdColltnDt>2024-02-30</ReqdColltnDt></OrgnlTxRef>",
       "AM04", "|0.000000|AM04|I|2024-03-01;"},
      {"date with time",
       "<OrgnlTxRef><ReqdColltnDt>2024-05-15T10:00:00</ReqdColltnDt>"
       "</OrgnlTxRef>",
       "AM04", "|0.000000|AM04|I|2024-05-15;"},
      {"reason with trailing blanks", "", "AM04  ", "|0.000000|AM04|I|null;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    output_ = CLSEP_OUTPUTSEPA();
    const std::string report = Partly(Block(Tx("P1", "AM04",
                                               "<OrgnlTxRef><Amt>9.99</Amt>"
                                               "</OrgnlTxRef>") +
                                            Tx(" T2", c.reason, c.ref)));
    EXPECT_TRUE(Load(report)) << last_error().errore << "\n" << report;
    EXPECT_EQ(last_error().stato, -1);
    EXPECT_EQ(Items(), "P1|9.990000|AM04|I|null; T2" + c.item) << report;
  }
}

// Transactions without an identifier are skipped with code 70, the others
// read on; items of every block come in document order, and a second report
// adds to the same outcome.
TEST_F(StatusReaderTest, SkipsEmptyIdentifiersAndAddsUp) {
  const std::string first =
      Partly(Block(Tx("A1", "AM04") + "<Other/>" + Tx("  ", "AM04")) +
             "<OrgnlPmtInfId/>" + Block(Tx("A2", "MD06") + Tx("", "MD06")));
  EXPECT_TRUE(Load(first));
  EXPECT_EQ(last_error().stato, 70);
  EXPECT_EQ(last_error().errore, "Impossibile reperire l'effetto ''");
  EXPECT_EQ(Items(), "A1|0.000000|AM04|I|null;A2|0.000000|MD06|R|null;");
  EXPECT_EQ(output_.NumeroInsoluti(), 1);

  EXPECT_TRUE(Load(
      Report(GrpHdr("8") + Group("000000720231") + Block(Tx("B1", "AM04")))));
  EXPECT_EQ(last_error().errore, "");
  EXPECT_EQ(last_error().stato, 70);  // success leaves the code alone
  EXPECT_EQ(output_.NumeroDistinta, 7);
  EXPECT_EQ(output_.AnnoDistinta, 2023);
  EXPECT_EQ(output_.Effetti().Count(), 3);
  EXPECT_EQ(output_.Effetti().Item("B1E")->RejectReason, "AM04");

  // No transactions at all: True without items.
  output_ = CLSEP_OUTPUTSEPA();
  EXPECT_TRUE(Load(Partly("")));
  EXPECT_EQ(output_.Effetti().Count(), 0);
}

// A prefix, a default namespace or none: the same outcome.
TEST_F(StatusReaderTest, NamespacesReadAlike) {
  const std::string plain = Partly(
      Block(Tx("A1", "AM04", "<OrgnlTxRef><Amt>1.5</Amt></OrgnlTxRef>")) +
      Block(Tx("A2", "MD06")));
  std::string prefixed;
  for (size_t i = 0; i < plain.size(); ++i) {
    prefixed += plain[i];
    if (plain[i] == '<' && i + 1 < plain.size() && plain[i + 1] != '?') {
      if (plain[i + 1] == '/') {
        prefixed += '/';
        ++i;
      }
      prefixed += "ns:";
    }
  }
  prefixed.insert(prefixed.find("ns:CBISDDStsRptLogMsg") + 21,
                  " xmlns:ns=\"urn:CBI:xsd:CBISDDStsRptLogMsg.00.01.00\"");
  std::string defaulted = plain;
  defaulted.insert(defaulted.find("<CBISDDStsRptLogMsg") + 19,
                   " xmlns=\"urn:CBI:xsd:CBISDDStsRptLogMsg.00.01.00\"");
  std::string wrapped = plain;
  wrapped.insert(wrapped.find("<CBISDDStsRptLogMsg"),
                 "<Envelope><PhyMsgInf/><CBIEnvelSDDStsRptLogMsg>");
  wrapped.insert(wrapped.rfind('\n'), "</CBIEnvelSDDStsRptLogMsg></Envelope>");
  for (const std::string& report : {plain, prefixed, defaulted, wrapped}) {
    output_ = CLSEP_OUTPUTSEPA();
    EXPECT_TRUE(Load(report)) << last_error().errore << "\n" << report;
    EXPECT_EQ(Items(), "A1|1.500000|AM04|I|null;A2|0.000000|MD06|R|null;")
        << report;
    EXPECT_EQ(output_.AbiBanca, "03069") << report;
  }
}

// DataDaTestoIso: input, expected date ("" when it raises) and code.
TEST(DataDaTestoIsoTest, ComposesAndRollsOver) {
  const std::tuple<const char*, const char*, int32_t> cases[] = {
      {"2024-05-15", "2024-05-15", 0},
      {"2024-00-10", "2023-12-10", 0},
      {"2024-01-00", "2023-12-31", 0},
      {"2024/05/15", "2024-05-15", 0},
      {"2024-5-15", "", 13},
      {"", "", 13},
      {"2024-05", "", 13},
      {"9999-12-32", "", 5},
      {"40000-01-01", "3999-11-30", 0},
      // The euro sign counts one character, as the host counts it.
      {"2024\xE2\x82\xAC"
       "05-15",
       "2024-05-15", 0},
      {"2024-05-1x", "", 13},
  };
  for (const auto& [input, expected, code] : cases) {
    try {
      EXPECT_EQ(DataDaTestoIso(input).ToText(), expected) << input;
      EXPECT_EQ(code, 0) << input;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), code) << input;
    }
  }
}

}  // namespace
}  // namespace zsepa::status
