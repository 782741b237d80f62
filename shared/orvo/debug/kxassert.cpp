#include "orvo/debug/kxassert.h"

#include <cstdio>
#include <cstring>

#include "orvo/debug/kxtrace.h"
#include "orvo/platform/kxdebugger.h"

namespace {
// One buffer per thread: two threads that fail assertions at once must not write the
// same characters.
thread_local char tAssertText[kxAssertTextSize];
}  // namespace

namespace orvo {

const char* kxAssertFailed(const char* inFile, long inLine, const char* inExpression,
                           const char* inMessage) {
  int used = std::snprintf(tAssertText, sizeof tAssertText,
                           "Assertion failed.  File: %s, line: %ld.  Offending command: \"%s\".",
                           inFile != nullptr ? inFile : "", inLine, inExpression != nullptr ? inExpression : "");
  if (inMessage != nullptr && used >= 0 && static_cast<size_t>(used) < sizeof tAssertText - 1)
    std::snprintf(tAssertText + used, sizeof tAssertText - static_cast<size_t>(used), " --- %s.", inMessage);
  kxTraceLine(1, orvo::detail::sourceFileName(__FILE__), __LINE__, tAssertText);
  return tAssertText;
}

void kxAssertReport(const char* inFile, long inLine, const char* inExpression, const char* inMessage) {
  kxAssertFailed(inFile, inLine, inExpression, inMessage);
  orvo::platform::debugBreak();
}

}  // namespace orvo
