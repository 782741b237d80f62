// The directory client's pieces that need no directory: filter escaping, LDAP:// paths, SID
// texts, DN helpers, Active Directory diagnostic codes and the configuration file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "orvo/platform/kxdirectory.h"
#include "support/kxtestsupport.h"

using namespace orvo::platform;

TEST(DirectoryClient, EscapesEveryFilterSpecialCharacter) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"alice", "alice"},
      {"", ""},
      {"*)(objectClass=*", "\\2a\\29\\28objectClass=\\2a"},
      {"a\\b", "a\\5cb"},
      {std::string("nul\0x", 5), "nul\\00x"},
      {"caf\xc3\xa9 =,+<>#;\"", "caf\xc3\xa9 =,+<>#;\""},  // only the RFC 4515 specials change
  };
  for (const Case& c : cases) EXPECT_EQ(escapeFilterValue(c.in), c.out) << c.in;
}

TEST(DirectoryClient, ParsesDirectoryPaths) {
  struct Case {
    std::string path;
    bool ok;
    std::string server, dn;
  } cases[] = {
      {"LDAP://CN=a,DC=x", true, "", "CN=a,DC=x"},
      {"ldap://CN=a,DC=x", true, "", "CN=a,DC=x"},
      {"LDAP://127.0.0.1/CN=a,DC=x", true, "127.0.0.1", "CN=a,DC=x"},
      {"LDAP://dc1.example.com:389/CN=a,DC=x", true, "dc1.example.com:389", "CN=a,DC=x"},
      // An escaped "/" belongs to the DN; a "/" after the first "=" does too.
      {"LDAP://CN=R\\2fD,DC=x", true, "", "CN=R\\2fD,DC=x"},
      {"LDAP://CN=R/D,DC=x", true, "", "CN=R/D,DC=x"},
      {"LDAP://srv/CN=R/D,DC=x", true, "srv", "CN=R/D,DC=x"},
      {"LDAP://", false, "", ""},
      {"LDAP://srv/", false, "", ""},
      {"LDAP:///CN=a", false, "", ""},
      {"GC://CN=a,DC=x", false, "", ""},
      {"CN=a,DC=x", false, "", ""},
  };
  for (const Case& c : cases) {
    DirectoryPath path;
    path.server = "untouched";
    ASSERT_EQ(parseDirectoryPath(c.path, path), c.ok) << c.path;
    if (c.ok) {
      EXPECT_EQ(path.server, c.server) << c.path;
      EXPECT_EQ(path.dn, c.dn) << c.path;
    } else {
      EXPECT_EQ(path.server, "untouched") << c.path;
    }
  }
}

TEST(DirectoryClient, WritesSidTexts) {
  // S-1-5-21-1533815067-2448522577-2632331214-1110 as the directory stores it.
  const std::vector<uint8_t> domainUser = {
      1,    5,    0,    0,    0,    0,    0,    5,    21,   0,    0,    0,    0x1b, 0x29,
      0x6c, 0x5b, 0x51, 0x7d, 0xf1, 0x91, 0xce, 0x2f, 0xe6, 0x9c, 0x56, 0x04, 0,    0};
  std::string text;
  ASSERT_TRUE(sidToText(domainUser, text));
  EXPECT_EQ(text, "S-1-5-21-1533815067-2448522577-2632331214-1110");

  ASSERT_TRUE(sidToText({1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}, text));
  EXPECT_EQ(text, "S-1-1-0");
  ASSERT_TRUE(sidToText({1, 0, 0, 0, 0, 0, 0, 5}, text));
  EXPECT_EQ(text, "S-1-5");
  // An authority of 2^32 or more is written in hexadecimal.
  ASSERT_TRUE(sidToText({1, 1, 0x01, 0, 0, 0, 0, 0, 7, 0, 0, 0}, text));
  EXPECT_EQ(text, "S-1-0x010000000000-7");

  text = "untouched";
  const std::vector<std::vector<uint8_t>> bad = {
      {},
      {1, 1, 0, 0, 0, 0, 0, 5},           // one sub-authority announced, none there
      {2, 0, 0, 0, 0, 0, 0, 5},           // revision 2
      {1, 1, 0, 0, 0, 0, 0, 5, 1, 2, 3},  // sub-authority cut short
  };
  for (const auto& sid : bad) EXPECT_FALSE(sidToText(sid, text));
  EXPECT_EQ(text, "untouched");
}

TEST(DirectoryClient, TakesDistinguishedNamesApart) {
  EXPECT_EQ(firstRelativeName("CN=Staff,OU=Staff,DC=adcheck,DC=test"), "CN=Staff");
  EXPECT_EQ(firstRelativeName("CN=Smith\\, J,OU=x,DC=y"), "CN=Smith\\, J");
  EXPECT_EQ(firstRelativeName("CN=a+UID=b,DC=y"), "CN=a+UID=b");
  EXPECT_EQ(firstRelativeName("CN=Lab/Ops"), "CN=Lab/Ops");

  EXPECT_EQ(dnsDomainOfDN("CN=Alice,OU=Staff,DC=adcheck,DC=test"), "adcheck.test");
  EXPECT_EQ(dnsDomainOfDN("cn=x, dc=Sub ,dc=Example,dc=com"), "Sub.Example.com");
  EXPECT_EQ(dnsDomainOfDN("CN=DC\\=fake,OU=x"), "");
  EXPECT_EQ(dnsDomainOfDN("CN=x,OU=y"), "");
  EXPECT_EQ(dnsDomainOfDN(""), "");
}

TEST(DirectoryClient, ReadsActiveDirectoryDiagnosticCodes) {
  EXPECT_EQ(adDiagnosticCode("80090308: LdapErr: DSID-0C09041C, comment: AcceptSecurityContext "
                             "error, data 52e, v4563"),
            0x52eu);
  EXPECT_EQ(adDiagnosticCode("... data 773, v1db1"), 0x773u);
  EXPECT_EQ(adDiagnosticCode("no code here"), 0u);
  EXPECT_EQ(adDiagnosticCode("data , v1"), 0u);

  EXPECT_EQ(hresultFromWin32(0), 0u);
  EXPECT_EQ(hresultFromWin32(0x52e), 0x8007052Eu);
  EXPECT_EQ(hresultFromWin32(0x8000500D), 0x8000500Du);  // already an HRESULT
  EXPECT_TRUE(dirFailed(kPropertyNotFound));
  EXPECT_FALSE(dirFailed(kDirOk));
}

TEST(DirectoryClient, ConfigurationFileAndEnvironment) {
  orvo::test::TempDir dir;
  const std::string file = dir.file("adcheck.conf");
  std::ofstream(file) << "# where the directory is\n"
                         "domain = example.com\n"
                         "netbios_domain=EXAMPLE   # trailing comment\n"
                         "ldap_uri = ldap://dc1.example.com\n"
                         "gc_uri = ldap://dc1.example.com:3268\n"
                         "ca_file = /etc/ssl/example-ca.pem\n"
                         "timeout = 7\n"
                         "not a setting\n";
  const char* names[] = {"ADCHECK_DOMAIN", "ADCHECK_NETBIOS_DOMAIN", "ADCHECK_LDAP_URI",
                         "ADCHECK_GC_URI", "ADCHECK_CA_FILE",        "ADCHECK_TIMEOUT"};
  for (const char* name : names) unsetenv(name);
  setenv("ADCHECK_CONFIG", file.c_str(), 1);

  DirectoryConfig config = DirectoryConfig::load();
  EXPECT_EQ(config.domain, "example.com");
  EXPECT_EQ(config.netbiosDomain, "EXAMPLE");
  EXPECT_EQ(config.ldapUri, "ldap://dc1.example.com");
  EXPECT_EQ(config.gcUri, "ldap://dc1.example.com:3268");
  EXPECT_EQ(config.caFile, "/etc/ssl/example-ca.pem");
  EXPECT_EQ(config.timeoutSeconds, 7);

  // The environment wins over the file; a time-out that is not a positive number is ignored.
  setenv("ADCHECK_LDAP_URI", "ldaps://127.0.0.1", 1);
  setenv("ADCHECK_TIMEOUT", "-3", 1);
  config = DirectoryConfig::load();
  EXPECT_EQ(config.ldapUri, "ldaps://127.0.0.1");
  EXPECT_EQ(config.domain, "example.com");
  EXPECT_EQ(config.timeoutSeconds, 10);

  for (const char* name : names) unsetenv(name);
  unsetenv("ADCHECK_CONFIG");
}

TEST(DirectoryClient, SettingsProblemsNameWhereAndWhat) {
  orvo::test::TempDir dir;
  const std::string file = dir.file("adcheck.conf");
  const char* names[] = {"ADCHECK_DOMAIN", "ADCHECK_NETBIOS_DOMAIN", "ADCHECK_LDAP_URI", "ADCHECK_GC_URI",
                         "ADCHECK_CA_FILE", "ADCHECK_TIMEOUT", "ADCHECK_EXPLICIT_BIND"};
  for (const char* name : names) unsetenv(name);
  setenv("ADCHECK_CONFIG", file.c_str(), 1);
  struct Case {
    std::string line;
    std::string problem;  // "" = none
  } cases[] = {
      {"timeout = 3600", ""},
      {"timeout = 0", "timeout: \"0\" is out of range (1 to 3600 seconds)"},
      {"timeout = 3601", "timeout: \"3601\" is out of range (1 to 3600 seconds)"},
      {"timeout = 99999999999999", "timeout: \"99999999999999\" is out of range (1 to 3600 seconds)"},
      {"timeout = 10s", "timeout: \"10s\" is not a number of seconds"},
      {"timeout = -3", "timeout: \"-3\" is not a number of seconds"},
      {"timeout =", ""},
      {"Explicit_Bind = Simple-TLS", ""},
      {"explicit_bind = simple", "explicit_bind: \"simple\" is neither \"kerberos\" nor \"simple-tls\""},
      {"ldap_uri = ldap://dc1.example.com ldaps://dc2.example.com:636", ""},
      {"ldap_uri = ldap://dc1.example.com http://dc2", "ldap_uri: \"http://dc2\" is not an ldap:// or ldaps:// URI"},
      {"gc_uri = dc1.example.com:3268", "gc_uri: \"dc1.example.com:3268\" is not an ldap:// or ldaps:// URI"},
      {"domain = example.com", ""},
      {"domain = exa mple.com", "domain: \"exa mple.com\" is not a DNS domain name"},
      {"netbios_domain = EXAMPLE", ""},
      {"netbios_domain = SIXTEEN-LETTERS1", "netbios_domain: \"SIXTEEN-LETTERS1\" is not a NetBIOS domain name"},
      {"ca_file = " + dir.file("none.pem"), "ca_file: \"" + dir.file("none.pem") + "\" cannot be read"},
      {"tiemout = 5", "unknown key \"tiemout\""},
      {"just words", "not a \"key = value\" line"},
      // A value is shown without its control characters.
      {"domain = a\x1b[31mb", "domain: \"a?[31mb\" is not a DNS domain name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::ofstream(file) << "# settings\n" << c.line << "\n";
    const std::vector<std::string> problems = DirectoryConfig::settingsProblems();
    if (c.problem.empty()) {
      EXPECT_TRUE(problems.empty()) << problems.front();
    } else {
      ASSERT_EQ(problems.size(), 1u);
      EXPECT_EQ(problems.front().rfind(file + ":2: " + c.problem, 0), 0u) << problems.front();
    }
  }
  // The environment is checked too, and named; a file named by ADCHECK_CONFIG must be there,
  // the default one need not.
  std::ofstream(file) << "timeout = 5\n";
  setenv("ADCHECK_TIMEOUT", "0", 1);
  EXPECT_EQ(DirectoryConfig::settingsProblems(),
            std::vector<std::string>{"ADCHECK_TIMEOUT: \"0\" is out of range (1 to 3600 seconds)"});
  unsetenv("ADCHECK_TIMEOUT");
  setenv("ADCHECK_CONFIG", dir.file("absent.conf").c_str(), 1);
  ASSERT_EQ(DirectoryConfig::settingsProblems().size(), 1u);
  EXPECT_EQ(DirectoryConfig::settingsProblems().front().rfind(dir.file("absent.conf") + ": cannot be read", 0), 0u);
  {
    std::ofstream many(file);
    for (int i = 0; i < 1001; ++i) many << "# line\n";
  }
  setenv("ADCHECK_CONFIG", file.c_str(), 1);
  EXPECT_EQ(DirectoryConfig::settingsProblems(),
            std::vector<std::string>{file + ":1001: more than 1000 lines; the rest is not read"});
  unsetenv("ADCHECK_CONFIG");
}

TEST(DirectoryClient, ParsesRangedAttributeDescriptions) {
  struct Case {
    std::string description;
    bool ok;
    std::string attribute;
    uint32_t low, high;
    bool last;
  } cases[] = {
      {"memberOf;range=0-1499", true, "memberOf", 0, 1499, false},
      {"member;Range=1500-*", true, "member", 1500, 0, true},
      {"memberOf;binary;range=3-3", true, "memberOf;binary", 3, 3, false},
      {"memberOf;range=0-4294967295", true, "memberOf", 0, 4294967295u, false},
      {"memberOf", false, "", 0, 0, false},
      {";range=0-1", false, "", 0, 0, false},
      {"memberOf;range=", false, "", 0, 0, false},
      {"memberOf;range=5", false, "", 0, 0, false},
      {"memberOf;range=-9", false, "", 0, 0, false},
      {"memberOf;range=9-5", false, "", 0, 0, false},      // backwards
      {"memberOf;range=0-4294967296", false, "", 0, 0, false},
      {"memberOf;range=0-1;x", false, "", 0, 0, false},     // the range option comes last
      {"memberOf;range=+1-*", false, "", 0, 0, false},
  };
  for (const Case& c : cases) {
    AttributeRange range;
    range.attribute = "untouched";
    ASSERT_EQ(parseAttributeRange(c.description, range), c.ok) << c.description;
    if (!c.ok) {
      EXPECT_EQ(range.attribute, "untouched");
      continue;
    }
    EXPECT_EQ(range.attribute, c.attribute) << c.description;
    EXPECT_EQ(range.low, c.low) << c.description;
    EXPECT_EQ(range.last, c.last) << c.description;
    if (!c.last) {
      EXPECT_EQ(range.high, c.high) << c.description;
    }
  }
}

namespace {

// A server that hands out an attribute of inCount values in chunks of at most inMax, the way
// Active Directory answers "<attr>;range=<low>-*"; it records every request.
struct ChunkingServer {
  std::vector<std::string> all;
  uint32_t max;
  std::vector<std::string> requests;

  ChunkingServer(uint32_t inCount, uint32_t inMax) : max(inMax) {
    for (uint32_t i = 0; i < inCount; ++i) all.push_back("CN=G" + std::to_string(i) + ",DC=x");
  }
  // The answer to a request starting at inLow: its description and values.
  std::string answer(uint32_t inLow, std::vector<std::string>& outValues) const {
    const uint32_t end = std::min<uint32_t>(static_cast<uint32_t>(all.size()), inLow + max);
    outValues.assign(all.begin() + inLow, all.begin() + end);
    return "memberOf;range=" + std::to_string(inLow) + "-" +
           (end == all.size() ? std::string("*") : std::to_string(end - 1));
  }
  RangeFetch fetch() {
    return [this](const std::string& inRequest, std::string& outDescription, std::vector<std::string>& outValues) {
      requests.push_back(inRequest);
      AttributeRange range;
      EXPECT_TRUE(parseAttributeRange(inRequest, range)) << inRequest;
      EXPECT_TRUE(range.last) << inRequest;
      outDescription = answer(range.low, outValues);
      return kDirOk;
    };
  }
};

}  // namespace

TEST(DirectoryClient, GathersEveryChunkOfARangedAttributeInOrder) {
  struct Case {
    uint32_t count, max;
    std::vector<std::string> requests;
  } cases[] = {
      {3200, 1500, {"memberOf;range=1500-*", "memberOf;range=3000-*"}},
      {3000, 1500, {"memberOf;range=1500-*"}},  // the last chunk is full
      {1501, 1500, {"memberOf;range=1500-*"}},
      {5, 1, {"memberOf;range=1-*", "memberOf;range=2-*", "memberOf;range=3-*", "memberOf;range=4-*"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " by " + std::to_string(c.max));
    ChunkingServer server(c.count, c.max);
    std::vector<std::string> values;
    const std::string first = server.answer(0, values);
    ASSERT_EQ(completeRangedValues(first, values, server.fetch()), kDirOk);
    EXPECT_EQ(values, server.all);
    EXPECT_EQ(server.requests, c.requests);
  }

  // A first answer that already holds everything, or no range at all, needs no request.
  for (const char* description : {"memberOf;range=0-*", "memberOf"}) {
    ChunkingServer server(2, 10);
    std::vector<std::string> values = server.all;
    ASSERT_EQ(completeRangedValues(description, values, server.fetch()), kDirOk);
    EXPECT_EQ(values, server.all);
    EXPECT_TRUE(server.requests.empty());
  }
}

TEST(DirectoryClient, RangedReadingEndsOnFailuresAndOddAnswers) {
  const std::vector<std::string> firstChunk = {"a", "b"};
  struct Case {
    const char* what;
    uint32_t status;
    std::string description;
    uint32_t expectedStatus;
    size_t expectedValues;
  } cases[] = {
      {"read fails", 0x8007203A, "", 0x8007203A, 2},
      {"attribute gone", kDirOk, "", kDirOk, 2},
      {"same chunk again", kDirOk, "memberOf;range=0-1", kDirOk, 2},
      {"a gap", kDirOk, "memberOf;range=5-*", kDirOk, 2},
      {"not ranged", kDirOk, "memberOf", kDirOk, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> values = firstChunk;
    int calls = 0;
    const uint32_t status = completeRangedValues(
        "memberOf;range=0-1", values,
        [&](const std::string& inRequest, std::string& outDescription, std::vector<std::string>& outValues) {
          EXPECT_EQ(inRequest, "memberOf;range=2-*");
          ++calls;
          outDescription = c.description;
          outValues = {"c"};
          return c.status;
        });
    EXPECT_EQ(status, c.expectedStatus);
    EXPECT_EQ(values.size(), c.expectedValues);
    EXPECT_EQ(calls, 1);  // never asks again for what it cannot use
  }
}

TEST(DirectoryClient, RangedReadingIsBoundedAgainstAServerThatNeverEnds) {
  // "range=N-N" for ever: one value per round trip would take 2^32 of them.
  {
    std::vector<std::string> values = {"v0"};
    int calls = 0;
    const uint32_t status = completeRangedValues(
        "memberOf;range=0-0", values,
        [&](const std::string& inRequest, std::string& outDescription, std::vector<std::string>& outValues) {
          AttributeRange range;
          EXPECT_TRUE(parseAttributeRange(inRequest, range));
          ++calls;
          outDescription = "memberOf;range=" + std::to_string(range.low) + "-" + std::to_string(range.low);
          outValues = {"v" + std::to_string(range.low)};
          return kDirOk;
        });
    EXPECT_EQ(status, kLimitExceeded);
    EXPECT_EQ(calls, kMaxRangeChunks);
  }
  // Chunks that move the range on but hold no values make no progress.
  {
    std::vector<std::string> values = {"v0"};
    int calls = 0;
    const uint32_t status = completeRangedValues(
        "memberOf;range=0-0", values,
        [&](const std::string&, std::string& outDescription, std::vector<std::string>& outValues) {
          ++calls;
          outDescription = "memberOf;range=1-1";
          outValues.clear();
          return kDirOk;
        });
    EXPECT_EQ(status, kNoProgress);
    EXPECT_EQ(calls, 1);
  }
  // Large chunks: the value cap ends the reading long before the chunk cap.
  {
    std::vector<std::string> values(50000, "x");
    int calls = 0;
    const uint32_t status = completeRangedValues(
        "memberOf;range=0-49999", values,
        [&](const std::string& inRequest, std::string& outDescription, std::vector<std::string>& outValues) {
          AttributeRange range;
          EXPECT_TRUE(parseAttributeRange(inRequest, range));
          ++calls;
          outDescription = "memberOf;range=" + std::to_string(range.low) + "-" + std::to_string(range.low + 49999);
          outValues.assign(50000, "x");
          return kDirOk;
        });
    EXPECT_EQ(status, kLimitExceeded);
    EXPECT_EQ(calls, 2);
    EXPECT_LE(values.size(), kMaxValues + 50000);
  }
}

TEST(DirectoryClient, ReadsTheNetbiosNameOfAnLdapPing) {
  // Samba's answer for adcheck.test: opcode 23, flags, a GUID, then compressed names (the
  // forest and host names point back at the domain's).
  const std::string head = std::string("\x17\0\0\0\xfd\x13\0\0", 8) + std::string(16, '\x42');
  const std::string names = std::string("\x07" "adcheck\x04test\0\xc0\x18\x03" "dc1\xc0\x18", 22) +
                            std::string("\x07" "ADCHECK\0\x03" "DC1\0\0", 15);
  const std::string answer = head + names;
  struct Case {
    const char* what;
    std::string answer;
    std::string domain;
    std::string netbios;
  } cases[] = {
      {"the answer", answer, "adcheck.test", "ADCHECK"},
      {"its domain in capitals", answer, "ADCHECK.TEST", "ADCHECK"},
      {"about another domain", answer, "example.com", ""},
      {"another opcode", "\x13" + answer.substr(1), "adcheck.test", ""},
      {"cut inside the NetBIOS name", answer.substr(0, head.size() + 24), "adcheck.test", ""},
      {"cut before the names", answer.substr(0, 20), "adcheck.test", ""},
      {"a pointer to itself", head + std::string("\xc0\x18", 2), "adcheck.test", ""},
      {"a pointer beyond the end", head + std::string("\x07" "adcheck\x04test\0\xc0\xff", 15), "adcheck.test", ""},
      {"empty", "", "adcheck.test", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(netbiosNameOfPing(c.answer, c.domain), c.netbios) << c.what;
}
