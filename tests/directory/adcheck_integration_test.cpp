// adcheck against the throwaway domain controller of scripts/testdc, with piped answers.
//
// The controller's settings arrive as the `export` lines `scripts/testdc start` printed, in
// the file TESTDC_ENV_FILE; the program under test is the one built beside these tests (or
// ADCHECK_PROGRAM). Expected groups are
// checked against what ldapsearch's in-chain query finds, the SIDs against samba-tool.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/kxtestsupport.h"

namespace {

using orvo::test::readFile;
using orvo::test::TempDir;

std::string env(const char* inName) {
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
Outcome runProgram(const std::vector<std::string>& inArgs, const std::string& inInput,
               const std::vector<std::string>& inEnv = {}) {
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
std::string program() {
  const std::string named = env("ADCHECK_PROGRAM");
  return named.empty() ? ORVO_ADCHECK_PROGRAM : named;
}

Outcome adcheck(const std::string& inInput, const std::vector<std::string>& inEnv = {}) {
  return runProgram({program()}, inInput, inEnv);
}

std::vector<std::string> lines(const std::string& inText) {
  std::vector<std::string> out;
  std::istringstream in(inText);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The groups adcheck printed after "Succesfully retrieved N groups:", checking N.
std::vector<std::string> printedGroups(const std::string& inOut) {
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

std::string shell(const std::string& inCommand) {
  std::string out;
  if (FILE* pipe = popen(inCommand.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// Names of every group the account is in, directly or nested, by the server's own in-chain rule.
std::set<std::string> inChainGroups(const std::string& inDN) {
  const std::string out = shell("ldapsearch -o ldif-wrap=no -LLL -Q -Y GSSAPI -N -H '" + env("TESTDC_URI") +
                                "' -b '" + env("TESTDC_BASE_DN") + "' '(member:1.2.840.113556.1.4.1941:=" +
                                inDN + ")' name 2>/dev/null");
  std::set<std::string> names;
  for (const std::string& line : lines(out))
    if (line.rfind("name: ", 0) == 0) names.insert(line.substr(6));
  return names;
}

std::string dnOf(const std::string& inRdn) { return inRdn + "," + env("TESTDC_BASE_DN"); }

bool contains(const std::string& inText, const std::string& inPart) {
  return inText.find(inPart) != std::string::npos;
}

// Position of a text in a log, npos when absent.
size_t at(const std::string& inText, const std::string& inPart) { return inText.find(inPart); }

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

TEST_F(Adcheck, ReportHasTheDocumentedShape) {
  const Outcome run = adcheck("alice\n\n\n\n");
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> out = lines(run.out);
  ASSERT_GE(out.size(), 5u) << run.out << run.err;
  EXPECT_EQ(out[0], "user []: password []: server []: enum groups [y]: searching for SID for user <alice>...");
  const std::string sid = shell("samba-tool user show alice -s '" + env("TESTDC_DIR") +
                                "/dc/etc/smb.conf' --attributes=objectSid 2>/dev/null | sed -n 's/^objectSid: //p'");
  EXPECT_EQ(out[1], "SID found: <" + sid.substr(0, sid.find('\n')) + ">");
  EXPECT_TRUE(std::regex_match(out[1], std::regex("SID found: <S-1-5-21-[0-9]+-[0-9]+-[0-9]+-[0-9]+>")));
  EXPECT_EQ(out[2], "reference domain: <" + env("TESTDC_DOMAIN") + ">");
  EXPECT_EQ(out[3], "Retrieving all groups for user...");
  EXPECT_EQ(printedGroups(run.out),
            (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Lab/Ops", "Staff", "Tools"}));
  // Log lines go to standard error as "HH:MM:SS text".
  EXPECT_TRUE(std::regex_search(run.err, std::regex("(^|\n)[0-9]{2}:[0-9]{2}:[0-9]{2} kxAuthenticator::"
                                                    "getADUserGroups - result SUCCESS\n")))
      << run.err;
  EXPECT_FALSE(contains(run.err, "Error")) << run.err;
}

TEST_F(Adcheck, CredentialCheckResults) {
  struct Case {
    std::string user;
    std::string password;
    std::string expected;  // on standard output, or the failure text on standard error
    bool ok;
  };
  const std::string wrong = "not-" + password;
  const std::vector<Case> cases = {
      {"alice", password, "User authenticated...", true},
      {"alice", wrong, "Login: AD authetication failed for user \"alice\". Error code 3([0x52e] ", false},
      {"ADCHECK\\alice", wrong, "Error code 3([0x52e] ", false},
      {"nobody", password, "Login: AD authetication failed for user \"nobody\". Error code 1([0x0] ", false},
      {"dave", password, "Error code 2([0x533] ", false},  // disabled
      {"eve", password, "Error code 2([0x701] ", false},   // account expired
      {"carl", password, "Error code 2([0x773] ", false},  // must change the password
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + " / " + (c.password == password ? "right" : "wrong") + " password");
    const Outcome run = adcheck(c.user + "\n" + c.password + "\n\n\n");
    EXPECT_EQ(run.status, 0);
    if (c.ok) {
      EXPECT_TRUE(contains(run.out, c.expected)) << run.out;
      EXPECT_FALSE(contains(run.err, "authetication failed")) << run.err;
    } else {
      EXPECT_TRUE(contains(run.err, c.expected)) << run.err;
      EXPECT_FALSE(contains(run.out, "User authenticated")) << run.out;
    }
    // Every check runs whatever the previous one gave.
    EXPECT_TRUE(contains(run.out, "Retrieving all groups for user...")) << run.out;
  }
}

TEST_F(Adcheck, AccountNameForms) {
  struct Case {
    std::string user;
    std::string translatorLine;  // "" when no translation precedes the credential check
    std::string logonLine;
    bool authenticated;
  };
  const std::string dn = dnOf("CN=Pat Smith,OU=Staff");
  const std::vector<Case> cases = {
      {"ADCHECK\\psmith", "", "authenticateUser domain: ADCHECK, user: psmith", true},
      {"pat.smith@adcheck.test", "findUser initing name translator on domain \"adcheck.test\" and user \"pat.smith\"",
       "authenticateUser domain: ADCHECK, user: psmith", true},
      {"psmith", "findUser initing name translator on global catalog",
       "authenticateUser domain: ADCHECK, user: psmith", true},
      {dn, "findUser initing name translator on global catalog", "authenticateUser domain: ADCHECK, user: psmith",
       true},
      // The key is the principal name after the backslash, but the whole text is translated,
      // and no account is called "pat.smith@adcheck.test".
      {"ADCHECK\\pat.smith@adcheck.test",
       "findUser initing name translator on domain \"adcheck.test\" and user \"pat.smith\"",
       "authenticateUser - user \"ADCHECK\\pat.smith@adcheck.test\" could not be found", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    const Outcome run = adcheck(c.user + "\n" + password + "\n\n\n");
    EXPECT_EQ(run.status, 0);
    const size_t logon = at(run.err, c.logonLine);
    ASSERT_NE(logon, std::string::npos) << run.err;
    const size_t translator = at(run.err, "findUser initing");
    if (c.translatorLine.empty()) {
      EXPECT_TRUE(translator == std::string::npos || translator > logon) << run.err;
    } else {
      EXPECT_LT(at(run.err, c.translatorLine), logon) << run.err;
    }
    EXPECT_EQ(contains(run.out, "User authenticated..."), c.authenticated) << run.out << run.err;
  }
}

TEST_F(Adcheck, GroupRetrieval) {
  struct Case {
    std::string user;
    std::string enumerate;
    std::vector<std::string> groups;
  };
  const std::vector<Case> cases = {
      {"bob", "", {"Beta", "Engineering", "Everyone", "Staff", "Tools"}},  // a membership cycle
      {"nora", "y", {"Hub", "Lab"}},      // the second "Lab" is neither recorded nor expanded
      {"alice", "n", {"Engineering", "Lab/Ops"}},  // direct groups only
      {"alice", "No", {"Engineering", "Lab/Ops"}},
      {"alice", "x", {"Beta", "Engineering", "Everyone", "Lab/Ops", "Staff", "Tools"}},
      {"rita", "", {"Lab/Ops"}},         // "/" in the account's and the group's DN
      {"mike", "", {}},                  // no memberOf at all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + " enum=" + c.enumerate);
    const Outcome run = adcheck(c.user + "\n\n\n" + c.enumerate + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(printedGroups(run.out), c.groups) << run.err;
  }
  const Outcome rita = adcheck("rita\n\n\n\n");
  EXPECT_TRUE(contains(rita.err, "getUserGroups opening object \"" + dnOf("CN=Rita\\2fDev,OU=R\\2fD") + "\""))
      << rita.err;
}

TEST_F(Adcheck, NestedGroupsMatchTheInChainQuery) {
  // Equal to the server's own answer, except for what the same-name rule leaves out.
  for (const auto& [user, dn] : std::map<std::string, std::string>{
           {"alice", dnOf("CN=Alice,OU=Staff")}, {"bob", dnOf("CN=Bob,OU=Staff")},
           {"rita", dnOf("CN=Rita/Dev,OU=R/D")}}) {
    SCOPED_TRACE(user);
    const std::set<std::string> expected = inChainGroups(dn);
    EXPECT_FALSE(expected.empty());
    const std::vector<std::string> printed = printedGroups(adcheck(user + "\n\n\n\n").out);
    EXPECT_EQ(std::set<std::string>(printed.begin(), printed.end()), expected);
  }
  std::set<std::string> nora = inChainGroups(dnOf("CN=Nora,OU=Staff"));
  EXPECT_EQ(nora, (std::set<std::string>{"Gamma", "Hub", "Lab"}));
}

TEST_F(Adcheck, ExplicitServerAndCredentials) {
  // With a server the account's path starts with it; with a principal name and a password the
  // objects are opened with those credentials (over TLS).
  const Outcome run = adcheck("pat.smith@adcheck.test\n" + password + "\n127.0.0.1\n\n");
  EXPECT_TRUE(contains(run.err, "getUserGroups opening object \"127.0.0.1/" + dnOf("CN=Pat Smith,OU=Staff") + "\""))
      << run.err;
  EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Staff", "Tools"}));
}

TEST_F(Adcheck, AnswersAtTheLimits) {
  {
    SCOPED_TRACE("empty answers");
    const Outcome run = adcheck("\n\n\n\n");
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << run.out;
    EXPECT_EQ(out[0], "user []: password []: server []: enum groups [y]: searching for SID for user <>...");
    EXPECT_EQ(out[1], "Retrieving all groups for user...");
    EXPECT_EQ(lines(run.err).back(), "Getting groups failed for user \"\".");
    EXPECT_TRUE(contains(run.err, "Error finding SID for user\n"));
    EXPECT_FALSE(contains(run.err, "authetication"));
  }
  {
    SCOPED_TRACE("no input at all");
    const Outcome run = adcheck("");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(lines(run.out)[0], "user []: password []: server []: enum groups [y]: searching for SID for user <>...");
  }
  {
    SCOPED_TRACE("an answer of 600 characters");
    // Cut to 511; the stream then fails, so the password line is never read.
    const Outcome run = adcheck(std::string(600, 'a') + "\n" + password + "\n\nn\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(lines(run.out)[0], "user []: password []: server []: enum groups [y]: searching for SID for user <" +
                                     std::string(511, 'a') + ">...");
    EXPECT_FALSE(contains(run.err, "authetication"));
    EXPECT_TRUE(contains(run.err, "Getting groups failed"));
  }
  {
    SCOPED_TRACE("end of input after one answer");
    const Outcome run = adcheck("bob");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Staff", "Tools"}));
  }
}

TEST_F(Adcheck, FilterCharactersInANameFindNothing) {
  for (const std::string user : {"*)(objectClass=*", "*", "ADCHECK\\*", "a*@adcheck.test"}) {
    SCOPED_TRACE(user);
    const Outcome run = adcheck(user + "\n" + password + "\n\n\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.err, "Error finding SID for user")) << run.out;
    EXPECT_TRUE(contains(run.err, "Getting groups failed")) << run.out;
    EXPECT_FALSE(contains(run.out, "User authenticated")) << run.out;
  }
}

TEST_F(Adcheck, PasswordNeverShown) {
  for (const std::string user : {"pat.smith@adcheck.test", "alice", "ADCHECK\\alice", "nobody@adcheck.test"}) {
    SCOPED_TRACE(user);
    for (const std::string& secret : {password, std::string("Wr0ng-Secret.9")}) {
      const Outcome run = adcheck(user + "\n" + secret + "\n\n\n");
      EXPECT_FALSE(contains(run.out, secret));
      EXPECT_FALSE(contains(run.err, secret)) << run.err;
    }
  }
}

// Reads a terminal's output until inWanted appears (or the program ends); gives all read so far.
std::string readTerminal(int inFd, std::string& ioSeen, const std::string& inWanted) {
  char buffer[1024];
  while (ioSeen.find(inWanted) == std::string::npos) {
    pollfd p{inFd, POLLIN, 0};
    if (poll(&p, 1, 60000) <= 0) break;
    const ssize_t n = read(inFd, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program has ended
    ioSeen.append(buffer, static_cast<size_t>(n));
  }
  return ioSeen;
}

TEST_F(Adcheck, PasswordIsNotEchoedOnATerminal) {
  const std::string secret = "Echo-Test.7";
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string path = program();
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  readTerminal(terminal, seen, "user []: ");
  ASSERT_EQ(write(terminal, "ADCHECK\\alice\n", 14), 14);
  readTerminal(terminal, seen, "password []: ");
  const std::string answer = secret + "\n";
  ASSERT_EQ(write(terminal, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
  readTerminal(terminal, seen, "server []: ");
  ASSERT_EQ(write(terminal, "\nn\n", 3), 3);
  readTerminal(terminal, seen, "\x01never");
  int status = 0;
  waitpid(pid, &status, 0);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The user name is echoed by the terminal, the password is not; the program writes the line
  // end the Enter key would have shown, so the next prompt starts a new line as before.
  EXPECT_TRUE(contains(seen, "user []: ADCHECK\\alice\r\npassword []: \r\nserver []: ")) << seen;
  EXPECT_FALSE(contains(seen, secret)) << seen;
  EXPECT_TRUE(contains(seen, "Error code 3([0x52e] ")) << seen;
}

TEST_F(Adcheck, UntrustedCertificateIsRefused) {
  // The explicit-credential bind needs TLS; without the test CA the server is not trusted.
  const std::vector<std::string> noCA = {"ADCHECK_CA_FILE", "LDAPTLS_CACERT", "LDAPTLS_CACERTDIR",
                                         "LDAPCONF=/dev/null", "LDAPRC=/dev/null"};
  const Outcome run = adcheck("pat.smith@adcheck.test\n" + password + "\n\n\n", noCA);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.err, "findUser error initing the name translator, error 0x")) << run.err;
  EXPECT_TRUE(contains(run.err, "Error code 1([0x0] ")) << run.err;
  EXPECT_TRUE(contains(run.err, "Getting groups failed")) << run.err;
  // The same with the CA configured works (the other tests), and so does a CA given by file.
  const Outcome trusted = adcheck("pat.smith@adcheck.test\n" + password + "\n\n\n",
                              {"ADCHECK_CA_FILE=" + env("TESTDC_CA_FILE"), "LDAPTLS_CACERT"});
  EXPECT_TRUE(contains(trusted.out, "User authenticated...")) << trusted.err;
}

TEST_F(Adcheck, SilentDirectoryEndsWithinTheTimeOut) {
  // A listener that accepts connections at the TCP level and never answers.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 16), 0);
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string uri = "ldap://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  const Outcome run = adcheck("alice\n" + password + "\n\n\n",
                          {"ADCHECK_LDAP_URI=" + uri, "ADCHECK_GC_URI=" + uri, "ADCHECK_TIMEOUT=2"});
  close(listener);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.err, "Error finding SID for user")) << run.err;
  // Time-out or server down, depending on the step the wait ran out in.
  EXPECT_TRUE(std::regex_search(run.err, std::regex("findUser error initing the name translator, error "
                                                    "0x800(705B4|7203A)\n")))
      << run.err;
  EXPECT_TRUE(contains(run.err, "Getting groups failed for user \"alice\".")) << run.err;
  // Three binds that time out (SID, credential check, groups), with room for a slow machine.
  EXPECT_LT(run.seconds, 30.0);
}

TEST_F(Adcheck, SettingsFromAConfigurationFile) {
  TempDir dir;
  {
    std::ofstream config(dir.file("adcheck.conf"));
    config << "# the test domain\n"
           << "domain = " << env("TESTDC_DNS_DOMAIN") << "\n"
           << "ldap_uri = " << env("ADCHECK_LDAP_URI") << "\n"
           << "gc_uri=" << env("ADCHECK_GC_URI") << "\n"
           << "ca_file = " << env("TESTDC_CA_FILE") << "   # for TLS\n";
  }
  const Outcome run = adcheck("pat.smith@adcheck.test\n" + password + "\n\n\n",
                              {"ADCHECK_CONFIG=" + dir.file("adcheck.conf"), "ADCHECK_DOMAIN", "ADCHECK_LDAP_URI",
                               "ADCHECK_GC_URI", "ADCHECK_CA_FILE", "LDAPTLS_CACERT"});
  EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
  EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Staff", "Tools"}));
}

TEST_F(Adcheck, MissingCredentialLibrary) {
  TempDir dir;
  const std::string copy = dir.file("adcheck");
  std::filesystem::copy_file(program(), copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  const Outcome run = runProgram({copy}, "ADCHECK\\alice\n" + password + "\n\n\n", {"LD_LIBRARY_PATH"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.err, "Login: AD authetication failed for user \"ADCHECK\\alice\". Error code 4([0x7e] "
                                "The module could not be found.)"))
      << run.err;
  EXPECT_TRUE(contains(run.out, "Succesfully retrieved")) << run.out;
}

}  // namespace
