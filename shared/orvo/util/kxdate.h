// Calendar dates and times of day.
//
// kxDate counts days from 1 January 1900 (day 0). Every fourth year from 1904 counts as a
// leap year, so day numbers agree with the calendar from 1900-01-01 to 2100-12-31; the
// validity checks and the leap-year test itself follow the Gregorian rule. kxTime is a time
// of day with a millisecond field; hours are not limited to 23 when a time is built from a
// millisecond count. Both are plain values; "today" and "now" come from the platform clock.
#pragma once

#include <cstdint>
#include <string>

class kxDate {
 public:
  // 1 January 1900, or today's local date when inFlag is 1.
  explicit kxDate(int32_t inFlag = 0);
  // Stores the values and reports a month or day out of range by an assertion.
  kxDate(uint16_t inDay, uint16_t inMonth, uint16_t inYear);
  static kxDate fromDayNumber(int32_t inDayNumber);

  uint16_t getDay() const { return itsDay; }
  uint16_t getMonth() const { return itsMonth; }
  uint16_t getYear() const { return itsYear; }

  bool isLeapYear() const { return isLeapYear(itsYear); }
  static bool isLeapYear(uint32_t inYear);
  static uint16_t daysInMonth(uint16_t inMonth, uint16_t inYear);

  int32_t getDayNumber() const;
  void setDayNumber(int32_t inDayNumber);
  void addDays(int32_t inDays) { setDayNumber(getDayNumber() + inDays); }

  // Format 1: [year-]MM-DD; 2: DD.MM[.year]; 3: MM/DD[/year]; any other: "Mon D[, year]".
  // The year is written in full, or as two digits with inTwoDigitYear.
  std::string getText(int32_t inFormat = 0, bool inWithYear = true, bool inTwoDigitYear = false) const;

  // inFormat: 0 decides from the text, 1 year-month-day, 2 day.month.year, 3 month/day/year
  // (also "Mon D, year" when inFormat is 0). Numbers are decimal digits only, no sign. Years
  // below 70 are 20xx, 70 to 99 are 19xx; the date must lie in 1970..2050. outDate is set
  // only on success.
  static bool parse(const std::string& inText, kxDate& outDate, int32_t inFormat = 0);

  bool operator==(const kxDate& inOther) const = default;

 private:
  uint16_t itsDay;
  uint16_t itsMonth;
  uint16_t itsYear;
};

class kxTime {
 public:
  // 00:00:00.000, or the local time now (milliseconds 0) when inFlag is 1.
  explicit kxTime(int32_t inFlag = 0);
  static kxTime fromMilliseconds(uint32_t inMilliseconds);

  void set(int16_t inHours, int16_t inMinutes, int16_t inSeconds, int16_t inMilliseconds = 0);

  int16_t getHours() const { return itsHours; }
  int16_t getMinutes() const { return itsMinutes; }
  int16_t getSeconds() const { return itsSeconds; }
  int16_t getMillisecondField() const { return itsMilliseconds; }
  // The whole time as milliseconds; 64 bits, since the parts are not limited (32767 hours
  // are over 2^31 milliseconds).
  int64_t getMilliseconds() const;

  // "HH<sep>MM[<sep>SS]"; milliseconds are never shown.
  std::string getText(const std::string& inSeparator = ":", bool inWithSeconds = true) const;

  // "H:M[:S[:ms]]" with nothing after it; no range checks. outTime is set only on success.
  static bool parse(const std::string& inText, kxTime& outTime);

  bool operator==(const kxTime& inOther) const = default;

 private:
  int16_t itsHours;
  int16_t itsMinutes;
  int16_t itsSeconds;
  int16_t itsMilliseconds;
};
