#include "status/report_checks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/testing/shared_files.h"
#include "base/testing/temp_dir.h"
#include "db/testing/fake_builder.h"

namespace zsepa::status {
namespace {

using db::testing::FakeConnection;
using db::testing::FakeResult;

// A report with one piece per line: line 1 is the declaration, line 2 the
// root, the pieces follow from line 3.
std::string Report(const std::vector<std::string>& pieces) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CBISDDStsRptLogMsg>\n";
  for (const std::string& piece : pieces) text += piece + "\n";
  return text + "</CBISDDStsRptLogMsg>\n";
}
// The same report in the default namespace, and with every element in the
// prefix "ns".
const char kNamespace[] = " xmlns=\"urn:CBI:xsd:CBISDDStsRptLogMsg.00.01.00\"";
std::string InNamespace(std::string report, const std::string& prefix = "") {
  if (!prefix.empty()) {
    std::string text;
    for (size_t at = 0; at < report.size(); ++at) {
      text += report[at];
      if (report[at] != '<') continue;
      if (report[at + 1] == '/') text += report[++at];
      if (report[at + 1] != '?' && report[at + 1] != '!') text += prefix + ":";
    }
    report = text;
  }
  const std::string root =
      "<" + (prefix.empty() ? "" : prefix + ":") + "CBISDDStsRptLogMsg";
  const std::string declaration =
      prefix.empty() ? kNamespace
                     : " xmlns:" + prefix + std::string(kNamespace + 6);
  return report.insert(report.find(root) + root.size(), declaration);
}

std::string Header(const std::string& qualifier) {
  return "<GrpHdr><MsgQual>" + qualifier +
         "</MsgQual><CdtrAgt><FinInstnId><ClrSysMmbId><MmbId>03069</MmbId>"
         "</ClrSysMmbId></FinInstnId></CdtrAgt></GrpHdr>";
}
// The group status of batch 12 of 2024; `more` follows GrpSts.
std::string Group(const std::string& status, const std::string& more = "") {
  return "<OrgnlGrpInfAndSts><OrgnlMsgId>000001220241</OrgnlMsgId>" +
         (status.empty() ? "" : "<GrpSts>" + status + "</GrpSts>") + more +
         "</OrgnlGrpInfAndSts>";
}
std::string Detailed(const std::string& count, const std::string& sum,
                     const std::string& status = "") {
  return "<NbOfTxsPerSts>" +
         (status.empty() ? "" : "<DtldSts>" + status + "</DtldSts>") +
         "<DtldNbOfTxs>" + count + "</DtldNbOfTxs><DtldCtrlSum>" + sum +
         "</DtldCtrlSum></NbOfTxsPerSts>";
}
std::string Charge(const std::string& amount) {
  return "<ChrgsInf><Amt Ccy=\"EUR\">" + amount + "</Amt></ChrgsInf>";
}
std::string Tx(const std::string& id, const std::string& amount,
               const std::string& charges = "") {
  return "<TxInfAndSts><OrgnlEndToEndId>" + id +
         "</OrgnlEndToEndId><StsRsnInf><Rsn><Cd>AM04</Cd></Rsn></StsRsnInf>" +
         charges + "<OrgnlTxRef><Amt><InstdAmt Ccy=\"EUR\">" + amount +
         "</InstdAmt></Amt></OrgnlTxRef></TxInfAndSts>";
}
std::string Block(const std::string& transactions) {
  return "<OrgnlPmtInfAndSts>" + transactions + "</OrgnlPmtInfAndSts>";
}
// The two items of batch 12 in the database, 120.50 and 75.00.
const std::string kBothItems =
    Block(Tx("2024/0001", "120.50") + Tx("2024/0002", "75.00"));

// Each finding as "code Element:line", the element's name without prefix.
std::string Summary(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& finding : findings) {
    std::string last = finding.path.substr(finding.path.rfind('/') + 1);
    if (last.starts_with("ns:")) last.erase(0, 3);
    text +=
        finding.code + " " + last + ":" + std::to_string(finding.line) + ";";
  }
  return text;
}

class ReportChecksTest : public testing::TempDirTest {
 protected:
  ReportChecksTest() {
    connection_.On("EF09_NUMDIST=12",
                   FakeResult::Rows({"EF01_NUMEFF", "EF01_IMPEFFNETPREV_S"},
                                    {{Variant("2024/0001"), Variant(120.5)},
                                     {Variant("2024/0002"), Variant(75.0)},
                                     {Variant("A&B"), Variant::Null()}}));
    connection_.On("EF09_NUMDIST=13", FakeResult::Empty({"EF01_NUMEFF"}));
    connection_.On("EF09_NUMDIST=14", FakeResult::Fails(-5, "rete assente"));
  }

  std::vector<Finding> Check(const std::string& report,
                             const ReportBatch& batch) {
    const std::string path = PathOf("esito.xml");
    std::ofstream(path, std::ios::binary) << report;
    return CheckStatusReport(path, batch);
  }
  ReportBatch Batch(int32_t numero = 12) {
    return {&connection_, &framework_, numero, 2024};
  }

  framework::InMemoryFramework framework_{db::testing::DemoCompany()};
  FakeConnection connection_;
};

// Every check, on the same report without namespace, in the default one
// and prefixed: the findings,
// their element and their line.
TEST_F(ReportChecksTest, FindingsNameTheirElementAndLine) {
  struct Case {
    const char* input;
    std::vector<std::string> pieces;
    std::string findings;
    int32_t numero = 12;
  };
  const Case cases[] = {
      {"consistent report",
       {Header("8"), Group("PART", Detailed("2", "195.5")), kBothItems},
       ""},
      {"whole batch with its status", {Header("6"), Group("RJCT")}, ""},
      {"group status against qualifier 8",
       {Header("8"), Group("RJCT"), kBothItems},
       "group-status-mismatch GrpSts:4;"},
      {"group status against qualifier 6",
       {Header("6"), Group(" PART ")},
       "group-status-mismatch GrpSts:4;"},
      {"group status missing",
       {Header("6"), Group("")},
       "group-status-missing OrgnlGrpInfAndSts:4;"},
      {"qualifier the reader refuses: nothing to hold it to",
       {Header("7"), Group("PART")},
       ""},
      {"detailed count and sum off",
       {Header("8"), Group("PART", Detailed("3", "195.49")), kBothItems},
       "count-mismatch DtldNbOfTxs:4;sum-mismatch DtldCtrlSum:4;"},
      {"detailed totals of another status are not the rejected items'",
       {Header("8"),
        Group("PART",
              Detailed("9", "1.00", "ACCP") + Detailed("2", "195.50", "RJCT")),
        kBothItems},
       ""},
      {"rejected totals per status too",
       {Header("8"), Group("PART", Detailed("1", "120.50", "RJCT")),
        kBothItems},
       "count-mismatch DtldNbOfTxs:4;sum-mismatch DtldCtrlSum:4;"},
      {"more than the original batch",
       {Header("8"),
        "<OrgnlGrpInfAndSts><OrgnlMsgId>000001220241</OrgnlMsgId>"
        "<OrgnlNbOfTxs>1</OrgnlNbOfTxs><OrgnlCtrlSum>195.49</OrgnlCtrlSum>"
        "<GrpSts>PART</GrpSts></OrgnlGrpInfAndSts>",
        kBothItems},
       "count-over-original OrgnlNbOfTxs:4;sum-over-original OrgnlCtrlSum:4;"},
      {"within the original batch",
       {Header("8"),
        "<OrgnlGrpInfAndSts><OrgnlMsgId>000001220241</OrgnlMsgId>"
        "<OrgnlNbOfTxs>3</OrgnlNbOfTxs><OrgnlCtrlSum>195.50</OrgnlCtrlSum>"
        "<GrpSts>PART</GrpSts></OrgnlGrpInfAndSts>",
        kBothItems},
       ""},
      {"an unreadable amount: no sum compared",
       {Header("8"), Group("PART", Detailed("2", "1")),
        Block(Tx("2024/0001", "12O.50") + Tx("2024/0002", "75.00"))},
       "amount-unreadable Amt:5;"},
      {"an unreadable total",
       {Header("8"), Group("PART", Detailed("two", "195.50")), kBothItems},
       "total-unreadable DtldNbOfTxs:4;"},
      {"duplicated identifiers, case aside",
       {Header("8"), Group("PART"), kBothItems, Block(Tx("2024/0001", "1.00")),
        Block(Tx("A&amp;B", "2") + Tx("a&amp;b", "3"))},
       "duplicate-end-to-end-id OrgnlEndToEndId:6;"
       "duplicate-end-to-end-id OrgnlEndToEndId:7;"
       "unknown-item OrgnlEndToEndId:7;"},
      {"identifiers as stored or as the file writes them",
       {Header("8"), Group("PART"),
        Block(Tx("AeB", "1") + Tx("2024/0001 ", "2"))},
       ""},
      {"an item of another batch",
       {Header("8"), Group("PART"), Block(Tx("2024/0001", "1")),
        Block(Tx("2024/0099", "1"))},
       "unknown-item OrgnlEndToEndId:6;"},
      {"items without identifier are left to LoadXml",
       {Header("8"), Group("PART"), Block(Tx("", "1") + Tx(" ", "1"))},
       ""},
      {"a batch number that names no batch",
       {Header("8"), Group("PART"), kBothItems},
       "batch-not-identified OrgnlMsgId:4;",
       0},
      {"a batch without items",
       {Header("8"), Group("PART"), kBothItems},
       "batch-without-items OrgnlMsgId:4;",
       13},
      {"a database that fails",
       {Header("8"), Group("PART"), kBothItems},
       "items-unavailable OrgnlMsgId:4;",
       14},
      {"bank charges by item and in total, after the rest",
       {Header("8"), Group("PART", Detailed("1", "195.50")),
        Block(Tx("2024/0001", "120.50", Charge("0.50") + Charge("0.25")) +
              Tx("2024/0002", "75.00", Charge("x")))},
       "count-mismatch DtldNbOfTxs:4;bank-charges TxInfAndSts[1]:5;"
       "amount-unreadable Amt:5;bank-charges-total CBISDDStsRptLogMsg:2;"},
      {"no root, group status or header: LoadXml's to report",
       {Header("8"), kBothItems},
       ""},
  };
  for (const Case& c : cases) {
    const std::string plain = Report(c.pieces);
    for (const std::string& report :
         {plain, InNamespace(plain), InNamespace(plain, "ns")}) {
      EXPECT_EQ(Summary(Check(report, Batch(c.numero))), c.findings)
          << c.input << "\n"
          << report;
    }
  }
  EXPECT_EQ(connection_.open_recordsets(), 0);
}

TEST_F(ReportChecksTest, FindingsCarryPathSeverityAndMessage) {
  std::vector<Finding> findings =
      Check(InNamespace(Report({Header("8"), Group("RJCT"),
                                Block(Tx("&#10;" + std::string(45, 'x'), "1")),
                                Block(Tx("2024/0001", "1", Charge("0.5")))}),
                        "ns"),
            Batch());
  ASSERT_EQ(findings.size(), 4u) << Summary(findings);
  EXPECT_EQ(findings[0].path,
            "/ns:CBISDDStsRptLogMsg/ns:OrgnlGrpInfAndSts/ns:GrpSts");
  EXPECT_EQ(findings[0].severity, Severity::kError);
  EXPECT_EQ(findings[0].message,
            "GrpSts is 'RJCT' but MsgQual 8 calls for PART");
  EXPECT_EQ(findings[1].path,
            "/ns:CBISDDStsRptLogMsg/ns:OrgnlPmtInfAndSts[1]/ns:TxInfAndSts/"
            "ns:OrgnlEndToEndId");
  // One line, the report's value cut to 40 characters.
  EXPECT_EQ(findings[1].message, "' " + std::string(39, 'x') +
                                     "...' is no item of batch 12 of 2024");
  EXPECT_EQ(findings[2].severity, Severity::kInfo);
  EXPECT_EQ(findings[2].message, "item '2024/0001': bank charges 0.50 EUR");
  EXPECT_EQ(findings[3].message, "bank charges of 1 rejected items: 0.50 EUR");
  EXPECT_TRUE(HasErrors(findings));
  findings.erase(findings.begin(), findings.begin() + 2);
  EXPECT_FALSE(HasErrors(findings));
}

// Without a database the items are not looked up; hostile files give
// nothing that LoadXml would not read.
TEST_F(ReportChecksTest, WhatIsNotThereIsNotChecked) {
  const std::string unknown =
      Report({Header("8"), Group("PART"), Block(Tx("2024/0099", "1"))});
  EXPECT_EQ(Summary(Check(unknown, {})), "");
  EXPECT_EQ(Summary(Check(unknown, {&connection_, nullptr, 12, 2024})), "");
  EXPECT_EQ(connection_.executed().size(), 0u);

  // An external entity is never read; entity text beyond its bound ends
  // the checks; a file that does not parse gives nothing.
  const std::string laughs =
      "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]>";
  const struct {
    const char* input;
    std::string report;
    std::string findings;
  } hostile[] = {
      {"external entity",
       "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
       "<CBISDDStsRptLogMsg>" +
           Header("8") + Group("PART", Detailed("&x;", "1")) +
           "</CBISDDStsRptLogMsg>",
       "total-unreadable DtldNbOfTxs:2;sum-mismatch DtldCtrlSum:2;"},
      {"entity expansion",
       laughs + "<CBISDDStsRptLogMsg>" + Header("8") + Group("&e;&e;") +
           "</CBISDDStsRptLogMsg>",
       ""},
      {"malformed", "<CBISDDStsRptLogMsg>" + Header("8") + Group("RJCT"), ""},
  };
  for (const auto& c : hostile) {
    const std::vector<Finding> findings = Check(c.report, Batch());
    EXPECT_EQ(Summary(findings), c.findings) << c.input;
    for (const Finding& finding : findings) {
      EXPECT_EQ(finding.message.find("root:"), std::string::npos) << c.input;
    }
  }
}

// The bank's sample report: its totals agree with its eight items; each
// item was charged.
TEST_F(ReportChecksTest, RealReportGivesItsChargesOnly) {
  const std::string sample = zsepa::testing::SharedPath(
      "samples/example_stin_st_003_cbisdd_stsrptmsg.xml");
  ZSEPA_REQUIRE_SHARED_FILE(sample);
  const std::vector<Finding> findings = CheckStatusReport(sample, {});
  ASSERT_EQ(findings.size(), 9u) << Summary(findings);
  for (const Finding& finding : findings) {
    EXPECT_EQ(finding.severity, Severity::kInfo) << finding.message;
  }
  EXPECT_EQ(findings[0].line, 45);
  EXPECT_EQ(findings[0].message, "item '3700082783': bank charges 0.50 EUR");
  EXPECT_EQ(findings[8].message, "bank charges of 8 rejected items: 4.00 EUR");
}

}  // namespace
}  // namespace zsepa::status
