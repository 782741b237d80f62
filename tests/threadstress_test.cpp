// Many threads at once for a fixed time: recursive locking, events set, reset, pulsed and
// waited on singly and in groups, children started and joined, and a ping-pong that loses
// its round if one wake-up is lost. Checked for its result; run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "orvo/threads/kxmemmutex.h"
#include "orvo/threads/kxmultievent.h"
#include "orvo/threads/kxsingleevent.h"
#include "orvo/threads/kxthread.h"
#include "orvo/threads/kxtimer.h"
#include "support/kxassertcapture.h"
#include "support/kxfunctionthread.h"

namespace {

using orvo::test::FunctionThread;

constexpr uint32_t kRunMilliseconds = 1500;
constexpr int kWorkers = 6;

TEST(ThreadStress, LocksEventsAndChildrenKeepTheirCounts) {
  kxMemMutex lock;
  int64_t guarded = 0;  // only under lock
  kxSingleEvent events[4];
  kxMultiEvent all(&events[0], &events[1], &events[2], &events[3]);
  std::atomic<int64_t> increments{0};
  std::atomic<int64_t> waits{0};
  std::atomic<int64_t> children{0};

  const auto work = [&](FunctionThread& inSelf) {
    uint32_t random = inSelf.getThreadID();
    int64_t mine = 0;
    for (uint32_t round = 0; !inSelf.getStopEvent().isSet(); ++round) {
      {
        kxStMutex outer(&lock);
        kxStMutex inner(&lock);
        ++guarded;
        ++mine;
      }
      random = random * 1103515245u + 12345u;
      kxSingleEvent& event = events[(random >> 16) % 4];
      switch ((random >> 20) % 4) {
        case 0: event.set(); break;
        case 1: event.reset(); break;
        case 2: event.pulse(); break;
        default: {
          kxEvent& target = (random >> 24) % 2 ? static_cast<kxEvent&>(all) : event;
          kxThread::waitForEvent(1, &target, target.getSetCount(), (random >> 25) % 2 != 0);
          ++waits;
        }
      }
      if (round % 64 == 0) {
        FunctionThread child([&](FunctionThread&) {
          kxStMutex hold(&lock);
          ++guarded;
          ++increments;
        });
        child.start();
        child.join();
        ++children;
      }
    }
    increments += mine;
  };

  std::vector<std::unique_ptr<FunctionThread>> workers;
  for (int i = 0; i < kWorkers; ++i) workers.push_back(std::make_unique<FunctionThread>(work));
  const size_t threadsBefore = kxThread::getNumThreads();
  const std::vector<std::string> reported = orvo::test::failedAssertions([&] {
    for (auto& worker : workers) worker->start();
    kxThread::waitForEvent(static_cast<int32_t>(kRunMilliseconds), nullptr, 0, false);
    for (auto& worker : workers) worker->stop(0);
    for (auto& worker : workers) worker->join();
  });
  EXPECT_EQ(reported, std::vector<std::string>{});

  EXPECT_EQ(guarded, increments.load());
  EXPECT_GT(increments.load(), int64_t{kWorkers});
  EXPECT_GT(waits.load(), 0);
  EXPECT_GT(children.load(), int64_t{kWorkers});
  EXPECT_FALSE(lock.isLocked());
  for (auto& worker : workers) {
    EXPECT_TRUE(worker->isStopped());
    EXPECT_EQ(worker->getErrorMessage().getErrorValue(), kxErr_noError);
  }
  EXPECT_EQ(kxThread::getNumThreads(), threadsBefore);
}

TEST(ThreadStress, PingPongLosesNoWakeUp) {
  kxSingleEvent ping, pong;
  std::atomic<int64_t> pings{0}, pongs{0};
  std::atomic<bool> lost{false};
  // Each side waits for its turn, clears it and hands the turn over; a lost wake-up would
  // leave both waiting until the 5-second limit.
  const auto side = [&lost](kxSingleEvent& inMine, kxSingleEvent& inOther, std::atomic<int64_t>& ioCount) {
    return [&](FunctionThread& inSelf) {
      kxMultiEvent turnOrStop(&inMine, &inSelf.getStopEvent());
      while (!inSelf.getStopEvent().isSet()) {
        if (kxThread::waitForEvent(5000, &turnOrStop, 0, false)) {
          lost = true;
          return;
        }
        if (!inMine.isSet()) continue;
        inMine.reset();
        ++ioCount;
        inOther.set();
      }
    };
  };
  FunctionThread left(side(ping, pong, pings));
  FunctionThread right(side(pong, ping, pongs));
  left.start();
  right.start();
  ping.set();
  kxThread::waitForEvent(static_cast<int32_t>(kRunMilliseconds), nullptr, 0, false);
  left.stop(0);
  right.stop(0);
  left.join();
  right.join();
  EXPECT_FALSE(lost.load());
  EXPECT_GT(pings.load(), 100);
  EXPECT_LE(pings.load() - pongs.load(), 1);
  EXPECT_GE(pings.load() - pongs.load(), 0);
}

}  // namespace
