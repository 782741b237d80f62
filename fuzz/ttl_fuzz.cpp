// parseTTL: any text; a success is never negative and a failure always -1.
#include <cstddef>
#include <cstdint>

#include "orvo/util/kxstringparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  int seconds = 7;
  const bool ok = parseTTL(reinterpret_cast<const char*>(inData), inSize, seconds);
  if (inSize == 0 && seconds != 7) __builtin_trap();
  if (inSize > 0 && (ok ? seconds < 0 : seconds != -1)) __builtin_trap();
  return 0;
}
