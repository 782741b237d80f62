#include "orvo/debug/kxinfolog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "orvo/internal/kxglobals.h"
#include "orvo/platform/kxclock.h"

using orvo::globals::gInfoLog;

namespace {

constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Called with the log lock held.
void writeDefaultDestination(const char* inText) {
  const orvo::platform::LocalTime now = orvo::platform::localTime();
  if (gInfoLog.itsMode == kxInfoLogModeStdErr) {
    std::fprintf(stderr, "%02d:%02d:%02d %s\n", now.hour, now.minute, now.second, inText);
    std::fflush(stderr);
  } else if (gInfoLog.itsMode == kxInfoLogModeFile) {
    FILE* file = std::fopen(gInfoLog.itsFileName.c_str(), "a");
    if (file == nullptr) return;
    std::fprintf(file, "%s %d %02d:%02d:%02d ", kMonthNames[(now.month - 1) % 12], now.day, now.hour,
                 now.minute, now.second);
    if (!gInfoLog.itsPrefix.empty()) std::fprintf(file, "%s: ", gInfoLog.itsPrefix.c_str());
    std::fprintf(file, "%s\n", inText);
    std::fclose(file);
  }
}

bool passesThresholds(kxInfoLogLevel inLevel) {
  return inLevel <= gInfoLog.itsThreshold.load(std::memory_order_relaxed) ||
         inLevel <= gInfoLog.itsSinkThreshold.load(std::memory_order_relaxed);
}

}  // namespace

namespace orvo {

void kxSetInfoLogLevel(kxInfoLogLevel inLevel) {
  gInfoLog.itsThreshold.store(inLevel, std::memory_order_relaxed);
}

kxInfoLogLevel kxGetInfoLogLevel() { return gInfoLog.itsThreshold.load(std::memory_order_relaxed); }

void kxInfoLogWrite(kxInfoLogLevel inLevel, const char* inText) {
  if (!passesThresholds(inLevel)) return;
  kxStMutex hold(&gInfoLog.itsLock);
  bool claimed = false;
  // Every sink registered now gets the line, also when a sink adds or removes sinks.
  if (!gInfoLog.itsSinks.empty()) {
    const auto sinks = gInfoLog.itsSinks;
    for (const auto& sink : sinks)
      if (sink.first(inLevel, inText)) claimed = true;
  }
  if (claimed || inLevel > gInfoLog.itsThreshold.load(std::memory_order_relaxed)) return;
  writeDefaultDestination(inText);
}

void kxInfoLogPrintf(kxInfoLogLevel inLevel, const char* inFormat, ...) {
  if (!passesThresholds(inLevel)) return;
  std::unique_ptr<char[]> buffer(new char[kxInfoLogBufferSize]);
  va_list args;
  va_start(args, inFormat);
  std::vsnprintf(buffer.get(), kxInfoLogBufferSize, inFormat, args);
  va_end(args);
  kxInfoLogWrite(inLevel, buffer.get());
}

void kxInfoLogSetMode(const char* inPrefix, int32_t inMode) {
  kxStMutex hold(&gInfoLog.itsLock);
  gInfoLog.itsMode = inMode;
  gInfoLog.itsPrefix = inPrefix != nullptr ? inPrefix : "";
}

void kxInfoLogToFile(const char* inPrefix, const char* inPath) {
  kxStMutex hold(&gInfoLog.itsLock);
  gInfoLog.itsMode = kxInfoLogModeFile;
  gInfoLog.itsPrefix = inPrefix != nullptr ? inPrefix : "";
  gInfoLog.itsFileName = inPath != nullptr ? inPath : "";
}

std::string kxInfoLogFileName() {
  kxStMutex hold(&gInfoLog.itsLock);
  return gInfoLog.itsFileName;
}

void kxInfoLogAddSink(kxInfoLogSink inSink, kxInfoLogLevel inLevel) {
  kxStMutex hold(&gInfoLog.itsLock);
  if (inLevel > gInfoLog.itsSinkThreshold.load(std::memory_order_relaxed))
    gInfoLog.itsSinkThreshold.store(inLevel, std::memory_order_relaxed);
  gInfoLog.itsSinks.emplace_back(inSink, inLevel);
}

void kxInfoLogRemoveSink(kxInfoLogSink inSink) {
  kxStMutex hold(&gInfoLog.itsLock);
  std::erase_if(gInfoLog.itsSinks, [inSink](const auto& entry) { return entry.first == inSink; });
}

const char* kxInfoLogLevelName(kxInfoLogLevel inLevel) {
  static constexpr const char* kNames[] = {"error", "notice", "warning", "info", "info", "debug"};
  return inLevel >= 0 && inLevel <= 5 ? kNames[inLevel] : "";
}

}  // namespace orvo
