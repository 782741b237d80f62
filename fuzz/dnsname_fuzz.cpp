// The DNS name recogniser: the whole-text fast feed agrees with character steps for every
// option set, and the label helpers handle whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "orvo/dns/kxdnsstatemachine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  const char* text = reinterpret_cast<const char*>(inData);
  for (int options = 0; options < 8; ++options) {
    if ((options & 4) != 0 && (options & 1) == 0) continue;  // an invalid combination
    kxDNSStateMachine fast((options & 1) != 0, (options & 2) != 0, (options & 4) != 0);
    kxDNSStateMachine stepped((options & 1) != 0, (options & 2) != 0, (options & 4) != 0);
    if (fast.recognise(text, uint32_t(inSize)) != stepped.processString(text, uint32_t(inSize)) ||
        fast.getCharCount() != stepped.getCharCount())
      __builtin_trap();
  }
  const std::string name(text, inSize);
  if (!isValidDomainName(name, false) || name.find('\0') != std::string::npos) return 0;
  const int labels = countLabels(name.c_str());
  std::vector<char> buffer(name.size() + 2);
  for (int n = 0; n <= labels + 1; ++n) (void)getLastLabels(name.c_str(), n, buffer.data());
  if (countCommonLabels(name.c_str(), name.c_str()) != labels) __builtin_trap();
  if (name.back() == '.' && name.size() < 256) {
    std::strcpy(buffer.data(), name.c_str());
    dottedToWireName(buffer.data());
    wireToDottedName(buffer.data());
    if (name != buffer.data()) __builtin_trap();
  }
  return 0;
}
