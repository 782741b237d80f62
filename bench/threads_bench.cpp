// Locks and events against the standard primitives: an uncontended kxMemMutex against
// std::recursive_mutex, and the round trip of a two-thread handshake through kxSingleEvent
// (waited on alone or in a group of n events) against one through std::condition_variable.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "orvo/threads/kxmemmutex.h"
#include "orvo/threads/kxmultievent.h"
#include "orvo/threads/kxsingleevent.h"
#include "orvo/threads/kxthread.h"

namespace {

void BM_MemMutexUncontended(benchmark::State& state) {
  kxMemMutex mutex;
  for (auto _ : state) {
    mutex.lock();
    mutex.unlock();
  }
}
BENCHMARK(BM_MemMutexUncontended);

void BM_RecursiveMutexUncontended(benchmark::State& state) {
  std::recursive_mutex mutex;
  for (auto _ : state) {
    mutex.lock();
    mutex.unlock();
  }
}
BENCHMARK(BM_RecursiveMutexUncontended);

// The partner waits for "ping" in a group of n events (the others never set), clears it and
// sets "pong"; the timed loop sets ping and waits for pong. One iteration: two wake-ups.
void BM_EventHandshake(benchmark::State& state) {
  const int waited = static_cast<int>(state.range(0));
  kxSingleEvent ping, pong, stop;
  std::deque<kxSingleEvent> idle(static_cast<size_t>(waited > 1 ? waited - 2 : 0));
  kxMultiEvent group;
  group.addEvent(&ping);
  if (waited > 1) group.addEvent(&stop);
  for (kxSingleEvent& event : idle) group.addEvent(&event);
  kxEvent& partnerWaits = waited > 1 ? static_cast<kxEvent&>(group) : ping;
  std::thread partner([&] {
    for (;;) {
      kxThread::waitForEvent(-1, &partnerWaits, 0, false);
      if (stop.isSet()) return;
      ping.reset();
      pong.set();
    }
  });
  for (auto _ : state) {
    ping.set();
    kxThread::waitForEvent(-1, &pong, 0, false);
    pong.reset();
  }
  stop.set();
  ping.set();
  partner.join();
}
BENCHMARK(BM_EventHandshake)->Arg(1)->Arg(3)->Arg(16)->Arg(64)->UseRealTime();

void BM_ConditionVariableHandshake(benchmark::State& state) {
  std::mutex mutex;
  std::condition_variable toPartner, toCaller;
  bool ping = false, pong = false, stop = false;
  std::thread partner([&] {
    std::unique_lock<std::mutex> hold(mutex);
    for (;;) {
      toPartner.wait(hold, [&] { return ping || stop; });
      if (stop) return;
      ping = false;
      pong = true;
      toCaller.notify_one();
    }
  });
  for (auto _ : state) {
    std::unique_lock<std::mutex> hold(mutex);
    ping = true;
    toPartner.notify_one();
    toCaller.wait(hold, [&] { return pong; });
    pong = false;
  }
  {
    std::lock_guard<std::mutex> hold(mutex);
    stop = true;
  }
  toPartner.notify_one();
  partner.join();
}
BENCHMARK(BM_ConditionVariableHandshake)->UseRealTime();

}  // namespace
