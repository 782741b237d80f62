// The account-name handling of kxAuthenticator that needs no directory.
#include <gtest/gtest.h>

#include "orvo/debug/kxsysteminfo.h"
#include "orvo/util/kxauthenticator.h"

namespace {

TEST(Authenticator, SplitUserName) {
  struct Case {
    std::string full;
    bool ok;
    std::string account;
    std::string domain;
  };
  const Case cases[] = {
      {"D\\u", true, "u", "D"},
      {"u@d.example", true, "u", "d.example"},
      {"D\\u@d", true, "u@d", "D"},  // the backslash rule comes first
      {"a@b@c", true, "a", "b@c"},
      {"\\u", true, "u", ""},
      {"u", false, "keep", "keep"},
      {"", false, "keep", "keep"},
      {"CN=u\\,x,DC=d", false, "keep", "keep"},  // a DN is never split
      {"CN=x@y", false, "keep", "keep"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.full);
    std::string account = "keep";
    std::string domain = "keep";
    EXPECT_EQ(kxAuthenticator::splitUserName(c.full, account, domain), c.ok);
    EXPECT_EQ(account, c.account);
    EXPECT_EQ(domain, c.domain);
  }
  // The full name may be the account output itself.
  std::string name = "DOM\\user";
  std::string domain;
  ASSERT_TRUE(kxAuthenticator::splitUserName(name, name, domain));
  EXPECT_EQ(name, "user");
  EXPECT_EQ(domain, "DOM");
}

TEST(Authenticator, EscapeDNReplacesOnlySlashes) {
  EXPECT_EQ(kxAuthenticator::escapeDN("CN=Rita/Dev,OU=R/D,DC=x"), "CN=Rita\\2fDev,OU=R\\2fD,DC=x");
  EXPECT_EQ(kxAuthenticator::escapeDN("//"), "\\2f\\2f");
  EXPECT_EQ(kxAuthenticator::escapeDN("CN=a\\,b+c=\"d\""), "CN=a\\,b+c=\"d\"");
  EXPECT_EQ(kxAuthenticator::escapeDN(""), "");
}

TEST(Authenticator, DisplayTextEscapesControlsAndKeepsPrintableText) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"Staff", "Staff"},
      {"Evil\nUser authenticated...", "Evil\\x0aUser authenticated..."},
      {"Red\x1b[31mAlert\x07", "Red\\x1b[31mAlert\\x07"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"cr\r del\x7f", "cr\\x0d del\\x7f"},
      {"R\xc3\xa9sum\xc3\xa9 \xe6\x97\xa5\xf0\x9f\x98\x80", "R\xc3\xa9sum\xc3\xa9 \xe6\x97\xa5\xf0\x9f\x98\x80"},  // UTF-8 kept
      {"csi\xc2\x9b" "2J", "csi\\u009b2J"},              // a C1 control written in UTF-8
      {"bare\x9b" "2J", "bare\\x9b2J"},                   // the same control as one byte
      {"cut\xe6\x97", "cut\\xe6\\x97"},                // a truncated sequence
      {"over\xc0\xaf", "over\\xc0\\xaf"},              // an overlong "/"
      {"sur\xed\xa0\x80", "sur\\xed\\xa0\\x80"},    // a UTF-16 surrogate
      {"CN=a\\,b/c", "CN=a\\,b/c"},                      // backslashes stay
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(kxAuthenticator::displayText(c.in), c.out);
  }
}

TEST(Authenticator, ErrorTextStartsWithTheLowerCaseCode) {
  EXPECT_EQ(kxAuthenticator::getErrorText(0x52E).rfind("[0x52e] ", 0), 0u);
  EXPECT_GT(kxAuthenticator::getErrorText(0x52E).size(), 8u);
  EXPECT_EQ(kxAuthenticator::getErrorText(0).rfind("[0x0] ", 0), 0u);
#ifdef _WIN32
  // The system's own text, in its own words.
  EXPECT_EQ(kxAuthenticator::getErrorText(126), "[0x7e] " + kxGetSystemErrorText(126));
#else
  EXPECT_EQ(kxAuthenticator::getErrorText(126), "[0x7e] The module could not be found.");
#endif
  EXPECT_EQ(kxAuthenticator::getErrorText(0xFFFFFFF0u), "[0xfffffff0] ");  // no text for it
}

TEST(Authenticator, MissingCredentialLibraryIsResultFour) {
  // "NT4 form": no translation, straight to loading the library, which is not on the
  // search path of this test program.
  uint32_t error = 0;
  EXPECT_EQ(kxAuthenticator::authenticateUser("D\\u", "pw", "", error), kxAuthResult_libraryError);
  EXPECT_EQ(error, 126u);
}

}  // namespace
