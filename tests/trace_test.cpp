// The trace stamp, trace thresholds and assertion reports.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxinfolog.h"
#include "orvo/debug/kxtrace.h"
#include "support/kxtestsupport.h"

namespace {

std::string traced(int inThreshold, void (*inBody)()) {
  orvo::test::CaptureFd capture(2);
  const kxInfoLogLevel saved = kxGetInfoLogLevel();
  kxSetInfoLogLevel(inThreshold);
  inBody();
  kxSetInfoLogLevel(saved);
  return capture.text();
}

TEST(Trace, StampFormatAndThresholds) {
  const std::string err = traced(5, [] {
    KX_TRACE(1, "value %d", 42);
    KX_TRACE(2, "step detail");
    kxTraceLocation(1, "unit.cpp", 77);
  });
  const std::regex expected(
      R"(\d\d:\d\d:\d\d \[Time: \d\d+:\d\d:\d\d:\d\d+\]  value 42\n)"
      R"(\d\d:\d\d:\d\d \[Time: \d\d+:\d\d:\d\d:\d\d+\]  ==============\[File: unit.cpp  Line: 77\]==============\n)");
  EXPECT_TRUE(std::regex_match(err, expected)) << err;
}

TEST(Trace, WrittenAtLevelFiveOnly) {
  EXPECT_EQ(traced(4, [] { KX_TRACE(1, "hidden"); }), "");
  EXPECT_EQ(traced(3, [] { kxAssert(1 + 1 == 3); }), "");
}

TEST(Trace, RaisedTraceLevelLetsDetailThrough) {
  const std::string err = traced(5, [] {
    kxSetTraceLevel(2);
    KX_TRACE(2, "detail");
    KX_TRACE(3, "finer");
    kxSetTraceLevel(1);
  });
  EXPECT_NE(err.find("]  detail\n"), std::string::npos);
  EXPECT_EQ(err.find("finer"), std::string::npos);
}

TEST(Assert, TextNamesSiteAndExpression) {
  EXPECT_STREQ(kxAssertFailed("kxalloc.cpp", 12, "inSize", nullptr),
               "Assertion failed.  File: kxalloc.cpp, line: 12.  Offending command: \"inSize\".");
  EXPECT_STREQ(kxAssertFailed("a.cpp", -3, "itsData", "buffer gone"),
               "Assertion failed.  File: a.cpp, line: -3.  Offending command: \"itsData\". --- buffer gone.");
}

TEST(Assert, TextIsCutAt1023Characters) {
  const std::string longExpression(2000, 'e');
  const std::string text = kxAssertFailed("f.cpp", 1, longExpression.c_str(), "tail");
  EXPECT_EQ(text.size(), 1023u);
  EXPECT_EQ(text.substr(0, 60), std::string("Assertion failed.  File: f.cpp, line: 1.  Offending command: ").substr(0, 60));
  const std::string nearlyFull(1023 - 66, 'm');
  const std::string withMessage = kxAssertFailed("f.cpp", 1, "x", nearlyFull.c_str());
  EXPECT_EQ(withMessage.size(), 1023u);
  EXPECT_EQ(withMessage.substr(withMessage.size() - 5), "mmmmm");
}

int gAfterAssert = 0;
TEST(Assert, MacroReportsSiteAndContinues) {
  const std::string err = traced(5, [] {
    int* itsData = nullptr;
    kxAssert(itsData);
    kxAssert(itsData != nullptr, "no data");
    kxAssert(true);
    gAfterAssert = 1;
  });
  EXPECT_EQ(gAfterAssert, 1);
  const std::regex expected(
      R"(\d\d:\d\d:\d\d \[Time: [0-9:]+\]  Assertion failed\.  File: trace_test\.cpp, line: \d+\.  Offending command: "itsData"\.\n)"
      R"(\d\d:\d\d:\d\d \[Time: [0-9:]+\]  Assertion failed\.  File: trace_test\.cpp, line: \d+\.  Offending command: "itsData != nullptr"\. --- no data\.\n)");
  EXPECT_TRUE(std::regex_match(err, expected)) << err;
}

}  // namespace
