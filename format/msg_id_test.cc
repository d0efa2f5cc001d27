#include "format/msg_id.h"

#include <gtest/gtest.h>

#include <string>

#include "model/error.h"

namespace zsepa {
namespace {

TEST(MsgIdTest, ComposeAndDecodeBack) {
  const struct {
    int32_t numero;
    int16_t anno, tipo;
    std::string text;
    bool round_trip;
  } cases[] = {
      // clang-format off
      {15, 2024, 1, "000001520241", true},
      {15, 2024, 12, "0000015202412", true},
      {15, 2024, 100, "00000152024100", false},  // decodes kind 10
      {12345678, 2024, 1, "1234567820241", false},
      {15, 99, 1, "000001500991", true},
      {-15, 2024, 1, "-000001520241", false},
      {9999999, 9999, 99, "9999999999999", true},
      {0, 0, 0, "000000000000", true},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComposeMsgId(c.numero, c.anno, c.tipo), c.text) << c.text;
    int32_t numero = 0;
    int16_t anno = 0, tipo = -1;
    DecodificaMsgId(c.text, numero, anno, tipo);
    EXPECT_EQ(numero == c.numero && anno == c.anno && tipo == c.tipo,
              c.round_trip)
        << c.text;
  }
}

// The kind enters as 7: where it stays 7 the text did not set it.
TEST(MsgIdTest, DecodeBothLayouts) {
  const struct {
    std::string text;
    int32_t numero;
    int16_t anno, tipo;
  } cases[] = {
      // clang-format off
      {"0000015202410099", 15, 2024, 10}, {"1234567820241", 1234567, 8202, 41},
      {"00000152024", 15, 2024, 7}, {"", 0, 0, 7}, {"0000015abcd1", 15, 0, 1},
      {"0000015   ", 15, 0, 7}, {"RID20240000015", 15, 2024, 1},
      {"RID000015", 15, 0, 7}, {"RID2024", 0, 2024, 7}, {"RIDabcd15", 15, 0, 7},
      {"RID", 0, 0, 7}, {"RID2024  15", 15, 2024, 1},
      {"rid20240000015", 0, 0, 1},    // the plain form: "rid2024" is no number
      {"èèèèèèè202401", 0, 2024, 1},  // positions count characters
      // clang-format on
  };
  for (const auto& c : cases) {
    int32_t numero = -1;
    int16_t anno = -1, tipo = 7;
    DecodificaMsgId(c.text, numero, anno, tipo);
    EXPECT_EQ(numero, c.numero) << c.text;
    EXPECT_EQ(anno, c.anno) << c.text;
    EXPECT_EQ(tipo, c.tipo) << c.text;
  }
}

TEST(MsgIdTest, PiecesThatDoNotFitRaiseOverflow) {
  for (const std::string text :
       {"RID202412345678901", "RID1e10000015", "1e99999202401"}) {
    int32_t numero = 0;
    int16_t anno = 0, tipo = 0;
    try {
      DecodificaMsgId(text, numero, anno, tipo);
      ADD_FAILURE() << "no overflow for " << text;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), rt::kOverflow) << text;
    }
  }
}

}  // namespace
}  // namespace zsepa
