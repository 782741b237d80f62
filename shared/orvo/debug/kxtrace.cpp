#include "orvo/debug/kxtrace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>

#include "orvo/debug/kxinfolog.h"
#include "orvo/internal/kxglobals.h"

namespace {
// Read on every trace call; atomic so that a change from another thread is well-defined.
std::atomic<uint8_t> gTraceThreshold{1};
}  // namespace

namespace orvo {

void kxSetTraceLevel(uint8_t inLevel) { gTraceThreshold.store(inLevel, std::memory_order_relaxed); }

uint8_t kxGetTraceLevel() { return gTraceThreshold.load(std::memory_order_relaxed); }

void kxTraceLine(uint8_t inLevel, const char* /*inFile*/, uint32_t /*inLine*/, const char* inText) {
  if (inLevel > kxGetTraceLevel()) return;
  char stamp[kxTimer::kTextSize];
  orvo::globals::gProcessTimer.toString(stamp);
  std::string line;
  line.reserve(16 + sizeof stamp + (inText != nullptr ? std::char_traits<char>::length(inText) : 0));
  line.append("[Time: ").append(stamp).append("]  ").append(inText != nullptr ? inText : "");
  kxInfoLogWrite(kxInfoLogDebug, line.c_str());
}

void kxTrace(uint8_t inLevel, const char* inFile, uint32_t inLine, const char* inFormat, ...) {
  if (inLevel > kxGetTraceLevel()) return;
  std::unique_ptr<char[]> buffer(new char[kxInfoLogBufferSize]);
  va_list args;
  va_start(args, inFormat);
  std::vsnprintf(buffer.get(), kxInfoLogBufferSize, inFormat, args);
  va_end(args);
  kxTraceLine(inLevel, inFile, inLine, buffer.get());
}

void kxTraceLocation(uint8_t inLevel, const char* inFile, uint32_t inLine) {
  kxTrace(inLevel, inFile, inLine, "==============[File: %s  Line: %u]==============", inFile, inLine);
}

}  // namespace orvo
