#include "orvo/platform/kxsystemtext.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {
namespace windows {

std::string formatSystemMessage(DWORD inCode) {
  char buffer[512];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, inCode,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace windows

std::string systemErrorText(uint32_t inCode) { return windows::formatSystemMessage(inCode); }

bool osVersion(OSVersion& outVersion) {
  // The extended record first, the basic one when the system does not know it.
  OSVERSIONINFOEXA extended{};
  extended.dwOSVersionInfoSize = sizeof extended;
  static_assert(sizeof(OSVERSIONINFOEXA) == 156 && sizeof(OSVERSIONINFOA) == 148);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  bool known = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) != FALSE;
  if (!known) {
    extended = OSVERSIONINFOEXA{};
    extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    known = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) != FALSE;
  }
#pragma GCC diagnostic pop
  if (!known) return false;
  outVersion.distribution.clear();
  outVersion.kernelName = "Windows";
  outVersion.major = extended.dwMajorVersion;
  outVersion.minor = extended.dwMinorVersion;
  outVersion.patch = extended.dwBuildNumber & 0xFFFFu;
  outVersion.family = static_cast<int>(extended.dwPlatformId);
  outVersion.productType = extended.wProductType;
  return true;
}

}  // namespace orvo::platform
