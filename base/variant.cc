#include "zsepa/variant.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "zsepa/error.h"

namespace zsepa {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Rounds halves to the even neighbour, as the integer conversions do.
double RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double diff = value - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

template <typename Int>
Int ToInteger(const Variant& v) {
  const double rounded = RoundHalfEven(v.ToDouble());
  if (!(rounded >= std::numeric_limits<Int>::min() &&
        rounded <= std::numeric_limits<Int>::max())) {
    rt::Raise(rt::kOverflow);
  }
  return static_cast<Int>(rounded);
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

bool Variant::IsNumber() const {
  switch (type()) {
    case Type::kBoolean:
    case Type::kInt16:
    case Type::kInt32:
    case Type::kInt64:
    case Type::kDouble:
      return true;
    default:
      return false;
  }
}

std::string Variant::ToText() const {
  switch (type()) {
    case Type::kEmpty:
    case Type::kNull:
      return "";
    case Type::kBoolean:
      return std::get<bool>(value_) ? "True" : "False";
    case Type::kInt16:
      return std::to_string(std::get<int16_t>(value_));
    case Type::kInt32:
      return std::to_string(std::get<int32_t>(value_));
    case Type::kInt64:
      return std::to_string(std::get<int64_t>(value_));
    case Type::kDouble: {
      char buffer[64];
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer,
                                     std::get<double>(value_));
      return std::string(buffer, end);
    }
    case Type::kDate:
      return std::get<Date>(value_).ToText();
    case Type::kString:
      return std::get<std::string>(value_);
  }
  return "";
}

std::optional<double> Variant::ParseNumber(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  std::string normal;
  if (i < n && (text[i] == '+' || text[i] == '-')) normal += text[i++];
  size_t digits = 0;
  bool separator = false;
  for (; i < n; ++i) {
    if (IsDigit(text[i])) {
      normal += text[i];
      ++digits;
    } else if ((text[i] == '.' || text[i] == ',') && !separator) {
      normal += '.';
      separator = true;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    normal += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    size_t exponent_digits = 0;
    while (i < n && IsDigit(text[i])) {
      normal += text[i++];
      ++exponent_digits;
    }
    if (exponent_digits == 0) return std::nullopt;
  }
  while (i < n && IsBlank(text[i])) ++i;
  if (i != n) return std::nullopt;
  // strtod in the "C" locale: "." is the decimal point whatever the process
  // locale; too large a value reads as infinity, too small a one as zero.
  char* end = nullptr;
#ifdef _WIN32
  // The Windows C run time spells the same calls with an underscore.
  static const _locale_t c_locale = _create_locale(LC_ALL, "C");
  const double value = _strtod_l(normal.c_str(), &end, c_locale);
#else
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
  const double value = strtod_l(normal.c_str(), &end, c_locale);
#endif
  if (end != normal.c_str() + normal.size()) return std::nullopt;
  return value;
}

bool Variant::IsNumeric() const {
  if (IsNumber()) return true;
  if (const auto* text = AsString()) return ParseNumber(*text).has_value();
  return false;
}

bool Variant::IsDate() const { return AsDate().has_value(); }

std::optional<Date> Variant::AsDate() const {
  if (const auto* date = std::get_if<Date>(&value_)) return *date;
  if (const auto* text = AsString()) return Date::Parse(*text);
  return std::nullopt;
}

double Variant::ToDouble() const {
  switch (type()) {
    case Type::kEmpty:
      return 0;
    case Type::kNull:
      rt::Raise(rt::kInvalidUseOfNull);
    case Type::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case Type::kInt16:
      return std::get<int16_t>(value_);
    case Type::kInt32:
      return std::get<int32_t>(value_);
    case Type::kInt64:
      return static_cast<double>(std::get<int64_t>(value_));
    case Type::kDouble:
      return std::get<double>(value_);
    case Type::kDate:
      return std::get<Date>(value_).Serial();
    case Type::kString:
      if (auto number = ParseNumber(std::get<std::string>(value_))) {
        return *number;
      }
      break;
  }
  rt::Raise(rt::kTypeMismatch);
}

int16_t Variant::ToInt16() const { return ToInteger<int16_t>(*this); }
int32_t Variant::ToInt32() const {
  if (const auto* big = std::get_if<int64_t>(&value_)) {
    if (*big < std::numeric_limits<int32_t>::min() ||
        *big > std::numeric_limits<int32_t>::max()) {
      rt::Raise(rt::kOverflow);
    }
    return static_cast<int32_t>(*big);
  }
  return ToInteger<int32_t>(*this);
}

bool Variant::ToBool() const { return ToDouble() != 0; }

}  // namespace zsepa
