// What the integration tests of adcheck share: running the program with piped answers, the
// peers of peers.py, reading its report, and the fixture that points everything at the
// throwaway domain controller of scripts/testdc.
//
// The controller's settings arrive as the `export` lines `scripts/testdc start` printed, in
// the file TESTDC_ENV_FILE; the program under test is the one built beside these tests (or
// ADCHECK_PROGRAM).
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/kxtestsupport.h"

namespace adcheck_test {

using orvo::test::readFile;
using orvo::test::TempDir;

inline std::string env(const char* inName) {
  const char* value = std::getenv(inName);
  return value != nullptr ? value : "";
}

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;
  double seconds = 0;
};

// Runs a program with the given standard input; inEnv entries "NAME=value" set, "NAME" unset.
// inChild runs in the child before the program starts (a working folder, a namespace).
inline Outcome runProgram(const std::vector<std::string>& inArgs, const std::string& inInput,
                   const std::vector<std::string>& inEnv = {}, const std::function<void()>& inChild = {}) {
  TempDir dir;
  {
    std::ofstream input(dir.file("in"), std::ios::binary);
    input << inInput;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    for (const std::string& item : inEnv) {
      const size_t eq = item.find('=');
      if (eq == std::string::npos) unsetenv(item.c_str());
      else setenv(item.substr(0, eq).c_str(), item.substr(eq + 1).c_str(), 1);
    }
    if (inChild) inChild();
    if (!freopen(dir.file("in").c_str(), "r", stdin) || !freopen(dir.file("out").c_str(), "w", stdout) ||
        !freopen(dir.file("err").c_str(), "w", stderr))
      _exit(126);
    std::vector<char*> argv;
    for (const std::string& arg : inArgs) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Outcome run;
  // Never let a hung child hang the suite: end it (by its pid) after two minutes.
  int status = 0;
  for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
    if (waited == 1200) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  run.out = readFile(dir.file("out"));
  run.err = readFile(dir.file("err"));
  return run;
}

// The program under test: ADCHECK_PROGRAM, or the one this test was built with.
inline std::string program() {
  const std::string named = env("ADCHECK_PROGRAM");
  return named.empty() ? ORVO_ADCHECK_PROGRAM : named;
}

inline Outcome adcheck(const std::string& inInput, const std::vector<std::string>& inEnv = {},
                const std::function<void()>& inChild = {}) {
  return runProgram({program()}, inInput, inEnv, inChild);
}

// One of the peers of peers.py, started with inArgs and ended (by its pid) with the object.
class Peer {
 public:
  explicit Peer(const std::vector<std::string>& inArgs) {
    int out[2];
    if (pipe(out) != 0) return;
    itsPid = fork();
    if (itsPid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<std::string> args = {"python3", ORVO_TEST_PEERS};
      args.insert(args.end(), inArgs.begin(), inArgs.end());
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execvp("python3", argv.data());
      _exit(127);
    }
    close(out[1]);
    // "ready PORT" once it listens.
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 30000) > 0 && read(out[0], &c, 1) == 1) line += c;
    close(out[0]);
    if (line.rfind("ready ", 0) == 0) itsPort = std::atoi(line.c_str() + 6);
  }
  ~Peer() {
    if (itsPid > 0) {
      kill(itsPid, SIGTERM);
      waitpid(itsPid, nullptr, 0);
    }
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;
  int port() const { return itsPort; }

 private:
  pid_t itsPid = -1;
  int itsPort = 0;
};

inline std::vector<std::string> lines(const std::string& inText) {
  std::vector<std::string> out;
  std::istringstream in(inText);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The groups adcheck printed after "Succesfully retrieved N groups:", checking N.
inline std::vector<std::string> printedGroups(const std::string& inOut) {
  const std::vector<std::string> all = lines(inOut);
  for (size_t i = 0; i < all.size(); ++i) {
    std::smatch m;
    if (std::regex_match(all[i], m, std::regex("Succesfully retrieved ([0-9]+) groups:"))) {
      std::vector<std::string> groups(all.begin() + i + 1, all.end());
      EXPECT_EQ(std::to_string(groups.size()), m[1].str());
      return groups;
    }
  }
  ADD_FAILURE() << "no group list in:\n" << inOut;
  return {};
}

inline std::string shell(const std::string& inCommand) {
  std::string out;
  if (FILE* pipe = popen(inCommand.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// Names of every group the account is in, directly or nested, by the server's own in-chain rule.
inline std::set<std::string> inChainGroups(const std::string& inDN) {
  const std::string out = shell("ldapsearch -o ldif-wrap=no -LLL -Q -Y GSSAPI -N -H '" + env("TESTDC_URI") +
                                "' -b '" + env("TESTDC_BASE_DN") + "' '(member:1.2.840.113556.1.4.1941:=" +
                                inDN + ")' name 2>/dev/null");
  std::set<std::string> names;
  for (const std::string& line : lines(out))
    if (line.rfind("name: ", 0) == 0) names.insert(line.substr(6));
  return names;
}

inline std::string dnOf(const std::string& inRdn) { return inRdn + "," + env("TESTDC_BASE_DN"); }

inline bool contains(const std::string& inText, const std::string& inPart) {
  return inText.find(inPart) != std::string::npos;
}

// Position of a text in a log, npos when absent.
inline size_t at(const std::string& inText, const std::string& inPart) { return inText.find(inPart); }

class Adcheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ifstream in(env("TESTDC_ENV_FILE"));
    std::string line;
    const std::regex exportLine("export ([A-Z0-9_]+)='(.*)'");
    while (std::getline(in, line)) {
      std::smatch m;
      if (std::regex_match(line, m, exportLine)) setenv(m[1].str().c_str(), m[2].str().c_str(), 1);
    }
  }
  void SetUp() override {
    if (env("TESTDC_URI").empty()) GTEST_FAIL() << "no test domain controller (TESTDC_ENV_FILE)";
    password = env("TESTDC_USER_PASSWORD");
  }
  std::string password;
};

// Whether a child may take a mount namespace of its own with private mounts. Not inside a
// chroot whose root is no mount point: there a bind mount could only be shared with the
// system outside, so the tests that need one skip.
inline bool privateMountNamespaceWorks() {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0)
    _exit(unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 ? 0 : 1);
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace adcheck_test
