#include "orvo/platform/kxclock.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {

uint32_t tickCount() { return GetTickCount(); }

LocalTime localTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wDayOfWeek, now.wHour, now.wMinute, now.wSecond,
                   now.wMilliseconds};
}

}  // namespace orvo::platform
