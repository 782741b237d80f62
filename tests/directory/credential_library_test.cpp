// kxAuthenticator::authenticateUser with a stand-in credential library (fake_kxsspi.cpp, found
// through this program's rpath, or on Windows beside it, under the name the authenticator
// asks for): what the library
// receives and how its results map. Names in NT4 form need no directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "orvo/util/kxauthenticator.h"
#include "support/kxtestsupport.h"

namespace {

class CredentialLibrary : public ::testing::Test {
 protected:
#ifdef _WIN32
  void SetUp() override { _putenv_s("FAKE_KXSSPI_LOG", itsDir.file("log").c_str()); }
  void TearDown() override { _putenv_s("FAKE_KXSSPI_LOG", ""); }
#else
  void SetUp() override { setenv("FAKE_KXSSPI_LOG", itsDir.file("log").c_str(), 1); }
  void TearDown() override { unsetenv("FAKE_KXSSPI_LOG"); }
#endif
  std::string log() const { return orvo::test::readFile(itsDir.file("log")); }

 private:
  orvo::test::TempDir itsDir;
};

TEST_F(CredentialLibrary, ResultsMapAndErrorsPassThrough) {
  const struct {
    int logonResult;
    kxAuthResult expected;
  } cases[] = {{0, kxAuthResult_ok}, {9, kxAuthResult_unknownUser}, {10, kxAuthResult_logonRefused},
               {7, kxAuthResult_logonFailed}, {1, kxAuthResult_logonFailed}, {-1, kxAuthResult_logonFailed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logonResult);
    uint32_t error = 99;
    const std::string user = "DOM\\result-" + std::to_string(c.logonResult);
    EXPECT_EQ(kxAuthenticator::authenticateUser(user, "pw", "", error), c.expected);
    EXPECT_EQ(error, 0x700u + static_cast<uint32_t>(c.logonResult));
  }
}

TEST_F(CredentialLibrary, ReceivesDomainAccountAndPassword) {
  uint32_t error = 0;
  kxAuthenticator::authenticateUser("DOM\\result-0", "p a\\ss", "", error);
  EXPECT_EQ(log(), "logon [DOM] [result-0] [p a\\ss]\n");  // no package selected
}

TEST_F(CredentialLibrary, PackageIsSelectedOnlyWhenNamed) {
  uint32_t error = 0;
  kxAuthenticator::authenticateUser("DOM\\result-0", "pw", "Kerberos", error);
  EXPECT_EQ(log(), "setSSP Kerberos\nlogon [DOM] [result-0] [pw]\n");
}

}  // namespace
