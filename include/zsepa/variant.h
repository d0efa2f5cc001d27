#ifndef ZSEPA_VARIANT_H_
#define ZSEPA_VARIANT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "zsepa/date.h"

namespace zsepa {

// A tagged value as the object model's variant fields and database columns
// carry it. Empty (never assigned) and Null (a database Null) are distinct
// from every value. Conversions never depend on the process locale.
class Variant {
 public:
  enum class Type {
    kEmpty,
    kNull,
    kBoolean,
    kInt16,
    kInt32,
    kInt64,
    kDouble,
    kDate,
    kString
  };

  Variant() = default;  // Empty
  Variant(bool value) : value_(value) {}
  Variant(int16_t value) : value_(value) {}
  Variant(int32_t value) : value_(value) {}
  Variant(int64_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(Date value) : value_(value) {}
  Variant(std::string value) : value_(std::move(value)) {}
  Variant(std::string_view value) : value_(std::string(value)) {}
  Variant(const char* value) : value_(std::string(value)) {}

  static Variant Null();

  Type type() const { return static_cast<Type>(value_.index()); }
  bool IsEmpty() const { return type() == Type::kEmpty; }
  bool IsNull() const { return type() == Type::kNull; }
  bool IsString() const { return type() == Type::kString; }
  // True for Boolean, integer and Double values.
  bool IsNumber() const;

  // Text of the value: Empty and Null give ""; integers in plain decimal; a
  // Double in the shortest text that reads back the same ("." as decimal
  // point); Booleans "True"/"False"; a Date "YYYY-MM-DD" without time of day,
  // else "YYYY-MM-DD hh:mm:ss".
  std::string ToText() const;

  // A number, or text that reads as one: optional blanks around an optional
  // sign, digits with at most one decimal separator ("." or ","), an
  // optional exponent. Empty, Null, dates and the empty text are not.
  bool IsNumeric() const;
  // A Date, or text that reads as a date (see Date::Parse). Numbers are not.
  bool IsDate() const;
  std::optional<Date> AsDate() const;

  // Numeric value: numbers as they are (True is -1), numeric text, a Date's
  // serial number, Empty as 0. Null raises 94, anything else 13.
  double ToDouble() const;
  // Conversion with halves rounded to even; raises 6 when the result does not
  // fit and the errors of ToDouble otherwise.
  int16_t ToInt16() const;
  int32_t ToInt32() const;
  // True when the value is numerically non-zero (Boolean conversion).
  bool ToBool() const;

  // Reads a number in the text form of IsNumeric.
  static std::optional<double> ParseNumber(std::string_view text);

  friend bool operator==(const Variant&, const Variant&) = default;

  const std::string* AsString() const {
    return std::get_if<std::string>(&value_);
  }

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };

  std::variant<std::monostate, NullTag, bool, int16_t, int32_t, int64_t, double,
               Date, std::string>
      value_;
};

}  // namespace zsepa

#endif  // ZSEPA_VARIANT_H_
