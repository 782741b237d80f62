// The Windows directory client (built on Windows only): SID texts and the current account
// from the security functions, and what an object or translator that could not be made or
// opened answers. Lookups against a domain need a domain controller and Windows in the
// domain; they are tested through the Linux client against the test controller.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvo/platform/kxdirectory.h"

namespace {

using namespace orvo::platform;

TEST(WindowsDirectory, WritesSidTexts) {
  // S-1-5-21-1533815067-2448522577-2632331214-1110 as the directory stores it.
  const std::vector<uint8_t> domainUser = {
      1,    5,    0,    0,    0,    0,    0,    5,    21,   0,    0,    0,    0x1b, 0x29,
      0x6c, 0x5b, 0x51, 0x7d, 0xf1, 0x91, 0xce, 0x2f, 0xe6, 0x9c, 0x56, 0x04, 0,    0};
  std::string text;
  ASSERT_TRUE(sidToText(domainUser, text));
  EXPECT_EQ(text, "S-1-5-21-1533815067-2448522577-2632331214-1110");
  ASSERT_TRUE(sidToText({1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}, text));
  EXPECT_EQ(text, "S-1-1-0");

  // The system reads a SID's length from the SID: bytes that announce more than they hold
  // never reach it.
  text = "untouched";
  const std::vector<std::vector<uint8_t>> bad = {
      {},
      {1, 1, 0, 0, 0, 0, 0, 5},                         // one sub-authority announced, none there
      {2, 0, 0, 0, 0, 0, 0, 5},                         // revision 2
      {1, 1, 0, 0, 0, 0, 0, 5, 1, 2, 3},                // sub-authority cut short
      {1, 1, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4, 9},          // a byte too many
      {1, 200, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4},           // a count far beyond the bytes
  };
  for (const auto& sid : bad) EXPECT_FALSE(sidToText(sid, text)) << sid.size();
  EXPECT_EQ(text, "untouched");
}

TEST(WindowsDirectory, CurrentUserFromTheToken) {
  std::string account, domain;
  std::vector<uint8_t> sid;
  uint32_t error = 99;
  ASSERT_TRUE(currentUser(account, domain, sid, error)) << error;
  EXPECT_EQ(error, 0u);
  EXPECT_FALSE(account.empty());
  std::string text;
  ASSERT_TRUE(sidToText(sid, text));
  EXPECT_EQ(text.rfind("S-1-5-", 0), 0u) << text;

  // The account's own name reads back to the same SID.
  std::vector<uint8_t> again;
  std::string againDomain;
  ASSERT_TRUE(lookupAccountName(domain + "\\" + account, again, againDomain, error)) << error;
  EXPECT_EQ(again, sid);
  EXPECT_EQ(againDomain, domain);
  EXPECT_FALSE(lookupAccountName("no-such-account-anywhere-4711", again, againDomain, error));
  EXPECT_EQ(error, kErrNoneMapped);
}

TEST(WindowsDirectory, UnopenedObjectsAndUnmadeTranslatorsAnswerWithErrors) {
  const DirectorySession session;
  DirectoryObject object;
  std::string value = "untouched";
  std::vector<std::string> values{"untouched"};
  EXPECT_TRUE(dirFailed(object.get("name", value)));
  EXPECT_TRUE(dirFailed(object.getEx("memberOf", values)));
  EXPECT_TRUE(dirFailed(object.groups(values)));
  EXPECT_EQ(value, "untouched");
  EXPECT_EQ(values, std::vector<std::string>{"untouched"});

  // No server answers here: the open fails with a status and leaves the object unopened.
  EXPECT_TRUE(dirFailed(DirectoryObject::open("LDAP://127.0.0.1:9/CN=x,DC=example,DC=com", nullptr, nullptr,
                                              0x101, object)));
  EXPECT_TRUE(dirFailed(object.get("name", value)));

  NameTranslator translator;
  if (dirFailed(translator.creationStatus())) {
    // Where the system has no name translator (Wine): every call gives the creation status.
    std::string name;
    EXPECT_EQ(translator.init(kTranslatorGlobalCatalog, ""), translator.creationStatus());
    EXPECT_EQ(translator.set(kFormatAny, "x"), translator.creationStatus());
    EXPECT_EQ(translator.get(kFormatNT4, name), translator.creationStatus());
  }
}

}  // namespace
