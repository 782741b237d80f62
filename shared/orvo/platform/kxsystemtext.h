// System texts: the message for a 32-bit error code and the operating system's version.
//
// The library speaks Windows error codes where a number crosses its interfaces (module not
// found 126, logon failure 0x52e, absent attribute 0x8000500D, ...). systemErrorText() gives
// the text for those codes from a table of our own; a code without a text gives "".
#pragma once

#include <cstdint>
#include <string>

namespace orvo::platform {

// The message text for a Windows error code or HRESULT, without a trailing line end, or ""
// when the code has none.
std::string systemErrorText(uint32_t inCode);

struct OSVersion {
  std::string distribution;  // e.g. "Debian GNU/Linux 12 (bookworm)", "" when unknown
  std::string kernelName;    // e.g. "Linux"
  unsigned major = 0;        // kernel release numbers, e.g. 6.1.0
  unsigned minor = 0;
  unsigned patch = 0;
};

// Fills outVersion; false when the system does not tell.
bool osVersion(OSVersion& outVersion);

}  // namespace orvo::platform
