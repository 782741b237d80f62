// kxIPv4Address::parseRange: a parsed range never runs backwards, and a block is aligned.
#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo/util/kxipv4address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  const std::string text(reinterpret_cast<const char*>(inData), inSize);
  for (bool allowRange : {false, true}) {
    kxIPv4Address from;
    kxIPv4Address to;
    if (!kxIPv4Address::parseRange(text, from, to, allowRange)) continue;
    if (from > to) __builtin_trap();
    if (!allowRange && kxIPv4Address::rangePrefixLength(from, to) > 32) __builtin_trap();
  }
  return 0;
}
