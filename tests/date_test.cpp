// kxDate and kxTime: day numbers over two centuries, the text forms and the tolerant parsers.
#include <gtest/gtest.h>

#include <string>

#include "orvo/util/kxdate.h"

namespace {

struct Ymd {
  int year, month, day;
};

::testing::AssertionResult isDate(const kxDate& inDate, Ymd inExpected) {
  if (inDate.getYear() == inExpected.year && inDate.getMonth() == inExpected.month && inDate.getDay() == inExpected.day)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << inDate.getYear() << "-" << inDate.getMonth() << "-" << inDate.getDay()
                                       << " is not " << inExpected.year << "-" << inExpected.month << "-"
                                       << inExpected.day;
}

TEST(Date, DayNumbersOfKnownDates) {
  struct Case {
    Ymd date;
    int32_t dayNumber;
  } cases[] = {
      {{1900, 1, 1}, 0},       {{1900, 12, 31}, 364},   {{1901, 1, 1}, 365},     {{1904, 2, 29}, 1519},
      {{2000, 3, 1}, 36584},   {{2026, 12, 8}, 46362},  {{2100, 12, 31}, 73413},
  };
  for (const Case& c : cases) {
    const kxDate date(uint16_t(c.date.day), uint16_t(c.date.month), uint16_t(c.date.year));
    EXPECT_EQ(date.getDayNumber(), c.dayNumber) << c.date.year << "-" << c.date.month << "-" << c.date.day;
    EXPECT_TRUE(isDate(kxDate::fromDayNumber(c.dayNumber), c.date));
  }
}

// Walks the calendar day by day from 1900 to 2100 (Gregorian rule, so 1900 and 2100 are not
// leap years but 2000 is) and checks both directions for every day.
TEST(Date, EveryDayFrom1900To2100RoundTrips) {
  int32_t expected = 0;
  std::string firstFailure;
  for (uint16_t year = 1900; year <= 2100; ++year)
    for (uint16_t month = 1; month <= 12; ++month) {
      const uint16_t length = kxDate::daysInMonth(month, year);
      for (uint16_t day = 1; day <= length; ++day, ++expected) {
        const kxDate back = kxDate::fromDayNumber(expected);
        if (firstFailure.empty() &&
            (kxDate(day, month, year).getDayNumber() != expected || back.getDay() != day ||
             back.getMonth() != month || back.getYear() != year))
          firstFailure = std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day);
      }
    }
  EXPECT_EQ(firstFailure, "");
  EXPECT_EQ(expected, 73414);
}

TEST(Date, LeapYearsAndAddDays) {
  EXPECT_TRUE(kxDate::isLeapYear(2000));
  EXPECT_FALSE(kxDate::isLeapYear(1900));
  EXPECT_FALSE(kxDate::isLeapYear(2100));
  EXPECT_TRUE(kxDate::isLeapYear(2024));
  EXPECT_EQ(kxDate::daysInMonth(2, 2000), 29);
  EXPECT_EQ(kxDate::daysInMonth(2, 1900), 28);

  kxDate date(28, 2, 2000);
  date.addDays(1);
  EXPECT_TRUE(isDate(date, {2000, 2, 29}));
  kxDate early(28, 2, 1900);
  early.addDays(1);
  EXPECT_TRUE(isDate(early, {1900, 3, 1}));
  kxDate yearEnd(31, 12, 2025);
  yearEnd.addDays(1);
  EXPECT_TRUE(isDate(yearEnd, {2026, 1, 1}));
  yearEnd.addDays(-366);
  EXPECT_TRUE(isDate(yearEnd, {2024, 12, 31}));

  EXPECT_TRUE(isDate(kxDate(), {1900, 1, 1}));
  EXPECT_GE(kxDate(1).getYear(), 2024);
}

// A month outside 1..12 is reported by an assertion; the date must still be usable without
// reading outside the month tables.
TEST(Date, OutOfRangeMonthIsReportedNotFatal) {
  const kxDate bad(1, 13, 2026);
  EXPECT_EQ(bad.getMonth(), 13);
  EXPECT_EQ(bad.getDayNumber(), kxDate(1, 1, 2026).getDayNumber());
  EXPECT_EQ(bad.getText(0, true, false), " 1, 2026");
  EXPECT_EQ(kxDate::daysInMonth(0, 2026), 0);
}

TEST(Date, TextForms) {
  const kxDate date(8, 12, 2026);
  struct Case {
    int32_t format;
    bool withYear, twoDigitYear;
    const char* expected;
  } cases[] = {
      {0, false, false, "Dec 8"},      {0, true, false, "Dec 8, 2026"}, {7, true, true, "Dec 8, 26"},
      {1, true, false, "2026-12-08"},  {1, false, false, "12-08"},      {1, true, true, "26-12-08"},
      {2, true, false, "08.12.2026"},  {2, false, false, "08.12"},      {3, true, false, "12/08/2026"},
      {3, true, true, "12/08/26"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(date.getText(c.format, c.withYear, c.twoDigitYear), c.expected) << c.format;
  EXPECT_EQ(kxDate(5, 1, 2005).getText(3, true, true), "01/05/05");
}

TEST(Date, Parse) {
  struct Case {
    const char* text;
    int32_t format;
    bool ok;
    Ymd expected;
  } cases[] = {
      {"2026-12-08", 0, true, {2026, 12, 8}},
      {"08.12.2026", 0, true, {2026, 12, 8}},
      {"12/08/2026", 0, true, {2026, 12, 8}},
      {"2026/12/08", 0, true, {2026, 12, 8}},
      {"dec 8, 2026", 0, true, {2026, 12, 8}},
      {"  DEC 8 ,2026  ", 0, true, {2026, 12, 8}},
      {"26-12-08", 0, true, {2026, 12, 8}},     // "-" means year first
      {"08/12/26", 2, true, {2026, 12, 8}},     // the caller's format wins
      {"12.08.26", 3, true, {2026, 12, 8}},
      {"1.1.70", 0, true, {1970, 1, 1}},
      {"29.2.2024", 0, true, {2024, 2, 29}},
      {"1.1.69", 0, false, {0, 0, 0}},                 // 2069 is after 2050
      {"31.12.2050", 0, true, {2050, 12, 31}},
      {"1.1.2051", 0, false, {0, 0, 0}},
      {"31.2.2026", 0, false, {0, 0, 0}},
      {"29.2.2025", 0, false, {0, 0, 0}},
      {"08.12-2026", 0, false, {0, 0, 0}},             // mixed separators
      {"08:12:2026", 0, false, {0, 0, 0}},
      {"Dec 8 2026", 0, false, {0, 0, 0}},             // no comma
      {"December 8, 2026", 0, false, {0, 0, 0}},
      {"Dec 8, 2026", 2, false, {0, 0, 0}},            // month names only when the format is free
      {"2026-12-08x", 0, false, {0, 0, 0}},
      {"2026-12", 0, false, {0, 0, 0}},
      {"", 0, false, {0, 0, 0}},
      {"13/13/2026", 0, false, {0, 0, 0}},
      // Numbers are digits only: no sign anywhere.
      {"1.1.-5", 0, false, {0, 0, 0}},
      {"2026-+12-08", 0, false, {0, 0, 0}},
      {"+8.12.2026", 0, false, {0, 0, 0}},
      {"dec -8, 2026", 0, false, {0, 0, 0}},
      {"dec 8, +2026", 0, false, {0, 0, 0}},
      {"08.12.99999999999999999999", 0, false, {0, 0, 0}},  // saturates, out of range
      {"2026- 12- 08", 0, true, {2026, 12, 8}},             // blanks before a number, as before
  };
  for (const Case& c : cases) {
    kxDate out(1, 1, 1999);
    EXPECT_EQ(kxDate::parse(c.text, out, c.format), c.ok) << c.text;
    if (c.ok)
      EXPECT_TRUE(isDate(out, c.expected)) << c.text;
    else
      EXPECT_TRUE(isDate(out, {1999, 1, 1})) << c.text << ": out changed on failure";
  }
}

TEST(Time, FromMillisecondsAndText) {
  const kxTime time = kxTime::fromMilliseconds(90061001);
  EXPECT_EQ(time.getHours(), 25);
  EXPECT_EQ(time.getMinutes(), 1);
  EXPECT_EQ(time.getSeconds(), 1);
  EXPECT_EQ(time.getMillisecondField(), 1);
  EXPECT_EQ(time.getMilliseconds(), 90061001);
  EXPECT_EQ(time.getText(":", true), "25:01:01");
  EXPECT_EQ(time.getText("", false), "2501");

  kxTime morning;
  morning.set(9, 5, 7, 999);
  EXPECT_EQ(morning.getText(":", true), "09:05:07");
  EXPECT_EQ(morning.getText(" h ", false), "09 h 05");
  EXPECT_EQ(kxTime().getText(), "00:00:00");
}

TEST(Time, MillisecondsOfLongTimesDoNotOverflow) {
  kxTime time;
  ASSERT_TRUE(kxTime::parse("999:0", time));
  EXPECT_EQ(time.getMilliseconds(), int64_t{999} * 3600000);
  time.set(32767, 59, 59, 999);
  EXPECT_EQ(time.getMilliseconds(), int64_t{32767} * 3600000 + 3599999);
  time.set(-32768, -1, 0, 0);
  EXPECT_EQ(time.getMilliseconds(), int64_t{-32768} * 3600000 - 60000);
}

TEST(Time, Parse) {
  struct Case {
    const char* text;
    bool ok;
    int h, m, s, ms;
  } cases[] = {
      {"7:5", true, 7, 5, 0, 0},         {" 07:05:09", true, 7, 5, 9, 0}, {"07:05:09:250", true, 7, 5, 9, 250},
      {"25:99:99", true, 25, 99, 99, 0},  // no range checks
      {"07:05x", false, 0, 0, 0, 0},     {"07", false, 0, 0, 0, 0},       {"07:", false, 0, 0, 0, 0},
      {"07:05:", false, 0, 0, 0, 0},     {"07:05:09:250:1", false, 0, 0, 0, 0},
      {"", false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    kxTime out;
    out.set(1, 2, 3, 4);
    EXPECT_EQ(kxTime::parse(c.text, out), c.ok) << c.text;
    kxTime expected;
    if (c.ok)
      expected.set(int16_t(c.h), int16_t(c.m), int16_t(c.s), int16_t(c.ms));
    else
      expected.set(1, 2, 3, 4);
    EXPECT_EQ(out, expected) << c.text;
  }
}

}  // namespace
