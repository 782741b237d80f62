#include <termios.h>
#include <unistd.h>

#include <memory>

#include "orvo/platform/kxconsoleinput.h"
#include "orvo/platform/posix/terminalsettingsguard.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVO_HAS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ORVO_HAS_ASAN 1
#endif
#ifdef ORVO_HAS_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace orvo::platform {

struct TerminalEchoOff::Settings {
  Settings(const termios& inSaved, const termios& inQuiet) : guard(inSaved, inQuiet) {}

  posix::TerminalSettingsGuard guard;
};

bool standardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

TerminalEchoOff::TerminalEchoOff() {
  termios saved;
  if (!standardInputIsTerminal() || tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  auto settings = std::make_unique<Settings>(saved, quiet);
  if (settings->guard.isActive()) itsSettings = std::move(settings);
}

TerminalEchoOff::~TerminalEchoOff() = default;

void startHeapDiagnostics() {}

bool checkHeap() {
#ifdef ORVO_HAS_ASAN
  return __lsan_do_recoverable_leak_check() == 0;
#else
  return true;
#endif
}

}  // namespace orvo::platform
