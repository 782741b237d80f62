// parseNumberList: the first byte is the separator; a parsed list joins and parses back.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "orvo/util/kxstringparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize == 0) return 0;
  const char separator = char(inData[0]);
  const std::string text(reinterpret_cast<const char*>(inData + 1), inSize - 1);
  std::vector<int> signedValues;
  if (parseNumberList(text, separator, signedValues) && separator != '\0' && separator != '-' && separator != '+' &&
      (separator < '0' || separator > '9')) {
    std::vector<int> again;
    if (!parseNumberList(joinNumbers(signedValues, separator), separator, again) || again != signedValues)
      __builtin_trap();
  }
  std::vector<unsigned> unsignedValues;
  (void)parseNumberList(text, separator, unsignedValues);
  std::set<unsigned> unique;
  (void)parseNumberList(text, separator, unique);
  return 0;
}
