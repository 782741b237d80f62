// Date and time texts: parsing any text must not crash, and a parsed date must be a real day
// of 1970 to 2050 whose text forms parse back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "orvo/util/kxdate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize == 0) return 0;
  const int32_t format = inData[0] % 5;
  const std::string text(reinterpret_cast<const char*>(inData) + 1, inSize - 1);
  kxDate date;
  if (kxDate::parse(text, date, format)) {
    if (date.getYear() < 1970 || date.getYear() > 2050 ||
        date.getDay() > kxDate::daysInMonth(date.getMonth(), date.getYear()))
      std::abort();
    for (int32_t textFormat = 0; textFormat <= 3; ++textFormat) {
      kxDate back;
      if (!kxDate::parse(date.getText(textFormat, true, false), back, textFormat == 0 ? 0 : textFormat) ||
          !(back == date))
        std::abort();
    }
    if (!(kxDate::fromDayNumber(date.getDayNumber()) == date)) std::abort();
  }
  kxTime time;
  kxTime::parse(text, time);
  return 0;
}
