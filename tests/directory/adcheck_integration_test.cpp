// adcheck against the throwaway domain controller of scripts/testdc, with piped answers.
// Expected groups are checked against what ldapsearch's in-chain query finds, the SIDs
// against samba-tool.
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>

#include <filesystem>
#include <map>

#include "adcheck_harness.h"

namespace {

using namespace adcheck_test;

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
  // objects are opened with those credentials (a Kerberos ticket obtained for them).
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
    SCOPED_TRACE("no input at all: the dialogue ends at the first question");
    const Outcome run = adcheck("");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "user []: \n");
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
    SCOPED_TRACE("end of input after one answer: the dialogue ends at the next question");
    const Outcome run = adcheck("bob");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "user []: password []: \n");
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

TEST_F(Adcheck, UnknownDomainIsRefusedNotCheckedAgainstAnother) {
  // The domain's NetBIOS name is not configured (read from the directory), as in a default set-up.
  for (const std::string user : {"WRONG\\alice", "CHILD\\bob", "other.test\\alice"}) {
    SCOPED_TRACE(user);
    const Outcome run = adcheck(user + "\n" + password + "\n\n\n", {"ADCHECK_NETBIOS_DOMAIN"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.err, "Error code 3([0x54b] ")) << run.err;
    EXPECT_FALSE(contains(run.out, "User authenticated")) << run.out;
    EXPECT_TRUE(contains(run.err, "Getting groups failed")) << run.err;
  }
  // The same account by its own domain's names.
  for (const std::string user : {"ADCHECK\\alice", "adcheck.test\\alice"}) {
    SCOPED_TRACE(user);
    EXPECT_TRUE(contains(adcheck(user + "\n" + password + "\n\n\n").out, "User authenticated..."));
  }
}

TEST_F(Adcheck, CredentialLibraryIsToldTheDomainTheRunLearned) {
  // The stand-in credential library of the unit tests (found first through LD_LIBRARY_PATH)
  // writes down the domain it is handed. Where the directory told this run the domain's
  // NetBIOS name, it is handed the domain's DNS name; a name nothing here has learned goes as
  // typed, for the real library to look up or refuse. No NetBIOS name is configured.
  TempDir dir;
  struct Case {
    std::string user;
    std::vector<std::string> env;
    std::string logged;  // the domain of the log line, the NT4 name's
    std::string handed;  // the domain the library is handed
  } cases[] = {
      {"alice", {}, "ADCHECK", "adcheck.test"},
      {"ADCHECK\\alice", {}, "ADCHECK", "adcheck.test"},
      {"adcheck.test\\alice", {}, "adcheck.test", "adcheck.test"},
      {"WRONG\\alice", {}, "WRONG", "WRONG"},
      // Without credentials of its own the run reads nothing of the directory: nothing learned.
      {"ADCHECK\\alice", {"KRB5CCNAME=MEMORY:empty"}, "ADCHECK", "ADCHECK"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.user + (c.env.empty() ? "" : " without a ticket"));
    std::remove(dir.file("log").c_str());
    c.env.insert(c.env.end(), {"ADCHECK_NETBIOS_DOMAIN", "LD_LIBRARY_PATH=" ORVO_FAKE_KXSSPI_DIR,
                               "FAKE_KXSSPI_LOG=" + dir.file("log")});
    const Outcome run = adcheck(c.user + "\n" + password + "\n\n\n", c.env);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile(dir.file("log")), "logon [" + c.handed + "] [alice] [" + password + "]\n") << run.err;
    EXPECT_TRUE(contains(run.err, "authenticateUser domain: " + c.logged + ", user: alice")) << run.err;
  }
}

TEST_F(Adcheck, CredentialCheckOpensNoDirectoryConnectionOfItsOwn) {
  // The real credential library, told the DNS name of a domain the run has learned, asks the
  // KDC at once: a run with the password opens no more connections to the controller than one
  // without (a proxy in front of it counts them). No NetBIOS name is configured.
  TempDir dir;
  Peer proxy({"proxy", "127.0.0.1", "389", "--connections", dir.file("connections")});
  ASSERT_NE(proxy.port(), 0);
  const std::vector<std::string> settings = {"ADCHECK_NETBIOS_DOMAIN",
                                             "ADCHECK_LDAP_URI=ldap://127.0.0.1:" + std::to_string(proxy.port())};
  const auto connections = [&](const std::string& inPassword) {
    std::remove(dir.file("connections").c_str());
    const Outcome run = adcheck("alice\n" + inPassword + "\n\n\n", settings);
    EXPECT_EQ(contains(run.out, "User authenticated..."), !inPassword.empty()) << run.err;
    EXPECT_EQ(printedGroups(run.out).size(), 6u) << run.err;
    return lines(readFile(dir.file("connections"))).size();
  };
  const size_t withoutPassword = connections("");
  EXPECT_GE(withoutPassword, 1u);
  EXPECT_EQ(connections(password), withoutPassword);
}

namespace {

// The wall-clock times a proxy's connections came (peers.py's connections file).
std::vector<double> connectionTimes(const std::string& inFile) {
  std::vector<double> times;
  for (const std::string& line : lines(readFile(inFile)))
    if (line.rfind("connection ", 0) == 0) times.push_back(std::stod(line.substr(11)));
  return times;
}

// The account's failed logons as the controller counts them.
int badPasswordCount(const std::string& inAccount) {
  const std::string out = shell("ldapsearch -o ldif-wrap=no -LLL -Q -Y GSSAPI -N -H '" + env("TESTDC_URI") + "' -b '" +
                                env("TESTDC_BASE_DN") + "' '(sAMAccountName=" + inAccount + ")' badPwdCount 2>/dev/null");
  const size_t at = out.find("badPwdCount: ");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 13);
}

}  // namespace

TEST_F(Adcheck, CredentialCheckAsksTheKdcWhileTheDirectoryLooksTheAccountUp) {
  // The check's first KDC exchange needs no password; it goes out at the start of the run, for
  // the account as typed in the configured domain. The directory and the catalog are reached
  // through proxies that hold everything 300 ms each way (a bind and the lookup take at least
  // four round trips: 2.4 s), the KDC through one that notes when each connection comes: the
  // KDC is asked long before the lookup is done, and the check still makes two exchanges, not
  // three. A wrong password costs the account one failed logon, as a check without the early
  // question does. An account of its own ("kira"), whose failed logons no other test touches.
  TempDir dir;
  std::ofstream(dir.file("kira.ldif")) << "dn: " << dnOf("CN=Kira,CN=Users") << "\nobjectClass: user\nsAMAccountName: kira\n\n";
  shell("ldapmodify -a -c -H '" + env("TESTDC_LDAPS_URI") + "' -x -D 'Administrator@" + env("TESTDC_DNS_DOMAIN") +
        "' -w '" + env("TESTDC_ADMIN_PASSWORD") + "' -f '" + dir.file("kira.ldif") + "' >/dev/null 2>&1");
  shell("printf '\"%s\"' '" + password + "' | iconv -f UTF-8 -t UTF-16LE | base64 -w0 > '" + dir.file("pwd") + "'");
  std::ofstream(dir.file("enable.ldif")) << "dn: " << dnOf("CN=Kira,CN=Users")
                                         << "\nchangetype: modify\nreplace: unicodePwd\nunicodePwd:: " << readFile(dir.file("pwd"))
                                         << "\n-\nreplace: userAccountControl\nuserAccountControl: 512\n-\n\n"
                                         // Failed logons are counted where a lockout policy applies (two).
                                         << "dn: " << dnOf("CN=lockout,CN=Password Settings Container,CN=System")
                                         << "\nchangetype: modify\nadd: msDS-PSOAppliesTo\nmsDS-PSOAppliesTo: "
                                         << dnOf("CN=Kira,CN=Users") << "\n-\n\n";
  shell("ldapmodify -c -H '" + env("TESTDC_LDAPS_URI") + "' -x -D 'Administrator@" + env("TESTDC_DNS_DOMAIN") + "' -w '" +
        env("TESTDC_ADMIN_PASSWORD") + "' -f '" + dir.file("enable.ldif") + "' >/dev/null 2>&1");
  Peer ldap({"proxy", "127.0.0.1", "389", "--delay", "300", "--connections", dir.file("ldap")});
  Peer catalog({"proxy", "127.0.0.1", "3268", "--delay", "300", "--connections", dir.file("ldap")});
  Peer kdc({"proxy", "127.0.0.1", "88", "--connections", dir.file("kdc")});
  ASSERT_NE(ldap.port(), 0);
  ASSERT_NE(catalog.port(), 0);
  ASSERT_NE(kdc.port(), 0);
  {
    std::string conf = readFile(env("KRB5_CONFIG"));
    const std::string line = "kdc = 127.0.0.1";
    conf.replace(conf.find(line), line.size(), line + ":" + std::to_string(kdc.port()));
    std::ofstream(dir.file("krb5.conf")) << conf;
  }
  const std::vector<std::string> settings = {"ADCHECK_LDAP_URI=ldap://127.0.0.1:" + std::to_string(ldap.port()),
                                             "ADCHECK_GC_URI=ldap://127.0.0.1:" + std::to_string(catalog.port()),
                                             "KRB5_CONFIG=" + dir.file("krb5.conf"), "ADCHECK_NETBIOS_DOMAIN"};
  // The process's own service ticket for the directory is in its cache first.
  adcheck("alice\n\n\n\n");
  struct Case {
    std::string user;
    std::string password;
    std::string report;
  };
  const std::vector<Case> cases = {
      {"kira", password, "User authenticated..."},
      {"KIRA", password, "User authenticated..."},  // the directory's name differs in case only
      {"kira", "not-" + password, "Error code 3([0x52e] "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + (c.password == password ? " / right password" : " / wrong password"));
    std::remove(dir.file("ldap").c_str());
    std::remove(dir.file("kdc").c_str());
    const int failedBefore = badPasswordCount("kira");
    const Outcome run = adcheck(c.user + "\n" + c.password + "\n\n\n", settings);
    EXPECT_TRUE(contains(run.out + run.err, c.report)) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "Succesfully retrieved 0 groups:")) << run.err;  // in none but its primary group
    const std::vector<double> directory = connectionTimes(dir.file("ldap"));
    const std::vector<double> kdcTimes = connectionTimes(dir.file("kdc"));
    ASSERT_FALSE(directory.empty());
    ASSERT_EQ(kdcTimes.size(), 2u);
    EXPECT_LT(kdcTimes.front() - directory.front(), 1.2);
    EXPECT_EQ(badPasswordCount("kira"), c.password == password ? 0 : failedBefore + 1);
  }
}

TEST_F(Adcheck, ExplicitCredentialsBindWithKerberosNeverWithThePassword) {
  // No CA anywhere: the explicit credentials need no certificate. Everything the client sends
  // passes through a recording proxy; the password is not in it, the GSSAPI bind is.
  TempDir dir;
  Peer proxy({"proxy", "127.0.0.1", "389", "--record", dir.file("sent")});
  ASSERT_NE(proxy.port(), 0);
  const std::string uri = "ldap://127.0.0.1:" + std::to_string(proxy.port());
  const Outcome run = adcheck("pat.smith@adcheck.test\n" + password + "\n\n\n",
                              {"ADCHECK_CA_FILE", "LDAPTLS_CACERT", "ADCHECK_LDAP_URI=" + uri});
  EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
  EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Staff", "Tools"}));
  const std::string sent = readFile(dir.file("sent"));
  EXPECT_TRUE(contains(sent, "GSS-SPNEGO"));
  EXPECT_FALSE(contains(sent, password));
  // A wrong password never reaches a directory server either: the KDC refuses it first.
  const Outcome wrong = adcheck("pat.smith@adcheck.test\nWr0ng-Secret.9\n\n\n", {"ADCHECK_LDAP_URI=" + uri});
  EXPECT_TRUE(contains(wrong.err, "findUser error initing the name translator, error 0x8007052E")) << wrong.err;
  EXPECT_FALSE(contains(readFile(dir.file("sent")), "Wr0ng-Secret.9"));
}

TEST_F(Adcheck, SimpleBindInsideTlsTrustsOnlyTheConfiguredCA) {
  const std::string input = "pat.smith@adcheck.test\n" + password + "\n\n\n";
  const std::string simple = "ADCHECK_EXPLICIT_BIND=simple-tls";
  {
    SCOPED_TRACE("the test CA configured");
    const Outcome run = adcheck(input, {simple, "ADCHECK_CA_FILE=" + env("TESTDC_CA_FILE"), "LDAPTLS_CACERT"});
    EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
    EXPECT_EQ(printedGroups(run.out).size(), 5u) << run.err;
  }
  // libldap's own trust (its variables, ./ldaprc in the working folder) does not count, nor
  // does the public CA bundle.
  TempDir dir;
  {
    std::ofstream rc(dir.file("ldaprc"));
    rc << "TLS_CACERT " << env("TESTDC_CA_FILE") << "\nTLS_REQCERT never\n";
  }
  const std::string folder = dir.path();
  const auto inFolder = [folder] {
    if (chdir(folder.c_str()) != 0) _exit(125);
  };
  struct Case {
    const char* what;
    std::vector<std::string> env;
    std::string status;
  } cases[] = {
      {"no CA file, ./ldaprc and LDAPTLS_CACERT name the CA", {simple, "ADCHECK_CA_FILE"}, "0x80090325"},
      {"the public CA bundle", {simple, "ADCHECK_CA_FILE=/etc/ssl/certs/ca-certificates.crt"}, "0x80090325"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome run = adcheck(input, c.env, inFolder);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.err, "findUser error initing the name translator, error " + c.status)) << run.err;
    EXPECT_TRUE(contains(run.err, "Getting groups failed")) << run.err;
    EXPECT_FALSE(contains(run.out, "User authenticated")) << run.out;
  }
}

TEST_F(Adcheck, HostileServersAreContained) {
  // A scripted LDAPS peer (peers.py, with the test controller's certificate) that answers as a
  // hostile directory would; the account's groups are read with explicit credentials.
  const std::string tls = env("TESTDC_DIR") + "/tls/";
  struct Case {
    const char* scenario;
    std::vector<std::string> errParts;
    bool groupsRead;
  } cases[] = {
      {"endless", {"enumerateGroup stopped at group", "more than 10000 groups"}, true},
      {"range", {"getUserGroups error finding user", "error 0x80072024"}, false},
      {"values", {"getUserGroups error finding user", "error 0x80072024"}, false},
      {"huge", {"getUserGroups error finding user"}, false},
      {"names", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    Peer peer({"hostile", c.scenario, tls + "cert.pem", tls + "key.pem"});
    ASSERT_NE(peer.port(), 0);
    const std::string uri = "ldaps://127.0.0.1:" + std::to_string(peer.port());
    const Outcome run = adcheck("alice@adcheck.test\n" + password + "\n\n\n",
                                {"ADCHECK_EXPLICIT_BIND=simple-tls", "ADCHECK_LDAP_URI=" + uri, "ADCHECK_GC_URI=" + uri,
                                 "ADCHECK_CA_FILE=" + env("TESTDC_CA_FILE")});
    EXPECT_EQ(run.status, 0) << run.err.substr(0, 2000);
    for (const std::string& part : c.errParts) {
      EXPECT_TRUE(contains(run.err, part)) << run.err.substr(0, 2000);
    }
    EXPECT_EQ(contains(run.out, "Succesfully retrieved"), c.groupsRead) << run.err.substr(0, 2000);
    if (std::string(c.scenario) == "endless") {
      EXPECT_EQ(printedGroups(run.out).size(), 10000u);
    }
    if (std::string(c.scenario) == "names") {
      // Escaped, on one line each: no forged report line, nothing for the terminal to act on.
      EXPECT_EQ(printedGroups(run.out),
                (std::vector<std::string>{"Evil\\x0aUser authenticated...", "Red\\x1b[31mAlert\\x07"}));
      EXPECT_FALSE(contains(run.out, "\x1b"));
    }
  }
}

TEST_F(Adcheck, KerberosBindFallsBackToGssapiWhereSpnegoIsNotOffered) {
  // Binds with the process's own ticket use Kerberos inside SPNEGO; a server that answers that
  // it does not offer it is asked again with plain GSSAPI. The scripted peer refuses both, the
  // second as a refusal of the account, which is what the translator then reports.
  const std::string tls = env("TESTDC_DIR") + "/tls/";
  Peer peer({"hostile", "gssapi", tls + "cert.pem", tls + "key.pem"});
  ASSERT_NE(peer.port(), 0);
  const std::string uri = "ldaps://127.0.0.1:" + std::to_string(peer.port());
  const Outcome run = adcheck("alice\n\n\n\n", {"ADCHECK_LDAP_URI=" + uri, "ADCHECK_GC_URI=" + uri,
                                                  "ADCHECK_CA_FILE=" + env("TESTDC_CA_FILE")});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.err, "findUser error initing the name translator, error 0x8007052E")) << run.err;
  EXPECT_TRUE(contains(run.err, "Getting groups failed for user \"alice\".")) << run.err;
}

// Whether a child may take a mount namespace of its own with private mounts. Not inside a
// chroot whose root is no mount point: there a bind mount could only be shared with the
// system outside, so the tests that need one skip.
bool privateMountNamespaceWorks() {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0)
    _exit(unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 ? 0 : 1);
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Adcheck, ControllersFoundThroughDnsSrvRecords) {
  if (!privateMountNamespaceWorks())
    GTEST_SKIP() << "no private mount namespace here (a chroot?), so no resolver of the test's own";
  // A DNS server on 127.0.0.1 that this test starts, and adcheck in a mount namespace of its
  // own whose /etc/resolv.conf points at it. The domain's SRV answer is longer than 4 KiB
  // (it comes over TCP); its best record names a controller that does not answer, so the
  // next one by priority is used. The catalog is found under the forest root's name.
  TempDir dir;
  {
    std::ofstream records(dir.file("srv"));
    records << "_ldap._tcp.adcheck.test 0 0 9 127.0.0.1\n"
            << "_ldap._tcp.adcheck.test 5 100 389 localhost\n";
    for (int i = 0; i < 150; ++i)
      records << "_ldap._tcp.adcheck.test 50 10 389 unreachable-controller-" << i << ".invalid\n";
    records << "_gc._tcp.adcheck.test 0 0 3268 localhost\n";
    std::ofstream resolv(dir.file("resolv.conf"));
    resolv << "nameserver 127.0.0.1\noptions attempts:1 timeout:2\n";
  }
  Peer dns({"dns", dir.file("srv")});
  ASSERT_EQ(dns.port(), 53);
  const std::string resolv = dir.file("resolv.conf");
  const auto ownResolver = [resolv] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(resolv.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
      _exit(124);
  };
  const std::vector<std::string> discovered = {"ADCHECK_LDAP_URI", "ADCHECK_GC_URI",
                                               "ADCHECK_DOMAIN=" + env("TESTDC_DNS_DOMAIN")};
  const Outcome bare = adcheck("alice\n\n\n\n", discovered, ownResolver);
  EXPECT_EQ(bare.status, 0) << bare.err;
  EXPECT_TRUE(contains(bare.out, "SID found: <S-1-5-21-")) << bare.err;
  EXPECT_EQ(printedGroups(bare.out),
            (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Lab/Ops", "Staff", "Tools"}));
  const Outcome explicitly = adcheck("pat.smith@adcheck.test\n" + password + "\n\n\n", discovered, ownResolver);
  EXPECT_TRUE(contains(explicitly.out, "User authenticated...")) << explicitly.err;
  EXPECT_EQ(printedGroups(explicitly.out).size(), 5u) << explicitly.err;
}

TEST_F(Adcheck, StatusesAreThoseWindowsGives) {
  {
    SCOPED_TRACE("a group opened as the user");
    const Outcome run = adcheck("ADCHECK\\Staff\n\n\n\n");
    EXPECT_TRUE(contains(run.err, "getUserGroups error finding user \"" + dnOf("CN=Staff,OU=Staff") +
                                      "\", error 0x80004002"))
        << run.err;
    EXPECT_TRUE(contains(run.err, "Getting groups failed")) << run.err;
    EXPECT_FALSE(contains(run.out, "Succesfully retrieved")) << run.out;
  }
  {
    SCOPED_TRACE("a name the translator does not find");
    const Outcome run = adcheck("nobody@adcheck.test\n\n\n\n");
    EXPECT_TRUE(contains(run.err, "findUser error translating user \"nobody@adcheck.test\", error 0x80072116"))
        << run.err;
  }
}

TEST_F(Adcheck, PipedAnswersEndedByCrLf) {
  const Outcome run = adcheck("alice\r\n" + password + "\r\n\r\nn\r\n");
  EXPECT_TRUE(contains(run.out, "searching for SID for user <alice>...\nSID found: <S-1-5-21-")) << run.out;
  EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
  EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Engineering", "Lab/Ops"}));
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

TEST_F(Adcheck, SilentKdcEndsWithinTheTimeOut) {
  // A KDC that accepts connections and never answers; Kerberos's own schedule would wait close
  // to half a minute for each of the two exchanges (credential check, explicit bind).
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 16), 0);
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  TempDir dir;
  {
    std::string conf = readFile(env("KRB5_CONFIG"));
    const std::string kdc = "kdc = 127.0.0.1";
    conf.replace(conf.find(kdc), kdc.size(), kdc + ":" + std::to_string(ntohs(address.sin_port)));
    std::ofstream(dir.file("krb5.conf")) << conf;
  }
  // The process's own service ticket for the directory is in its cache before the KDC goes quiet.
  adcheck("alice\n\n\n\n");
  const Outcome run = adcheck("ADCHECK\\alice\n" + password + "\n\n\n",
                              {"KRB5_CONFIG=" + dir.file("krb5.conf"), "ADCHECK_TIMEOUT=2", "ADCHECK_NETBIOS_DOMAIN=ADCHECK"});
  close(listener);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.err, "Error code 3([0x51f] ")) << run.err;
  EXPECT_TRUE(contains(run.err, "findUser error initing the name translator, error 0x8007051F")) << run.err;
  EXPECT_LT(run.seconds, 15.0);
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
