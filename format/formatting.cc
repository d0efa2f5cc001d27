#include "format/formatting.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/utf8.h"

namespace zsepa {
namespace {

std::string Pad(long long value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", width, value);
  return buffer;
}

// Digits of the date and time of `value` when it is a date or date text.
std::optional<Date> DateOf(const Variant& value) { return value.AsDate(); }

std::string DateText(const Date& date, std::string_view separator) {
  std::string text = Pad(date.Year(), 4);
  text += separator;
  text += Pad(date.Month(), 2);
  text += separator;
  text += Pad(date.Day(), 2);
  return text;
}

std::string DateTimeText(const Date& date) {
  return DateText(date, "-") + "T" + Pad(date.Hour(), 2) + ":" +
         Pad(date.Minute(), 2) + ":" + Pad(date.Second(), 2);
}

}  // namespace

Variant ValoreNonNullo(const Variant& value, const Variant& fallback) {
  return value.IsNull() || value.IsEmpty() ? fallback : value;
}

std::string RTrimSpaces(std::string_view text) {
  const size_t end = text.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view()
                                                   : text.substr(0, end + 1));
}

std::string TestoNonNullo(const Variant& value) {
  if (const auto* text = value.AsString()) return RTrimSpaces(*text);
  return RTrimSpaces(ValoreNonNullo(value, "").ToText());
}

std::string FormattaData(const Variant& value) {
  const auto date = DateOf(value);
  return date ? DateText(*date, "-") : "";
}

std::string FormattaDataOra(const Variant& value) {
  const auto date = DateOf(value);
  return date ? DateTimeText(*date) : "";
}

std::string FormattaDataOraFuso(const Variant& value) {
  const auto date = DateOf(value);
  return date ? DateTimeText(*date) + ".000+01:00" : "";
}

std::string FormattaImporto(const Variant& value) {
  if (!value.IsNumeric()) return "";
  const double number = value.ToDouble();
  if (!std::isfinite(number)) return "";
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number,
                                       std::chars_format::fixed, 2);
  std::string text(buffer, end);
  // A value that rounds to zero is written without a sign.
  if (text == "-0.00") text = "0.00";
  return text;
}

std::string NormalizzaTesto(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const char32_t cp = utf8::Next(text, pos);
    if (cp == U'&') {
      result += 'e';
    } else if (cp >= 0x20 && cp <= 0x7F) {
      result += static_cast<char>(cp);
    } else {
      result += '?';
    }
  }
  return result;
}

std::string FormatNumberPicture(const Variant& value, int min_digits) {
  if (!value.IsNumeric()) return value.ToText();
  const double rounded = std::round(value.ToDouble());
  if (!std::isfinite(rounded) || std::fabs(rounded) > 9.2e18) {
    return value.ToText();
  }
  const long long number = static_cast<long long>(rounded);
  const std::string digits = Pad(number < 0 ? -number : number, min_digits);
  return number < 0 ? "-" + digits : digits;
}

std::string FormatDatePicture(const Variant& value,
                              std::string_view separator) {
  if (value.IsNumber()) {
    const double serial = value.ToDouble();
    // A number beyond the calendar's years 100 to 9999 is no date.
    if (!(serial >= Date::kMinSerial && serial < Date::kMaxSerial)) return "";
    return DateText(Date::FromSerial(serial), separator);
  }
  const auto date = DateOf(value);
  return date ? DateText(*date, separator) : "";
}

}  // namespace zsepa
