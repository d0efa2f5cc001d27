#include "zsepa/date.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace zsepa {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

constexpr int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days from 1970-01-01 of a proleptic Gregorian date (month 1..12).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int64_t y;
  int m;
  int d;
};

Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (m <= 2), m, d};
}

// Constant-initialised, so that Date constants of other translation units
// never see it before it is set.
constexpr int64_t kZeroDateDays = DaysFromCivil(1899, 12, 30);

bool ReadDigits(std::string_view text, size_t pos, size_t count, int& out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  out = value;
  return true;
}

bool IsValidDay(int y, int m, int d) {
  if (m < 1 || m > 12 || d < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

}  // namespace

Date Date::FromParts(int64_t year, int64_t month, int64_t day, int64_t hour,
                     int64_t minute, int64_t second) {
  const int64_t months = year * 12 + (month - 1);
  const int64_t y = FloorDiv(months, 12);
  const int64_t m = months - y * 12 + 1;
  const int64_t days = DaysFromCivil(y, m, 1) + (day - 1) - kZeroDateDays;
  return Date(days * kSecondsPerDay + hour * 3600 + minute * 60 + second);
}

Date Date::FromSerial(double days) {
  // Day part and time fraction are taken separately, as serial numbers do
  // for dates before the zero date (-1.25 is 29 December 1899, 06:00).
  const double whole = std::trunc(days);
  const double fraction = std::fabs(days - whole);
  return Date(static_cast<int64_t>(whole) * kSecondsPerDay +
              std::llround(fraction * kSecondsPerDay));
}

Date Date::Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::optional<Date> Date::Parse(std::string_view text) {
  int y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  if (text.size() < 10) return std::nullopt;
  if (text[2] == '/' && text[5] == '/') {
    if (!ReadDigits(text, 0, 2, d) || !ReadDigits(text, 3, 2, m) ||
        !ReadDigits(text, 6, 4, y))
      return std::nullopt;
  } else if (!ReadDigits(text, 0, 4, y) || text[4] != '-' ||
             !ReadDigits(text, 5, 2, m) || text[7] != '-' ||
             !ReadDigits(text, 8, 2, d)) {
    return std::nullopt;
  }
  // An optional time after "T" or a blank: "hh:mm" or "hh:mm:ss".
  if (text.size() != 10) {
    if (text.size() != 16 && text.size() != 19) return std::nullopt;
    if ((text[10] != 'T' && text[10] != ' ') || !ReadDigits(text, 11, 2, hh) ||
        text[13] != ':' || !ReadDigits(text, 14, 2, mi) || hh > 23 || mi > 59)
      return std::nullopt;
    if (text.size() == 19 &&
        (text[16] != ':' || !ReadDigits(text, 17, 2, ss) || ss > 59))
      return std::nullopt;
  }
  if (!IsValidDay(y, m, d)) return std::nullopt;
  return FromParts(y, m, d, hh, mi, ss);
}

int64_t Date::DayNumber() const { return FloorDiv(seconds_, kSecondsPerDay); }
int64_t Date::TimeOfDay() const {
  return seconds_ - DayNumber() * kSecondsPerDay;
}

int Date::Year() const {
  return static_cast<int>(CivilFromDays(DayNumber() + kZeroDateDays).y);
}
int Date::Month() const { return CivilFromDays(DayNumber() + kZeroDateDays).m; }
int Date::Day() const { return CivilFromDays(DayNumber() + kZeroDateDays).d; }
int Date::Hour() const { return static_cast<int>(TimeOfDay() / 3600); }
int Date::Minute() const { return static_cast<int>(TimeOfDay() % 3600 / 60); }
int Date::Second() const { return static_cast<int>(TimeOfDay() % 60); }

double Date::Serial() const {
  // Before the zero date the time of day counts away from zero, as in
  // FromSerial (29 December 1899, 06:00 is -1.25).
  const int64_t day = DayNumber();
  const double time = static_cast<double>(TimeOfDay()) / kSecondsPerDay;
  return static_cast<double>(day) + (day < 0 ? -time : time);
}

Date Date::DatePart() const { return Date(DayNumber() * kSecondsPerDay); }

std::string Date::ToText() const {
  char buffer[48];
  const Civil c = CivilFromDays(DayNumber() + kZeroDateDays);
  if (HasTime()) {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d %02d:%02d:%02d",
                  static_cast<long long>(c.y), c.m, c.d, Hour(), Minute(),
                  Second());
  } else {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d",
                  static_cast<long long>(c.y), c.m, c.d);
  }
  return buffer;
}

}  // namespace zsepa
