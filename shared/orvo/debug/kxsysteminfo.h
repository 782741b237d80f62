// Small system texts: the message for an error code, the OS version and the platform table.
#pragma once

#include <cstdint>
#include <string>

namespace orvo {

// The system's message for a 32-bit error code without trailing line ends; "" when the
// system has none.
std::string kxGetSystemErrorText(uint32_t inCode);

// The operating system's name and version. On Linux: the distribution's name and a blank
// when inWithVendor is true (from /etc/os-release, PRETTY_NAME), then the kernel name,
// " v" and the kernel's major.minor release, then ", Build " and the kernel's patch
// number when inWithBuild is true; e.g. "Debian GNU/Linux 12 (bookworm) Linux v6.1, Build 0".
// On Windows: "Microsoft " when inWithVendor is true, the product name of the version
// record (Windows 95, 98, NT, 2000, XP, Server 2003, Vista or Server 2008 for 6.x and
// later, as the library has always named them), " v", major.minor, and ", Build " with the
// build number when inWithBuild is true; e.g. "Microsoft Windows Vista v6.1".
// Empty when the system does not tell.
std::string kxGetOSVersionText(bool inWithVendor = true, bool inWithBuild = false);

// Platform table: 0 "Unknown" U, 1 "Windows" W, 2 "MacOS" M, 3 "Linux" L, 4 "SunOS" S,
// 5 "MacOS-X" X, 6 "FreeBSD" F, 7 "HP-UX" H.
const char* kxPlatformName(int32_t inIndex);      // "NONE" outside 0..7
char kxPlatformLetter(int32_t inIndex);           // 'X' outside 0..7
int32_t kxPlatformFromLetter(char inLetter);      // 8 when not a platform letter

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxGetSystemErrorText;
using orvo::kxGetOSVersionText;
using orvo::kxPlatformName;
using orvo::kxPlatformLetter;
using orvo::kxPlatformFromLetter;
#endif
