// The information log's process-wide state. Defined with the other process-wide objects
// (see kxglobals.cpp); members are constructed in the order listed.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "orvo/debug/kxinfolog.h"
#include "orvo/threads/kxmemmutex.h"

struct kxInfoLogState {
  std::string itsPrefix;
  std::vector<std::pair<kxInfoLogSink, kxInfoLogLevel>> itsSinks;
  std::string itsFileName{"infoLog.log"};
  kxMemMutex itsLock;

  // Read without the lock before a message is formatted.
  std::atomic<kxInfoLogLevel> itsThreshold{3};
  std::atomic<kxInfoLogLevel> itsSinkThreshold{0};
  int32_t itsMode = kxInfoLogModeStdErr;  // guarded by itsLock
};
