// Console keys through the C runtime's _getch(), which reads one key without echo; a cursor
// or function key comes as 0 or 0xE0 and a second code, given here as 0 and that code.
#include <conio.h>

#include "orvo/platform/kxconsole.h"
#include "orvo/platform/kxconsoleinput.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {

// While a reader lives, Ctrl-C is a key (3) and no signal.
struct ConsoleKeyReader::Settings {
  HANDLE input;
  DWORD saved;
};

bool standardErrorIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

void discardConsoleTypeAhead() {
  if (standardInputIsTerminal()) FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
}

ConsoleKeyReader::ConsoleKeyReader() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved;
  if (GetConsoleMode(input, &saved) == FALSE) return;
  if (SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT)) == FALSE) return;
  itsSettings = std::make_unique<Settings>(Settings{input, saved});
}

ConsoleKeyReader::~ConsoleKeyReader() {
  if (itsSettings) SetConsoleMode(itsSettings->input, itsSettings->saved);
}

int ConsoleKeyReader::readByte(int) { return _getch(); }

int ConsoleKeyReader::readKey() {
  if (!itsSettings) return kEndOfInput;
  if (itsPending != kEndOfInput) {
    const int pending = itsPending;
    itsPending = kEndOfInput;
    return pending;
  }
  const int key = readByte(-1);
  if (key == 0 || key == 0xE0) {
    itsPending = readByte(-1);
    return 0;
  }
  return key;
}

}  // namespace orvo::platform
