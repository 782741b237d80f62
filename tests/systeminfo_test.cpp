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
