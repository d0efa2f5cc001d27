#include "writers/writer.h"

#include <gtest/gtest.h>

namespace zsepa::writers {
namespace {

// Only "FR" exactly sends the two credit-transfer formats to the ISO file;
// every other format is the direct-debit file.
TEST(WriterTest, KindOfFormatAndLocalisation) {
  struct Case {
    int32_t formato;
    const char* localizzazione;
    FileKind kind;
  } const cases[] = {
      {1, "FR", FileKind::kIsoCreditTransfer},
      {2, "FR", FileKind::kIsoCreditTransfer},
      {1, "fr", FileKind::kCbiSepaCreditTransfer},
      {1, "FR ", FileKind::kCbiSepaCreditTransfer},
      {1, "", FileKind::kCbiSepaCreditTransfer},
      {2, "IT", FileKind::kCbiCrossBorderTransfer},
      {3, "", FileKind::kCbiDirectDebit},
      {3, "FR", FileKind::kCbiDirectDebit},
      {0, "FR", FileKind::kCbiDirectDebit},
      {-1, "", FileKind::kCbiDirectDebit},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        KindOf(static_cast<zxEnumFormatoFile>(c.formato), c.localizzazione),
        c.kind)
        << c.formato << " '" << c.localizzazione << "'";
  }
}

}  // namespace
}  // namespace zsepa::writers
