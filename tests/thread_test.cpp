// kxThread and kxMainThread: states, the registry, children, failures escaping run(),
// suspension, kill() giving up on a thread, what one thread may do to another's object at
// once (join while it is killed, suspend twice, delete while it ends), and the socket and
// event waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "orvo/debug/kxinfolog.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/messages/kxexception.h"
#include "orvo/platform/kxthreadmessages.h"
#include "orvo/threads/kxmainthread.h"
#include "orvo/threads/kxmultievent.h"
#include "orvo/threads/kxthread.h"
#include "orvo/threads/kxtimer.h"
#include "support/kxassertcapture.h"
#include "support/kxfunctionthread.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::test::failedAssertions;
using orvo::test::FunctionThread;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

// Waits for the stop event.
void untilStopped(FunctionThread& inSelf) { kxThread::waitForEvent(-1, &inSelf.getStopEvent(), 0, false); }

// Runs an action on the thread that writes the first trace line holding a text, at the point
// where the library writes it (with whatever locks it holds there), while the hook lives.
class TraceHook {
 public:
  TraceHook(const char* inText, std::function<void()> inAction) {
    text() = inText;
    action() = std::move(inAction);
    fired() = false;
    itsSavedLevel = kxGetTraceLevel();
    kxSetTraceLevel(2);
    kxInfoLogAddSink(&sink, kxInfoLogDebug);
  }
  ~TraceHook() {
    kxInfoLogRemoveSink(&sink);
    kxSetTraceLevel(itsSavedLevel);
  }
  TraceHook(const TraceHook&) = delete;
  TraceHook& operator=(const TraceHook&) = delete;

 private:
  // Sinks are called one at a time (under the log's lock).
  static bool sink(kxInfoLogLevel, const char* inLine) {
    if (!fired() && std::strstr(inLine, text()) != nullptr) {
      fired() = true;
      action()();
    }
    return true;
  }
  static const char*& text() {
    static const char* theText = "";
    return theText;
  }
  static std::function<void()>& action() {
    static std::function<void()> theAction;
    return theAction;
  }
  static bool& fired() {
    static bool theFired = false;
    return theFired;
  }
  uint8_t itsSavedLevel;
};

// Polls inDone until it holds or 10 s pass.
bool eventually(const std::function<bool()>& inDone) {
  for (int i = 0; i < 10000; ++i) {
    if (inDone()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return inDone();
}

TEST(Thread, LifecycleRegistryAndChildren) {
  FunctionThread* seen = nullptr;
  uint32_t seenId = 0;
  FunctionThread worker([&](FunctionThread& inSelf) {
    seen = static_cast<FunctionThread*>(kxThread::getCurrentThread());
    seenId = kxThread::getCurrentThreadID();
    untilStopped(inSelf);
  });
  // The creating thread is the main thread's object, registered by the first construction.
  EXPECT_EQ(kxThread::findThread(kxThread::getCurrentThreadID()), kxThread::getMainThread());
  EXPECT_EQ(worker.getState(), kxThread::starting);
  EXPECT_EQ(worker.getHandle(), nullptr);

  const size_t before = kxThread::getNumThreads();
  worker.start();
  EXPECT_EQ(worker.getState(), kxThread::running);
  EXPECT_NE(worker.getThreadID(), 0u);
  EXPECT_EQ(kxThread::findThread(worker.getThreadID()), &worker);
  EXPECT_EQ(kxThread::getNumThreads(), before + 1);
  EXPECT_FALSE(worker.getDoneEvent().isSet());

  worker.stop(7);
  worker.join();
  EXPECT_EQ(seen, &worker);
  EXPECT_EQ(seenId, worker.getThreadID());
  EXPECT_EQ(worker.getStopValue(), 7);
  EXPECT_TRUE(worker.isStopped());
  EXPECT_TRUE(worker.getDoneEvent().isSet());
  EXPECT_EQ(kxThread::findThread(worker.getThreadID()), nullptr);
  EXPECT_EQ(kxThread::getNumThreads(), before);
  EXPECT_EQ(worker.getErrorMessage().getErrorValue(), kxErr_noError);
}

TEST(Thread, ChildrenAreStoppedJoinedAndDeletedFromACopy) {
  FunctionThread parent([](FunctionThread& inSelf) {
    // Threads made on a thread are its children.
    for (int i = 0; i < 3; ++i) (new FunctionThread(untilStopped))->start();
    untilStopped(inSelf);
    inSelf.stopChildren(1);
    inSelf.joinChildren();
    inSelf.deleteChildren();  // each deletion takes itself out of the list being walked
  });
  parent.start();
  std::this_thread::sleep_for(50ms);
  parent.stop(0);
  parent.join();
  EXPECT_TRUE(parent.isStopped());
  EXPECT_EQ(parent.getErrorMessage().getErrorValue(), kxErr_noError);

  // A parentless thread is in no list; one given a parent is in its list until destroyed.
  FunctionThread orphan(nullptr, untilStopped);
  {
    FunctionThread child(&orphan, untilStopped);
    orphan.stopChildren(0);  // never started: nothing
    EXPECT_EQ(child.getState(), kxThread::starting);
  }
  orphan.deleteChildren();  // the list is empty again
}

struct ThrowCase {
  const char* name;
  std::function<void()> thrower;
  kxErr expected;
  std::string text;
  Strings assertions;
};

TEST(Thread, WhatEscapesRunIsRecorded) {
  const ThrowCase cases[] = {
      {"kxException", [] { throw kxException(kxErr_timeout, "slow"); }, kxErr_timeout, "slow", {}},
      {"unspecified", [] { throw kxException(kxErr_noConnect, kxUnspecifiedErrorText); }, kxErr_noConnect,
       std::string("An unspecified error \"515\" occurred.  Please notify Tervane Technical Support at "), {}},
      {"bad_alloc", [] { throw std::bad_alloc(); }, kxErr_memFull,
       "Could not perform operation because available memory is exhausted.", {}},
      {"standard", [] { throw std::runtime_error("boom"); }, kxErr_internal,
       "An unexpected exception \"boom\" occurred.  Please notify Tervane Technical Support at ", {}},
      {"non-standard", [] { throw 42; }, kxErr_internal,
       "An internal error occurred.  Please notify Tervane Technical Support at ", {"false"}},
  };
  for (const ThrowCase& c : cases) {
    FunctionThread thread([&c](FunctionThread&) { c.thrower(); });
    Strings reported = failedAssertions([&] {
      thread.start();
      thread.join();
    });
    EXPECT_EQ(reported, c.assertions) << c.name;
    EXPECT_TRUE(thread.isStopped()) << c.name;
    EXPECT_TRUE(thread.getDoneEvent().isSet()) << c.name;
    EXPECT_EQ(thread.getErrorMessage().getErrorValue(), c.expected) << c.name;
    EXPECT_EQ(thread.getErrorMessage().getText().rfind(c.text, 0), 0u)
        << c.name << ": " << thread.getErrorMessage().getText();
  }
}

// A second, different failure in one thread's life is a programming error.
class TwoFailures : public kxThread {
 protected:
  void run() override { throw kxException(kxErr_timeout); }
  void postRun() override { handleException(kxException(kxErr_noData)); }
};

TEST(Thread, ASecondDifferentErrorIsReported) {
  TwoFailures thread;
  EXPECT_EQ(failedAssertions([&] {
              thread.start();
              thread.join();
            }),
            Strings{"(itsErrorMessage.getErrorValue() == kxErr_noError) || ((typeid(inException) == typeid(kxException)) "
                    "&& (dynamic_cast<const kxException&>(inException)).errorMessage.getErrorValue() == "
                    "itsErrorMessage.getErrorValue())"});
  EXPECT_EQ(thread.getErrorMessage().getErrorValue(), kxErr_noData);
}

class FailingPostRun : public kxThread {
 protected:
  void run() override {}
  void postRun() override { throw std::runtime_error("late"); }
};

TEST(Thread, FailureInPostRunLeavesTheThreadRunningAndRegistered) {
  FailingPostRun thread;
  EXPECT_EQ(failedAssertions([&] {
              thread.start();
              thread.join();
            }),
            Strings{"false"});
  EXPECT_EQ(thread.getState(), kxThread::running);
  EXPECT_FALSE(thread.getDoneEvent().isSet());
  EXPECT_EQ(kxThread::findThread(thread.getThreadID()), &thread);
  thread.kill();  // its platform thread has ended: kill only marks it stopped
  EXPECT_TRUE(thread.isStopped());
  EXPECT_EQ(kxThread::findThread(thread.getThreadID()), nullptr);
}

TEST(Thread, OperationsOnThreadsNotRunning) {
  FunctionThread idle(untilStopped);
  idle.stop(5);
  idle.kill();
  idle.join();
  idle.resume();
  EXPECT_EQ(idle.suspend(), 0u);
  EXPECT_EQ(idle.getState(), kxThread::starting);
  EXPECT_EQ(idle.getStopValue(), 0);
  EXPECT_FALSE(idle.getStopEvent().isSet());

  // join on the thread itself returns at once.
  FunctionThread self([](FunctionThread& inSelf) { inSelf.join(); });
  self.start();
  self.join();
  EXPECT_TRUE(self.isStopped());
}

TEST(Thread, RegistryRules) {
  FunctionThread stoppedThread([](FunctionThread&) {});
  stoppedThread.start();
  stoppedThread.join();
  const size_t before = kxThread::getNumThreads();
  kxThread::registerThread(0xFFFFFFF0u, &stoppedThread);
  EXPECT_EQ(kxThread::findThread(0xFFFFFFF0u), nullptr);

  FunctionThread fresh(untilStopped);
  kxThread::registerThread(0xFFFFFFF1u, &fresh);
  kxThread::registerThread(0xFFFFFFF1u, &fresh);
  EXPECT_EQ(kxThread::getNumThreads(), before + 1);
  EXPECT_EQ(failedAssertions([&] { kxThread::registerThread(0xFFFFFFF1u, kxThread::getMainThread()); }),
            Strings{"false"});
  EXPECT_EQ(kxThread::findThread(0xFFFFFFF1u), kxThread::getMainThread());
  kxThread::unRegisterThread(0xFFFFFFF1u);
  kxThread::unRegisterThread(0xFFFFFFF1u);
  EXPECT_EQ(kxThread::getNumThreads(), before);
}

TEST(Thread, ARestartedThreadIsRegisteredOnEveryRun) {
  std::vector<kxThread*> found;
  FunctionThread thread([&](FunctionThread&) { found.push_back(kxThread::findThread(kxThread::getCurrentThreadID())); });
  for (int run = 0; run < 2; ++run) {
    thread.start();
    thread.join();
    EXPECT_TRUE(thread.isStopped());
    EXPECT_EQ(kxThread::findThread(thread.getThreadID()), nullptr);
  }
  EXPECT_EQ(found, (std::vector<kxThread*>{&thread, &thread}));
}

TEST(Thread, SuspendedThreadStopsAtItsNextWaitUntilResumed) {
  std::atomic<int> rounds{0};
  FunctionThread ticker([&](FunctionThread& inSelf) {
    while (kxThread::waitForEvent(2, &inSelf.getStopEvent(), 0, false)) ++rounds;
  });
  ticker.start();
  while (rounds.load() < 3) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(ticker.suspend(), 0u);
  EXPECT_EQ(ticker.getState(), kxThread::suspended);
  EXPECT_TRUE(ticker.isRunning());
  std::this_thread::sleep_for(30ms);  // lets it reach a wait and park there
  const int parked = rounds.load();
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(rounds.load(), parked);
  ticker.resume();
  EXPECT_EQ(ticker.getState(), kxThread::running);
  while (rounds.load() < parked + 3) std::this_thread::sleep_for(1ms);

  // stop() resumes a suspended thread so that it can see the request.
  ticker.suspend();
  ticker.stop(0);
  ticker.join();
  EXPECT_TRUE(ticker.isStopped());
}

#ifndef _WIN32
// Whether thread inId of this process is asleep in the kernel (blocked on a lock, say).
bool asleep(uint32_t inId) {
  std::ifstream stat("/proc/self/task/" + std::to_string(inId) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t name = line.rfind(')');
  return name != std::string::npos && line.compare(name, 3, ") S") == 0;
}

TEST(Thread, TwoSuspendsAtOnceSuspendOnce) {
  FunctionThread ticker([](FunctionThread& inSelf) {
    while (kxThread::waitForEvent(1, &inSelf.getStopEvent(), 0, false)) {
    }
  });
  ticker.start();
  std::atomic<uint32_t> ids[2] = {0, 0};
  std::atomic<bool> go{false};
  std::vector<std::thread> suspenders;
  for (std::atomic<uint32_t>& id : ids)
    suspenders.emplace_back([&] {
      id = kxThread::getCurrentThreadID();
      while (!go.load()) std::this_thread::yield();
      ticker.suspend();
    });
  {
    // The registry stays locked (the hook runs inside registerThread) until both suspends
    // are blocked in it: each has looked at the state by then.
    TraceHook hold("kxThread::registerThread(0xFFFFFFF2", [&] {
      go = true;
      EXPECT_TRUE(eventually([&] { return ids[0] != 0 && ids[1] != 0 && asleep(ids[0]) && asleep(ids[1]); }));
    });
    kxThread::registerThread(0xFFFFFFF2u, nullptr);
  }
  for (std::thread& suspender : suspenders) suspender.join();
  kxThread::unRegisterThread(0xFFFFFFF2u);
  EXPECT_EQ(ticker.getState(), kxThread::suspended);
  ticker.resume();
  EXPECT_EQ(ticker.getState(), kxThread::running);
  // Running again, with a platform suspend count of 0: the two suspends made one. Had they
  // made two, the thread would stay parked for good and no stop could end it.
  const uint32_t previous = ticker.suspend();
  if (previous != 0) {
    ADD_FAILURE() << "two suspends at once left a suspend count of " << previous;
    std::fflush(stdout);
    std::_Exit(1);
  }
  ticker.kill();
  EXPECT_TRUE(ticker.isStopped());
}
#endif

// What the detached run shares with the test: kept alive by whichever side ends last.
struct Abandoned {
  std::atomic<bool> finished{false};
  std::vector<int> written;
};

TEST(Thread, KillGivesUpAtOnceOnARunThatLetGoOfItsObject) {
  auto shared = std::make_shared<Abandoned>();
  {
    FunctionThread stubborn([shared](FunctionThread&) {
      std::shared_ptr<Abandoned> mine = shared;
      FunctionThread::releaseObject();
      std::this_thread::sleep_for(1500ms);  // ignores the stop request
      mine->written.assign(1000, 7);
      mine->finished = true;
      throw kxException(kxErr_timeout);  // after being given up on, recorded nowhere
    });
    stubborn.start();
    std::this_thread::sleep_for(20ms);
    const kxTimer killing;
    stubborn.kill();
    EXPECT_LT(killing.elapsed(), 200u);  // nothing of the object is at stake: no grace
    EXPECT_TRUE(stubborn.isStopped());
    EXPECT_TRUE(stubborn.getDoneEvent().isSet());
    EXPECT_EQ(kxThread::findThread(stubborn.getThreadID()), nullptr);
    EXPECT_EQ(stubborn.getErrorMessage().getErrorValue(), kxErr_noError);
  }  // the object goes while its run goes on
  EXPECT_FALSE(shared->finished.load());
  EXPECT_TRUE(kxThread::waitForAbandonedThreads(5000));
  EXPECT_TRUE(shared->finished.load());
  EXPECT_EQ(shared->written.size(), 1000u);
}

TEST(Thread, KillIsBoundedAndTheObjectStaysWhileItsRunUsesIt) {
  kxSingleEvent gate;
  std::atomic<bool> finished{false};
  auto* holding = new FunctionThread([&](FunctionThread& inSelf) {
    kxThread::waitForEvent(5000, &gate, 0, false);  // ignores the stop request
    inSelf.getStopEvent().reset();                  // still uses its object
    finished = true;
  });
  holding->start();
  const kxTimer killing;
  holding->kill();
  EXPECT_GE(killing.elapsed(), 240u);  // the grace
  EXPECT_LT(killing.elapsed(), 2000u);
  EXPECT_TRUE(holding->isStopped());
  EXPECT_FALSE(finished.load());
  {
    // The destructor says it waits for the run; only then may the run go on.
    TraceHook release("still uses its object; waiting for it to let go", [&] { gate.set(); });
    delete holding;
  }
  EXPECT_TRUE(finished.load());
}

TEST(Thread, AJoinOutlastsAKillThatGivesUpOnTheThread) {
  kxSingleEvent gate;
  auto* worker = new FunctionThread([&gate](FunctionThread&) {
    kxSingleEvent* const until = &gate;
    FunctionThread::releaseObject();
    kxThread::waitForEvent(5000, until, 0, false);
  });
  worker->start();
  // Several joiners: each unregisters from the thread's end after that end woke it.
  std::atomic<uint32_t> ids[4] = {0, 0, 0, 0};
  std::vector<std::thread> joiners;
  for (std::atomic<uint32_t>& id : ids)
    joiners.emplace_back([worker, &id] {
      id = kxThread::getCurrentThreadID();
      worker->join();
    });
#ifndef _WIN32
  // All of them wait on the thread's end before kill() gives up on it (at once).
  EXPECT_TRUE(eventually([&] {
    return std::all_of(std::begin(ids), std::end(ids), [](const auto& inId) { return inId != 0 && asleep(inId); });
  }));
#endif
  worker->kill();  // gives up on the run, which has let go of its object
  EXPECT_TRUE(worker->isStopped());
  gate.set();  // the thread ends while the joiners may still wait for that
  for (std::thread& joiner : joiners) joiner.join();
  delete worker;
  EXPECT_TRUE(kxThread::waitForAbandonedThreads(5000));
}

// Set by the trace of ~kxThread, which it writes holding the registry lock.
std::atomic<bool> gDeleting{false};

// Asks the registry from the thread-local destructors of a thread, once its object is being
// deleted.
struct AsksTheRegistry {
  ~AsksTheRegistry() {
    eventually([] { return gDeleting.load(); });
    kxThread::getNumThreads();
  }
};

TEST(Thread, DeletingAThreadObjectJoinsOutsideTheRegistryLock) {
  auto* worker = new FunctionThread([](FunctionThread&) {
    thread_local AsksTheRegistry asks;
    (void)&asks;
  });
  worker->start();
  worker->join();  // its entry has returned; the thread-local destructors are still to run
  TraceHook deleting("kxThread::~kxThread - done", [] { gDeleting = true; });
  std::promise<void> deleted;
  std::thread deleter([&] {
    delete worker;
    deleted.set_value();
  });
  if (deleted.get_future().wait_for(10s) != std::future_status::ready) {
    ADD_FAILURE() << "deleting the thread object deadlocked";
    std::fflush(stdout);
    std::_Exit(1);
  }
  deleter.join();
}

TEST(Thread, WaitOnSocketsOverASocketPair) {
  using orvo::platform::SocketHandle;
  SocketHandle pair[2];
  ASSERT_TRUE(orvo::test::makeSocketPair(pair));
  std::vector<kxThread::selectInfo> infos{{pair[0], kxThread::kSelectRead, 9}, {pair[1], kxThread::kSelectRead, 9}};
  EXPECT_EQ(kxThread::waitOnSockets(infos, 0), 0);
  EXPECT_EQ(infos[0].readyEvents, 0);
  EXPECT_EQ(infos[1].readyEvents, 0);

  ASSERT_TRUE(orvo::test::sendBytes(pair[1], "x"));
  EXPECT_EQ(kxThread::waitOnSockets(infos, 1000), kxThread::kSelectRead);
  EXPECT_EQ(infos[0].readyEvents, kxThread::kSelectRead);
  EXPECT_EQ(infos[1].readyEvents, 0);

  // Write readiness, the same socket twice, and a set of 64 leaves the 65th out.
  EXPECT_EQ(kxThread::waitOnSocket(pair[1], kxThread::kSelectWrite | kxThread::kSelectExcept, 0), kxThread::kSelectWrite);
  std::vector<kxThread::selectInfo> many;
  std::vector<SocketHandle> extra;
  for (int i = 0; i < 64; ++i) {
    extra.push_back(orvo::test::duplicateSocket(pair[1]));
    ASSERT_NE(extra.back(), orvo::platform::kNoSocket);
    many.push_back({extra.back(), kxThread::kSelectRead, 0});
  }
  many.push_back({pair[0], kxThread::kSelectRead, 0});
  many.push_back({pair[0], kxThread::kSelectRead, 0});
  EXPECT_EQ(kxThread::waitOnSockets(many, 0), 0);

  // Time-out without readiness, and a failure for a socket that is not one.
  const kxTimer timer;
  std::vector<kxThread::selectInfo> quiet{{pair[1], kxThread::kSelectRead, 0}};
  EXPECT_EQ(kxThread::waitOnSockets(quiet, 60), 0);
  EXPECT_GE(timer.elapsed(), 55u);
  std::vector<kxThread::selectInfo> bad{{extra.back(), kxThread::kSelectRead, 0}};
  for (SocketHandle socket : extra) orvo::test::closeSocket(socket);
  EXPECT_EQ(kxThread::waitOnSockets(bad, 0), kxThread::kSelectError);
  orvo::test::closeSocket(pair[0]);
  orvo::test::closeSocket(pair[1]);
}

TEST(Thread, AnExceptOnlyWaitOnAHungUpSocketSleeps) {
  orvo::platform::SocketHandle pair[2];
  ASSERT_TRUE(orvo::test::makeSocketPair(pair));
  orvo::test::closeSocket(pair[1]);
  const auto cpuBefore = orvo::test::threadCpuTime();
  EXPECT_EQ(kxThread::waitOnSocket(pair[0], kxThread::kSelectExcept, 300), 0);
  const auto cpuUsed = orvo::test::threadCpuTime() - cpuBefore;
  // The hang-up is no out-of-band data: nothing to report, and nothing to spin on.
  EXPECT_LT(cpuUsed, 50ms) << cpuUsed.count() << " us";
  orvo::test::closeSocket(pair[0]);
}

TEST(Thread, WaitForEvent) {
  kxSingleEvent event;
  event.set();
  const kxTimer immediate;
  EXPECT_FALSE(kxThread::waitForEvent(5000, &event, 0, false));
  EXPECT_FALSE(kxThread::waitForEvent(5000, &event, 0, true));
  EXPECT_LT(immediate.elapsed(), 100u);

  // An event without a platform event cannot be waited for: the wait fails, and the event
  // was not seen.
  kxSingleEvent none(nullptr, false);
  EXPECT_TRUE(kxThread::waitForEvent(5000, &none, 0, false));
  EXPECT_TRUE(kxThread::waitForEvent(5000, &none, 0, true));
  EXPECT_LT(immediate.elapsed(), 100u);

  const kxTimer sleeping;
  EXPECT_TRUE(kxThread::waitForEvent(40, nullptr, 0, false));
#ifdef _WIN32
  EXPECT_GE(sleeping.elapsed(), 24u);  // the tick count advances in steps of up to 16 ms there
#else
  EXPECT_GE(sleeping.elapsed(), 35u);
#endif

  event.reset();
  EXPECT_TRUE(kxThread::waitForEvent(20, &event, 0, false));
  EXPECT_TRUE(kxThread::waitForEvent(20, &event, event.getSetCount(), true));
  // A set() after the caller read the count ends a pumping wait at once.
  const uint32_t seen = event.getSetCount();
  event.set();
  event.reset();
  EXPECT_FALSE(kxThread::waitForEvent(5000, &event, seen, true));

  // Set from another thread while the wait blocks, alone and in a group.
  kxSingleEvent other;
  kxMultiEvent group(&other, &event);
  std::thread setter([&] {
    std::this_thread::sleep_for(30ms);
    event.set();
  });
  EXPECT_FALSE(kxThread::waitForEvent(5000, &group, 0, false));
  setter.join();
}

TEST(Thread, AMessagePostedBySetWakesAPumpingWait) {
  kxSingleEvent waited;   // never set
  kxSingleEvent elsewhere;
  const uint32_t me = kxThread::getCurrentThreadID();
  orvo::platform::discardThreadMessages();
  elsewhere.setNotifyThread(me, 0x600, 0);
  std::thread setter([&] {
    std::this_thread::sleep_for(30ms);
    elsewhere.set();
  });
  const kxTimer timer;
  EXPECT_FALSE(kxThread::waitForEvent(5000, &waited, waited.getSetCount(), true));
  EXPECT_LT(timer.elapsed(), 2000u);
  setter.join();
  // Without pumping the same message does not end the wait.
  orvo::platform::discardThreadMessages();
  elsewhere.set();
  EXPECT_TRUE(kxThread::waitForEvent(30, &waited, 0, false));
  elsewhere.setNotifyThread(0, 0, 0);
  // The pumping wait switched its own notification off again.
  std::thread late([&] { waited.set(); });
  late.join();
  orvo::platform::ThreadMessage message{};
  EXPECT_FALSE(orvo::platform::peekThreadMessage(message) && message.message == 0x500);
}

TEST(Thread, APumpingWaitKeepsTheMessagesQueuedBeforeIt) {
  using orvo::platform::ThreadMessage;
  const uint32_t me = kxThread::getCurrentThreadID();
  struct Case {
    uint32_t queued;
    bool timesOut;   // a message of the thread's ends the wait; a stale notification does not
    bool staysQueued;
  } cases[] = {{0x1234, false, true}, {0x500, true, false}};
  for (const Case& c : cases) {
    kxSingleEvent event;
    orvo::platform::discardThreadMessages();
    ASSERT_TRUE(orvo::platform::postThreadMessage(me, {c.queued, 1, 2}));
    const kxTimer timer;
    EXPECT_EQ(kxThread::waitForEvent(c.timesOut ? 30 : 5000, &event, event.getSetCount(), true), c.timesOut)
        << c.queued;
    EXPECT_LT(timer.elapsed(), 2000u);
    ThreadMessage message{};
    EXPECT_EQ(orvo::platform::peekThreadMessage(message), c.staysQueued) << c.queued;
    if (c.staysQueued) {
      EXPECT_EQ(message.message, c.queued);
      EXPECT_EQ(message.param1, 1u);
      EXPECT_EQ(message.param2, 2u);
      EXPECT_FALSE(orvo::platform::peekThreadMessage(message));
    }
  }
}

TEST(MainThread, StandsForTheMainThreadAndIsNeverStarted) {
  kxThread* main = kxThread::getMainThread();
  EXPECT_EQ(main->getState(), kxThread::running);
  EXPECT_EQ(main->getParent(), nullptr);
  FunctionThread first(untilStopped);  // registers the main thread if nothing did yet
  EXPECT_EQ(kxThread::findThread(kxThread::getCurrentThreadID()), main);

  // On another thread without an object, getCurrentThread() is a programming error; rebinding
  // the main thread's object there makes it that thread's.
  std::thread other([&] {
    EXPECT_EQ(failedAssertions([] { EXPECT_EQ(kxThread::getCurrentThread(), nullptr); }), Strings{"result"});
    static_cast<kxMainThread*>(main)->rebindMainThread();
    EXPECT_EQ(kxThread::getCurrentThread(), main);
    kxThread::unRegisterThread(kxThread::getCurrentThreadID());
  });
  other.join();
  static_cast<kxMainThread*>(main)->rebindMainThread();  // back here
  EXPECT_EQ(main->getThreadID(), kxThread::getCurrentThreadID());
}

}  // namespace
