#include "format/formatting.h"

#include <charconv>
#include <cmath>
#include <string>

#include "base/utf8.h"

namespace zsepa {
namespace {

// `value` in at least `width` characters, zeros after the sign ("%0*lld").
std::string Pad(long long value, int width) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  std::string text(buffer, end);
  if (text.size() < static_cast<size_t>(width)) {
    text.insert(value < 0 ? 1 : 0, static_cast<size_t>(width) - text.size(),
                '0');
  }
  return text;
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

// The magnitude of `value` in decimal with `decimals` digits after the point,
// rounded as the platform rounds: first to 15 significant digits, then half
// away from zero ("2.675" gives "2.68", 3.8049999999999997 "3.81"). `value`
// must be finite.
std::string RoundedMagnitude(double value, int decimals) {
  char buffer[32];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                    std::chars_format::scientific, 14);
  // buffer holds "d.dddddddddddddde±xx": 15 digits and the exponent.
  std::string digits(1, buffer[0]);
  digits.append(buffer + 2, 14);
  int exponent = 0;
  std::from_chars(buffer + 17 + (buffer[17] == '+'), end, exponent);
  // The digits before the point; at least one, "0" for a magnitude below 1.
  int point = exponent + 1;
  if (point < 1) {
    digits.insert(0, static_cast<size_t>(1 - point), '0');
    point = 1;
  }
  const size_t keep = static_cast<size_t>(point + decimals);
  if (digits.size() < keep + 1) digits.resize(keep + 1, '0');
  const bool round_up = digits[keep] >= '5';
  digits.resize(keep);
  if (round_up) {
    size_t at = keep;
    while (at > 0 && digits[at - 1] == '9') digits[--at] = '0';
    if (at == 0) {
      digits.insert(0, 1, '1');
      ++point;
    } else {
      ++digits[at - 1];
    }
  }
  if (decimals > 0) digits.insert(static_cast<size_t>(point), 1, '.');
  return digits;
}

// `magnitude` with the sign of `value`, unless it rounded to zero.
std::string Signed(double value, std::string magnitude) {
  const bool zero = magnitude.find_first_not_of("0.") == std::string::npos;
  return value < 0 && !zero ? "-" + magnitude : magnitude;
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

std::string FormatFixed(double value, int decimals) {
  return Signed(value, RoundedMagnitude(value, decimals));
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
  // A value that rounds to zero is written without a sign.
  return Signed(number, RoundedMagnitude(number, 2));
}

std::string NormalizzaTesto(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte >= 0x20 && byte <= 0x7F && byte != '&') {  // the common case
      result += static_cast<char>(byte);
      ++pos;
      continue;
    }
    const size_t units = utf8::Units(text, pos);
    const char32_t cp = utf8::Next(text, pos);
    if (cp == U'&') {
      result += 'e';
    } else if (cp >= 0x20 && cp <= 0x7F) {
      result += static_cast<char>(cp);
    } else {
      result.append(units, '?');  // one per UTF-16 unit, as the host counts
    }
  }
  return result;
}

std::string FormatNumberPicture(const Variant& value, int min_digits) {
  if (!value.IsNumeric()) return value.ToText();
  const double number = value.ToDouble();
  if (!std::isfinite(number)) return value.ToText();
  std::string digits = RoundedMagnitude(number, 0);
  if (digits.size() < static_cast<size_t>(min_digits)) {
    digits.insert(0, static_cast<size_t>(min_digits) - digits.size(), '0');
  }
  return Signed(number, std::move(digits));
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
