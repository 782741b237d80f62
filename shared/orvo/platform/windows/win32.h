// The Windows headers as every unit of this folder includes them: WinSock 2 before
// windows.h (which would otherwise bring the old winsock.h), without the min/max macros and
// the rarely used parts of the API.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

namespace orvo::platform::windows {

// The system's message for a Windows error code or HRESULT (FormatMessageA, system source,
// default language), without trailing line ends; "" when the system has none.
std::string formatSystemMessage(DWORD inCode);

// Starts WinSock 2 once for the process (never cleaned up); false when it cannot start.
bool startWinsock();

}  // namespace orvo::platform::windows
