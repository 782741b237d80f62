// kxMemMutex and kxStMutex: recursion, ownership, blocking and the guard's levels.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "orvo/threads/kxmemmutex.h"
#include "orvo/threads/kxmutex.h"
#include "support/kxassertcapture.h"

namespace {

using orvo::test::failedAssertions;
using Strings = std::vector<std::string>;

TEST(MemMutex, RecursionCountsLevels) {
  kxMemMutex mutex;
  EXPECT_FALSE(mutex.isLocked());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(mutex.lock());
  const bool heldAfter[] = {true, true, false};
  for (bool held : heldAfter) {
    mutex.unlock();
    EXPECT_EQ(mutex.isLocked(), held);
  }
  // One unlock too many by the thread that held it changes nothing either.
  mutex.unlock();
  EXPECT_FALSE(mutex.isLocked());
  EXPECT_TRUE(mutex.lock());
  mutex.unlock();
}

TEST(MemMutex, OtherThreadsBlockUntilTheLastUnlockAndCannotUnlock) {
  kxMemMutex mutex;
  mutex.lock();
  mutex.lock();
  std::atomic<bool> acquired{false};
  std::thread other([&] {
    mutex.unlock();  // not the owner: ignored
    mutex.lock();
    acquired = true;
    mutex.unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(acquired.load());
  EXPECT_TRUE(mutex.isLocked());
  mutex.unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(acquired.load());  // still one level held
  mutex.unlock();
  other.join();
  EXPECT_TRUE(acquired.load());
  EXPECT_FALSE(mutex.isLocked());
}

TEST(MemMutex, DestroyingAHeldMutexIsReported) {
  auto mutex = std::make_unique<kxMemMutex>();
  mutex->lock();
  EXPECT_EQ(failedAssertions([&] { mutex.reset(); }), Strings{"!numLocks"});
}

TEST(StMutex, GuardHoldsOneLevelAndReleasesItOnce) {
  kxMemMutex mutex;
  {
    kxStMutex guard(&mutex);
    EXPECT_TRUE(mutex.isLocked());
    guard.unlock();
    EXPECT_FALSE(mutex.isLocked());
    guard.unlock();  // nothing left to release
    guard.lock();
    guard.lock();  // held: nothing more
    EXPECT_TRUE(mutex.isLocked());
    guard.unlock();
    EXPECT_FALSE(mutex.isLocked());
  }
  EXPECT_FALSE(mutex.isLocked());

  // On a mutex the thread holds already, the guard adds exactly one level.
  mutex.lock();
  {
    kxStMutex guard(&mutex);
    {
      kxStMutex inner(&mutex);
    }
    EXPECT_TRUE(mutex.isLocked());
  }
  EXPECT_TRUE(mutex.isLocked());
  mutex.unlock();
  EXPECT_FALSE(mutex.isLocked());

  EXPECT_EQ(failedAssertions([] { kxStMutex guard(nullptr); }), Strings{"itsMutex"});
}

}  // namespace
