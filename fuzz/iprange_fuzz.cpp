// parseIPRange and the texts made from its results.
#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo/util/kxstringparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  const std::string text(reinterpret_cast<const char*>(inData), inSize);
  kxIPv6 from;
  kxIPv6 to;
  uint16_t prefix = 0;
  if (!parseIPRange(text, from, to, prefix)) return 0;
  std::string subnet;
  if (prefix < 128 && !(from.isIPv4() && to.isIPv4())) {
    // A block: its own text names it again.
    if (!rangeSubnetText(from, to, subnet)) __builtin_trap();
    kxIPv6 again;
    kxIPv6 againTo;
    if (!parseIPRange(subnet, again, againTo) || !(again == from) || !(againTo == to)) __builtin_trap();
  } else if (from.isIPv4() && to.isIPv4()) {
    (void)rangeText(from, to);
  }
  return 0;
}
