#ifndef ZSEPA_CHECKS_IDENTIFIERS_H_
#define ZSEPA_CHECKS_IDENTIFIERS_H_

#include <string_view>

// Validators of the identifiers that bank files carry: IBAN (ISO 13616),
// BIC (ISO 9362), the Italian tax code and VAT number, the SEPA creditor
// identifier and the CBI customer code. Pure functions of the text as the
// file will carry it; none of them trims, upper-cases or fails.

namespace zsepa::checks {

// What is wrong with an identifier, from the outside in.
enum class Verdict {
  kValid,
  kForm,           // characters or their places
  kCountry,        // no such country (for an IBAN: none that issues IBANs)
  kLength,         // not the length its country gives it
  kCheckDigits,    // the ISO 7064 mod-97 check digits
  kNationalForm,   // an Italian IBAN whose CIN, ABI or CAB is misplaced
  kNationalCheck,  // an Italian check character (CIN, tax code, VAT number)
};

// Whether `code` is an ISO 3166-1 alpha-2 country code (upper case), or
// "XK", which the banks use for Kosovo.
bool IsCountryCode(std::string_view code);
// The length of an IBAN of `country`; 0 for a country without IBANs.
int IbanLength(std::string_view country);

// An IBAN in its electronic form (no blanks, upper case): two letters of a
// country that issues IBANs, two check digits, then letters and digits, the
// country's length and the mod-97 check. An Italian IBAN also has its BBAN
// checked: CIN letter, five-digit ABI and CAB, and the CIN computed over
// them and the account number.
Verdict CheckIban(std::string_view iban);
// The CIN of an Italian BBAN from ABI, CAB and account number (22 letters
// and digits); '\0' when they are not.
char ItalianCin(std::string_view abi_cab_account);

// A BIC: 8 or 11 characters, four letters of the institution, a country
// code, two letters or digits of the location (the schema's form), three of
// the branch.
Verdict CheckBic(std::string_view bic);

// A codice fiscale of a person: 16 characters with the digits of birth date
// and place possibly replaced by the homocode letters L M N P Q R S T U V,
// and its check letter (kNationalCheck when wrong).
Verdict CheckTaxCode(std::string_view code);
// An Italian VAT number (or the tax code of a company): 11 digits with the
// check digit (kNationalCheck when wrong). An "IT" in front is accepted.
Verdict CheckVatNumber(std::string_view number);
// An Italian tax identifier as a VAT field may hold it: 16 characters are a
// person's tax code, anything else a VAT number.
Verdict CheckItalianTaxId(std::string_view value);

// A SEPA creditor identifier: country, two check digits, a three-character
// business code and the national identifier; the check digits are the
// mod-97 of the national identifier followed by the country and "00". An
// Italian one has an 11- or 16-character national identifier.
Verdict CheckCreditorIdentifier(std::string_view identifier);

// The CBI customer code (CUC): eight letters or digits.
bool IsCuc(std::string_view code);

}  // namespace zsepa::checks

#endif  // ZSEPA_CHECKS_IDENTIFIERS_H_
