// Platform threads on pthreads.
//
// A Thread is shared by its handle and the running thread; whichever lets go last deletes
// it. Its end signal is a waitable of its own, shared further by the waits on it, so a wait
// may outlast the Thread (the handle closed, the thread ended). The creator learns the new
// thread's id from the thread itself before creation returns, and the thread then parks
// until it is resumed (it is created with a suspend count of 1). Suspension is cooperative: parkIfSuspended(), called by every wait and sleep
// on the way in and out, holds the thread while its count is above 0.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <new>

#include "orvo/platform/kxplatformthread.h"
#include "orvo/platform/posix/waitable.h"

namespace orvo::platform {

class Thread {
 public:
  Thread(ThreadEntry inEntry, void* inArgument, Waitable* inEnd)
      : itsEntry(inEntry), itsArgument(inArgument), itsEnd(inEnd) {}
  ~Thread() { itsEnd->release(); }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  void release() {
    if (itsRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  const ThreadEntry itsEntry;
  void* const itsArgument;
  pthread_t itsPthread{};
  Waitable* const itsEnd;
  std::atomic<uint32_t> itsExitCode{kStillActive};
  std::atomic<int> itsRefs{2};  // the handle and the running thread

  std::mutex itsLock;
  std::condition_variable itsChanged;
  uint32_t itsId = 0;            // guarded by itsLock until creation returns
  uint32_t itsSuspendCount = 1;  // guarded by itsLock
  bool itsEnded = false;         // guarded by itsLock
  bool itsDetached = false;      // guarded by itsLock
};

namespace {

thread_local Thread* tSelf = nullptr;
thread_local unsigned tRandomState = 1;

// Threads detached while running; never destroyed, so they can leave it during exit.
struct DetachedThreads {
  std::mutex itsLock;
  std::condition_variable itsEnded;
  size_t itsRunning = 0;
};

DetachedThreads& detachedThreads() {
  static DetachedThreads* const theThreads = new DetachedThreads;
  return *theThreads;
}

void* threadMain(void* inThread) {
  Thread* const self = static_cast<Thread*>(inThread);
  tSelf = self;
  {
    std::lock_guard<std::mutex> hold(self->itsLock);
    self->itsId = currentThreadId();
    self->itsChanged.notify_all();
  }
  posix::parkIfSuspended();
  const uint32_t code = self->itsEntry(self->itsArgument);
  tSelf = nullptr;

  bool detached;
  {
    std::lock_guard<std::mutex> hold(self->itsLock);
    self->itsExitCode.store(code, std::memory_order_release);
    self->itsEnded = true;
    detached = self->itsDetached;
  }
  self->itsEnd->set();
  if (detached) {
    DetachedThreads& threads = detachedThreads();
    std::lock_guard<std::mutex> hold(threads.itsLock);
    --threads.itsRunning;
    threads.itsEnded.notify_all();
  }
  self->release();
  return nullptr;
}

}  // namespace

namespace posix {

// The initial-exec model spares the TLS lookup call; its 4 bytes of the static TLS block
// are also there for libraries loaded at run time.
__thread uint32_t tCurrentThreadId __attribute__((tls_model("initial-exec"))) = 0;

uint32_t fetchCurrentThreadId() {
  tCurrentThreadId = static_cast<uint32_t>(::syscall(SYS_gettid));
  return tCurrentThreadId;
}

void parkIfSuspended() {
  Thread* const self = tSelf;
  if (self == nullptr) return;
  std::unique_lock<std::mutex> hold(self->itsLock);
  self->itsChanged.wait(hold, [self] { return self->itsSuspendCount == 0; });
}

}  // namespace posix

Thread* createSuspendedThread(ThreadEntry inEntry, void* inArgument, uint32_t& outId) {
  Waitable* const end = new (std::nothrow) Waitable(Waitable::Kind::threadEnd);
  if (end == nullptr) return nullptr;
  Thread* const thread = new (std::nothrow) Thread(inEntry, inArgument, end);
  if (thread == nullptr) {
    end->release();
    return nullptr;
  }
  if (pthread_create(&thread->itsPthread, nullptr, threadMain, thread) != 0) {
    delete thread;
    return nullptr;
  }
  std::unique_lock<std::mutex> hold(thread->itsLock);
  thread->itsChanged.wait(hold, [thread] { return thread->itsId != 0; });
  outId = thread->itsId;
  return thread;
}

uint32_t suspendThread(Thread* inThread) {
  if (inThread == nullptr) return kSuspendFailed;
  std::lock_guard<std::mutex> hold(inThread->itsLock);
  return inThread->itsSuspendCount++;
}

uint32_t resumeThread(Thread* inThread) {
  if (inThread == nullptr) return kSuspendFailed;
  std::lock_guard<std::mutex> hold(inThread->itsLock);
  const uint32_t previous = inThread->itsSuspendCount;
  if (previous > 0 && --inThread->itsSuspendCount == 0) inThread->itsChanged.notify_all();
  return previous;
}

Waitable* threadEnd(Thread* inThread) { return inThread != nullptr ? inThread->itsEnd : nullptr; }

uint32_t threadExitCode(Thread* inThread) {
  return inThread != nullptr ? inThread->itsExitCode.load(std::memory_order_acquire) : kStillActive;
}

void closeThread(Thread* inThread) {
  if (inThread == nullptr) return;
  bool ended;
  {
    std::lock_guard<std::mutex> hold(inThread->itsLock);
    ended = inThread->itsEnded;
    if (!ended) {
      DetachedThreads& threads = detachedThreads();
      std::lock_guard<std::mutex> holdCount(threads.itsLock);
      ++threads.itsRunning;
      inThread->itsDetached = true;
      // Held suspended, it would never end.
      inThread->itsSuspendCount = 0;
      inThread->itsChanged.notify_all();
    }
  }
  if (ended)
    pthread_join(inThread->itsPthread, nullptr);
  else
    pthread_detach(inThread->itsPthread);
  inThread->release();
}

bool waitForDetachedThreads(int32_t inTimeout) {
  DetachedThreads& threads = detachedThreads();
  std::unique_lock<std::mutex> hold(threads.itsLock);
  const auto none = [&threads] { return threads.itsRunning == 0; };
  const auto deadline = posix::deadlineAfter(inTimeout);
  if (!deadline) {
    threads.itsEnded.wait(hold, none);
    return true;
  }
  return threads.itsEnded.wait_until(hold, *deadline, none);
}

void seedThreadRandom(uint32_t inSeed) { tRandomState = inSeed; }

uint32_t threadRandom() { return static_cast<uint32_t>(rand_r(&tRandomState)); }

}  // namespace orvo::platform
