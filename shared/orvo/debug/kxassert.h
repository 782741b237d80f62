// Assertions that report and go on.
//
// kxAssert(condition) and kxAssert(condition, message) report a false condition with the
// site's source file name, line and the condition's source text through the trace (level 1,
// so the line reaches the information log at level 5) and then stop in the debugger when
// one is attached. They never end the process: execution continues after the report.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kxAssertTextSize = 1024;

namespace orvo {

// Builds "Assertion failed.  File: F, line: L.  Offending command: \"E\"." (and
// " --- message." when inMessage is not null), at most 1023 characters, traces it and
// returns it. The text lives in a per-thread buffer until that thread's next assertion.
const char* kxAssertFailed(const char* inFile, long inLine, const char* inExpression,
                           const char* inMessage);

// kxAssertFailed followed by the debugger break; what the kxAssert macro calls.
void kxAssertReport(const char* inFile, long inLine, const char* inExpression,
                    const char* inMessage);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxAssertFailed;
using orvo::kxAssertReport;
#endif

namespace orvo::detail {
// The file name without its directories, so reports do not depend on where the tree was built.
constexpr const char* sourceFileName(const char* inPath) {
  const char* name = inPath;
  for (const char* p = inPath; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return name;
}
}  // namespace orvo::detail

#define KX_ASSERT_PICK(inA, inB, inMacro, ...) inMacro
#define KX_ASSERT_1(inCondition)                                                                  \
  ((inCondition) ? (void)0                                                                        \
                 : ::orvo::kxAssertReport(::orvo::detail::sourceFileName(__FILE__), __LINE__, #inCondition, \
                                  nullptr))
#define KX_ASSERT_2(inCondition, inMessage)                                                       \
  ((inCondition) ? (void)0                                                                        \
                 : ::orvo::kxAssertReport(::orvo::detail::sourceFileName(__FILE__), __LINE__, #inCondition, \
                                  (inMessage)))
#define kxAssert(...) KX_ASSERT_PICK(__VA_ARGS__, KX_ASSERT_2, KX_ASSERT_1, )(__VA_ARGS__)

// kxAssert reporting inText as the offending command, for conditions whose source text is
// not the one the report names (a field read through an atomic, say).
#define kxAssertAs(inCondition, inText)                                                            \
  ((inCondition) ? (void)0 : ::orvo::kxAssertReport(::orvo::detail::sourceFileName(__FILE__), __LINE__, (inText), nullptr))
