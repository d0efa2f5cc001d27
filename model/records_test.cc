#include <gtest/gtest.h>

#include <string>

#include "model/clsep_infopag.h"
#include "model/clsep_outputsepa.h"
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

TEST(InfoPagTest, TotalAddsAbsoluteAmountsAndRaisesOnOverflow) {
  CLSEP_INFOPAG block;
  EXPECT_EQ(block.TotaleImportoTrasferimenti(), 0);
  const auto first = block.AddTrasfer();
  first->Importo = 100;
  block.AddTrasfer()->Importo = -30;
  EXPECT_EQ(block.TotaleImportoTrasferimenti(), 130);
  EXPECT_EQ(block.Trasferimento(1), first);
  EXPECT_EQ(ErrorCode([&] { block.Trasferimento(0); }), rt::kInvalidArgument);
  block.AddTrasfer()->Importo = 1.7e308;
  block.AddTrasfer()->Importo = -1.7e308;
  EXPECT_EQ(ErrorCode([&] { block.TotaleImportoTrasferimenti(); }),
            rt::kOverflow);
}

TEST(OutputSepaTest, DuplicateItemIsRefusedAndNothingAdded) {
  const struct {
    std::string first, second;
  } cases[] = {{"123", "123"}, {"abc", "ABC"}, {"", ""}};
  for (const auto& c : cases) {
    CLSEP_OUTPUTSEPA output;
    output.AddEffetto(c.first, "AM04");
    EXPECT_EQ(ErrorCode([&] { output.AddEffetto(c.second, "MS02"); }),
              rt::kDuplicateKey)
        << c.second;
    EXPECT_EQ(output.Effetti().Count(), 1) << c.second;
    EXPECT_EQ(output.Effetti().Item(1)->RejectReason, "AM04") << c.second;
  }
}

TEST(OutputSepaTest, CountsFollowTheLiveCollection) {
  CLSEP_OUTPUTSEPA output;
  for (const char* number : {"1", "2", "3"}) output.AddEffetto(number, "");
  output.Effetti().Item("2E")->IsInsoluto = false;
  EXPECT_EQ(output.NumeroInsoluti(), 2);
  EXPECT_EQ(output.NumeroRichiami(), 1);
  output.Effetti().Remove(2);
  EXPECT_EQ(output.NumeroRichiami(), 0);
  const auto item = output.AddEffetto("2", "MS02");  // key released by Remove
  EXPECT_EQ(output.Effetti().Item("2e"), item);
  EXPECT_EQ(output.Effetti().Item(3), item);
  EXPECT_FALSE(output.Effetti().Exists("2"));
  EXPECT_EQ(output.NumeroInsoluti(), 3);
}

}  // namespace
}  // namespace zsepa
