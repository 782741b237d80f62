#include "orvo/debug/kxsysteminfo.h"

#include <cstring>

#include "orvo/platform/kxsystemtext.h"

namespace {
constexpr const char* kPlatformNames[] = {"Unknown", "Windows", "MacOS",   "Linux",
                                          "SunOS",   "MacOS-X", "FreeBSD", "HP-UX"};
constexpr char kPlatformLetters[] = "UWMLSXFH";
constexpr int32_t kPlatformCount = 8;
}  // namespace

std::string kxGetSystemErrorText(uint32_t inCode) {
  std::string text = orvo::platform::systemErrorText(inCode);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string kxGetOSVersionText(bool inWithVendor, bool inWithBuild) {
  orvo::platform::OSVersion version;
  if (!orvo::platform::osVersion(version)) return std::string();
  std::string text;
  if (inWithVendor && !version.distribution.empty()) text.append(version.distribution).append(" ");
  text.append(version.kernelName)
      .append(" v")
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
