// Platform threads: a Thread is the thread's HANDLE and its end is that same handle.
// Threads start through the C runtime (_beginthreadex) so that its per-thread state, the
// rand() sequence among it, is set up and released with them.
//
// A thread whose handle is closed while it runs goes on; its handle is kept (a duplicate)
// until it has ended, so waitForDetachedThreads() can wait for it.
#include <process.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "orvo/platform/kxplatformthread.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {
namespace {

struct Start {
  ThreadEntry entry;
  void* argument;
};

unsigned __stdcall threadMain(void* inStart) {
  const Start start = *static_cast<Start*>(inStart);
  delete static_cast<Start*>(inStart);
  return start.entry(start.argument);
}

HANDLE handleOf(Thread* inThread) { return reinterpret_cast<HANDLE>(inThread); }

// Threads detached while running; never destroyed, so they can leave it during exit.
struct DetachedThreads {
  std::mutex itsLock;
  std::vector<HANDLE> itsHandles;  // guarded by itsLock

  // Called with itsLock held.
  void forgetEnded() {
    std::erase_if(itsHandles, [](HANDLE inHandle) {
      if (WaitForSingleObject(inHandle, 0) != WAIT_OBJECT_0) return false;
      CloseHandle(inHandle);
      return true;
    });
  }
};

DetachedThreads& detachedThreads() {
  static DetachedThreads* const theThreads = new DetachedThreads;
  return *theThreads;
}

}  // namespace

uint32_t currentThreadId() { return GetCurrentThreadId(); }

Thread* createSuspendedThread(ThreadEntry inEntry, void* inArgument, uint32_t& outId) {
  Start* const start = new (std::nothrow) Start{inEntry, inArgument};
  if (start == nullptr) return nullptr;
  unsigned id = 0;
  const uintptr_t handle = _beginthreadex(nullptr, 0, threadMain, start, CREATE_SUSPENDED, &id);
  if (handle == 0) {
    delete start;
    return nullptr;
  }
  outId = id;
  return reinterpret_cast<Thread*>(handle);
}

uint32_t suspendThread(Thread* inThread) {
  return inThread != nullptr ? SuspendThread(handleOf(inThread)) : kSuspendFailed;
}

uint32_t resumeThread(Thread* inThread) {
  return inThread != nullptr ? ResumeThread(handleOf(inThread)) : kSuspendFailed;
}

Waitable* threadEnd(Thread* inThread) { return reinterpret_cast<Waitable*>(inThread); }

uint32_t threadExitCode(Thread* inThread) {
  DWORD code = kStillActive;
  if (inThread == nullptr || GetExitCodeThread(handleOf(inThread), &code) == FALSE) return kStillActive;
  return code;
}

void closeThread(Thread* inThread) {
  if (inThread == nullptr) return;
  const HANDLE handle = handleOf(inThread);
  if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0) {
    // Held suspended, it would never end.
    for (DWORD previous = ResumeThread(handle); previous != kSuspendFailed && previous > 1;)
      previous = ResumeThread(handle);
    DetachedThreads& threads = detachedThreads();
    std::lock_guard<std::mutex> hold(threads.itsLock);
    threads.forgetEnded();
    threads.itsHandles.push_back(handle);
    return;
  }
  CloseHandle(handle);
}

bool waitForDetachedThreads(int32_t inTimeout) {
  const DWORD start = GetTickCount();
  DetachedThreads& threads = detachedThreads();
  for (;;) {
    HANDLE batch[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;
    {
      std::lock_guard<std::mutex> hold(threads.itsLock);
      threads.forgetEnded();
      if (threads.itsHandles.empty()) return true;
      for (HANDLE handle : threads.itsHandles) {
        if (count == MAXIMUM_WAIT_OBJECTS) break;
        // A copy, so the wait never holds a handle that another caller closes meanwhile.
        if (DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &batch[count], SYNCHRONIZE, FALSE, 0))
          ++count;
      }
    }
    DWORD left = INFINITE;
    if (inTimeout >= 0) {
      const DWORD spent = GetTickCount() - start;
      left = spent >= static_cast<DWORD>(inTimeout) ? 0 : static_cast<DWORD>(inTimeout) - spent;
    }
    const DWORD result = count > 0 ? WaitForMultipleObjects(count, batch, TRUE, left) : WAIT_FAILED;
    for (DWORD i = 0; i < count; ++i) CloseHandle(batch[i]);
    if (result == WAIT_FAILED) return false;
    if (result == WAIT_TIMEOUT) {
      std::lock_guard<std::mutex> hold(threads.itsLock);
      threads.forgetEnded();
      return threads.itsHandles.empty();
    }
  }
}

void seedThreadRandom(uint32_t inSeed) { std::srand(inSeed); }

uint32_t threadRandom() { return static_cast<uint32_t>(std::rand()); }

}  // namespace orvo::platform
