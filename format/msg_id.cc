#include "format/msg_id.h"

#include "base/utf8.h"
#include "format/formatting.h"
#include "zsepa/variant.h"

namespace zsepa {
namespace {

// Characters `first`..`first + count - 1` (1-based), fewer when the text is
// shorter.
std::string Mid(std::string_view text, size_t first, size_t count) {
  std::string tail = utf8::Left(text, first - 1 + count);
  const std::string head = utf8::Left(text, first - 1);
  return tail.substr(head.size());
}

std::string MidToEnd(std::string_view text, size_t first) {
  const std::string head = utf8::Left(text, first - 1);
  return std::string(text.substr(head.size()));
}

// A piece counts when it is non-blank and numeric.
bool IsNumericPiece(const std::string& piece) {
  return !RTrimSpaces(piece).empty() && Variant(piece).IsNumeric();
}

}  // namespace

std::string MsgIdOf(const BlockList& blocks) {
  if (blocks.Count() == 0) return "";
  const auto& first = blocks.Item(1);
  return ComposeMsgId(first->NumeroDistinta, first->AnnoDistinta,
                      first->TipoDistinta);
}

std::string ComposeMsgId(int32_t numero, int16_t anno, int16_t tipo) {
  return FormatNumberPicture(numero, 7) + FormatNumberPicture(anno, 4) +
         std::to_string(tipo);
}

void DecodificaMsgId(std::string_view text, int32_t& numero, int16_t& anno,
                     int16_t& tipo) {
  numero = 0;
  anno = 0;
  if (text.substr(0, 3) == "RID") {
    const std::string year = Mid(text, 4, 4);
    if (IsNumericPiece(year)) anno = Variant(year).ToInt16();
    const std::string number = MidToEnd(text, 8);
    if (IsNumericPiece(number)) numero = Variant(number).ToInt32();
    if (numero >= 1 && anno >= 1) tipo = 1;
    return;
  }
  const std::string number = Mid(text, 1, 7);
  if (IsNumericPiece(number)) numero = Variant(number).ToInt32();
  const std::string year = Mid(text, 8, 4);
  if (IsNumericPiece(year)) anno = Variant(year).ToInt16();
  const std::string kind = Mid(text, 12, 2);
  if (IsNumericPiece(kind)) tipo = Variant(kind).ToInt16();
}

}  // namespace zsepa
