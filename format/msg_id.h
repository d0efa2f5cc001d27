#ifndef ZSEPA_FORMAT_MSG_ID_H_
#define ZSEPA_FORMAT_MSG_ID_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "zsepa/clsep_infopag.h"

namespace zsepa {

// The message identifier of a batch: number "0000000", year "0000", kind in
// plain decimal ("000001520241" for batch 15 of 2024, kind 1). Wider values
// are written in full; negatives with a leading minus.
std::string ComposeMsgId(int32_t numero, int16_t anno, int16_t tipo);
// The message identifier of a file: that of its first block, "" without
// blocks.
std::string MsgIdOf(const BlockList& blocks);

// Decodes an identifier into the batch key. Number and year start at 0; the
// kind keeps its value unless the text sets it. Plain form: number 1-7,
// year 8-11, kind 12-13. "RID" form: year 4-7, number 8 to the end, kind 1
// when both are at least 1. Raises run-time error 6 when a numeric piece
// does not fit its integer type.
void DecodificaMsgId(std::string_view text, int32_t& numero, int16_t& anno,
                     int16_t& tipo);

}  // namespace zsepa

#endif  // ZSEPA_FORMAT_MSG_ID_H_
