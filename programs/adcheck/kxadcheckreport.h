// What one run of adcheck found, and how it is told to a script: the exit status and the
// JSON object of --json.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orvo/util/kxauthenticator.h"

struct kxAdcheckResult {
  std::string user;
  bool sidFound = false;
  std::string sid;
  std::string domain;
  bool credentialChecked = false;  // a password was given
  kxAuthResult authResult = kxAuthResult_ok;
  uint32_t systemError = 0;        // the credential check's code
  bool groupsRead = false;
  uint32_t groupStatus = 0;        // what ended a failed group retrieval
  std::vector<kxGroupEntry> groups;  // ordered by name as the report prints them
  int64_t durationMs = 0;
};

// Exit statuses of a run with options.
inline constexpr int kAdcheckOk = 0;
inline constexpr int kAdcheckLogonFailed = 1;
inline constexpr int kAdcheckUsage = 2;
inline constexpr int kAdcheckUnreachable = 3;
inline constexpr int kAdcheckFailed = 4;

// 1 when the credential check got a refusal, else 3 when a server did not answer in time,
// else 4 when any check failed, else 0.
int adcheckExitStatus(const kxAdcheckResult& inResult);

// The JSON object of --json, on one line. Directory texts that are not UTF-8 have their
// faulty bytes replaced (U+FFFD); control characters are escaped as JSON escapes them.
std::string adcheckJson(const kxAdcheckResult& inResult);
