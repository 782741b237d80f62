#include "orvo/platform/kxclock.h"

#include <sys/time.h>
#include <time.h>

namespace orvo::platform {

uint32_t tickCount() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

LocalTime localTime() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts;
  localtime_r(&now.tv_sec, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_wday,
                   parts.tm_hour,        parts.tm_min,     parts.tm_sec,
                   static_cast<int>(now.tv_nsec / 1000000)};
}

}  // namespace orvo::platform
