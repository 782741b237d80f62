// Clocks the library reads: the 32-bit millisecond tick count (milliseconds since the
// system started, wrapping after about 49.7 days) and the local calendar time.
#pragma once

#include <cstdint>

namespace orvo::platform {

// Milliseconds since the system started, modulo 2^32.
uint32_t tickCount();

struct LocalTime {
  int year;         // full year, e.g. 2026
  int month;        // 1..12
  int day;          // 1..31
  int dayOfWeek;    // 0 = Sunday .. 6 = Saturday
  int hour;         // 0..23
  int minute;       // 0..59
  int second;       // 0..59 (60 for a leap second where the system reports one)
  int millisecond;  // 0..999
};

// The current local date and time of day.
LocalTime localTime();

}  // namespace orvo::platform
