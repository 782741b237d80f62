#include "orvo/platform/kxdebugger.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orvo::platform {

bool isDebuggerAttached() {
  // Linux names the tracing process in /proc/self/status; 0 means none.
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return false;
  char line[256];
  bool attached = false;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      attached = std::strtol(line + 10, nullptr, 10) != 0;
      break;
    }
  }
  std::fclose(status);
  return attached;
}

void debugBreak() {
  if (isDebuggerAttached()) std::raise(SIGTRAP);
}

}  // namespace orvo::platform
