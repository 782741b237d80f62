// Allocation failures in the middle of the thread machinery: a wait whose registration cannot
// grow, and a start() whose every allocation in turn fails. Whatever fails, no lock stays
// held, no wait stays registered, and no run begins on an object that start() gave up.
//
// This program replaces the global allocation operators: on the thread that asks for it, the
// allocations after the first inAllowed ones throw std::bad_alloc. ThreadSanitizer's runtime
// defines those operators itself, so this program stays out of the ThreadSanitizer run, which
// takes the test files that name the standard or the library's thread class: it starts its
// threads through std::async and the tests' FunctionThread only.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#ifdef _WIN32
#include <malloc.h>
#endif
#include <new>

#include "orvo/platform/kxwait.h"
#include "orvo/platform/kxwaitableevent.h"
#include "orvo/threads/kxthread.h"
#include "support/kxfunctionthread.h"

namespace {

// Allocations this thread may still make before they fail; negative: no limit.
thread_local long tAllowed = -1;

void* allocate(std::size_t inSize, std::size_t inAlignment = 0) {
  if (tAllowed == 0) throw std::bad_alloc();
  if (tAllowed > 0) --tAllowed;
  const std::size_t size = inSize != 0 ? inSize : 1;
  void* block;
  if (inAlignment == 0)
    block = std::malloc(size);
  else
#ifdef _WIN32
    block = _aligned_malloc(size, inAlignment);
#else
    // aligned_alloc wants a size that is a multiple of the alignment.
    block = std::aligned_alloc(inAlignment, (size + inAlignment - 1) / inAlignment * inAlignment);
#endif
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void releaseAligned(void* inBlock) {
#ifdef _WIN32
  _aligned_free(inBlock);
#else
  std::free(inBlock);
#endif
}

void* allocateOrNull(std::size_t inSize, std::size_t inAlignment = 0) noexcept {
  try {
    return allocate(inSize, inAlignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Fails this thread's allocations after inAllowed more while it lives.
class FailingAllocations {
 public:
  explicit FailingAllocations(long inAllowed) { tAllowed = inAllowed; }
  ~FailingAllocations() { tAllowed = -1; }
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace

// Every form, so that none comes from the C++ runtime beside these.
void* operator new(std::size_t inSize) { return allocate(inSize); }
void* operator new[](std::size_t inSize) { return allocate(inSize); }
void* operator new(std::size_t inSize, const std::nothrow_t&) noexcept { return allocateOrNull(inSize); }
void* operator new[](std::size_t inSize, const std::nothrow_t&) noexcept { return allocateOrNull(inSize); }
void* operator new(std::size_t inSize, std::align_val_t inAlignment) {
  return allocate(inSize, static_cast<std::size_t>(inAlignment));
}
void* operator new[](std::size_t inSize, std::align_val_t inAlignment) {
  return allocate(inSize, static_cast<std::size_t>(inAlignment));
}
void* operator new(std::size_t inSize, std::align_val_t inAlignment, const std::nothrow_t&) noexcept {
  return allocateOrNull(inSize, static_cast<std::size_t>(inAlignment));
}
void* operator new[](std::size_t inSize, std::align_val_t inAlignment, const std::nothrow_t&) noexcept {
  return allocateOrNull(inSize, static_cast<std::size_t>(inAlignment));
}
void operator delete(void* inBlock) noexcept { std::free(inBlock); }
void operator delete[](void* inBlock) noexcept { std::free(inBlock); }
void operator delete(void* inBlock, std::size_t) noexcept { std::free(inBlock); }
void operator delete[](void* inBlock, std::size_t) noexcept { std::free(inBlock); }
void operator delete(void* inBlock, const std::nothrow_t&) noexcept { std::free(inBlock); }
void operator delete[](void* inBlock, const std::nothrow_t&) noexcept { std::free(inBlock); }
void operator delete(void* inBlock, std::align_val_t) noexcept { releaseAligned(inBlock); }
void operator delete[](void* inBlock, std::align_val_t) noexcept { releaseAligned(inBlock); }
void operator delete(void* inBlock, std::size_t, std::align_val_t) noexcept { releaseAligned(inBlock); }
void operator delete[](void* inBlock, std::size_t, std::align_val_t) noexcept { releaseAligned(inBlock); }
void operator delete(void* inBlock, std::align_val_t, const std::nothrow_t&) noexcept { releaseAligned(inBlock); }
void operator delete[](void* inBlock, std::align_val_t, const std::nothrow_t&) noexcept { releaseAligned(inBlock); }

namespace {

namespace platform = orvo::platform;
using namespace std::chrono_literals;

TEST(ThreadAllocationFailure, AWaitThatCannotRegisterLeavesNoLockHeld) {
  // New events: the first wait on each has to make room to register (on Windows the system
  // waits, and nothing is allocated).
  platform::Waitable* events[2] = {platform::createEvent(), platform::createEvent()};
  bool threw = false;
  {
    const FailingAllocations failing(0);
    try {
      platform::waitForAny(events, 2, 100);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
  }
#ifdef _WIN32
  EXPECT_FALSE(threw);
#else
  EXPECT_TRUE(threw);
#endif
  // Another thread can signal, and the next wait works as ever.
  auto set = std::async(std::launch::async, [&] { return platform::setEvent(events[1]); });
  if (set.wait_for(10s) != std::future_status::ready) {
    ADD_FAILURE() << "setEvent blocked: the failed wait left a lock held";
    std::_Exit(1);
  }
  EXPECT_TRUE(set.get());
  EXPECT_EQ(platform::waitForAny(events, 2, 1000), 1);
  for (platform::Waitable* event : events) platform::destroyEvent(event);
}

// Whether a run has begun on an object whose start() failed.
std::atomic<int> gRuns{0};

TEST(ThreadAllocationFailure, AStartThatFailsBeginsNoRun) {
  for (long allowed = 0;; ++allowed) {
    auto* thread = new orvo::test::FunctionThread(nullptr, [](orvo::test::FunctionThread&) { ++gRuns; });
    bool failed = false;
    {
      const FailingAllocations failing(allowed);
      try {
        thread->start();
      } catch (const std::bad_alloc&) {
        failed = true;
      }
    }
    if (!failed) {
      thread->join();
      EXPECT_EQ(gRuns.exchange(0), 1);
      delete thread;
      break;
    }
    EXPECT_EQ(thread->getHandle(), nullptr) << allowed;
    EXPECT_EQ(thread->getState(), orvo::test::FunctionThread::starting) << allowed;
    delete thread;
    // A thread made before the failure has ended by now, without running on the object.
    EXPECT_TRUE(orvo::test::FunctionThread::waitForAbandonedThreads(5000));
    EXPECT_EQ(gRuns.load(), 0) << "a run began after start() failed with " << allowed << " allocations allowed";
    ASSERT_LT(allowed, 100);
  }
}

}  // namespace
