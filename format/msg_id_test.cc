#include "format/msg_id.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "model/error.h"
#include "model/testing/error_code.h"

namespace zsepa {
namespace {

using testing::ErrorCode;

// clang-format off
TEST(MsgIdTest, ComposeAndDecodeBack) {
  using Cases = std::tuple<int32_t, int16_t, int16_t, std::string, bool>[];
  for (const auto& [numero, anno, tipo, text, round_trip] : Cases{
           {15, 2024, 1, "000001520241", true}, {15, 2024, 12, "0000015202412", true},
           {15, 2024, 100, "00000152024100", false},  // decodes kind 10
           {12345678, 2024, 1, "1234567820241", false},
           {15, 99, 1, "000001500991", true}, {-15, 2024, 1, "-000001520241", false},
           {0, 0, 0, "000000000000", true}}) {
    EXPECT_EQ(ComposeMsgId(numero, anno, tipo), text);
    int32_t n = 0;
    int16_t a = 0, t = -1;
    DecodificaMsgId(text, n, a, t);
    EXPECT_EQ(std::tie(n, a, t) == std::tie(numero, anno, tipo), round_trip)
        << text;
  }
}

// The kind enters as 7: where it stays 7 the text did not set it.
TEST(MsgIdTest, DecodeBothLayoutsAndRaiseOnOverflow) {
  using Cases = std::tuple<std::string, int32_t, int16_t, int16_t>[];
  for (const auto& [text, numero, anno, tipo] : Cases{
           {"0000015202410099", 15, 2024, 10}, {"1234567820241", 1234567, 8202, 41},
           {"00000152024", 15, 2024, 7}, {"", 0, 0, 7}, {"0000015abcd1", 15, 0, 1},
           {"RID20240000015", 15, 2024, 1}, {"RID000015", 15, 0, 7},
           {"RID2024", 0, 2024, 7}, {"RIDabcd15", 15, 0, 7}, {"RID", 0, 0, 7},
           {"RID2024  15", 15, 2024, 1},
           {"rid20240000015", 0, 0, 1},  // the plain form: "rid2024" no number
           {"èèèèèèè202401", 0, 2024, 1}}) {  // positions count characters
    int32_t n = -1;
    int16_t a = -1, t = 7;
    DecodificaMsgId(text, n, a, t);
    EXPECT_EQ(std::tie(n, a, t), std::tie(numero, anno, tipo)) << text;
  }
  // clang-format on
  for (const std::string text :
       {"RID202412345678901", "RID1e10000015", "1e99999202401"}) {
    int32_t n = 0;
    int16_t a = 0, t = 0;
    EXPECT_EQ(ErrorCode([&] { DecodificaMsgId(text, n, a, t); }), rt::kOverflow)
        << text;
  }
}

}  // namespace
}  // namespace zsepa
