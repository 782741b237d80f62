#include "orvo/platform/kxdebugger.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {

bool isDebuggerAttached() { return IsDebuggerPresent() != FALSE; }

// Without a debugger DebugBreak would raise an exception nobody handles and end the process.
void debugBreak() {
  if (isDebuggerAttached()) DebugBreak();
}

}  // namespace orvo::platform
