// adcheck as an attacker or a misled operator would try it, against the throwaway domain
// controller and the scripted peers of peers.py: where the password may go (a recording proxy
// shows what went on the wire), what directory text and typed names can do to the report,
// which domains are accepted, how unanswering controllers are handled, and whether the codes
// and texts of the report are true.
#include <fstream>
#include <string>
#include <vector>

#include "adcheck_harness.h"

namespace {

using namespace adcheck_test;

// Runs adcheck's children with /etc/resolv.conf pointing at a DNS peer of the test's own (in a
// mount namespace of their own), so SRV discovery is tested for real without leaving loopback.
class WithResolver {
 public:
  explicit WithResolver(const std::string& inRecords) {
    std::ofstream(itsDir.file("srv")) << inRecords;
    std::ofstream(itsDir.file("resolv.conf")) << "nameserver 127.0.0.1\noptions attempts:1 timeout:2\n";
    itsDns = std::make_unique<Peer>(std::vector<std::string>{"dns", itsDir.file("srv")});
  }
  bool ready() const { return itsDns->port() == 53; }
  std::function<void()> inChild() const {
    const std::string resolv = itsDir.file("resolv.conf");
    return [resolv] {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount(resolv.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
        _exit(124);
    };
  }

 private:
  TempDir itsDir;
  std::unique_ptr<Peer> itsDns;
};

// Every line of a report, standard output and standard error, without the time stamps of
// log lines.
std::vector<std::string> reportLines(const Outcome& inRun) {
  std::vector<std::string> out = lines(inRun.out + "\n" + inRun.err);
  const std::regex stamp("^[0-9]{2}:[0-9]{2}:[0-9]{2} ");
  for (std::string& line : out) line = std::regex_replace(line, stamp, "");
  return out;
}

TEST_F(Adcheck, SimpleBindGoesOnlyOverAConnectionInTls) {
  // The first controller does not answer; libldap would fall back to the second over plain
  // LDAP. Every byte to the second passes through a recording proxy.
  TempDir dir;
  Peer proxy({"proxy", "127.0.0.1", "389", "--record", dir.file("sent")});
  ASSERT_NE(proxy.port(), 0);
  const std::string uris = "ldaps://127.0.0.1:9 ldap://127.0.0.1:" + std::to_string(proxy.port());
  const Outcome run = adcheck("ADCHECK\\alice\n" + password + "\n\n\n",
                              {"ADCHECK_EXPLICIT_BIND=simple-tls", "ADCHECK_LDAP_URI=" + uris});
  EXPECT_FALSE(contains(readFile(dir.file("sent")), password)) << "the password went out in clear";
  EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
  // The second controller was used, inside TLS (StartTLS).
  EXPECT_EQ(printedGroups(run.out).size(), 6u) << run.err;
}

TEST_F(Adcheck, PasswordGoesToNoDomainOutsideTheForest) {
  if (!privateMountNamespaceWorks()) GTEST_SKIP() << "no private mount namespace here (a chroot?)";
  // DNS names a controller for wrong.example: a recording proxy in front of the real one,
  // whose certificate the configured CA trusts. Nothing may reach it.
  TempDir dir;
  Peer proxy({"proxy", "127.0.0.1", "389", "--record", dir.file("sent")});
  ASSERT_NE(proxy.port(), 0);
  WithResolver resolver("_ldap._tcp.wrong.example 0 0 " + std::to_string(proxy.port()) + " localhost\n");
  ASSERT_TRUE(resolver.ready());
  for (const std::string user : {"wrong.example\\alice", "alice@wrong.example"}) {
    SCOPED_TRACE(user);
    const Outcome run = adcheck(user + "\n" + password + "\n\n\n", {"ADCHECK_EXPLICIT_BIND=simple-tls"},
                                resolver.inChild());
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(contains(run.out, "User authenticated")) << run.out;
    EXPECT_TRUE(contains(run.err, "Getting groups failed")) << run.err;
    EXPECT_TRUE(readFile(dir.file("sent")).empty()) << "something went to the controller of wrong.example";
  }
}

TEST_F(Adcheck, NamesCannotForgeReportLines) {
  // What the operator types, and what a directory answers (the account name behind a
  // principal name, from a scripted LDAPS peer), reach the terminal escaped.
  const std::string tls = env("TESTDC_DIR") + "/tls/";
  Peer peer({"hostile", "account", tls + "cert.pem", tls + "key.pem"});
  ASSERT_NE(peer.port(), 0);
  const std::string uri = "ldaps://127.0.0.1:" + std::to_string(peer.port());
  const std::vector<std::string> hostile = {"ADCHECK_EXPLICIT_BIND=simple-tls", "ADCHECK_LDAP_URI=" + uri,
                                            "ADCHECK_GC_URI=" + uri, "ADCHECK_NETBIOS_DOMAIN=ADCHECK"};
  struct Case {
    const char* what;
    std::string user;
    std::vector<std::string> env;
  } cases[] = {
      {"directory", "alice@adcheck.test", hostile},
      {"typed, NT4 form", "ADCHECK\\al\x1b[2Jice\rUser authenticated...", {}},
      {"typed, principal name", "al\x07ice\rUser authenticated...@adcheck.test", {}},
      {"typed, bare", "al\x1b]0;title\x07ice\rUser authenticated...", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome run = adcheck(c.user + "\n" + password + "\n\n\n", c.env);
    EXPECT_EQ(run.status, 0);
    const std::string all = run.out + run.err;
    EXPECT_EQ(all.find_first_of("\x1b\x07\r"), std::string::npos) << all;
    for (const std::string& line : reportLines(run)) EXPECT_NE(line.rfind("User authenticated", 0), 0u) << all;
  }
}

TEST_F(Adcheck, KerberosBindInsideTls) {
  // Inside TLS a Kerberos bind asks for no security layer of its own, as Windows clients do;
  // Samba refuses GSSAPI inside TLS either way, and says so in words that name the way out.
  const Outcome run = adcheck("alice\n\n\n\n", {"ADCHECK_LDAP_URI=" + env("TESTDC_LDAPS_URI"),
                                                "ADCHECK_GC_URI=ldaps://127.0.0.1:3269"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(contains(run.err, "refuses Kerberos binds inside TLS")) << run.err;
  EXPECT_TRUE(contains(run.err, "use an ldap:// URI")) << run.err;
}

TEST_F(Adcheck, PrincipalNamesNeedNoTicketOfTheProcess) {
  // No Kerberos credentials of the process's own and no NetBIOS name configured: the account's
  // own password is all the checks need.
  for (const std::string user : {"alice@adcheck.test", "ADCHECK\\alice", "adcheck.test\\alice"}) {
    SCOPED_TRACE(user);
    const Outcome run = adcheck(user + "\n" + password + "\n\n\n", {"KRB5CCNAME=MEMORY:empty", "ADCHECK_NETBIOS_DOMAIN"});
    EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
    EXPECT_EQ(printedGroups(run.out).size(), 6u) << run.err;
  }
}

TEST_F(Adcheck, AlternateUpnSuffixIsNoDomain) {
  // wendy's principal name is wendy.w@contoso.example, a UPN suffix of the forest.
  {
    const Outcome run = adcheck("wendy.w@contoso.example\n" + password + "\n\n\n");
    EXPECT_TRUE(contains(run.out, "SID found: <S-1-5-21-")) << run.err;
    EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
    EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Beta", "Tools"})) << run.err;
  }
  {
    const Outcome run = adcheck("wendy.w@contoso.example\nnot-" + password + "\n\n\n");
    EXPECT_TRUE(contains(run.err, "Error code 3([0x52e] ")) << run.err;
  }
  {
    // A suffix is not a domain: as the domain half of DOMAIN\user it is refused.
    const Outcome run = adcheck("contoso.example\\wendy\n" + password + "\n\n\n");
    EXPECT_TRUE(contains(run.err, "Error code 3([0x54b] ")) << run.err;
    EXPECT_TRUE(contains(run.err, "Getting groups failed")) << run.err;
  }
}

TEST_F(Adcheck, DnsNameOfTheDomainHalfWorksEndToEnd) {
  const Outcome run = adcheck("adcheck.test\\alice\n" + password + "\n\n\n");
  EXPECT_TRUE(contains(run.out, "SID found: <S-1-5-21-")) << run.err;
  EXPECT_TRUE(contains(run.out, "reference domain: <ADCHECK>")) << run.out;
  EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
  EXPECT_EQ(printedGroups(run.out),
            (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Lab/Ops", "Staff", "Tools"}))
      << run.err;
}

TEST_F(Adcheck, SrvRecordsAreOrderedBeforeTheyAreCapped) {
  if (!privateMountNamespaceWorks()) GTEST_SKIP() << "no private mount namespace here (a chroot?)";
  // 64 records of priority 20 come first in the answer; the one controller, at priority 10,
  // after them.
  std::string records;
  for (int i = 0; i < 64; ++i)
    records += "_ldap._tcp.adcheck.test 20 0 389 unreachable-controller-" + std::to_string(i) + ".invalid\n";
  records += "_ldap._tcp.adcheck.test 10 0 389 localhost\n";
  WithResolver resolver(records);
  ASSERT_TRUE(resolver.ready());
  const Outcome run = adcheck("ADCHECK\\alice\n\n\n\n", {"ADCHECK_LDAP_URI"}, resolver.inChild());
  EXPECT_TRUE(contains(run.out, "SID found: <S-1-5-21-")) << run.err;
  EXPECT_EQ(printedGroups(run.out).size(), 6u) << run.err;
}

TEST_F(Adcheck, ControllerThatDoesNotAnswerIsTriedOnce) {
  // Three controllers that accept connections and never answer, then the real one. Each step
  // of the run connects anew; only the first may wait for the silent ones. (The credential
  // library is a component of its own: with the NetBIOS name configured it needs no LDAP.)
  TempDir dir;
  std::vector<std::unique_ptr<Peer>> silent;
  std::string uris;
  for (int i = 0; i < 3; ++i) {
    silent.push_back(std::make_unique<Peer>(std::vector<std::string>{"silent", "--record", dir.file("accepted")}));
    ASSERT_NE(silent.back()->port(), 0);
    uris += "ldap://127.0.0.1:" + std::to_string(silent.back()->port()) + " ";
  }
  uris += env("TESTDC_URI");
  const Outcome run = adcheck("ADCHECK\\alice\n" + password + "\n\n\n",
                              {"ADCHECK_LDAP_URI=" + uris, "ADCHECK_TIMEOUT=2", "ADCHECK_NETBIOS_DOMAIN=ADCHECK"});
  EXPECT_TRUE(contains(run.out, "SID found: <S-1-5-21-")) << run.err;
  EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.err;
  EXPECT_EQ(printedGroups(run.out).size(), 6u) << run.err;
  EXPECT_EQ(lines(readFile(dir.file("accepted"))).size(), 3u);
}

TEST_F(Adcheck, ReportedCodesAreTrue) {
  struct Case {
    std::string user;
    std::string secret;  // "" = the right password
    std::vector<std::string> errParts;
  };
  const std::string wrong = "not-" + password;
  const std::vector<Case> cases = {
      // A principal name's failure is the KDC's answer, not "[0x0] The operation succeeded."
      {"alice@adcheck.test", wrong, {"Error code 3([0x52e] "}},
      {"dave@adcheck.test", "", {"Error code 2([0x533] "}},
      {"eve@adcheck.test", "", {"Error code 2([0x701] "}},
      // Locked out is not disabled, in the credential check and in the group step's bind.
      {"lola", "", {"Error code 2([0x775] "}},
      {"lola@adcheck.test", "", {"Error code 2([0x775] ", "error 0x80070775"}},
      {"ADCHECK\\lola", "", {"Error code 2([0x775] ", "error 0x80070775"}},
      {"ADCHECK\\eve", "", {"Error code 2([0x701] ", "error 0x80070701"}},
      {"ADCHECK\\carl", "", {"Error code 2([0x773] ", "error 0x80070773"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    const Outcome run = adcheck(c.user + "\n" + (c.secret.empty() ? password : c.secret) + "\n\n\n");
    for (const std::string& part : c.errParts) EXPECT_TRUE(contains(run.err, part)) << run.err;
    EXPECT_FALSE(contains(run.err, "[0x0] ")) << run.err;
  }
}

TEST_F(Adcheck, MissingSettingOrTicketIsNamed) {
  TempDir dir;
  std::ofstream(dir.file("krb5.conf")) << "[libdefaults]\n    dns_lookup_realm = false\n    dns_lookup_kdc = false\n";
  struct Case {
    const char* what;
    std::vector<std::string> env;
    std::vector<std::string> errParts;
  } cases[] = {
      {"no domain", {"ADCHECK_DOMAIN", "ADCHECK_LDAP_URI", "ADCHECK_GC_URI", "KRB5_CONFIG=" + dir.file("krb5.conf")},
       {"[0x54b] ", "ADCHECK_DOMAIN"}},
      {"no ticket", {"KRB5CCNAME=MEMORY:empty"}, {"[0x8009030e] ", "kinit"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome run = adcheck("alice\n" + password + "\n\n\n", c.env);
    EXPECT_EQ(run.status, 0);
    for (const std::string& part : c.errParts) EXPECT_TRUE(contains(run.err, part)) << run.err;
    EXPECT_FALSE(contains(run.err, "[0x0] ")) << run.err;
  }
}

TEST_F(Adcheck, AnswerOverTheMessageLimitIsTheLimitStatus) {
  const std::string tls = env("TESTDC_DIR") + "/tls/";
  Peer peer({"hostile", "huge", tls + "cert.pem", tls + "key.pem"});
  ASSERT_NE(peer.port(), 0);
  const std::string uri = "ldaps://127.0.0.1:" + std::to_string(peer.port());
  const Outcome run = adcheck("alice@adcheck.test\n" + password + "\n\n\n",
                              {"ADCHECK_EXPLICIT_BIND=simple-tls", "ADCHECK_LDAP_URI=" + uri, "ADCHECK_GC_URI=" + uri});
  EXPECT_TRUE(contains(run.err, "getUserGroups error finding user \"CN=Alice,DC=adcheck,DC=test\", error 0x80072024"))
      << run.err.substr(0, 2000);
}

}  // namespace
