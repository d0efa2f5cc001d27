#ifndef ZSEPA_FORMAT_FORMATTING_H_
#define ZSEPA_FORMAT_FORMATTING_H_

#include <string>
#include <string_view>

#include "zsepa/variant.h"

namespace zsepa {

// Null handling, value formatting and text cleaning for bank files. None of
// these routines depends on the process locale, and the formatters never
// raise: a value of the wrong kind gives the empty text.

// `value`, or `fallback` when `value` is Null or Empty. The fallback keeps the
// type the caller gave it.
Variant ValoreNonNullo(const Variant& value, const Variant& fallback);
// Text of ValoreNonNullo(value, "") without trailing spaces (U+0020 only).
std::string TestoNonNullo(const Variant& value);
// `text` without trailing spaces (U+0020 only).
std::string RTrimSpaces(std::string_view text);

// "YYYY-MM-DD" of a date (or date text); "" otherwise.
std::string FormattaData(const Variant& value);
// "YYYY-MM-DDThh:mm:ss"; "" for a value that is not a date.
std::string FormattaDataOra(const Variant& value);
// "YYYY-MM-DDThh:mm:ss.000+01:00" (constant suffix); "" for a non-date.
std::string FormattaDataOraFuso(const Variant& value);
// A number (or numeric text) with two decimals, "." and no grouping
// ("1234.50", "-7.00"); "" for a value that is not numeric.
std::string FormattaImporto(const Variant& value);
// A finite `value` with `decimals` digits after "." and no grouping, rounded
// as amounts are (to 15 significant digits, then halves away from zero).
std::string FormatFixed(double value, int decimals);
// Every character outside U+0020..U+007F becomes one "?" per UTF-16 unit
// (an emoji gives "??"), then every "&" becomes "e".
std::string NormalizzaTesto(std::string_view text);

// A zero-padded number picture such as "000" or "00000" applied to a value:
// a numeric value is rounded to an integer and written with at least
// `min_digits` digits (a minus sign before the padded digits); a value that
// is not numeric gives its text unchanged.
std::string FormatNumberPicture(const Variant& value, int min_digits);
// A date picture applied to a value: "yyyy-mm-dd" (`separator` "-") or
// "yyyymmdd" (`separator` ""). A Date gives its date, a number the date that
// many days after 30 December 1899 (within the years 100 to 9999), text that
// reads as a date that date; anything else "".
std::string FormatDatePicture(const Variant& value, std::string_view separator);

}  // namespace zsepa

#endif  // ZSEPA_FORMAT_FORMATTING_H_
