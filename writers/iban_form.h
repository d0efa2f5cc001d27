#ifndef ZSEPA_WRITERS_IBAN_FORM_H_
#define ZSEPA_WRITERS_IBAN_FORM_H_

#include <string_view>

namespace zsepa {

// Whether an account identifier has the form of an IBAN: at least four
// characters, the first two letters and the next two digits. Nothing else is
// tested (no trimming, no length per country, no check digits). Characters
// are Unicode code points of the UTF-8 text. Never fails.
bool IsIbanFormaValida(std::string_view value);
// False for the empty text; otherwise True when every character, upper-cased,
// lies between "A" and "Z".
bool IsSoloLettere(std::string_view text);
// False for the empty text; otherwise True when every character is a decimal
// digit "0".."9".
bool IsSoloNumeri(std::string_view text);

}  // namespace zsepa

#endif  // ZSEPA_WRITERS_IBAN_FORM_H_
