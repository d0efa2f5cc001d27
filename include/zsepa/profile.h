#ifndef ZSEPA_PROFILE_H_
#define ZSEPA_PROFILE_H_

#include <optional>
#include <string_view>

namespace zsepa {

// Which form of the bank files SaveXML writes. The builder's Profile member
// selects it; it is this library's addition to the builder, not one of the
// members a host of the component knows.
enum class FileProfile {
  // The files exactly as the component has always written them:
  // CBIPaymentRequest.00.04.00, CBISDDReqLogMsg.00.01.00,
  // CBICrossBorderPaymentRequestLogMsg.00.01.01 and pain.001.001.03.
  kExact,
  // The files banks take since the CBI versions of March 2024 and the SEPA
  // address rules of 15 November 2026: CBIPaymentRequest.00.04.01,
  // CBISDDReqLogMsg.00.01.01, the 2024 revision of the cross-border file and
  // pain.001.001.09; structured or hybrid postal addresses; texts in the SEPA
  // character set; no empty element. What it changes against the exact file
  // is reported element by element (CLSEP_FILESEPA::ProfileFindings).
  kBank2026,
};

// "exact" and "bank-2026".
std::string_view ProfileName(FileProfile profile);
// The profile of a name; nothing for any other text.
std::optional<FileProfile> ProfileNamed(std::string_view name);

}  // namespace zsepa

#endif  // ZSEPA_PROFILE_H_
