// Platform threads: ids, creation in the suspended state, suspend counts, the end signal, exit
// codes, and each thread's own pseudo-random sequence. CreateThread (CREATE_SUSPENDED),
// ResumeThread, SuspendThread, GetExitCodeThread, CloseHandle, GetCurrentThreadId and the
// C runtime's per-thread srand/rand on Windows, where a Thread is the thread's HANDLE and
// threadEnd() that same handle.
//
// POSIX has no way to stop another thread from outside. Here suspension takes effect at the
// suspended thread's next wait or sleep (waitForAny, sleepFor in kxwait.h, selectSockets in
// kxsocket.h), or when the one it is in ends: the thread stays there until it is resumed. A thread that never waits runs
// on. A new thread has a suspend count of 1 and starts running its entry when resumed.
//
// There is no forced end either: closeThread() on a thread that is still running lets it run
// on detached, and its resources go when it ends. waitForDetachedThreads() lets a process
// wait a bounded time for such threads before it exits.
#pragma once

#include <cstdint>

#include "orvo/platform/kxwait.h"

namespace orvo::platform {

class Thread;

// GetExitCodeThread's answer for a thread that has not ended.
inline constexpr uint32_t kStillActive = 259;
// suspendThread() and resumeThread() on a null thread.
inline constexpr uint32_t kSuspendFailed = 0xFFFFFFFFu;

using ThreadEntry = uint32_t (*)(void* inArgument);

// The calling thread's id; never 0. Ids are unique among the threads alive at one time.
// Every kxMemMutex lock asks for it, so here it is a per-thread cache read inline.
#ifdef _WIN32
uint32_t currentThreadId();
#else
namespace posix {
extern __thread uint32_t tCurrentThreadId __attribute__((tls_model("initial-exec")));
uint32_t fetchCurrentThreadId();
}  // namespace posix
inline uint32_t currentThreadId() {
  const uint32_t cached = posix::tCurrentThreadId;
  return cached != 0 ? cached : posix::fetchCurrentThreadId();
}
#endif

// A thread that runs inEntry(inArgument) once resumed; outId is its id. Null when the system
// cannot create one.
Thread* createSuspendedThread(ThreadEntry inEntry, void* inArgument, uint32_t& outId);

// Raise or lower the suspend count; each returns the count before the call.
uint32_t suspendThread(Thread* inThread);
uint32_t resumeThread(Thread* inThread);

// Signalled once the thread's entry has returned.
Waitable* threadEnd(Thread* inThread);
// The entry's result once it has returned, kStillActive before.
uint32_t threadExitCode(Thread* inThread);

// Releases the handle; a thread still running runs on, detached. Null is ignored.
void closeThread(Thread* inThread);

// Waits until every thread that was detached while running has ended, at most inTimeout
// milliseconds (-1: no limit); false when some still run.
bool waitForDetachedThreads(int32_t inTimeout);

// The calling thread's pseudo-random sequence (srand/rand), apart from other threads'.
void seedThreadRandom(uint32_t inSeed);
uint32_t threadRandom();

}  // namespace orvo::platform
