#include "checks/calendar.h"

#include <cmath>
#include <cstdint>

namespace zsepa::checks {

Date EasterSunday(int year) {
  const int a = year % 19;
  const int b = year / 100;
  const int c = year % 100;
  const int d = b / 4;
  const int e = b % 4;
  const int f = (b + 8) / 25;
  const int g = (b - f + 1) / 3;
  const int h = (19 * a + b - d - g + 15) % 30;
  const int i = c / 4;
  const int k = c % 4;
  const int l = (32 + 2 * e + 2 * i - h - k) % 7;
  const int m = (a + 11 * h + 22 * l) / 451;
  const int month = (h + l - 7 * m + 114) / 31;
  const int day = (h + l - 7 * m + 114) % 31 + 1;
  return Date::FromParts(year, month, day);
}

bool IsTargetClosingDay(const Date& date) {
  // The zero date, 30 December 1899, was a Saturday.
  const int64_t days = static_cast<int64_t>(std::floor(date.Serial()));
  const int64_t weekday = ((days % 7) + 7) % 7;  // 0 Saturday, 1 Sunday
  if (weekday <= 1) return true;
  const int month = date.Month();
  const int day = date.Day();
  if ((month == 1 && day == 1) || (month == 5 && day == 1) ||
      (month == 12 && (day == 25 || day == 26))) {
    return true;
  }
  const Date easter = EasterSunday(date.Year());
  const Date day_only = date.DatePart();
  return day_only ==
             Date::FromParts(date.Year(), easter.Month(), easter.Day() - 2) ||
         day_only ==
             Date::FromParts(date.Year(), easter.Month(), easter.Day() + 1);
}

}  // namespace zsepa::checks
