#include "model/clsep_filesepa.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "db/connection.h"
#include "framework/framework.h"
#include "model/error.h"

namespace zsepa {
namespace {

template <typename F>
int32_t ErrorCode(F&& f) {
  try {
    f();
  } catch (const Error& error) {
    return error.Code();
  }
  return 0;
}

// A database that fails every statement: the builder frame needs none.
class NoDatabase final : public db::Connection {
 public:
  std::unique_ptr<db::Recordset> Execute(const std::string&) override {
    throw Error(-1, "NoDatabase", "no database in this test");
  }
};

class BuilderTest : public ::testing::Test {
 protected:
  void Ready(CLSEP_FILESEPA& builder) {
    builder.ActiveInterface = &framework_;
    builder.AdoConnection = &connection_;
    builder.Initialize();
  }
  // Hands over a block with the given batch key and transaction amounts.
  std::shared_ptr<CLSEP_INFOPAG> AddBlock(
      int16_t tipo, int32_t numero, int16_t anno,
      std::initializer_list<double> amounts) {
    auto block = std::make_shared<CLSEP_INFOPAG>();
    block->TipoDistinta = tipo;
    block->NumeroDistinta = numero;
    block->AnnoDistinta = anno;
    for (double amount : amounts) block->AddTrasfer()->Importo = amount;
    builder_.AddWithInfoPag(block);
    return block;
  }

  framework::InMemoryFramework framework_;
  NoDatabase connection_;
  CLSEP_FILESEPA builder_;
};

TEST_F(BuilderTest, InitializeRaisesForAMissingObjectAfterSettingStato) {
  const struct {
    bool with_framework, with_connection;
    int32_t code;
    std::string text;
  } cases[] = {
      {false, false, -2147221604, "Impostare l'ActiveInterface()"},
      {false, true, -2147221604, "Impostare l'ActiveInterface()"},
      {true, false, -2147221605, "Impostare l'AdoConnection()"},
  };
  for (const auto& c : cases) {
    CLSEP_FILESEPA builder;
    if (c.with_framework) builder.ActiveInterface = &framework_;
    if (c.with_connection) builder.AdoConnection = &connection_;
    try {
      builder.Initialize();
      ADD_FAILURE() << "no error raised for " << c.text;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), c.code) << c.text;
      EXPECT_EQ(error.Source(), "Initialize()") << c.text;
      EXPECT_EQ(error.Description(), c.text) << c.text;
    }
    EXPECT_EQ(builder.Stato(), c.code) << c.text;
    EXPECT_EQ(builder.Errore(), c.text) << c.text;
    EXPECT_EQ(ErrorCode([&] { builder.MsgId(); }), rt::kObjectNotSet);
  }
}

TEST_F(BuilderTest, InitializeReturnsFalseAndStartsAnEmptyList) {
  const auto date = builder_.DataCreazioneSupporto.AsDate();
  ASSERT_TRUE(date.has_value());
  EXPECT_EQ(*date, Date::Today());  // midnight of the day of creation
  builder_.ActiveInterface = &framework_;
  builder_.AdoConnection = &connection_;
  EXPECT_FALSE(builder_.Initialize());
  const auto kept = AddBlock(1, 15, 2024, {1, 2});
  EXPECT_EQ(builder_.NumeroTotaleTrasferimenti(), 2);
  EXPECT_FALSE(builder_.Initialize());
  EXPECT_EQ(builder_.NumeroTotaleTrasferimenti(), 0);
  EXPECT_EQ(builder_.MsgId(), "");
  EXPECT_EQ(kept->Count(), 2);  // the host's reference lives on
}

TEST_F(BuilderTest, TotalsAndMsgIdComeFromTheBlocksUntilTerminate) {
  builder_.Terminate();
  Ready(builder_);
  AddBlock(1, 15, 2024, {100, -30});
  AddBlock(12, 16, 2023, {5.5});
  AddBlock(1, 17, 2024, {});
  EXPECT_EQ(builder_.NumeroTotaleTrasferimenti(), 3);
  EXPECT_DOUBLE_EQ(builder_.ImportoTotaleTrasferimenti(), 135.5);
  EXPECT_EQ(builder_.MsgId(), "000001520241");
  AddBlock(1, 18, 2024, {1.7e308});
  AddBlock(1, 19, 2024, {1.7e308});
  EXPECT_EQ(ErrorCode([&] { builder_.ImportoTotaleTrasferimenti(); }),
            rt::kOverflow);
  builder_.Terminate();
  builder_.Terminate();  // harmless, as before Initialize
  EXPECT_EQ(ErrorCode([&] { builder_.MsgId(); }), rt::kObjectNotSet);
  EXPECT_EQ(ErrorCode([&] { builder_.NumeroTotaleTrasferimenti(); }),
            rt::kObjectNotSet);
}

TEST_F(BuilderTest, MsgIdToDistintaLeavesTheCallersYear) {
  int32_t numero = -1;
  int16_t anno = 1999;
  int16_t tipo = 9;
  builder_.MsgIdToDistinta("0000015202412", numero, anno, tipo);
  EXPECT_EQ(numero, 15);
  EXPECT_EQ(anno, 1999);
  EXPECT_EQ(tipo, 12);
}

TEST_F(BuilderTest, AddWithInfoPagFailuresAreRecordedAndNeverCleared) {
  auto block = std::make_shared<CLSEP_INFOPAG>();
  builder_.AddWithInfoPag(block);  // no block list yet
  EXPECT_EQ(builder_.Stato(), rt::kObjectNotSet);
  EXPECT_EQ(builder_.Errore(),
            "Object variable or With block variable not set");
  Ready(builder_);
  std::shared_ptr<CLSEP_INFOPAG> missing;
  builder_.AddWithInfoPag(missing);  // refused: nothing is added
  EXPECT_EQ(builder_.MsgId(), "");
  AddBlock(1, 15, 2024, {1});
  EXPECT_EQ(builder_.MsgId(), "000001520241");
  EXPECT_EQ(builder_.Stato(), rt::kObjectNotSet);  // success keeps it
}

// The ISO and direct-debit writers of this build report themselves as
// unavailable and name their kind, which shows the writer SaveXML picked.
TEST_F(BuilderTest, SaveXmlPicksTheWriterByFormatAndLocalisation) {
  enum Writer { kIso, kDirectDebit, kCbi };
  const struct {
    int32_t formato;
    std::string localizzazione;
    Writer writer;
  } cases[] = {
      // clang-format off
      {1, "FR", kIso}, {2, "FR", kIso}, {1, "fr", kCbi}, {2, "fr", kCbi},
      {1, "", kCbi}, {0, "", kDirectDebit}, {3, "", kDirectDebit},
      {4, "", kDirectDebit}, {3, "FR", kDirectDebit}, {-1, "", kDirectDebit},
      // clang-format on
  };
  const auto dir = std::filesystem::temp_directory_path() /
                   ("zsepa_dispatch_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const auto& c : cases) {
    CLSEP_FILESEPA builder;
    Ready(builder);
    builder.FormatoFile = static_cast<zxEnumFormatoFile>(c.formato);
    builder.CodiceIsoLocalizzazione = c.localizzazione;
    const std::string input =
        std::to_string(c.formato) + " '" + c.localizzazione + "'";
    const bool saved = builder.SaveXML((dir / "out.xml").string());
    const std::string& errore = builder.Errore();
    EXPECT_EQ(errore.find("ISO 20022") != std::string::npos, c.writer == kIso)
        << input;
    EXPECT_EQ(errore.find("Direct Debit") != std::string::npos,
              c.writer == kDirectDebit)
        << input;
    if (c.writer != kCbi) {
      EXPECT_FALSE(saved) << input;
      EXPECT_EQ(builder.Stato(), codes::kWriterUnavailable) << input;
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zsepa
