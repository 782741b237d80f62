// adcheck: checks one account of the machine's Active Directory domain. Asks for a user name,
// a password, a directory server and whether groups are enumerated, then reports the
// account's SID, whether the password is valid and every group of the account. Failures of
// the checks are reported on standard error; the exit status is always 0.
//
// A password typed at a terminal is not echoed; the line end the Enter key would have shown
// is written instead, so the screen looks the same. Piped or redirected answers are read as
// they come, one CR before the line end removed as a Windows console does. No core file is
// written while the process runs: it would hold the password.
//
// Texts that come from the directory (the domain and group names) and the user name as typed
// are printed with their control characters escaped, so a name cannot forge report lines or
// drive the terminal.
#ifndef _WIN32
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <string>

#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxinfolog.h"
#include "orvo/platform/kxconsoleinput.h"
#include "orvo/util/kxauthenticator.h"

namespace {

constexpr std::streamsize kAnswerSize = 512;

// One answer line of at most 511 characters. A longer line leaves the stream failed, and
// every later answer then reads as empty.
std::string readAnswer() {
  char buffer[kAnswerSize];
  buffer[0] = '\0';
  std::cin.getline(buffer, kAnswerSize);
  size_t length = std::strlen(buffer);
  if (length > 0 && buffer[length - 1] == '\r') --length;
  return std::string(buffer, length);
}

// Echo goes off before the prompt is shown, so nothing typed after it appears on screen.
std::string readSecretAnswer(const std::string& inPrompt) {
  if (!orvo::platform::standardInputIsTerminal()) {
    std::cout << inPrompt;
    return readAnswer();
  }
  std::string answer;
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

}  // namespace

int main() {
  preventCoreFiles();
  orvo::platform::startHeapDiagnostics();
  kxSetInfoLogLevel(kxInfoLogDebug);
  std::cout.setf(std::ios::unitbuf, std::ios::unitbuf);

  std::string user;
  std::string password;
  std::string server;
  bool enumerateGroups = true;

  std::cout << "user [" << user << "]: ";
  if (std::string answer = readAnswer(); !answer.empty()) user = answer;
  if (std::string answer = readSecretAnswer("password [" + password + "]: "); !answer.empty()) password = answer;
  std::cout << "server []: ";
  if (std::string answer = readAnswer(); !answer.empty()) server = answer;
  std::cout << "enum groups [y]: ";
  if (std::string answer = readAnswer(); !answer.empty() && (answer[0] == 'n' || answer[0] == 'N'))
    enumerateGroups = false;

  // The name as typed may hold control characters too.
  const std::string shownUser = kxAuthenticator::displayText(user);
  std::cout << "searching for SID for user <" << shownUser << ">..." << std::endl;
  std::string sid;
  std::string domain;
  if (kxAuthenticator::getUserSID(user, sid, domain)) {
    std::cout << "SID found: <" << sid << ">" << std::endl;
    std::cout << "reference domain: <" << kxAuthenticator::displayText(domain) << ">" << std::endl;
  } else {
    std::cerr << "Error finding SID for user" << std::endl;
  }

  if (!password.empty()) {
    uint32_t systemError = 0;
    const kxAuthResult result = kxAuthenticator::authenticateUser(user, password, std::string(), systemError);
    if (result == kxAuthResult_ok) {
      std::cout << "User authenticated..." << std::endl;
    } else {
      std::cerr << "Login: AD authetication failed for user \"" << shownUser << "\". Error code " << result << "("
                << kxAuthenticator::getErrorText(systemError) << ")" << std::endl;
    }
  }

  std::cout << "Retrieving all groups for user..." << std::endl;
  std::set<std::string> groups;
  if (kxAuthenticator::getADUserGroups(server, user, password, groups, enumerateGroups)) {
    std::cout << "Succesfully retrieved " << groups.size() << " groups:" << std::endl;
    for (const std::string& group : groups) std::cout << kxAuthenticator::displayText(group) << std::endl;
  } else {
    std::cerr << "Getting groups failed for user \"" << shownUser << "\"." << std::endl;
  }

  // The password is not needed any more; do not leave it in memory.
  volatile char* secret = password.data();
  for (size_t i = 0; i < password.size(); ++i) secret[i] = '\0';

  if (!orvo::platform::checkHeap()) kxAssertReport(__FILE__, __LINE__, "_CrtCheckMemory()", nullptr);
  return 0;
}
