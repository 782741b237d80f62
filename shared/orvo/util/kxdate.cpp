#include "orvo/util/kxdate.h"

#include <cstdio>
#include <istream>
#include <sstream>

#include "orvo/debug/kxassert.h"
#include "orvo/platform/kxclock.h"

namespace {

// Row 0 an ordinary year, row 1 a leap year; index 0 is not a month.
constexpr uint16_t days_pr_month[2][13] = {
    {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};
constexpr uint16_t kDaysBeforeMonth[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};
constexpr const char* kMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Leap days before 1 January of inYear in the day-number count (every fourth year from 1904).
int32_t leapDaysBefore(int32_t inYear) { return inYear > 1900 ? (inYear - 1901) / 4 : 0; }

char upperAscii(char inChar) { return (inChar >= 'a' && inChar <= 'z') ? char(inChar - 'a' + 'A') : inChar; }

// 1..12 for a whole-word month abbreviation in any letter case, 0 otherwise.
int monthFromName(const std::string& inWord) {
  if (inWord.size() != 3) return 0;
  for (int month = 1; month <= 12; ++month) {
    const char* name = kMonthNames[month];
    if (upperAscii(inWord[0]) == upperAscii(name[0]) && upperAscii(inWord[1]) == upperAscii(name[1]) &&
        upperAscii(inWord[2]) == upperAscii(name[2]))
      return month;
  }
  return 0;
}

bool atEnd(std::istream& inStream) {
  return inStream.peek() == std::char_traits<char>::eof();
}

bool isDigit(int inChar) { return inChar >= '0' && inChar <= '9'; }

// A number of a date after optional white space: digits only. Long runs of digits saturate,
// so they fail the range checks instead of overflowing.
bool readDateNumber(std::istream& ioStream, int& outValue) {
  ioStream >> std::ws;
  if (!isDigit(ioStream.peek())) return false;
  int value = 0;
  while (isDigit(ioStream.peek())) {
    const int digit = ioStream.get() - '0';
    value = value > 100000 ? value : value * 10 + digit;
  }
  outValue = value;
  return true;
}

}  // namespace

kxDate::kxDate(int32_t inFlag) : itsDay(1), itsMonth(1), itsYear(1900) {
  if (inFlag == 1) {
    const orvo::platform::LocalTime now = orvo::platform::localTime();
    itsDay = static_cast<uint16_t>(now.day);
    itsMonth = static_cast<uint16_t>(now.month);
    itsYear = static_cast<uint16_t>(now.year);
  }
}

kxDate::kxDate(uint16_t inDay, uint16_t inMonth, uint16_t inYear) : itsDay(inDay), itsMonth(inMonth), itsYear(inYear) {
  kxAssert((itsMonth >= 1) && (itsMonth <= 12));
  if (itsMonth >= 1 && itsMonth <= 12)
    kxAssert((itsDay >= 1) && (itsDay <= days_pr_month[isLeapYear()][itsMonth]));
}

kxDate kxDate::fromDayNumber(int32_t inDayNumber) {
  kxDate date;
  date.setDayNumber(inDayNumber);
  return date;
}

bool kxDate::isLeapYear(uint32_t inYear) {
  return inYear % 4 == 0 && (inYear % 100 != 0 || inYear % 400 == 0);
}

uint16_t kxDate::daysInMonth(uint16_t inMonth, uint16_t inYear) {
  if (inMonth < 1 || inMonth > 12) return 0;
  return days_pr_month[isLeapYear(inYear)][inMonth];
}

int32_t kxDate::getDayNumber() const {
  const int32_t year = itsYear;
  const uint16_t month = (itsMonth >= 1 && itsMonth <= 12) ? itsMonth : 1;
  return (year - 1900) * 365 + leapDaysBefore(year) + kDaysBeforeMonth[isLeapYear()][month] + itsDay - 1;
}

void kxDate::setDayNumber(int32_t inDayNumber) {
  int32_t year = inDayNumber / 365 + 1900;
  int32_t rest;
  for (;;) {
    rest = inDayNumber - (year - 1900) * 365;
    if (rest >= leapDaysBefore(year)) break;
    --year;
  }
  int32_t day = rest - leapDaysBefore(year);  // 0-based day of the year
  int row = isLeapYear(static_cast<uint32_t>(year));
  int month = (day - 1) / 31 + 1;  // truncates toward zero, so day 0 is in January
  day -= kDaysBeforeMonth[row][month];
  while (day >= days_pr_month[row][month]) {
    day -= days_pr_month[row][month];
    if (++month > 12) {
      month = 1;
      ++year;
      row = isLeapYear(static_cast<uint32_t>(year));
    }
  }
  itsYear = static_cast<uint16_t>(year);
  itsMonth = static_cast<uint16_t>(month);
  itsDay = static_cast<uint16_t>(day + 1);
  kxAssert(itsDay > 0);
}

std::string kxDate::getText(int32_t inFormat, bool inWithYear, bool inTwoDigitYear) const {
  char year[8];
  if (inTwoDigitYear)
    std::snprintf(year, sizeof year, "%02u", unsigned(itsYear % 100));
  else
    std::snprintf(year, sizeof year, "%u", unsigned(itsYear));
  const unsigned day = itsDay, month = itsMonth;
  char text[48];
  switch (inFormat) {
    case 1:
      if (inWithYear)
        std::snprintf(text, sizeof text, "%s-%02u-%02u", year, month, day);
      else
        std::snprintf(text, sizeof text, "%02u-%02u", month, day);
      break;
    case 2:
      std::snprintf(text, sizeof text, inWithYear ? "%02u.%02u.%s" : "%02u.%02u", day, month, year);
      break;
    case 3:
      std::snprintf(text, sizeof text, inWithYear ? "%02u/%02u/%s" : "%02u/%02u", month, day, year);
      break;
    default: {
      const char* name = (month >= 1 && month <= 12) ? kMonthNames[month] : "";
      std::snprintf(text, sizeof text, inWithYear ? "%s %u, %s" : "%s %u", name, day, year);
      break;
    }
  }
  return text;
}

bool kxDate::parse(const std::string& inText, kxDate& outDate, int32_t inFormat) {
  std::istringstream in(inText);
  in >> std::ws;
  int a = 0, b = 0, c = 0;
  char separator = 0;
  if (isDigit(in.peek())) {
    readDateNumber(in, a);
    separator = static_cast<char>(in.get());
    if (separator != '.' && separator != '/' && separator != '-') return false;
    if (!readDateNumber(in, b) || in.get() != separator || !readDateNumber(in, c)) return false;
    in >> std::ws;
  } else {
    if (inFormat != 0) return false;
    std::string word;
    if (!(in >> word)) return false;
    a = monthFromName(word);
    if (a == 0) return false;
    if (!readDateNumber(in, b)) return false;
    in >> std::ws;
    if (in.get() != ',' || !in.good()) return false;
    if (!readDateNumber(in, c)) return false;
    in >> std::ws;
    inFormat = 3;
  }
  if (!atEnd(in)) return false;

  if (inFormat == 0) {
    if (separator == '-' || a > 1969)
      inFormat = 1;
    else if (separator == '.')
      inFormat = 2;
    else
      inFormat = 3;
  }
  int year, month, day;
  switch (inFormat) {
    case 1: year = a, month = b, day = c; break;
    case 2: day = a, month = b, year = c; break;
    case 3: month = a, day = b, year = c; break;
    default: return false;
  }
  if (year < 70)
    year += 2000;
  else if (year <= 99)
    year += 1900;
  if (year < 1970 || year > 2050 || month < 1 || month > 12) return false;
  if (day < 1 || day > daysInMonth(static_cast<uint16_t>(month), static_cast<uint16_t>(year))) return false;
  outDate = kxDate(static_cast<uint16_t>(day), static_cast<uint16_t>(month), static_cast<uint16_t>(year));
  return true;
}

kxTime::kxTime(int32_t inFlag) : itsHours(0), itsMinutes(0), itsSeconds(0), itsMilliseconds(0) {
  if (inFlag == 1) {
    const orvo::platform::LocalTime now = orvo::platform::localTime();
    set(static_cast<int16_t>(now.hour), static_cast<int16_t>(now.minute), static_cast<int16_t>(now.second), 0);
  }
}

kxTime kxTime::fromMilliseconds(uint32_t inMilliseconds) {
  kxTime time;
  time.set(static_cast<int16_t>(inMilliseconds / 3600000), static_cast<int16_t>((inMilliseconds / 60000) % 60),
           static_cast<int16_t>((inMilliseconds / 1000) % 60), static_cast<int16_t>(inMilliseconds % 1000));
  return time;
}

void kxTime::set(int16_t inHours, int16_t inMinutes, int16_t inSeconds, int16_t inMilliseconds) {
  itsHours = inHours;
  itsMinutes = inMinutes;
  itsSeconds = inSeconds;
  itsMilliseconds = inMilliseconds;
}

int64_t kxTime::getMilliseconds() const {
  return (int64_t(itsHours) * 3600 + int64_t(itsMinutes) * 60 + itsSeconds) * 1000 + itsMilliseconds;
}

std::string kxTime::getText(const std::string& inSeparator, bool inWithSeconds) const {
  char hours[8], minutes[8], seconds[8];
  std::snprintf(hours, sizeof hours, "%02d", int(itsHours));
  std::snprintf(minutes, sizeof minutes, "%02d", int(itsMinutes));
  std::string text = hours + inSeparator + minutes;
  if (inWithSeconds) {
    std::snprintf(seconds, sizeof seconds, "%02d", int(itsSeconds));
    text += inSeparator + seconds;
  }
  return text;
}

bool kxTime::parse(const std::string& inText, kxTime& outTime) {
  std::istringstream in(inText);
  int16_t parts[4] = {0, 0, 0, 0};
  in >> std::ws;
  if (!(in >> parts[0]) || in.get() != ':' || !(in >> parts[1])) return false;
  for (int part = 2; part < 4 && !atEnd(in); ++part)
    if (in.get() != ':' || !(in >> parts[part])) return false;
  if (!atEnd(in)) return false;
  outTime.set(parts[0], parts[1], parts[2], parts[3]);
  return true;
}
