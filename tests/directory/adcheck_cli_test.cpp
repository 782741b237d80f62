// adcheck as scripts and operators run it with options, against the throwaway domain
// controller: every option, the exit statuses, the JSON report (parsed with nlohmann's
// library), the end of input at each question of the dialogue, and the settings problems.
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "adcheck_harness.h"
#include "orvo/kxversion.h"

namespace {

using namespace adcheck_test;
using nlohmann::json;

Outcome adcheckWith(const std::vector<std::string>& inArgs, const std::string& inInput = "",
                    const std::vector<std::string>& inEnv = {}) {
  std::vector<std::string> args = {program()};
  args.insert(args.end(), inArgs.begin(), inArgs.end());
  return runProgram(args, inInput, inEnv);
}

// Standard output as the one JSON object it must be.
json parsed(const Outcome& inRun) {
  EXPECT_EQ(lines(inRun.out).size(), 1u) << inRun.out;
  try {
    return json::parse(inRun.out);
  } catch (const json::exception& error) {
    ADD_FAILURE() << error.what() << "\n" << inRun.out << inRun.err;
    return json();
  }
}

std::vector<std::string> namesOf(const json& inGroups) {
  std::vector<std::string> names;
  for (const json& group : inGroups) names.push_back(group.at("name").get<std::string>());
  return names;
}

bool hasLogLines(const std::string& inErr) {
  return std::regex_search(inErr, std::regex("(^|\n)[0-9]{2}:[0-9]{2}:[0-9]{2} "));
}

// A TCP listener on 127.0.0.1 that accepts connections and never answers: a directory or
// KDC that does not reply in time.
class SilentListener {
 public:
  SilentListener() {
    itsSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (itsSocket >= 0 && bind(itsSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(itsSocket, 16) == 0 && getsockname(itsSocket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      itsPort = ntohs(address.sin_port);
  }
  ~SilentListener() {
    if (itsSocket >= 0) close(itsSocket);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return itsPort; }

 private:
  int itsSocket = -1;
  int itsPort = 0;
};

using AdcheckOptions = Adcheck;

TEST_F(AdcheckOptions, HelpAndVersion) {
  for (const std::string help : {"--help", "-h"}) {
    SCOPED_TRACE(help);
    const Outcome run = adcheckWith({help});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    for (const std::string part : {"-u, --user NAME", "--password-stdin", "-s, --server HOST", "--direct",
                                   "--primary-group", "--json", "--config FILE", "-q, --quiet", "-h, --help",
                                   "--version", "duration_ms", "ADCHECK_TIMEOUT"})
      EXPECT_TRUE(contains(run.out, part)) << part;
    for (int status = 0; status <= 4; ++status)
      EXPECT_TRUE(contains(run.out, "\n  " + std::to_string(status) + "  ")) << "exit status " << status;
  }
  const Outcome version = adcheckWith({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(lines(version.out).at(0), std::string("adcheck ") + kOrvoVersion);
  EXPECT_TRUE(std::regex_match(lines(version.out).at(0), std::regex("adcheck [0-9]+\\.[0-9]+\\.[0-9]+")));
}

TEST_F(AdcheckOptions, UsageErrorsCheckNothingAndRepeatNoValue) {
  const std::string secret = "S3cret-Value.8";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string error;
  } cases[] = {
      {{"--json"}, "", "no user given"},
      {{"-u"}, "", "option -u needs a value"},
      {{"--user"}, "", "option --user needs a value"},
      {{"-u", ""}, "", "the user given with -u/--user is empty"},
      {{"-u", "alice", "--password=" + secret}, "", "option --password takes no value"},
      {{"-u", "alice", "--pw=" + secret}, "", "unknown option --pw "},
      {{"-u", "alice", "-x"}, "", "unknown option -x "},
      {{"-u", "alice", "--password", secret}, "", "unexpected argument"},
      {{"-u", "alice", "--direct=yes"}, "", "option --direct takes no value"},
      {{"-u", "alice", "--password-stdin"}, "", "standard input holds no line"},
      {{"-u", "alice", "--password-stdin"}, "\n" + secret + "\n", "the first line of standard input is empty"},
      {{"-u", "alice", "--password-stdin"}, std::string(600, 'p') + "\n", "longer than 511 characters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    const Outcome run = adcheckWith(c.args, c.input);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("adcheck: ", 0), 0u) << run.err;
    EXPECT_TRUE(contains(run.err, c.error)) << run.err;
    EXPECT_TRUE(contains(run.err, "Try 'adcheck --help'")) << run.err;
    EXPECT_FALSE(contains(run.err, secret)) << run.err;
    EXPECT_FALSE(hasLogLines(run.err)) << run.err;
  }
}

TEST_F(AdcheckOptions, JsonReport) {
  const Outcome run = adcheckWith({"--user", "alice", "--password-stdin", "--json"}, password + "\n");
  EXPECT_EQ(run.status, 0) << run.err;
  // Log lines go to standard error, the object alone to standard output.
  EXPECT_TRUE(hasLogLines(run.err)) << run.err;
  const json report = parsed(run);
  ASSERT_TRUE(report.is_object());
  EXPECT_EQ(report.at("user"), "alice");
  EXPECT_EQ(report.at("domain"), env("TESTDC_DOMAIN"));
  const std::string sid = shell("samba-tool user show alice -s '" + env("TESTDC_DIR") +
                                "/dc/etc/smb.conf' --attributes=objectSid 2>/dev/null | sed -n 's/^objectSid: //p'");
  EXPECT_EQ(report.at("sid"), sid.substr(0, sid.find('\n')));
  EXPECT_EQ(report.at("authenticated"), true);
  EXPECT_EQ(report.at("status").at("code"), "0x00000000");
  EXPECT_TRUE(report.at("status").at("text").is_string());
  // The groups the dialogue prints, in its order, each with its DN.
  const Outcome dialogue = adcheck("alice\n\n\n\n");
  EXPECT_EQ(namesOf(report.at("groups")), printedGroups(dialogue.out));
  for (const json& group : report.at("groups")) {
    const std::string name = group.at("name");
    const std::string dn = group.at("dn");
    EXPECT_EQ(dn.rfind("CN=" + name + ",", 0), 0u) << dn;
    EXPECT_TRUE(contains(dn, "," + env("TESTDC_BASE_DN"))) << dn;
  }
  EXPECT_TRUE(report.at("duration_ms").is_number_integer());
  EXPECT_GE(report.at("duration_ms").get<int64_t>(), 0);
  EXPECT_LT(report.at("duration_ms").get<double>(), run.seconds * 1000 + 1);

  // Without a password nothing is authenticated and there is no status; an account that is
  // not found has neither SID nor domain nor groups; an account in no group has an empty list.
  const json noPassword = parsed(adcheckWith({"-u", "alice", "--json", "-q"}));
  EXPECT_EQ(noPassword.at("authenticated"), false);
  EXPECT_TRUE(noPassword.at("status").is_null());
  const json nobody = parsed(adcheckWith({"-u", "nobody", "--json", "-q"}));
  EXPECT_TRUE(nobody.at("sid").is_null());
  EXPECT_TRUE(nobody.at("domain").is_null());
  EXPECT_TRUE(nobody.at("groups").is_null());
  const json mike = parsed(adcheckWith({"-u", "mike", "--json", "-q"}));
  EXPECT_TRUE(mike.at("groups").is_array());
  EXPECT_TRUE(mike.at("groups").empty());
}

TEST_F(AdcheckOptions, JsonCarriesHostileNamesIntact) {
  // A scripted LDAPS peer whose group names hold a line end, an escape sequence and a bell:
  // the JSON line stays one line without control characters, and a parser gets the names back
  // as the directory gave them.
  const std::string tls = env("TESTDC_DIR") + "/tls/";
  Peer peer({"hostile", "names", tls + "cert.pem", tls + "key.pem"});
  ASSERT_NE(peer.port(), 0);
  const std::string uri = "ldaps://127.0.0.1:" + std::to_string(peer.port());
  const Outcome run = adcheckWith({"-u", "alice@adcheck.test", "--password-stdin", "--json", "-q"}, password + "\n",
                                  {"ADCHECK_EXPLICIT_BIND=simple-tls", "ADCHECK_LDAP_URI=" + uri, "ADCHECK_GC_URI=" + uri,
                                   "ADCHECK_CA_FILE=" + env("TESTDC_CA_FILE")});
  EXPECT_FALSE(std::regex_search(run.out.substr(0, run.out.size() - 1), std::regex("[\\x00-\\x1f\\x7f]")))
      << run.out;
  EXPECT_EQ(namesOf(parsed(run).at("groups")),
            (std::vector<std::string>{"Evil\nUser authenticated...", "Red\x1b[31mAlert\x07"}));
}

TEST_F(AdcheckOptions, GroupsTwoWithOneNameDirectAndPrimary) {
  const std::string archive = dnOf("CN=Lab,OU=Archive");
  const std::string projects = dnOf("CN=Lab,OU=Projects");
  const std::string domainUsers = dnOf("CN=Domain Users,CN=Users");
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> groups;  // name, dn
  } cases[] = {
      // The second Lab is listed, told apart by its DN; it is still not expanded (no Gamma).
      {{"-u", "nora"}, {{"Hub", dnOf("CN=Hub,OU=Projects")}, {"Lab", projects}, {"Lab", archive}}},
      {{"-u", "nora", "--primary-group"},
       {{"Domain Users", domainUsers}, {"Hub", dnOf("CN=Hub,OU=Projects")}, {"Lab", projects}, {"Lab", archive}}},
      {{"-u", "alice", "--direct"}, {{"Engineering", dnOf("CN=Engineering,OU=Staff")}, {"Lab/Ops", dnOf("CN=Lab/Ops,OU=R/D")}}},
      {{"-u", "mike", "--direct", "--primary-group"}, {{"Domain Users", domainUsers}}},
      {{"-u", "rita"}, {{"Lab/Ops", dnOf("CN=Lab/Ops,OU=R/D")}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const Outcome run = adcheckWith(args);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::pair<std::string, std::string>> groups;
    const json report = parsed(run);
    for (const json& group : report.at("groups"))
      groups.emplace_back(group.at("name").get<std::string>(), group.at("dn").get<std::string>());
    EXPECT_EQ(groups, c.groups);
    // The report without --json: the dialogue's lines, names once each.
    const Outcome text = adcheckWith(c.args);
    std::set<std::string> names;
    for (const auto& group : c.groups) names.insert(group.first);
    EXPECT_EQ(printedGroups(text.out), std::vector<std::string>(names.begin(), names.end()));
  }
}

TEST_F(AdcheckOptions, GroupsTheServerLeavesOutOfTokenGroupsAreFound) {
  // A distribution group has no place in an account's tokenGroups, nor has a security group
  // reached only through one: the account "dora" is in the distribution list DoraList, which
  // is in the security group DoraTeam, itself in Staff. Both must be found as the walk finds
  // them, with the groups beyond them.
  const std::string ou = dnOf("OU=Distribution");
  const std::string ldif = "dn: " + ou + "\nobjectClass: organizationalUnit\n\n"
                           "dn: CN=DoraTeam," + ou + "\nobjectClass: group\nsAMAccountName: DoraTeam\n\n"
                           "dn: CN=DoraList," + ou + "\nobjectClass: group\nsAMAccountName: DoraList\ngroupType: 2\n\n"
                           "dn: CN=Dora," + ou + "\nobjectClass: user\nsAMAccountName: dora\n\n"
                           "dn: CN=DoraList," + ou + "\nchangetype: modify\nadd: member\nmember: CN=Dora," + ou + "\n-\n\n"
                           "dn: CN=DoraTeam," + ou + "\nchangetype: modify\nadd: member\nmember: CN=DoraList," + ou + "\n-\n\n"
                           "dn: " + dnOf("CN=Staff,OU=Staff") + "\nchangetype: modify\nadd: member\nmember: CN=DoraTeam," + ou +
                           "\n-\n\n";
  TempDir dir;
  std::ofstream(dir.file("dora.ldif")) << ldif;
  shell("ldapmodify -a -c -H '" + env("TESTDC_LDAPS_URI") + "' -x -D 'Administrator@" + env("TESTDC_DNS_DOMAIN") +
        "' -w '" + env("TESTDC_ADMIN_PASSWORD") + "' -f '" + dir.file("dora.ldif") + "' >/dev/null 2>&1");
  const std::vector<std::string> expected = {"Beta", "DoraList", "DoraTeam", "Engineering", "Everyone", "Staff", "Tools"};
  const std::set<std::string> inChain = inChainGroups("CN=Dora," + ou);
  EXPECT_EQ(std::vector<std::string>(inChain.begin(), inChain.end()), expected);
  const Outcome run = adcheckWith({"-u", "dora", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(namesOf(parsed(run).at("groups")), expected);
  EXPECT_EQ(printedGroups(adcheck("dora\n\n\n\n").out), expected);
}

TEST_F(AdcheckOptions, TextReportServerAndQuiet) {
  const Outcome run = adcheckWith({"-u", "pat.smith@adcheck.test", "--password-stdin", "-s", "127.0.0.1"},
                                  password + "\n");
  EXPECT_EQ(run.status, 0) << run.err;
  // The dialogue's report without its questions.
  const std::vector<std::string> out = lines(run.out);
  ASSERT_GE(out.size(), 5u) << run.out;
  EXPECT_EQ(out[0], "searching for SID for user <pat.smith@adcheck.test>...");
  EXPECT_TRUE(std::regex_match(out[1], std::regex("SID found: <S-1-5-21-[0-9-]+>"))) << out[1];
  EXPECT_EQ(out[2], "reference domain: <" + env("TESTDC_DOMAIN") + ">");
  EXPECT_EQ(out[3], "User authenticated...");
  EXPECT_EQ(out[4], "Retrieving all groups for user...");
  EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Beta", "Engineering", "Everyone", "Staff", "Tools"}));
  EXPECT_TRUE(contains(run.err, "getUserGroups opening object \"127.0.0.1/" + dnOf("CN=Pat Smith,OU=Staff") + "\""))
      << run.err;
  EXPECT_FALSE(contains(run.out + run.err, password));

  // Quiet: no log lines; the report's failure lines stay.
  const Outcome quiet = adcheckWith({"-q", "-u", "alice", "--password-stdin"}, "Wr0ng-Secret.9\n");
  EXPECT_EQ(quiet.status, 1);
  EXPECT_FALSE(hasLogLines(quiet.err)) << quiet.err;
  EXPECT_TRUE(contains(quiet.err, "Login: AD authetication failed for user \"alice\". Error code 3([0x52e] "))
      << quiet.err;
  EXPECT_FALSE(contains(quiet.out + quiet.err, "Wr0ng-Secret.9"));
  EXPECT_EQ(adcheckWith({"--quiet", "-u", "alice", "--json"}).err, "");
}

TEST_F(AdcheckOptions, ExitStatuses) {
  const std::string wrong = "Wr0ng-Secret.9";
  struct Case {
    const char* what;
    std::string user;
    std::string password;  // "" = no --password-stdin
    int status;
    std::string code;      // the JSON status code, "" = no status
  } cases[] = {
      {"authenticated", "alice", password, 0, "0x00000000"},
      {"groups read, no password", "bob", "", 0, ""},
      {"wrong password", "alice", wrong, 1, "0x8007052E"},
      {"wrong password, NT4 name", "ADCHECK\\alice", wrong, 1, "0x8007052E"},
      {"disabled", "dave", password, 1, "0x80070533"},
      {"account expired", "eve", password, 1, "0x80070701"},
      {"must change the password", "carl", password, 1, "0x80070773"},
      {"no such account", "nobody", password, 1, "0x00000000"},
      {"not found, no password", "nobody", "", 4, ""},
      {"a group is no user", "ADCHECK\\Staff", "", 4, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = {"-u", c.user, "--json"};
    if (!c.password.empty()) args.push_back("--password-stdin");
    const Outcome run = adcheckWith(args, c.password.empty() ? "" : c.password + "\n");
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    const json report = parsed(run);
    EXPECT_EQ(report.at("authenticated"), c.status == 0 && !c.password.empty());
    if (!c.code.empty()) {
      EXPECT_EQ(report.at("status").at("code"), c.code);
      // A failed check never reads as a success.
      if (c.status != 0) {
        EXPECT_NE(report.at("status").at("text"), "The operation succeeded.");
      }
    }
    EXPECT_FALSE(contains(run.out + run.err, c.password.empty() ? wrong : c.password));
  }
}

TEST_F(AdcheckOptions, UnreachableDirectoryOrKdcIsExitStatus3) {
  SilentListener silent;
  ASSERT_NE(silent.port(), 0);
  const std::string uri = "ldap://127.0.0.1:" + std::to_string(silent.port());
  {
    SCOPED_TRACE("a directory that does not answer");
    const Outcome run = adcheckWith({"-u", "alice", "--password-stdin", "--json"}, password + "\n",
                                    {"ADCHECK_LDAP_URI=" + uri, "ADCHECK_GC_URI=" + uri, "ADCHECK_TIMEOUT=2"});
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    const json report = parsed(run);
    EXPECT_TRUE(report.at("sid").is_null());
    EXPECT_TRUE(report.at("groups").is_null());
    EXPECT_EQ(report.at("authenticated"), false);
    EXPECT_NE(report.at("status").at("text"), "The operation succeeded.");
  }
  {
    SCOPED_TRACE("a KDC that does not answer");
    TempDir dir;
    std::string conf = readFile(env("KRB5_CONFIG"));
    const std::string kdc = "kdc = 127.0.0.1";
    conf.replace(conf.find(kdc), kdc.size(), kdc + ":" + std::to_string(silent.port()));
    std::ofstream(dir.file("krb5.conf")) << conf;
    // The process's own service ticket for the directory is in its cache before the KDC goes quiet.
    adcheckWith({"-q", "-u", "alice"});
    const Outcome run = adcheckWith({"-u", "ADCHECK\\alice", "--password-stdin", "--json"}, password + "\n",
                                    {"KRB5_CONFIG=" + dir.file("krb5.conf"), "ADCHECK_TIMEOUT=2",
                                     "ADCHECK_NETBIOS_DOMAIN=ADCHECK"});
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_EQ(parsed(run).at("status").at("code"), "0x8007051F");
  }
}

TEST_F(AdcheckOptions, MissingCredentialLibraryIsExitStatus4) {
  TempDir dir;
  const std::string copy = dir.file("adcheck");
  std::filesystem::copy_file(program(), copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  const Outcome run = runProgram({copy, "-u", "alice", "--password-stdin", "--json"}, password + "\n", {"LD_LIBRARY_PATH"});
  EXPECT_EQ(run.status, 4) << run.err;
  const json report = parsed(run);
  EXPECT_EQ(report.at("status").at("code"), "0x8007007E");
  EXPECT_EQ(report.at("status").at("text"), "The module could not be found.");
  EXPECT_EQ(report.at("groups").size(), 6u);
}

TEST_F(AdcheckOptions, EndOfInputAtEachQuestionChecksNothing) {
  const std::string prompts[] = {"user []: ", "password []: ", "server []: ", "enum groups [y]: "};
  const std::string answers[] = {"alice\n", password + "\n", "\n", "\n"};
  std::string input;
  std::string shown;
  for (int question = 0; question < 4; ++question) {
    SCOPED_TRACE(prompts[question]);
    shown += prompts[question];
    const Outcome run = adcheck(input);
    EXPECT_EQ(run.status, 0);
    // The questions so far and a line end; no check ran, so no log line and no report.
    EXPECT_EQ(run.out, shown + "\n");
    EXPECT_EQ(run.err, "");
    input += answers[question];
  }
  // All four answered: the checks run.
  EXPECT_TRUE(contains(adcheck(input).out, "User authenticated..."));
}

TEST_F(AdcheckOptions, SettingsProblemsNameFileLineAndKey) {
  TempDir dir;
  const std::string file = dir.file("adcheck.conf");
  {
    std::ofstream config(file);
    config << "# the test domain\n"                        // 1
           << "domain = " << env("TESTDC_DNS_DOMAIN") << "\n"  // 2
           << "timout = 5\n"                               // 3
           << "timeout = abc\n"                            // 4
           << "timeout = 99999\n"                          // 5
           << "explicit_bind = simpel-tls\n"               // 6
           << "ldap_uri = ldpa://127.0.0.1\n"              // 7
           << "just some words\n"                          // 8
           << "ca_file = " << dir.file("absent.pem") << "\n";  // 9
  }
  const std::vector<std::string> expected = {
      file + ":3: unknown key \"timout\"",
      file + ":4: timeout: \"abc\" is not a number of seconds",
      file + ":5: timeout: \"99999\" is out of range (1 to 3600 seconds)",
      file + ":6: explicit_bind: \"simpel-tls\" is neither \"kerberos\" nor \"simple-tls\"",
      file + ":7: ldap_uri: \"ldpa://127.0.0.1\" is not an ldap:// or ldaps:// URI",
      file + ":8: not a \"key = value\" line",
      file + ":9: ca_file: \"" + dir.file("absent.pem") + "\" cannot be read: No such file or directory",
  };
  // Settings from the environment would hide the file's.
  const std::vector<std::string> fileOnly = {"ADCHECK_DOMAIN", "ADCHECK_LDAP_URI", "ADCHECK_GC_URI",
                                             "ADCHECK_CA_FILE"};
  {
    SCOPED_TRACE("options: an error, nothing checked");
    for (const std::vector<std::string>& how :
         {std::vector<std::string>{"--config", file, "-u", "alice"}, std::vector<std::string>{"-u", "alice"}}) {
      std::vector<std::string> environment = fileOnly;
      if (how.size() == 2) environment.push_back("ADCHECK_CONFIG=" + file);
      const Outcome run = adcheckWith(how, "", environment);
      EXPECT_EQ(run.status, 2);
      EXPECT_EQ(run.out, "");
      std::vector<std::string> errors;
      for (const std::string& line : lines(run.err)) errors.push_back(line.substr(line.find(' ') + 1));
      EXPECT_EQ(errors, expected) << run.err;
    }
  }
  {
    SCOPED_TRACE("the dialogue: warnings, and it goes on");
    // The file's URI is misspelt, so the environment names the controller.
    const Outcome run = adcheck("alice\n\n\nn\n", {"ADCHECK_CONFIG=" + file, "ADCHECK_CA_FILE"});
    EXPECT_EQ(run.status, 0);
    for (const std::string& problem : expected)
      EXPECT_TRUE(contains(run.err, "adcheck: warning: " + problem + "\n")) << run.err;
    EXPECT_EQ(printedGroups(run.out), (std::vector<std::string>{"Engineering", "Lab/Ops"})) << run.err;
  }
  {
    SCOPED_TRACE("environment variables and a missing file");
    struct Case {
      std::vector<std::string> args;
      std::vector<std::string> env;
      std::string error;
    } cases[] = {
        {{"-u", "alice"}, {"ADCHECK_TIMEOUT=99999"}, "adcheck: ADCHECK_TIMEOUT: \"99999\" is out of range"},
        {{"-u", "alice"}, {"ADCHECK_TIMEOUT=abc"}, "adcheck: ADCHECK_TIMEOUT: \"abc\" is not a number of seconds"},
        {{"-u", "alice"}, {"ADCHECK_CONFIG=" + dir.file("none.conf")}, "adcheck: " + dir.file("none.conf") +
                                                                             ": cannot be read: No such file"},
        {{"--config", dir.file("none.conf"), "-u", "alice"}, {}, "adcheck: " + dir.file("none.conf") + ": cannot be read"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.error);
      const Outcome run = adcheckWith(c.args, "", c.env);
      EXPECT_EQ(run.status, 2);
      EXPECT_TRUE(contains(run.err, c.error)) << run.err;
      if (c.env.empty()) continue;
      const Outcome dialogue = adcheck("alice\n\n\n\n", c.env);
      EXPECT_TRUE(contains(dialogue.err, "adcheck: warning: " + c.error.substr(9))) << dialogue.err;
      EXPECT_EQ(printedGroups(dialogue.out).size(), 6u);
    }
  }
  {
    SCOPED_TRACE("a sound file named by --config");
    std::ofstream(dir.file("good.conf")) << "domain = " << env("TESTDC_DNS_DOMAIN") << "\nldap_uri = "
                                         << env("ADCHECK_LDAP_URI") << "\ngc_uri = " << env("ADCHECK_GC_URI")
                                         << "\ntimeout = 5\nexplicit_bind = kerberos\n";
    const Outcome run = adcheckWith({"--config", dir.file("good.conf"), "-u", "pat.smith@adcheck.test",
                                     "--password-stdin", "-q"},
                                    password + "\n", {"ADCHECK_DOMAIN", "ADCHECK_LDAP_URI", "ADCHECK_GC_URI",
                                                      "ADCHECK_CA_FILE", "ADCHECK_CONFIG=/nonexistent"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(contains(run.out, "User authenticated...")) << run.out;
  }
}

}  // namespace
