// Changed settings of the terminal on standard input that never outlive the change: the
// one mechanism behind the no-echo password read and the key reader of the prompts.
#pragma once

#include <termios.h>

namespace orvo::platform::posix {

// Switches the terminal on standard input from inSaved to inChanged while it lives and puts
// inSaved back when it ends. Meanwhile a signal that would end the process first puts the
// terminal back and then ends the process with its default action (same exit status); one
// that stops it (SIGTSTP) puts it back for the stop and applies inChanged again on
// continuing. A signal the process ignores stays ignored; one it handles itself reaches its
// handler with the terminal put back, and inChanged is applied again if the process carries
// on. The previous handlers come back when the outermost guard ends. Guards nest; one thread
// at a time uses them.
class TerminalSettingsGuard {
 public:
  TerminalSettingsGuard(const termios& inSaved, const termios& inChanged);
  ~TerminalSettingsGuard();
  TerminalSettingsGuard(const TerminalSettingsGuard&) = delete;
  TerminalSettingsGuard& operator=(const TerminalSettingsGuard&) = delete;

  // False when the terminal refused the change; nothing is then restored.
  bool isActive() const { return itsActive; }

 private:
  // Puts the previous settings and handlers back (inside the constructor: undoes it).
  void release();

  termios itsSaved;
  termios itsOuterChanged;  // the enclosing guard's settings, applied again when this one ends
  bool itsActive = false;
  bool itsOutermost = false;
};

}  // namespace orvo::platform::posix
