// kxIPv4Address::parse: never reads past the counted text, leaves 0.0.0.0 on failure, and
// everything it accepts the recogniser accepts too and prints back to the same value; it
// agrees with inet_pton except for the reverse-lookup name.
#include <arpa/inet.h>

#include <cstddef>
#include <cstring>
#include <cstdint>
#include <string>

#include "orvo/util/kxipaddressstatemachine.h"
#include "orvo/util/kxipv4address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  const std::string text(reinterpret_cast<const char*>(inData), inSize);
  kxIPv4Address address(1, 2, 3, 4);
  const bool ok = address.parse(text.data(), uint32_t(text.size()));
  if (text.find('\0') == std::string::npos) {
    uint8_t peer[4];
    const bool peerOk = inet_pton(AF_INET, text.c_str(), peer) == 1;
    const uint32_t value = address.getAddress();
    if (peerOk && (!ok || std::memcmp(peer, &value, 4) != 0)) __builtin_trap();
    if (ok && !peerOk && text.find(".in-addr.arpa.") == std::string::npos) __builtin_trap();
  }
  if (!ok) {
    if (address.isLegal()) __builtin_trap();
    return 0;
  }
  kxIPAddressStateMachine machine(true, false);
  if (!machine.processString(text.data(), uint32_t(text.size()))) __builtin_trap();
  const std::string printed = address.toString();
  kxIPv4Address again;
  if (!again.parse(printed.data(), uint32_t(printed.size())) || !(again == address)) __builtin_trap();
  if (!machine.isArpaFormat() && printed != text) __builtin_trap();
  return 0;
}
