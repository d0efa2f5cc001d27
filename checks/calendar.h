#ifndef ZSEPA_CHECKS_CALENDAR_H_
#define ZSEPA_CHECKS_CALENDAR_H_

#include "zsepa/date.h"

namespace zsepa::checks {

// Easter Sunday of a Gregorian year (the anonymous Gregorian computation).
Date EasterSunday(int year);

// Whether the TARGET2 payment system is closed on the day of `date`:
// Saturdays and Sundays, 1 January, Good Friday, Easter Monday, 1 May, 25
// and 26 December.
bool IsTargetClosingDay(const Date& date);

}  // namespace zsepa::checks

#endif  // ZSEPA_CHECKS_CALENDAR_H_
