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
  std::string kernelName;    // e.g. "Linux", "Windows"
  unsigned major = 0;        // kernel release numbers, e.g. 6.1.0; Windows: major, minor, build
  unsigned minor = 0;
  unsigned patch = 0;
  // Windows only (the version record's platform id and product type); -1 and 0 elsewhere.
  int family = -1;           // 0 Win32s, 1 Windows 9x, 2 Windows NT
  int productType = 0;       // 1 workstation, 2 domain controller, 3 server
};

// Fills outVersion; false when the system does not tell.
bool osVersion(OSVersion& outVersion);

}  // namespace orvo::platform
