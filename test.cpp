// adcheck: checks one account of the machine's Active Directory domain. Finds the account's
// SID, checks its password and lists every group of the account.
//
// Without arguments it is the operator's dialogue: it asks for a user name, a password, a
// directory server and whether groups are enumerated, then reports. Failures of the checks
// are reported on standard error; the exit status is always 0. End of input at a question
// ends the dialogue before anything is checked.
//
// With options (kxadcheckoptions.h) it asks nothing: the user comes from -u, the password
// from the first line of standard input (--password-stdin), the report is the dialogue's or
// one JSON object (--json), and the exit status tells the result (kxadcheckreport.h). Bad
// settings are then an error; the dialogue warns and goes on.
//
// A password typed at a terminal is not echoed; the line end the Enter key would have shown
// is written instead, so the screen looks the same. Piped or redirected answers are read as
// they come, one CR before the line end removed as a Windows console does. No core file is
// written while the process runs: it would hold the password.
//
// Texts that come from the directory (the domain and group names) and the user name as typed
// are printed with their control characters escaped, so a name cannot forge report lines or
// drive the terminal.
//
// All checks of a run share one directory session: one connection per server and
// credentials serves the SID lookup, the credential check and the group retrieval.
#ifndef _WIN32
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <set>
#include <string>

#include "kxadcheckoptions.h"
#include "kxadcheckreport.h"
#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxinfolog.h"
#include "orvo/kxversion.h"
#include "orvo/platform/kxconsoleinput.h"
#include "orvo/platform/kxdirectory.h"
#include "orvo/util/kxauthenticator.h"

namespace {

constexpr std::streamsize kAnswerSize = 512;

// A password, wiped from memory when it is no longer needed.
class Secret {
 public:
  Secret() = default;
  ~Secret() { wipe(); }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  std::string& text() { return itsText; }
  void wipe() {
    volatile char* bytes = itsText.data();
    for (size_t i = 0; i < itsText.size(); ++i) bytes[i] = '\0';
    itsText.clear();
  }

 private:
  std::string itsText;
};

// One answer line of at most 511 characters. A longer line leaves the stream failed, and
// every later answer then reads as empty. Nothing at all when the input has ended before the
// answer, so that the caller can stop rather than go on with defaults.
std::optional<std::string> readAnswer() {
  char buffer[kAnswerSize];
  buffer[0] = '\0';
  std::cin.getline(buffer, kAnswerSize);
  if (std::cin.eof() && std::cin.gcount() == 0) return std::nullopt;
  size_t length = std::strlen(buffer);
  if (length > 0 && buffer[length - 1] == '\r') --length;
  std::string answer(buffer, length);
  // The buffer may have held a password.
  volatile char* bytes = buffer;
  for (std::streamsize i = 0; i < kAnswerSize; ++i) bytes[i] = '\0';
  return answer;
}

// Echo goes off before the prompt is shown, so nothing typed after it appears on screen.
std::optional<std::string> readSecretAnswer(const std::string& inPrompt) {
  if (!orvo::platform::standardInputIsTerminal()) {
    std::cout << inPrompt;
    return readAnswer();
  }
  std::optional<std::string> answer;
  {
    orvo::platform::TerminalEchoOff quiet;
    std::cout << inPrompt;
    answer = readAnswer();
  }
  std::cout << std::endl;
  return answer;
}

// The password must not reach a core file.
// Windows writes no dump of a console program unless the machine is set up to collect them.
void preventCoreFiles() {
#ifndef _WIN32
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

// What is wrong with the settings, each naming where and which key. Windows reads none.
std::vector<std::string> settingsProblems() {
#ifdef _WIN32
  return {};
#else
  return orvo::platform::DirectoryConfig::settingsProblems();
#endif
}

struct CheckRequest {
  std::string user;
  std::string server;
  bool nested = true;
  bool primaryGroup = false;
  bool printReport = true;  // the dialogue's report lines, as each check ends
};

// The three checks, one after another, each run whatever the previous one gave.
kxAdcheckResult runChecks(const CheckRequest& inRequest, const std::string& inPassword) {
  const auto start = std::chrono::steady_clock::now();
  orvo::platform::DirectorySession session;
  kxAuthenticator::openConnectionsAhead(session, inRequest.user);
  if (!inPassword.empty()) kxAuthenticator::askKdcAhead(session, inRequest.user);
  kxAdcheckResult result;
  result.user = inRequest.user;
  // The name as given may hold control characters too.
  const std::string shownUser = kxAuthenticator::displayText(inRequest.user);
  const bool print = inRequest.printReport;

  if (print) std::cout << "searching for SID for user <" << shownUser << ">..." << std::endl;
  result.sidFound = kxAuthenticator::getUserSID(inRequest.user, result.sid, result.domain);
  if (print) {
    if (result.sidFound) {
      std::cout << "SID found: <" << result.sid << ">" << std::endl;
      std::cout << "reference domain: <" << kxAuthenticator::displayText(result.domain) << ">" << std::endl;
    } else {
      std::cerr << "Error finding SID for user" << std::endl;
    }
  }

  if (!inPassword.empty()) {
    // The groups are read while the credential check waits for the KDC.
    kxAuthenticator::readAheadGroups(session, inRequest.server, inRequest.user, inPassword, inRequest.nested);
    result.credentialChecked = true;
    result.authResult = kxAuthenticator::authenticateUser(inRequest.user, inPassword, std::string(), result.systemError);
    if (print) {
      if (result.authResult == kxAuthResult_ok) {
        std::cout << "User authenticated..." << std::endl;
      } else {
        std::cerr << "Login: AD authetication failed for user \"" << shownUser << "\". Error code " << result.authResult
                  << "(" << kxAuthenticator::getErrorText(result.systemError) << ")" << std::endl;
      }
    }
  }

  if (print) std::cout << "Retrieving all groups for user..." << std::endl;
  result.groupsRead = kxAuthenticator::getADUserGroupEntries(inRequest.server, inRequest.user, inPassword,
                                                             inRequest.nested, inRequest.primaryGroup,
                                                             result.groups, result.groupStatus);
  // By name, as the set of names orders them; groups that share a name in the order reached.
  std::stable_sort(result.groups.begin(), result.groups.end(),
                   [](const kxGroupEntry& a, const kxGroupEntry& b) { return a.name < b.name; });
  if (print) {
    if (result.groupsRead) {
      std::set<std::string> names;
      for (const kxGroupEntry& group : result.groups) names.insert(group.name);
      std::cout << "Succesfully retrieved " << names.size() << " groups:" << std::endl;
      for (const std::string& name : names) std::cout << kxAuthenticator::displayText(name) << std::endl;
    } else {
      std::cerr << "Getting groups failed for user \"" << shownUser << "\"." << std::endl;
    }
  }
  result.durationMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  return result;
}

// The dialogue: four questions, then the report. Always exit status 0.
int runDialogue() {
  kxSetInfoLogLevel(kxInfoLogDebug);
  for (const std::string& problem : settingsProblems()) std::cerr << "adcheck: warning: " << problem << std::endl;

  CheckRequest request;
  Secret password;

  std::cout << "user [" << request.user << "]: ";
  std::optional<std::string> answer = readAnswer();
  if (answer && !answer->empty()) request.user = *answer;
  if (answer) {
    answer = readSecretAnswer("password [" + password.text() + "]: ");
    if (answer && !answer->empty()) password.text() = *answer;
    if (answer) answer->assign(answer->size(), '\0');
  }
  if (answer) {
    std::cout << "server []: ";
    answer = readAnswer();
    if (answer && !answer->empty()) request.server = *answer;
  }
  if (answer) {
    std::cout << "enum groups [y]: ";
    answer = readAnswer();
    if (answer && !answer->empty() && ((*answer)[0] == 'n' || (*answer)[0] == 'N')) request.nested = false;
  }
  if (!answer) {
    // The line end the operator's Ctrl-D did not give, so the shell's prompt starts a line.
    std::cout << std::endl;
    return 0;
  }
  runChecks(request, password.text());
  return 0;
}

// The password of --password-stdin: the first line of standard input, one CR before its end
// removed; a terminal does not echo it. Nothing when there is no such line or it is empty.
bool readPasswordLine(Secret& outPassword, std::string& outError) {
  orvo::platform::TerminalEchoOff quiet;
  const std::optional<std::string> line = readAnswer();
  if (!line) {
    outError = "--password-stdin: standard input holds no line";
    return false;
  }
  if (!std::cin) {
    outError = "--password-stdin: the first line of standard input is longer than " +
               std::to_string(kAnswerSize - 1) + " characters";
    return false;
  }
  outPassword.text() = *line;
  if (outPassword.text().empty()) {
    outError = "--password-stdin: the first line of standard input is empty";
    return false;
  }
  return true;
}

int usageError(const std::string& inError) {
  std::cerr << "adcheck: " << inError << "\nTry 'adcheck --help' for more information." << std::endl;
  return kAdcheckUsage;
}

int runWithOptions(int inArgc, char** inArgv) {
  kxAdcheckOptions options;
  std::string error;
  switch (parseAdcheckOptions(inArgc, inArgv, options, error)) {
    case kxAdcheckCommand::help: std::cout << adcheckUsage(); return kAdcheckOk;
    case kxAdcheckCommand::version: std::cout << "adcheck " << kOrvoVersion << std::endl; return kAdcheckOk;
    case kxAdcheckCommand::usageError: return usageError(error);
    case kxAdcheckCommand::run: break;
  }
  if (!options.configFile.empty()) {
#ifdef _WIN32
    return usageError("--config: settings files are read on Linux only; Windows asks its own domain");
#else
    // Through the variable, so that the credential library reads the same file.
    setenv("ADCHECK_CONFIG", options.configFile.c_str(), 1);
#endif
  }
  const std::vector<std::string> problems = settingsProblems();
  if (!problems.empty()) {
    for (const std::string& problem : problems) std::cerr << "adcheck: " << problem << std::endl;
    return kAdcheckUsage;
  }
  Secret password;
  if (options.passwordFromStdin && !readPasswordLine(password, error)) return usageError(error);

  kxSetInfoLogLevel(options.quiet ? -1 : kxInfoLogDebug);
  CheckRequest request;
  request.user = options.user;
  request.server = options.server;
  request.nested = options.nested;
  request.primaryGroup = options.primaryGroup;
  request.printReport = !options.json;
  const kxAdcheckResult result = runChecks(request, password.text());
  password.wipe();
  if (options.json) std::cout << adcheckJson(result) << std::endl;
  return adcheckExitStatus(result);
}

}  // namespace

int main(int argc, char** argv) {
  preventCoreFiles();
  orvo::platform::startHeapDiagnostics();
  std::cout.setf(std::ios::unitbuf, std::ios::unitbuf);
  const int status = argc > 1 ? runWithOptions(argc, argv) : runDialogue();
  if (!orvo::platform::checkHeap()) kxAssertReport(__FILE__, __LINE__, "_CrtCheckMemory()", nullptr);
  return status;
}
