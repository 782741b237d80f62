// kxIPv6 from text: the counted and the NUL-terminated paths agree, inet_pton agrees
// (except that a group may have more than four digits here), and every accepted address
// prints as text that reads back to the same bytes.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "orvo/util/kxipv6.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  const std::string text(reinterpret_cast<const char*>(inData), inSize);
  uint8_t bytes[16];
  std::memset(bytes, 0x5A, 16);
  const bool ok = parseIPv6Text(text.data(), text.size(), bytes);
  const kxIPv6 fromText(text);
  if (text.find('\0') == std::string::npos) {
    // The constructor's rule: text with ':' is IPv6, anything else an IPv4 form.
    kxIPv6 expected;
    if (text.find(':') != std::string::npos) {
      if (ok) expected = kxIPv6(bytes);
    } else {
      kxIPv4Address address;
      if (address.parse(text.data(), uint32_t(text.size())) && address.isLegal()) expected = kxIPv6(address);
    }
    if (!(fromText == expected)) __builtin_trap();
  }
  if (text.find('\0') == std::string::npos) {
    uint8_t peer[16];
    const bool peerOk = inet_pton(AF_INET6, text.c_str(), peer) == 1;
    if (peerOk && (!ok || std::memcmp(peer, bytes, 16) != 0)) __builtin_trap();
    if (ok && !peerOk) {
      size_t run = 0;
      size_t longest = 0;
      for (char c : text) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        run = hex ? run + 1 : 0;
        if (run > longest) longest = run;
      }
      if (longest <= 4) __builtin_trap();
    }
  }
  for (const kxIPv6& address : {fromText, ok ? kxIPv6(bytes) : kxIPv6()}) {
    for (int flags = 0; flags < 4; ++flags) {
      const std::string printed = address.toText((flags & 1) != 0, (flags & 2) != 0);
      uint8_t again[16];
      if (!parseIPv6Text(printed.data(), printed.size(), again) || !(kxIPv6(again) == address)) __builtin_trap();
    }
    if (!(kxIPv6(address.toString()) == address) && address.isLegal()) __builtin_trap();
    (void)address.getReverseName();
  }
  return 0;
}
