#include <memory>

#include "orvo/platform/kxconsoleinput.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {

struct TerminalEchoOff::Settings {
  HANDLE input;
  DWORD saved;
};

bool standardInputIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

TerminalEchoOff::TerminalEchoOff() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved;
  if (GetConsoleMode(input, &saved) == FALSE) return;
  if (SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) == FALSE) return;
  itsSettings = std::make_unique<Settings>(Settings{input, saved});
}

TerminalEchoOff::~TerminalEchoOff() {
  if (itsSettings) SetConsoleMode(itsSettings->input, itsSettings->saved);
}

// The C runtime here has no debug heap; the system heap's own consistency check stands in
// for it.
void startHeapDiagnostics() {}

bool checkHeap() { return HeapValidate(GetProcessHeap(), 0, nullptr) != FALSE; }

}  // namespace orvo::platform
