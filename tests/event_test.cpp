// kxSingleEvent and kxMultiEvent: signal state, counts, pulses, groups, handles, posted
// notifications and waiter hooks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "orvo/messages/kxexception.h"
#include "orvo/platform/kxplatformthread.h"
#include "orvo/platform/kxthreadmessages.h"
#include "orvo/platform/kxwait.h"
#include "orvo/threads/kxmultievent.h"
#include "orvo/threads/kxsingleevent.h"
#include "orvo/threads/kxthread.h"
#include "support/kxassertcapture.h"

namespace {

using orvo::test::failedAssertions;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

TEST(SingleEvent, StateAndCountsFollowSetResetAndPulse) {
  kxSingleEvent event;
  EXPECT_FALSE(event.isSet());
  EXPECT_EQ(event.getSetEvent(), nullptr);
  struct Step {
    void (kxSingleEvent::*operation)();
    bool setAfter;
    uint32_t countAfter;
  } steps[] = {
      {&kxSingleEvent::set, true, 1},   {&kxSingleEvent::set, true, 2},   {&kxSingleEvent::reset, false, 2},
      {&kxSingleEvent::pulse, false, 3}, {&kxSingleEvent::set, true, 4},  {&kxSingleEvent::pulse, false, 5},
      {&kxSingleEvent::reset, false, 5},
  };
  for (const Step& step : steps) {
    (event.*step.operation)();
    for (int look = 0; look < 3; ++look) EXPECT_EQ(event.isSet(), step.setAfter);
    EXPECT_EQ(event.getSetEvent(), step.setAfter ? &event : nullptr);
    EXPECT_EQ(event.getSetCount(), step.countAfter);
  }
  EXPECT_EQ(event.getNumHandles(), 1u);
}

TEST(SingleEvent, PulseReleasesTheWaitsBlockedAtThatMoment) {
  kxSingleEvent event;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (!kxThread::waitForEvent(10000, &event, 0, false)) ++released;
    });
  // Pulse until all three were blocked when one came: a pulse finds only the waits present.
  while (released.load() < 3) {
    std::this_thread::sleep_for(20ms);
    event.pulse();
  }
  for (auto& waiter : waiters) waiter.join();
  EXPECT_FALSE(event.isSet());
  EXPECT_TRUE(kxThread::waitForEvent(30, &event, 0, false));  // nothing released a late wait
}

TEST(SingleEvent, WrappedHandlesAndMissingHandles) {
  // A wrapper of another event's handle sees and changes that event.
  kxSingleEvent owner;
  {
    kxSingleEvent wrapper(owner.getHandle(), false);
    wrapper.set();
    EXPECT_TRUE(owner.isSet());
  }
  EXPECT_TRUE(owner.isSet());  // the wrapper did not close the handle

  // Without a platform event: never set, and signalling it is refused.
  kxSingleEvent none(nullptr, false);
  EXPECT_FALSE(none.isSet());
  for (void (kxSingleEvent::*operation)() : {&kxSingleEvent::set, &kxSingleEvent::reset, &kxSingleEvent::pulse}) {
    try {
      (none.*operation)();
      ADD_FAILURE() << "no exception";
    } catch (const kxException& inException) {
      EXPECT_EQ(inException.getErrorValue(), kxErr_resFull);
    }
  }
  EXPECT_EQ(none.getSetCount(), 2u);  // set and pulse counted before the refusal
  EXPECT_FALSE(none.isSet());
}

TEST(MultiEvent, GroupReportsItsMembersInOrder) {
  kxSingleEvent first, second, third;
  kxMultiEvent group(&first, &second, &third);
  EXPECT_EQ(group.getNumHandles(), 3u);
  kxEvent::HandleList handles{nullptr};
  group.getHandles(handles);
  EXPECT_EQ(handles, (kxEvent::HandleList{nullptr, first.getHandle(), second.getHandle(), third.getHandle()}));
  EXPECT_FALSE(group.isSet());
  second.set();
  EXPECT_TRUE(group.isSet());
  EXPECT_EQ(group.getSetEvent(), &second);
  third.set();
  EXPECT_EQ(group.getSetEvent(), &second);
  EXPECT_EQ(group.getSetCount(), 2u);
  group.reset();
  EXPECT_FALSE(first.isSet() || second.isSet() || third.isSet());
  group.set();
  EXPECT_TRUE(first.isSet() && second.isSet() && third.isSet());
  group.pulse();
  EXPECT_FALSE(group.isSet());
  EXPECT_EQ(group.getSetCount(), 2u + 3u + 3u);

  // A group within a group contributes its members' handles.
  kxSingleEvent fourth;
  kxMultiEvent outer(&group, &fourth);
  EXPECT_EQ(outer.getNumHandles(), 4u);

  kxMultiEvent empty;
  EXPECT_FALSE(empty.isSet());
  EXPECT_EQ(empty.getSetEvent(), nullptr);
  EXPECT_EQ(empty.getNumHandles(), 0u);
  EXPECT_EQ(empty.getSetCount(), 0u);
}

TEST(MultiEvent, MembershipMistakesAreReported) {
  kxSingleEvent first, second;
  kxMultiEvent group(&first, nullptr, &second);
  EXPECT_EQ(group.getNumHandles(), 2u);
  EXPECT_EQ(failedAssertions([&] { group.addEvent(&first); }), Strings{"!containsEvent(inEvent)"});
  EXPECT_EQ(group.getNumHandles(), 3u);  // reported, then added all the same
  group.removeEvent(&first);             // every entry equal to it
  EXPECT_FALSE(group.containsEvent(&first));
  EXPECT_EQ(failedAssertions([&] { group.removeEvent(&first); }), Strings{"containsEvent(inEvent)"});
  EXPECT_EQ(failedAssertions([&] {
              group.addEvent(nullptr);
              group.removeEvent(nullptr);
            }),
            Strings{});
  EXPECT_EQ(group.getNumHandles(), 1u);
}

TEST(SingleEvent, NotificationPostsOneThreadMessagePerSignal) {
  orvo::platform::discardThreadMessages();  // makes this thread's queue
  kxSingleEvent first, second;
  kxMultiEvent group(&first, &second);
  group.setNotifyThread(orvo::platform::currentThreadId(), 0x777, 42);
  first.set();
  first.pulse();
  second.set();
  first.reset();
  struct Expected {
    kxEvent* event;
  } expected[] = {{&first}, {&first}, {&second}};
  for (const Expected& e : expected) {
    orvo::platform::ThreadMessage message{};
    ASSERT_TRUE(orvo::platform::peekThreadMessage(message));
    EXPECT_EQ(message.message, 0x777u);
    EXPECT_EQ(message.param1, reinterpret_cast<uintptr_t>(e.event));
    EXPECT_EQ(message.param2, 42u);
  }
  orvo::platform::ThreadMessage extra{};
  EXPECT_FALSE(orvo::platform::peekThreadMessage(extra));

  // Switched off, and a window target (there are none here) fails quietly.
  group.setNotifyThread(0, 0, 0);
  group.setNotifyWindow(reinterpret_cast<orvo::platform::WindowHandle>(0x1234), 0x777, 0);
  first.set();
  EXPECT_FALSE(orvo::platform::peekThreadMessage(extra));
}

TEST(ThreadMessages, QueuesAreBoundedAndEndWithTheirThread) {
  std::atomic<uint32_t> otherId{0};
  std::atomic<bool> finish{false};
  std::thread other([&] {
    orvo::platform::discardThreadMessages();
    otherId = orvo::platform::currentThreadId();
    while (!finish.load()) std::this_thread::sleep_for(1ms);
  });
  while (otherId.load() == 0) std::this_thread::sleep_for(1ms);
  // A message of the application's range (WM_USER and up): Windows refuses to post some
  // system messages.
  const orvo::platform::ThreadMessage message{0x401, 2, 3};
  size_t posted = 0;
#ifdef _WIN32
  // The bound is the system's own (USERPostMessageLimit, 10000 unless configured; Wine sets
  // none): that many are taken.
  while (posted < orvo::platform::kMaxQueuedMessages && orvo::platform::postThreadMessage(otherId.load(), message))
    ++posted;
#else
  while (orvo::platform::postThreadMessage(otherId.load(), message) && posted <= orvo::platform::kMaxQueuedMessages) ++posted;
#endif
  EXPECT_EQ(posted, orvo::platform::kMaxQueuedMessages);
  finish = true;
  other.join();
  EXPECT_FALSE(orvo::platform::postThreadMessage(otherId.load(), message));
}

TEST(Waits, SixtyFourWaitablesOrSixtyThreeWithMessagesOnEverySystem) {
  std::deque<kxSingleEvent> events(orvo::platform::kMaxWaitables + 1);
  kxEvent::HandleList handles;
  for (kxSingleEvent& event : events) event.getHandles(handles);
  events.back().set();
  using orvo::platform::waitForAny;
  const size_t most = orvo::platform::kMaxWaitables;
  EXPECT_EQ(waitForAny(handles.data() + 1, most, 0), static_cast<int>(most - 1));
  EXPECT_EQ(waitForAny(handles.data(), most + 1, 0), orvo::platform::kWaitFailed);
  // With messages the queue takes the last place.
  EXPECT_EQ(waitForAny(handles.data() + 2, most - 1, 0, true), static_cast<int>(most - 2));
  EXPECT_EQ(waitForAny(handles.data() + 1, most, 0, true), orvo::platform::kWaitFailed);
}

class CountingWaiter : public kxEventWaiter {
 public:
  void eventNotified(kxEvent* inEvent) override { itsSeen.push_back(inEvent); }
  std::vector<kxEvent*> itsSeen;
};

TEST(SingleEvent, NotifyWaitersCallsEachRegisteredWaiter) {
  kxSingleEvent first, second;
  kxMultiEvent group(&first, &second);
  CountingWaiter one, two;
  group.addWaiter(&one);
  first.addWaiter(&two);
  first.notifyWaiters();
  second.notifyWaiters();
  EXPECT_EQ(one.itsSeen, (std::vector<kxEvent*>{&first, &second}));
  EXPECT_EQ(two.itsSeen, (std::vector<kxEvent*>{&first}));
  group.removeWaiter(&one);
  first.notifyWaiters();
  EXPECT_EQ(one.itsSeen.size(), 2u);
  EXPECT_EQ(two.itsSeen.size(), 2u);
  kxEventWaiter plain;  // the base hook does nothing
  first.addWaiter(&plain);
  first.notifyWaiters();
}

}  // namespace
