#ifndef ZSEPA_DATE_H_
#define ZSEPA_DATE_H_

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zsepa {

// A calendar date and time of day with second resolution. A default Date is
// the zero date, 30 December 1899 00:00:00, from which date serial numbers
// count days.
class Date {
 public:
  Date() = default;

  // Composes a date; months and days beyond their range roll over (month 13
  // of 2024 is January 2025, day 32 of January is 1 February, day 0 is the
  // last day of the month before). Hours, minutes and seconds roll over too.
  static Date FromParts(int64_t year, int64_t month, int64_t day,
                        int64_t hour = 0, int64_t minute = 0,
                        int64_t second = 0);
  // The date `days` days after the zero date (fractions are the time of day).
  // `days` must be finite and within the years 100 to 9999 (kMinSerial to
  // kMaxSerial).
  static Date FromSerial(double days);
  static constexpr double kMinSerial = -657434;  // 1 January 100
  static constexpr double kMaxSerial = 2958466;  // 1 January 10000, excluded
  // Today's local date at midnight.
  static Date Today();
  // Reads "YYYY-MM-DD" and "DD/MM/YYYY", each optionally followed (after "T"
  // or a blank) by a time "hh:mm" or "hh:mm:ss", with valid fields; nothing
  // else.
  static std::optional<Date> Parse(std::string_view text);

  int Year() const;
  int Month() const;
  int Day() const;
  int Hour() const;
  int Minute() const;
  int Second() const;
  bool HasTime() const { return TimeOfDay() != 0; }
  // Days since the zero date, with the time of day as a fraction.
  double Serial() const;
  // The date without its time of day.
  Date DatePart() const;

  // "YYYY-MM-DD", or "YYYY-MM-DD hh:mm:ss" when there is a time of day.
  std::string ToText() const;

  friend auto operator<=>(const Date&, const Date&) = default;

 private:
  explicit Date(int64_t seconds) : seconds_(seconds) {}
  int64_t TimeOfDay() const;
  int64_t DayNumber() const;  // days since the zero date, rounded down

  int64_t seconds_ = 0;  // seconds since the zero date
};

}  // namespace zsepa

#endif  // ZSEPA_DATE_H_
