#include "orvo/platform/kxconsole.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "orvo/platform/kxconsoleinput.h"
#include "orvo/platform/posix/terminalsettingsguard.h"

namespace orvo::platform {

namespace {

// How long the bytes after ESC may take to arrive and still count as one key's sequence;
// a terminal sends them together, a person pressing Esc does not follow it that fast.
constexpr int kSequenceGapMs = 50;
constexpr int kEscape = 27;

}  // namespace

struct ConsoleKeyReader::Settings {
  Settings(const termios& inSaved, const termios& inRaw) : saved(inSaved), guard(inSaved, inRaw) {}

  termios saved;
  posix::TerminalSettingsGuard guard;
};

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void discardConsoleTypeAhead() {
  if (standardInputIsTerminal()) ::tcflush(STDIN_FILENO, TCIFLUSH);
}

ConsoleKeyReader::ConsoleKeyReader() {
  termios saved;
  if (!standardInputIsTerminal() || ::tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // Applied with TCSANOW, not TCSAFLUSH: keys typed before the prompt still count. A signal
  // that ends the process meanwhile gives the terminal its settings back first.
  auto settings = std::make_unique<Settings>(saved, raw);
  if (settings->guard.isActive()) itsSettings = std::move(settings);
}

ConsoleKeyReader::~ConsoleKeyReader() = default;

// One byte, or kEndOfInput when none comes within inTimeoutMs (-1: wait for ever) or the
// terminal is gone.
int ConsoleKeyReader::readByte(int inTimeoutMs) {
  for (;;) {
    pollfd wanted{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&wanted, 1, inTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return kEndOfInput;
    unsigned char byte;
    const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
    if (got == 1) return byte;
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return kEndOfInput;
  }
}

int ConsoleKeyReader::readKey() {
  if (!itsSettings) return kEndOfInput;
  if (itsPending != kEndOfInput) {
    const int pending = itsPending;
    itsPending = kEndOfInput;
    return pending;
  }
  const int byte = readByte(-1);
  const cc_t erase = itsSettings->saved.c_cc[VERASE];
  if (byte == 127 || (byte >= 0 && erase != _POSIX_VDISABLE && byte == erase)) return 8;
  if (byte != kEscape) return byte;

  // ESC [ parameters final, or ESC O final: one cursor or function key.
  const int introducer = readByte(kSequenceGapMs);
  if (introducer != '[' && introducer != 'O') {
    itsPending = introducer;
    return kEscape;
  }
  int last = introducer == 'O' ? readByte(kSequenceGapMs) : introducer;
  if (introducer == '[') {
    do last = readByte(kSequenceGapMs);
    while (last >= 0x20 && last <= 0x3F);
  }
  if (last == kEndOfInput) return kEscape;
  itsPending = last;
  return 0;
}

}  // namespace orvo::platform
