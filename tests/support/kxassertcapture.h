// Collects the assertion reports that a piece of code causes, for tests of code whose
// precondition failures report and go on.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include "orvo/debug/kxinfolog.h"
#include "support/kxtestsupport.h"

namespace orvo::test {

// Runs inBody with the information log at level 5 and standard error captured; returns
// the offending expression of every assertion report, in order.
template <typename Body>
std::vector<std::string> failedAssertions(Body inBody) {
  std::string err;
  {
    CaptureFd capture(2);
    const kxInfoLogLevel saved = kxGetInfoLogLevel();
    kxSetInfoLogLevel(5);
    inBody();
    kxSetInfoLogLevel(saved);
    err = capture.text();
  }
  std::vector<std::string> expressions;
  static const std::regex report(R"re(Assertion failed\.  File: [^,]*, line: \d+\.  Offending command: "(.*)"\.)re");
  for (auto it = std::sregex_iterator(err.begin(), err.end(), report); it != std::sregex_iterator(); ++it)
    expressions.push_back((*it)[1].str());
  return expressions;
}

}  // namespace orvo::test
