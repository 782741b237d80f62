#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "orvo/platform/kxconsoleinput.h"

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
namespace {

// The settings to restore; written before the handlers are installed, read by them.
termios gSaved;
volatile sig_atomic_t gEchoOff = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction gPrevious[4];

void restoreAndRaise(int inSignal) {
  if (gEchoOff) tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
  gEchoOff = 0;
  signal(inSignal, SIG_DFL);
  raise(inSignal);
}

}  // namespace

bool standardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

TerminalEchoOff::TerminalEchoOff() {
  if (!standardInputIsTerminal() || tcgetattr(STDIN_FILENO, &gSaved) != 0) return;
  struct sigaction action = {};
  action.sa_handler = restoreAndRaise;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
  termios quiet = gSaved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  itsActive = true;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0) gEchoOff = 1;
}

TerminalEchoOff::~TerminalEchoOff() {
  if (!itsActive) return;
  if (gEchoOff) tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
  gEchoOff = 0;
  for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
}

void startHeapDiagnostics() {}

bool checkHeap() {
#ifdef ORVO_HAS_ASAN
  return __lsan_do_recoverable_leak_check() == 0;
#else
  return true;
#endif
}

}  // namespace orvo::platform
