// isLOCField: the first byte picks the field kind, the rest is the text.
#include <cstddef>
#include <cstdint>

#include "orvo/util/kxstringparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize == 0) return 0;
  const unsigned kind = inData[0] % 8;
  (void)isLOCField(kind, reinterpret_cast<const char*>(inData + 1), inSize - 1, (inData[0] & 8) != 0);
  return 0;
}
