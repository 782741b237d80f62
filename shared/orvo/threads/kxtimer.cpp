#include "orvo/threads/kxtimer.h"

#include <atomic>
#include <cstdio>

#include "orvo/platform/kxclock.h"

namespace {
// Shared by every thread that starts a timer; atomic so that concurrent starts stay
// well-defined (each still takes the next number).
std::atomic<uint32_t> gStartCounter{0};
}  // namespace

kxTimer::kxTimer(int32_t inStart) : itsSequence(0), itsStartTicks(0) {
  if (inStart == 1) start();
}

kxTimer::~kxTimer() = default;

void kxTimer::start() {
  itsStartTicks = orvo::platform::tickCount();
  itsSequence = gStartCounter.fetch_add(1, std::memory_order_relaxed);
}

void kxTimer::clear() { itsSequence = itsStartTicks = 0; }

void kxTimer::setFields(uint32_t inSequence, uint32_t inStartTicks) {
  itsSequence = inSequence;
  itsStartTicks = inStartTicks;
}

uint32_t kxTimer::elapsed() const { return elapsedBetween(*this, kxTimer(1)); }

uint32_t kxTimer::elapsedBetween(const kxTimer& inEarlier, const kxTimer& inLater) {
  if (inLater.itsStartTicks < inEarlier.itsStartTicks)
    return (0xFFFFFFFFu - inEarlier.itsStartTicks) + inLater.itsStartTicks;
  return inLater.itsStartTicks - inEarlier.itsStartTicks;
}

bool kxTimer::isBefore(const kxTimer& inOther) const { return itsSequence < inOther.itsSequence; }

int32_t kxTimer::difference(const kxTimer& inOther) const {
  if (isBefore(inOther)) {
    const uint32_t forward = elapsedBetween(*this, inOther);
    return forward > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(forward);
  }
  const uint32_t backward = elapsedBetween(inOther, *this);
  if (backward >= 0x7FFFFFFFu) return INT32_MIN;
  return -static_cast<int32_t>(backward);
}

char* kxTimer::formatMilliseconds(uint32_t inMilliseconds, char* outBuffer) {
  static constexpr uint32_t kUnits[] = {3600000u, 60000u, 1000u, 1u};
  uint32_t rest = inMilliseconds;
  char* out = outBuffer;
  for (uint32_t unit : kUnits) {
    const uint32_t count = rest / unit;
    rest %= unit;
    out += std::snprintf(out, kTextSize - static_cast<size_t>(out - outBuffer), count >= 10 ? "%u:" : "0%u:", count);
  }
  out[-1] = '\0';
  return outBuffer;
}

char* kxTimer::toString(char* outBuffer) const { return formatMilliseconds(elapsed(), outBuffer); }

std::string kxTimer::toString() const {
  char buffer[kTextSize];
  return toString(buffer);
}

uint32_t kxTimer::getTickCount() {
  const uint32_t ticks = orvo::platform::tickCount();
  return ticks == 0xFFFFFFFFu ? 0 : ticks;
}
