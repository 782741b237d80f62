// The exit status and the JSON object of a run of adcheck with options. The JSON is written
// by nlohmann's JSON library, which escapes what needs escaping.
#include "kxadcheckreport.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "orvo/debug/kxsysteminfo.h"
#include "orvo/platform/kxdirectory.h"

namespace {

// The Windows code in a status, whether it came as the code itself or as an HRESULT made
// from it.
uint32_t windowsCode(uint32_t inStatus) {
  return (inStatus & 0xFFFF0000u) == 0x80070000u ? inStatus & 0xFFFFu : inStatus;
}

// Statuses that say a server did not answer, or not in time: try again later.
bool unreachable(uint32_t inStatus) {
  switch (windowsCode(inStatus)) {
    case 0x51F:   // no logon servers: no KDC answered
    case 0x5B4:   // time-out
    case 0x6BA:   // the RPC server is unavailable (Windows' lookups)
    case 0x200E:  // the server is busy
    case 0x200F:  // the server is unavailable
    case 0x203A:  // the server is not operational
      return true;
    default:
      return false;
  }
}

// The text of the credential check's status. A check that failed before any server gave a
// code (the name was not found) has code 0, whose system text would say it succeeded.
std::string statusText(const kxAdcheckResult& inResult) {
  if (inResult.systemError != 0 || inResult.authResult == kxAuthResult_ok)
    return kxGetSystemErrorText(inResult.systemError);
  return inResult.authResult == kxAuthResult_unknownUser ? "The account could not be found."
                                                         : "The credential check failed.";
}

std::string hexStatus(uint32_t inStatus) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(inStatus));
  return text;
}

}  // namespace

int adcheckExitStatus(const kxAdcheckResult& inResult) {
  const bool logonFailed = inResult.credentialChecked && inResult.authResult != kxAuthResult_ok;
  const bool silent = unreachable(inResult.groupStatus) || (logonFailed && unreachable(inResult.systemError));
  // A name the translator did not find comes without a code: a refusal, unless the
  // directory was out of reach meanwhile.
  const bool refused = logonFailed && inResult.authResult != kxAuthResult_libraryError &&
                       !unreachable(inResult.systemError) && !(inResult.systemError == 0 && silent);
  if (refused) return kAdcheckLogonFailed;
  if (silent) return kAdcheckUnreachable;
  if (!inResult.sidFound || logonFailed || !inResult.groupsRead) return kAdcheckFailed;
  return kAdcheckOk;
}

std::string adcheckJson(const kxAdcheckResult& inResult) {
  nlohmann::ordered_json out;
  out["user"] = inResult.user;
  out["domain"] = inResult.sidFound ? nlohmann::ordered_json(inResult.domain) : nullptr;
  out["sid"] = inResult.sidFound ? nlohmann::ordered_json(inResult.sid) : nullptr;
  out["authenticated"] = inResult.credentialChecked && inResult.authResult == kxAuthResult_ok;
  if (inResult.credentialChecked) {
    out["status"] = {{"code", hexStatus(orvo::platform::hresultFromWin32(inResult.systemError))},
                     {"text", statusText(inResult)}};
  } else {
    out["status"] = nullptr;
  }
  if (inResult.groupsRead) {
    nlohmann::ordered_json groups = nlohmann::ordered_json::array();
    for (const kxGroupEntry& group : inResult.groups) groups.push_back({{"name", group.name}, {"dn", group.dn}});
    out["groups"] = std::move(groups);
  } else {
    out["groups"] = nullptr;
  }
  out["duration_ms"] = inResult.durationMs;
  return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
