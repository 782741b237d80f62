// kxTimer: a millisecond stopwatch over the platform's 32-bit tick count.
//
// The tick cycle is taken to be 0xFFFFFFFF milliseconds long (not 2^32): a reading that is
// below an earlier one is counted as (0xFFFFFFFF - earlier) + later, and getTickCount() folds
// 0xFFFFFFFF to 0. A process-wide start counter gives every start a sequence number, which
// orders timers started in the same tick and across a wrap of the counter.
#pragma once

#include <cstdint>
#include <string>

class kxTimer {
 public:
  explicit kxTimer(int32_t inStart = 1);
  kxTimer(const kxTimer& inOther) = default;
  kxTimer& operator=(const kxTimer& inOther) = default;
  virtual ~kxTimer();

  void start();
  // Both fields to 0, as a timer constructed with 0.
  void clear();
  // Restores fields saved earlier with getSequence() and getStartTicks().
  void setFields(uint32_t inSequence, uint32_t inStartTicks);

  uint32_t getSequence() const { return itsSequence; }
  uint32_t getStartTicks() const { return itsStartTicks; }

  // Milliseconds since the last start.
  uint32_t elapsed() const;
  static uint32_t elapsedBetween(const kxTimer& inEarlier, const kxTimer& inLater);

  // True when this timer was started before inOther (by start sequence).
  bool isBefore(const kxTimer& inOther) const;
  // Signed milliseconds from this timer's start to inOther's.
  int32_t difference(const kxTimer& inOther) const;

  // The elapsed time as hours:minutes:seconds:milliseconds (e.g. 01:02:03:45) into
  // outBuffer, which must hold kTextSize characters; returns outBuffer.
  static constexpr size_t kTextSize = 32;
  char* toString(char* outBuffer) const;
  std::string toString() const;
  // The same text for a given number of milliseconds.
  static char* formatMilliseconds(uint32_t inMilliseconds, char* outBuffer);

  // The platform tick count with 0xFFFFFFFF folded to 0.
  static uint32_t getTickCount();

 private:
  uint32_t itsSequence;
  uint32_t itsStartTicks;
};
