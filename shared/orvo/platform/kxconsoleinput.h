// Console input that must not be shown: reading a password from a terminal.
#pragma once

#include <memory>

namespace orvo::platform {

// True when standard input is a terminal.
bool standardInputIsTerminal();

// While it lives, the terminal on standard input does not echo what is typed. The previous
// settings come back when it ends, and also when a signal ends or stops the process meanwhile
// (the exit status stays that of the signal). Does nothing when standard input is not a
// terminal.
class TerminalEchoOff {
 public:
  TerminalEchoOff();
  ~TerminalEchoOff();
  TerminalEchoOff(const TerminalEchoOff&) = delete;
  TerminalEchoOff& operator=(const TerminalEchoOff&) = delete;

 private:
  struct Settings;
  std::unique_ptr<Settings> itsSettings;
};

// Heap diagnostics of the process. In builds with AddressSanitizer every heap access is
// checked as it happens and LeakSanitizer reports leaks at exit, so starting them needs
// nothing; checkHeap() runs a leak check now and gives false when it found leaks. Builds
// without the sanitizer have no such runtime: checkHeap() gives true.
void startHeapDiagnostics();
bool checkHeap();

}  // namespace orvo::platform
