#include "orvo/debug/kxsysteminfo.h"

#include <cstring>

#include "orvo/platform/kxsystemtext.h"

namespace {
constexpr const char* kPlatformNames[] = {"Unknown", "Windows", "MacOS",   "Linux",
                                          "SunOS",   "MacOS-X", "FreeBSD", "HP-UX"};
constexpr char kPlatformLetters[] = "UWMLSXFH";
constexpr int32_t kPlatformCount = 8;

// The product name of a Windows version record.
std::string windowsProductName(const orvo::platform::OSVersion& inVersion) {
  switch (inVersion.family) {
    case 0:
      return "Win32s";
    case 1:
      return inVersion.major > 4 || (inVersion.major == 4 && inVersion.minor != 0) ? "Windows 98" : "Windows 95";
    case 2:
      if (inVersion.major >= 6) return inVersion.productType == 1 ? "Windows Vista" : "Windows Server 2008";
      if (inVersion.major != 5) return "Windows NT";
      if (inVersion.minor == 2) return "Windows Server 2003";
      if (inVersion.minor == 1) return "Windows XP";
      return "Windows 2000";
    default:
      return std::string();
  }
}

}  // namespace

namespace orvo {

std::string kxGetSystemErrorText(uint32_t inCode) {
  std::string text = orvo::platform::systemErrorText(inCode);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string kxGetOSVersionText(bool inWithVendor, bool inWithBuild) {
  orvo::platform::OSVersion version;
  if (!orvo::platform::osVersion(version)) return std::string();
  std::string text;
  if (version.family >= 0) {
    if (inWithVendor) text = "Microsoft ";
    text.append(windowsProductName(version));
  } else {
    if (inWithVendor && !version.distribution.empty()) text.append(version.distribution).append(" ");
    text.append(version.kernelName);
  }
  text.append(" v")
      .append(std::to_string(version.major))
      .append(".")
      .append(std::to_string(version.minor));
  if (inWithBuild) text.append(", Build ").append(std::to_string(version.patch));
  return text;
}

const char* kxPlatformName(int32_t inIndex) {
  return inIndex >= 0 && inIndex < kPlatformCount ? kPlatformNames[inIndex] : "NONE";
}

char kxPlatformLetter(int32_t inIndex) {
  return inIndex >= 0 && inIndex < kPlatformCount ? kPlatformLetters[inIndex] : 'X';
}

int32_t kxPlatformFromLetter(char inLetter) {
  if (inLetter == '\0') return kPlatformCount;
  const char* found = std::strchr(kPlatformLetters, inLetter);
  return found != nullptr ? static_cast<int32_t>(found - kPlatformLetters) : kPlatformCount;
}

}  // namespace orvo
