// System texts, the platform table and the shared-library loader.
#include <gtest/gtest.h>

#include <regex>

#include "orvo/debug/kxsysteminfo.h"
#include "orvo/platform/kxsharedlibrary.h"

namespace {

TEST(SystemInfo, PlatformTable) {
  const char* names[] = {"Unknown", "Windows", "MacOS", "Linux", "SunOS", "MacOS-X", "FreeBSD", "HP-UX"};
  const char letters[] = "UWMLSXFH";
  for (int i = 0; i < 8; ++i) {
    EXPECT_STREQ(kxPlatformName(i), names[i]);
    EXPECT_EQ(kxPlatformLetter(i), letters[i]);
    EXPECT_EQ(kxPlatformFromLetter(letters[i]), i);
  }
  for (int outside : {-1, 8, 9, 1000}) {
    EXPECT_STREQ(kxPlatformName(outside), "NONE");
    EXPECT_EQ(kxPlatformLetter(outside), 'X');
  }
  for (char notALetter : {'x', 'u', 'A', '\0', ' '}) EXPECT_EQ(kxPlatformFromLetter(notALetter), 8) << int(notALetter);
}

#ifdef _WIN32
// The system's own messages: their wording is the system's (and Wine's differs from
// Windows'), so only their presence and form are checked. The directory services' statuses
// have no system message.
TEST(SystemInfo, ErrorTexts) {
  EXPECT_EQ(kxGetSystemErrorText(0x12345678u), "");
  EXPECT_EQ(kxGetSystemErrorText(0x8000500Du), "");
  for (uint32_t known : {0u, 126u, 127u, 122u, 1008u, 0x52eu}) {
    const std::string text = kxGetSystemErrorText(known);
    ASSERT_FALSE(text.empty()) << known;
    EXPECT_NE(text.back(), '\n') << known;
    EXPECT_NE(text.back(), '\r') << known;
  }
}

TEST(SystemInfo, OSVersionText) {
  const std::regex product(R"(Windows (95|98|NT|2000|XP|Server 2003|Vista|Server 2008) v\d+\.\d+)");
  EXPECT_TRUE(std::regex_match(kxGetOSVersionText(false, false), product)) << kxGetOSVersionText(false, false);
  EXPECT_TRUE(std::regex_match(kxGetOSVersionText(false, true),
                               std::regex(R"(Windows [A-Za-z0-9 ]+ v\d+\.\d+, Build \d+)")))
      << kxGetOSVersionText(false, true);
  EXPECT_EQ(kxGetOSVersionText(), "Microsoft " + kxGetOSVersionText(false, false));
}
#else
TEST(SystemInfo, ErrorTexts) {
  EXPECT_EQ(kxGetSystemErrorText(0x12345678u), "");
  EXPECT_EQ(kxGetSystemErrorText(126), "The module could not be found.");
  for (uint32_t known : {0u, 127u, 122u, 1008u, 0x52eu, 0x8000500Du}) {
    const std::string text = kxGetSystemErrorText(known);
    EXPECT_FALSE(text.empty()) << known;
    EXPECT_NE(text.back(), '\n');
  }
}

TEST(SystemInfo, OSVersionText) {
  EXPECT_TRUE(std::regex_match(kxGetOSVersionText(false, false), std::regex(R"(Linux v\d+\.\d+)")));
  EXPECT_TRUE(std::regex_match(kxGetOSVersionText(false, true), std::regex(R"(Linux v\d+\.\d+, Build \d+)")));
  const std::string withVendor = kxGetOSVersionText();
  EXPECT_EQ(withVendor.substr(withVendor.size() - kxGetOSVersionText(false, false).size()),
            kxGetOSVersionText(false, false));
}

#endif

#ifdef _WIN32
// The system's loader: names are its own, and a missing module's message is its text.
TEST(SharedLibrary, WindowsNamesAreTheSystemsOwn) {
  using orvo::platform::SharedLibrary;
  for (const char* name : {"kxSSPI.dll", "ACTIVEDS.DLL", "C:\\x\\foo.dll", ".dll"})
    EXPECT_EQ(SharedLibrary::platformFileName(name), name);
}

TEST(SharedLibrary, LoadsAndReportsWindowsCodes) {
  using orvo::platform::SharedLibrary;
  uint32_t error = 0;
  SharedLibrary missing;
  EXPECT_FALSE(missing.load("noSuchModuleAnywhere.dll", error));
  EXPECT_EQ(error, 126u);
  EXPECT_EQ(missing.loaderMessage(), kxGetSystemErrorText(126));

  SharedLibrary math;
  error = 0;
  ASSERT_TRUE(math.load("msvcrt.dll", error)) << math.loaderMessage();
#else
TEST(SharedLibrary, WindowsNamesMapToSharedObjects) {
  using orvo::platform::SharedLibrary;
  EXPECT_EQ(SharedLibrary::platformFileName("kxSSPI.dll"), "libkxSSPI.so");
  EXPECT_EQ(SharedLibrary::platformFileName("ACTIVEDS.DLL"), "libACTIVEDS.so");
  EXPECT_EQ(SharedLibrary::platformFileName("libm.so.6"), "libm.so.6");
  EXPECT_EQ(SharedLibrary::platformFileName("/opt/x/foo.dll"), "/opt/x/foo.dll");
  EXPECT_EQ(SharedLibrary::platformFileName(".dll"), ".dll");
}

TEST(SharedLibrary, LoadsAndReportsWindowsCodes) {
  using orvo::platform::SharedLibrary;
  uint32_t error = 0;
  SharedLibrary missing;
  EXPECT_FALSE(missing.load("noSuchModuleAnywhere.dll", error));
  EXPECT_EQ(error, 126u);
  EXPECT_NE(missing.loaderMessage().find("libnoSuchModuleAnywhere.so"), std::string::npos);

  SharedLibrary math;
  error = 0;
  ASSERT_TRUE(math.load("libm.so.6", error)) << math.loaderMessage();
#endif
  using CosFn = double (*)(double);
  auto cosine = reinterpret_cast<CosFn>(math.symbol("cos", error));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(math.symbol("noSuchProcedure", error), nullptr);
  EXPECT_EQ(error, 127u);

  SharedLibrary moved(std::move(math));
  EXPECT_TRUE(moved.isLoaded());
  EXPECT_FALSE(math.isLoaded());
}

}  // namespace
