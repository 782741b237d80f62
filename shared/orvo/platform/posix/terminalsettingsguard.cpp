#include "orvo/platform/posix/terminalsettingsguard.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <mutex>

namespace orvo::platform::posix {
namespace {

// Signals whose default action ends the process without a fault of its own, and SIGTSTP,
// whose default action stops it. Faults (SIGSEGV and the like) are left to their handlers.
constexpr int kSignals[] = {SIGHUP, SIGINT,  SIGQUIT,   SIGABRT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1,
                            SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPWR,  SIGTSTP};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Held by every guard from its construction to its end, so the guards of one thread nest
// and a second thread's guard waits until the first thread's are gone.
std::recursive_mutex gGuardLock;

// Written under gGuardLock with kSignals blocked on the writing thread; read by the handler.
termios gSaved;    // the settings found before the outermost guard
termios gChanged;  // the settings in force now
std::atomic<int> gChangedOn{0};  // lock-free, so the handler may read it
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount];
int gDepth = 0;

sigset_t handledSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kSignals) sigaddset(&set, number);
  return set;
}

// Holds kSignals back while the shared state changes; what arrives meanwhile is delivered
// when it ends.
class SignalsHeld {
 public:
  SignalsHeld() {
    const sigset_t held = handledSignals();
    pthread_sigmask(SIG_BLOCK, &held, &itsPrevious);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &itsPrevious, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t itsPrevious;
};

void onSignal(int inSignal, siginfo_t* inInfo, void* inContext);

struct sigaction ourAction() {
  struct sigaction action = {};
  action.sa_sigaction = onSignal;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  return action;
}

// Only async-signal-safe calls: tcsetattr on the stored settings, sigaction, sigprocmask, raise.
void onSignal(int inSignal, siginfo_t* inInfo, void* inContext) {
  const int savedErrno = errno;
  size_t index = 0;
  while (index < kSignalCount && kSignals[index] != inSignal) ++index;
  if (index == kSignalCount) return;
  if (gChangedOn) tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);

  const struct sigaction& previous = gPrevious[index];
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    previous.sa_sigaction(inSignal, inInfo, inContext);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(inSignal);
  } else {
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(inSignal, &fallback, nullptr);
    if (inSignal != SIGTSTP) {
      // Blocked while this handler runs: it ends the process as soon as the handler returns.
      raise(inSignal);
      errno = savedErrno;
      return;
    }
    // Stop here until SIGCONT, then take the signal over again.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    const struct sigaction ours = ourAction();
    sigaction(SIGTSTP, &ours, nullptr);
  }
  // The process carries on: back to the settings the guard keeps.
  if (gChangedOn) tcsetattr(STDIN_FILENO, TCSANOW, &gChanged);
  errno = savedErrno;
}

}  // namespace

TerminalSettingsGuard::TerminalSettingsGuard(const termios& inSaved, const termios& inChanged)
    : itsSaved(inSaved), itsOuterChanged(inSaved) {
  gGuardLock.lock();
  SignalsHeld held;
  itsOutermost = gDepth == 0;
  if (itsOutermost) {
    gSaved = inSaved;
    const struct sigaction ours = ourAction();
    for (size_t i = 0; i < kSignalCount; ++i) {
      gInstalled[i] = false;
      if (sigaction(kSignals[i], nullptr, &gPrevious[i]) != 0) continue;
      if ((gPrevious[i].sa_flags & SA_SIGINFO) == 0 && gPrevious[i].sa_handler == SIG_IGN) continue;
      gInstalled[i] = sigaction(kSignals[i], &ours, nullptr) == 0;
    }
  } else {
    itsOuterChanged = gChanged;
  }
  gChanged = inChanged;
  gChangedOn = 1;
  ++gDepth;
  itsActive = tcsetattr(STDIN_FILENO, TCSANOW, &inChanged) == 0;
  if (!itsActive) release();
}

TerminalSettingsGuard::~TerminalSettingsGuard() {
  if (itsActive) release();
}

void TerminalSettingsGuard::release() {
  SignalsHeld held;
  if (itsActive) tcsetattr(STDIN_FILENO, TCSANOW, &itsSaved);
  itsActive = false;
  --gDepth;
  if (!itsOutermost) {
    gChanged = itsOuterChanged;
  } else {
    gChangedOn = 0;
    for (size_t i = 0; i < kSignalCount; ++i)
      if (gInstalled[i]) sigaction(kSignals[i], &gPrevious[i], nullptr);
  }
  gGuardLock.unlock();
}

}  // namespace orvo::platform::posix
