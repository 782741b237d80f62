// normalizeMACAddress: a success is always the 17-character form, and normalizing it
// again changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo/util/kxstringparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  const std::string text(reinterpret_cast<const char*>(inData), inSize);
  std::string normalized;
  if (!normalizeMACAddress(text.c_str(), normalized)) return 0;
  std::string again;
  if (normalized.size() != 17 || !normalizeMACAddress(normalized, again) || again != normalized) __builtin_trap();
  if (compactMACAddress(normalized).size() != 12) __builtin_trap();
  return 0;
}
