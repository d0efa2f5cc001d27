#include "zsepa/clsep_filesepa.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "base/testing/error_code.h"
#include "db/testing/fake_connection.h"
#include "zsepa/error.h"
#include "zsepa/framework.h"

namespace zsepa {
namespace {

using testing::ErrorCode;

class BuilderTest : public ::testing::Test {
 protected:
  void Ready(CLSEP_FILESEPA& builder) {
    builder.ActiveInterface = &framework_;
    builder.AdoConnection = &connection_;
    EXPECT_FALSE(builder.Initialize());  // success is the absence of an error
  }
  // Hands over a block of batch kind 1, year 2024 with the given amounts.
  std::shared_ptr<CLSEP_INFOPAG> AddBlock(
      int32_t numero, std::initializer_list<double> amounts) {
    std::shared_ptr<CLSEP_INFOPAG> block = std::make_shared<CLSEP_INFOPAG>();
    std::tie(block->TipoDistinta, block->NumeroDistinta, block->AnnoDistinta) =
        std::make_tuple(1, numero, 2024);
    for (double amount : amounts) block->AddTrasfer()->Importo = amount;
    builder_.AddWithInfoPag(block);
    return block;
  }

  framework::InMemoryFramework framework_;
  db::testing::FakeConnection connection_;  // the builder frame reads nothing
  CLSEP_FILESEPA builder_;
};

// The framework object is checked first, the connection only after it.
TEST_F(BuilderTest, InitializeSetsStatoThenRaisesForAMissingObject) {
  for (const bool with_framework : {false, true}) {
    const int32_t code = with_framework ? -2147221605 : -2147221604;
    const std::string text = with_framework ? "Impostare l'AdoConnection()"
                                            : "Impostare l'ActiveInterface()";
    CLSEP_FILESEPA builder;
    if (with_framework) builder.ActiveInterface = &framework_;
    try {
      builder.Initialize();
      ADD_FAILURE() << "no error raised for " << text;
    } catch (const Error& error) {
      EXPECT_EQ(
          std::make_tuple(error.Code(), error.Source(), error.Description()),
          std::make_tuple(code, "Initialize()", text));
    }
    EXPECT_EQ(std::make_tuple(builder.Stato(), builder.Errore()),
              std::make_tuple(code, text));
    EXPECT_EQ(ErrorCode([&] { builder.MsgId(); }), rt::kObjectNotSet);
  }
}

// Failures of AddWithInfoPag stay in Stato after later successes.
TEST_F(BuilderTest, LifeCycleTotalsAndErrors) {
  EXPECT_EQ(*builder_.DataCreazioneSupporto.AsDate(), Date::Today());
  builder_.Terminate();  // harmless before Initialize
  AddBlock(13, {1});     // no block list yet
  EXPECT_EQ(builder_.Stato(), rt::kObjectNotSet);
  EXPECT_EQ(builder_.Errore(),
            "Object variable or With block variable not set");
  Ready(builder_);
  const auto kept = AddBlock(14, {1, 2});
  Ready(builder_);  // a second Initialize drops the blocks
  EXPECT_EQ(
      std::make_tuple(builder_.NumeroTotaleTrasferimenti(), builder_.MsgId()),
      std::make_tuple(0, ""));
  EXPECT_EQ(kept->Count(), 2);  // the host's reference lives on
  std::shared_ptr<CLSEP_INFOPAG> missing;
  builder_.AddWithInfoPag(missing);  // refused: nothing is added
  AddBlock(15, {100, -30});
  AddBlock(16, {5.5});
  AddBlock(17, {});
  EXPECT_EQ(builder_.NumeroTotaleTrasferimenti(), 3);
  EXPECT_DOUBLE_EQ(builder_.ImportoTotaleTrasferimenti(), 135.5);  // absolute
  EXPECT_EQ(builder_.MsgId(), "000001520241");
  EXPECT_EQ(builder_.Stato(), rt::kObjectNotSet);
  AddBlock(18, {1.7e308, -1.7e308});  // the block's own total overflows
  EXPECT_EQ(ErrorCode([&] { builder_.ImportoTotaleTrasferimenti(); }),
            rt::kOverflow);
  Ready(builder_);
  AddBlock(18, {1.7e308});
  AddBlock(19, {1.7e308});  // the sum of the blocks overflows
  EXPECT_EQ(ErrorCode([&] { builder_.ImportoTotaleTrasferimenti(); }),
            rt::kOverflow);
  builder_.Terminate();
  builder_.Terminate();
  EXPECT_EQ(ErrorCode([&] { builder_.MsgId(); }), rt::kObjectNotSet);
  EXPECT_EQ(ErrorCode([&] { builder_.NumeroTotaleTrasferimenti(); }),
            rt::kObjectNotSet);
  int32_t numero = -1;
  int16_t anno = 1999, tipo = 9;  // the year is input only
  builder_.MsgIdToDistinta("0000015202412", numero, anno, tipo);
  EXPECT_EQ(std::tie(numero, anno, tipo), std::make_tuple(15, 1999, 12));
}

}  // namespace
}  // namespace zsepa
