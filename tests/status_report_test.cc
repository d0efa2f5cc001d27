// Status reports read through the builder, as a host reads them, on the
// demo company's embedded database: direct-debit batch 12 of 2024 with three
// items, and reason codes that mark unpaid items (AM04), recalls (MD06) and
// codes without a kind (MS03).

#include <gtest/gtest.h>

#include <string>

#include "base/testing/shared_files.h"
#include "status/testing/outcome_text.h"
#include "tests/scenarios.h"
#include "zsepa/error.h"

namespace zsepa::testing {
namespace {

std::string WholeBatch(const std::string& msg_id, const std::string& reason) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<CBISDDStsRptLogMsg "
         "xmlns=\"urn:CBI:xsd:CBISDDStsRptLogMsg.00.01.00\">"
         "<GrpHdr><MsgId>E</MsgId><MsgQual>6</MsgQual><CdtrAgt><FinInstnId>"
         "<ClrSysMmbId><MmbId>03069</MmbId></ClrSysMmbId></FinInstnId>"
         "</CdtrAgt></GrpHdr><OrgnlGrpInfAndSts><OrgnlMsgId>" +
         msg_id + "</OrgnlMsgId><GrpSts>RJCT</GrpSts><StsRsnInf><Rsn><Cd>" +
         reason +
         "</Cd></Rsn></StsRsnInf></OrgnlGrpInfAndSts></CBISDDStsRptLogMsg>\n";
}

// A real bank report: eight rejected collections, amounts in
// OrgnlTxRef/Amt/InstdAmt of an indented file, elements with and without a
// prefix. MD01 is not in the demo table, so every item is unpaid.
TEST(StatusReportTest, ReadsARealBankReport) {
  const std::string sample =
      SharedPath("samples/example_stin_st_003_cbisdd_stsrptmsg.xml");
  ZSEPA_REQUIRE_SHARED_FILE(sample);
  DemoCompany demo;
  RecordingConnection connection(demo.connection());
  auto builder = demo.NewBuilder(&connection);
  ASSERT_TRUE(builder->LoadXml(sample, false)) << builder->Errore();
  const CLSEP_OUTPUTSEPA& output = *builder->CpOutput();
  EXPECT_EQ(builder->Stato(), 0);
  EXPECT_EQ(builder->Errore(), "");
  EXPECT_EQ(output.Effetti().Count(), 8);
  EXPECT_EQ(output.NumeroInsoluti(), 8);
  double total = 0;
  for (const auto& item : output.Effetti()) {
    EXPECT_GT(item->Importo, 0) << item->NumeroEffetto;
    EXPECT_EQ(item->RejectReason, "MD01") << item->NumeroEffetto;
    EXPECT_TRUE(item->DataScadenza.IsDate()) << item->NumeroEffetto;
    total += item->Importo;
  }
  EXPECT_NEAR(total, 16192.85, 1e-6);
  EXPECT_EQ(output.Effetti().Item(1)->NumeroEffetto, "3700082783");
  EXPECT_DOUBLE_EQ(output.Effetti().Item(1)->Importo, 2540.22);
  EXPECT_EQ(output.Effetti().Item(1)->DataScadenza.ToText(), "2023-09-02");
  EXPECT_EQ(output.AbiBanca, "02008");
  EXPECT_EQ(static_cast<int32_t>(output.MessageQualifier), 8);
  // "1000292519": number from characters 1-7, year from 8-11.
  EXPECT_EQ(output.NumeroDistinta, 1000292);
  EXPECT_EQ(output.AnnoDistinta, 519);
  EXPECT_EQ(connection.Count("CG6G_CAUSPAGSEPA"), 8);
}

// The example report of the repository answers batch 12 of 2024; the same
// answer in the report version built on pain.002.001.10 (AnyBIC, the
// charges' "Agt", a detailed status per count) reads the same.
TEST(StatusReportTest, ReadsTheExampleReportInBothVersions) {
  for (const char* report : {"/examples/status-report.xml",
                             "/tests/data/status/status-report-00.01.01.xml"}) {
    DemoCompany demo;
    auto builder = demo.NewBuilder();
    ASSERT_TRUE(builder->LoadXml(std::string(ZSEPA_SOURCE_DIR) + report, false))
        << report << ": " << builder->Errore();
    const CLSEP_OUTPUTSEPA& output = *builder->CpOutput();
    EXPECT_EQ(ItemsText(output),
              "2024/0001|120.500000|AM04|I|2024-05-15;"
              "2024/0002|75.000000|MD06|R|2024-05-15;")
        << report;
    EXPECT_EQ(output.NumeroInsoluti(), 1);
    EXPECT_EQ(output.NumeroRichiami(), 1);
    EXPECT_EQ(output.NumeroDistinta, 12);
    EXPECT_EQ(output.AnnoDistinta, 2024);
    EXPECT_EQ(output.TipoDistinta, 1);
  }
}

// The whole batch rejected: its items come from the database. Reason,
// expected items (or the code of the failure) and items listed.
TEST(StatusReportTest, WholeBatchFromTheDatabase) {
  const struct {
    std::string msg_id;
    std::string reason;
    int32_t stato;
    std::string items;
  } cases[] = {
      {"000001220241", "AM04", 0,
       "2024/0001|120.500000|AM04|I|empty;2024/0002|75.000000|AM04|I|empty;"
       "2024/0003|0.000000|AM04|I|empty;"},
      {"000001220241", "MS03", 0,
       "2024/0001|120.500000|MS03|R|empty;2024/0002|75.000000|MS03|R|empty;"
       "2024/0003|0.000000|MS03|R|empty;"},
      {"RID20240000012", "XX01", 0,
       "2024/0001|120.500000|XX01|I|empty;2024/0002|75.000000|XX01|I|empty;"
       "2024/0003|0.000000|XX01|I|empty;"},
      {"000001320241", "AM04", 72, ""},
      {"000001220231", "AM04", 72, ""},
      {"ABCDEFG20241", "AM04", 71, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.msg_id + " " + c.reason);
    DemoCompany demo;
    RecordingConnection connection(demo.connection());
    auto builder = demo.NewBuilder(&connection);
    const std::string path = demo.File("esito.xml");
    WriteFile(path, WholeBatch(c.msg_id, c.reason));
    EXPECT_EQ(builder->LoadXml(path, false), c.stato == 0) << builder->Errore();
    EXPECT_EQ(builder->Stato(), c.stato);
    EXPECT_EQ(ItemsText(*builder->CpOutput()), c.items);
    EXPECT_EQ(builder->CpOutput()->RejectReason, c.reason);
    EXPECT_EQ(connection.Count("CG6G_CAUSPAGSEPA"),
              builder->CpOutput()->Effetti().Count());
  }
}

// A second report adds to the same outcome; an item already listed stops
// the second call with the collection's error and keeps the first items.
TEST(StatusReportTest, SecondReportAddsToTheOutcome) {
  DemoCompany demo;
  auto builder = demo.NewBuilder();
  const std::string path = demo.File("esito.xml");
  WriteFile(path, WholeBatch("000001220241", "AM04"));
  ASSERT_TRUE(builder->LoadXml(path, false)) << builder->Errore();
  EXPECT_FALSE(builder->LoadXml(
      std::string(ZSEPA_SOURCE_DIR) + "/examples/status-report.xml", false));
  EXPECT_EQ(builder->Stato(), rt::kDuplicateKey);
  EXPECT_EQ(builder->CpOutput()->Effetti().Count(), 3);
  EXPECT_EQ(static_cast<int32_t>(builder->CpOutput()->MessageQualifier), 8);
  // A header check alone: False, Errore empty, nothing added.
  EXPECT_FALSE(builder->LoadXml(path, true));
  EXPECT_EQ(builder->Errore(), "");
  EXPECT_EQ(builder->Stato(), rt::kDuplicateKey);
  EXPECT_EQ(builder->CpOutput()->Effetti().Count(), 3);
}

}  // namespace
}  // namespace zsepa::testing
