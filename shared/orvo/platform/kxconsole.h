// The console as the prompts need it: the type-ahead of a terminal on standard input, and
// single keys read from it without echo (standardInputIsTerminal() in kxconsoleinput.h tells
// whether there is one).
#pragma once

#include <memory>

namespace orvo::platform {

// True when standard error is a terminal: where a long run may show its progress.
bool standardErrorIsTerminal();

// Drops what was typed at the terminal and not read yet. Input that is not a terminal (a
// pipe, a file) is left alone: there it is the answers themselves, not stray keys.
void discardConsoleTypeAhead();

// Reads single keys from the terminal on standard input, without echo and without the
// terminal's line editing or signal keys, while it lives; the terminal's settings come back
// when it is destroyed. Codes follow the console convention the library was written for:
// Enter is 13 (or 10), Ctrl-C 3, Ctrl-D 4, the terminal's erase key 8, and a cursor or
// function key arrives as 0 followed by one more code.
class ConsoleKeyReader {
 public:
  static constexpr int kEndOfInput = -1;

  ConsoleKeyReader();
  ~ConsoleKeyReader();
  ConsoleKeyReader(const ConsoleKeyReader&) = delete;
  ConsoleKeyReader& operator=(const ConsoleKeyReader&) = delete;

  // False when standard input is not a terminal; readKey() then always ends.
  bool isOpen() const { return itsSettings != nullptr; }

  // The next key code, or kEndOfInput when the terminal is gone.
  int readKey();

 private:
  struct Settings;
  int readByte(int inTimeoutMs);

  std::unique_ptr<Settings> itsSettings;
  int itsPending = kEndOfInput;
};

}  // namespace orvo::platform
