// Error code names, messages with $ parameters, error messages and kxException.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "orvo/messages/kxerr.h"
#include "orvo/messages/kxerrormessage.h"
#include "orvo/messages/kxexception.h"
#include "orvo/messages/kxmessage.h"
#include "orvo/messages/kxstringserver.h"
#include "support/kxassertcapture.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::test::failedAssertions;
using Strings = std::vector<std::string>;

TEST(ErrName, ListedGapAndSmallValues) {
  const struct {
    unsigned value;
    const char* name;
  } cases[] = {
      {0x0000, "kxErr_noError"},
      {0x0101, "kxErr_userCancelled"},
      {0x0108, "kxErr_critical"},
      {0x0206, "kxErr_resolveFailed"},
      {0x0404, "kxErr_accessNotAllowed"},
      {0x0607, "kxErr_fileRename"},
      {0x0710, "kxErr_parserExpectedEndOfLine"},
      {0x0727, "kxErr_parserMissingSOARecord"},
      {0x0905, "kxErr_NXDomain"},
      {0xFFFF, "kxErr_unknown"},
      // Gaps inside a group are not codes.
      {0x0403, "0x403"},
      {0x0603, "0x603"},
      {0x0704, "0x704"},
      {0x071F, "0x71F"},
      {0x0109, "0x109"},
      {0xFFFE, "0xFFFE"},
      // Small values keep two digits.
      {0x0001, "0x01"},
      {0x0005, "0x05"},
      {0x0012, "0x12"},
  };
  for (const auto& c : cases) EXPECT_STREQ(kxErrName(static_cast<kxErr>(c.value)), c.name) << c.value;
}

TEST(ErrName, EveryNamedValueIsOneOfTheFiftyEightCodes) {
  int named = 0;
  for (unsigned value = 0; value <= 0xFFFF; ++value) {
    const std::string name = kxErrName(static_cast<kxErr>(value));
    if (name.rfind("kxErr_", 0) == 0) {
      ++named;
      // The high byte groups the codes; only 0 and 0xFFFF stand outside the groups.
      EXPECT_TRUE(value == 0 || value == 0xFFFF || ((value >> 8) >= 1 && (value >> 8) <= 9)) << name;
    } else {
      char expected[8];
      std::snprintf(expected, sizeof expected, "0x%02X", value);
      ASSERT_EQ(name, expected);
    }
  }
  EXPECT_EQ(named, 58);
}

TEST(ErrName, UnlistedTextsOfTwoThreadsStayApart) {
  // Each thread formats its own unlisted value over and over and checks the text it got
  // back before the other thread can overwrite a shared buffer.
  auto worker = [](kxErr inValue, const char* inExpected, bool& outSame) {
    outSame = true;
    for (int i = 0; i < 20000 && outSame; ++i) outSame = std::string(kxErrName(inValue)) == inExpected;
  };
  bool firstSame = false;
  bool secondSame = false;
  std::thread first(worker, static_cast<kxErr>(0x0403), "0x403", std::ref(firstSame));
  std::thread second(worker, static_cast<kxErr>(0x0012), "0x12", std::ref(secondSame));
  first.join();
  second.join();
  EXPECT_TRUE(firstSame);
  EXPECT_TRUE(secondSame);
}

TEST(Message, FinalTextFillsParametersInCodeOrder) {
  const char* zoneError = "Error in file \"$f\" line $l. Expected end of line.";
  const struct {
    const char* text;
    std::map<char, std::string> params;
    const char* expected;
  } cases[] = {
      {zoneError, {{'f', "a.zone"}, {'l', "12"}}, "Error in file \"a.zone\" line 12. Expected end of line."},
      {zoneError, {{'f', "a.zone"}}, "Error in file \"a.zone\" line $l. Expected end of line."},
      {"$e or $e", {{'e', "x"}}, "x or x"},
      // A value is not expanded again by its own code ...
      {"<$e>", {{'e', "$e$e"}}, "<$e$e>"},
      // ... but a lower code's value is expanded when a higher code's turn comes,
      {"$e", {{'e', "got $t"}, {'t', "tok"}}, "got tok"},
      // and a higher code's value is not looked at by a lower code.
      {"$t", {{'e', "x"}, {'t', "$e"}}, "$e"},
      {"$$e", {{'e', "1"}}, "$1"},
      {"cost: $5 $", {{'e', "x"}}, "cost: $5 $"},
      {"[$e]", {{'e', ""}}, "[]"},
      {"", {{'e', "value"}}, ""},
  };
  for (const auto& c : cases) {
    kxMessage message(c.text);
    for (const auto& [code, value] : c.params) message.addParam(code, value);
    EXPECT_EQ(message.getText(), c.expected) << c.text;
  }
}

TEST(Message, ParametersKeepTheirFirstValueAndAscendingOrder) {
  kxMessage message("$t $e $f", 't', "tok", 'e', std::string("exp"), 'l', 12u);
  message.addParam('e', "second");
  message.addParam('l', -3);
  message.addParam('f', nullptr);
  message.addParam('n', -2147483647);
  EXPECT_EQ(message.getParam('e'), "exp");
  EXPECT_EQ(message.getParam('l'), "12");
  EXPECT_EQ(message.getParamCount(), 5u);
  EXPECT_EQ(message.getParamList(';'), "e=exp;f=;l=12;n=-2147483647;t=tok");
  EXPECT_EQ(message.getParamList(','), "e=exp,f=,l=12,n=-2147483647,t=tok");
  EXPECT_EQ(message.getText(), "tok exp ");

  char code = 0;
  std::string value;
  ASSERT_TRUE(message.getParamAt(2, code, value));
  EXPECT_EQ(code, 'l');
  EXPECT_EQ(value, "12");
  code = '?';
  EXPECT_FALSE(message.getParamAt(5, code, value));
  EXPECT_EQ(code, '?');
  EXPECT_EQ(kxMessage().getParamList(';'), "");

  EXPECT_EQ(message.getParamUnsigned('l'), 12u);
  EXPECT_EQ(message.getParamInt('n'), -2147483647);
  kxMessage big("x");
  big.addParam('u', 4294967295u);
  EXPECT_EQ(big.getParamUnsigned('u'), 4294967295u);
}

TEST(Message, MissingOrNonNumericParametersAreReported) {
  kxMessage message("x", 'e', "abc", 'l', "-4");
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(message.getParam('q'), ""); }), Strings{"hasParam(inParamCode)"});
  EXPECT_EQ(failedAssertions([&] { message.getParamInt('e'); }), Strings{"false"});
  EXPECT_EQ(failedAssertions([&] { message.getParamUnsigned('l'); }), Strings{"false"});
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(message.getParamInt('l'), -4); }), Strings{});
}

TEST(Message, EmptinessClearAndSetText) {
  kxMessage message(static_cast<const char*>(nullptr));
  EXPECT_TRUE(message.isEmpty());
  EXPECT_EQ(message.getRef(), kxMessage::kLiteralRef);
  message.setText("text");
  EXPECT_FALSE(message.isEmpty());
  message.addParam('e', "v");
  message.setRef(9);
  EXPECT_FALSE(message.isEmpty());
  message.setText(std::string());
  EXPECT_TRUE(message.isEmpty());
  EXPECT_EQ(message.getParamCount(), 1u);  // setText leaves the parameters
  message.setText("text");
  message.clear();
  EXPECT_TRUE(message.isEmpty());
  EXPECT_EQ(message.getRef(), 0u);
  EXPECT_EQ(message.getParamCount(), 0u);
  EXPECT_EQ(message.getText(), "");  // reference 0 is no text, not an unregistered number
}

TEST(Message, OrderingAndEquality) {
  auto literal = [](const char* inText, std::map<char, std::string> inParams = {}) {
    kxMessage message(inText);
    for (const auto& [code, value] : inParams) message.addParam(code, value);
    return message;
  };
  auto referenced = [&](uint32_t inRef, const char* inText, std::map<char, std::string> inParams = {}) {
    kxMessage message = literal(inText, inParams);
    message.setRef(inRef);
    return message;
  };
  const struct {
    kxMessage a;
    kxMessage b;
    bool less;
    bool equal;
  } cases[] = {
      {referenced(7, "z"), literal("a"), true, false},  // 7 < 0xFFFF, the texts do not count
      {referenced(8, ""), referenced(7, ""), false, false},
      {literal("abc"), literal("abd"), true, false},
      {literal("b", {{'e', "1"}}), literal("a"), false, false},  // texts decide before parameters
      {literal("a", {{'e', "1"}}), literal("a", {{'e', "2"}}), true, false},
      {literal("a"), literal("a", {{'e', ""}}), true, false},
      {literal("a", {{'f', "1"}}), literal("a", {{'e', "9"}}), false, false},
      {literal("a", {{'e', "1"}}), literal("a", {{'e', "1"}}), false, true},
      // A registry reference ignores whatever literal text the message still holds.
      {referenced(7, "one", {{'e', "1"}}), referenced(7, "two", {{'e', "1"}}), false, true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(c.a < c.b, c.less) << i;
    EXPECT_EQ(c.a == c.b, c.equal) << i;
    if (c.equal || c.less) {
      EXPECT_FALSE(c.b < c.a) << i;
    }
  }
}

TEST(ErrorMessage, ClearedStateAndEmptiness) {
  kxErrorMessage fresh;
  EXPECT_EQ(fresh.getErrorValue(), kxErr_noError);
  EXPECT_TRUE(fresh.isEmpty());

  kxErrorMessage message(kxErr_parserExpectedName, "Expected $e", 'e', "a name");
  EXPECT_FALSE(message.isEmpty());
  EXPECT_EQ(message.getText(), "Expected a name");

  kxMessage& asMessage = message;
  asMessage.clear();  // dispatches to the error message's own clear
  EXPECT_EQ(message.getErrorValue(), kxErr_noError);
  EXPECT_EQ(message.getRef(), kxErrorMessage::kNoErrorRef);
  EXPECT_EQ(message.getParamCount(), 0u);
  EXPECT_TRUE(asMessage.isEmpty());
  // Reference 290 is neither "no text" nor a literal text.
  message.setErrorValue(kxErr_timeout);
  EXPECT_FALSE(message.isEmpty());

  // With an error value, emptiness falls back to the message's own rule.
  EXPECT_TRUE(kxErrorMessage(kxErr_timeout, "").isEmpty());
  EXPECT_FALSE(kxErrorMessage(kxErr_noError, "text").isEmpty());

  const kxErrorMessage full(kxErr_parserFailed, std::string("$e $f $l"), 'e', "x", 'f', "y", 'l', 3);
  const kxErrorMessage copy = full;
  EXPECT_EQ(copy.getErrorValue(), kxErr_parserFailed);
  EXPECT_EQ(copy.getText(), "x y 3");
}

TEST(Exception, CarriesTheMessageAndGivesItsTextUnexpanded) {
  const kxErrorMessage message(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l.", 'f', "a.zone", 'l', 4u);
  try {
    throw kxException(message);
  } catch (const std::exception& caught) {
    EXPECT_STREQ(caught.what(), "Error in file \"$f\" line $l.");
    const auto* exception = dynamic_cast<const kxException*>(&caught);
    ASSERT_NE(exception, nullptr);
    EXPECT_EQ(exception->getErrorValue(), kxErr_parserUnexpectedToken);
    const kxException copy = *exception;
    EXPECT_EQ(copy.errorMessage, message);
    EXPECT_EQ(copy.errorMessage.getText(), "Error in file \"a.zone\" line 4.");
  }

  const kxException bare(kxErr_resFull);
  EXPECT_STREQ(bare.what(), "");
  EXPECT_EQ(bare.getErrorValue(), kxErr_resFull);
  EXPECT_EQ(bare.errorMessage.getParamCount(), 0u);
  EXPECT_STREQ(kxException(kxErr_internal, "plain $e").what(), "plain $e");

  // what() never consults the registry, even for a message that refers to it.
  kxErrorMessage referenced(kxErr_timeout, "literal");
  referenced.setRef(123456);
  EXPECT_EQ(failedAssertions([&] { EXPECT_STREQ(kxException(referenced).what(), "literal"); }), Strings{});
}

TEST(Message, InfoLogMessageWritesTheFinalText) {
  std::string err;
  {
    orvo::test::CaptureFd capture(2);
    kxInfoLogMessage(kxInfoLogError, kxMessage("lost $e", 'e', "link"));
    kxInfoLogMessage(kxInfoLogDebug, kxMessage("hidden"));
    err = capture.text();
  }
  EXPECT_NE(err.find(" lost link\n"), std::string::npos) << err;
  EXPECT_EQ(err.find("hidden"), std::string::npos) << err;
}

TEST(StringServer, RegistersTablesAndReportsConflicts) {
  static const kxStringTableEntry table[] = {{7, "seven"}, {8, "eight"}, {0, nullptr}};
  static const kxStringTableEntry again[] = {{7, "SEVEN"}, {8, "EIGHT"}, {0, nullptr}};
  static const kxStringTableEntry none[] = {{0, "ignored"}};
  kxStringServer server;
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(server.addStrings(table), 8u); }), Strings{});
  EXPECT_STREQ(server.getString(7), "seven");
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(server.addStrings(again), 8u); }),
            (Strings{"iter == itsStrMap.end()", "iter == itsStrMap.end()"}));
  EXPECT_STREQ(server.getString(7), "SEVEN");
  EXPECT_STREQ(server.getString(8), "EIGHT");
  EXPECT_EQ(server.addStrings(none), 0u);

  EXPECT_EQ(failedAssertions([&] { server.addString(8, "eight again"); }),
            Strings{"itsStrMap.find(inRef) == itsStrMap.end()"});
  EXPECT_STREQ(server.getString(8), "eight again");
  EXPECT_EQ(failedAssertions([&] { EXPECT_STREQ(server.getString(0), ""); }), Strings{});
  EXPECT_EQ(failedAssertions([&] { EXPECT_STREQ(server.getString(9), ""); }),
            Strings{"itsStrMap.find(inRef) != itsStrMap.end()"});
}

TEST(StringServer, MessagesTakeTheirTextFromTheProcessRegistry) {
  static const kxStringTableEntry table[] = {{7001, "Cannot open \"$e\" ($e)."}, {0, nullptr}};
  kxStringServer::instance().addStrings(table);
  kxMessage message("unused literal", 'e', "a.zone");
  message.setRef(7001);
  EXPECT_EQ(message.getText(), "Cannot open \"a.zone\" (a.zone).");

  message.setRef(7002);
  EXPECT_EQ(failedAssertions([&] { EXPECT_EQ(message.getText(), ""); }),
            Strings{"itsStrMap.find(inRef) != itsStrMap.end()"});
}

TEST(StringServer, RegistrationWhileOtherThreadsLookTextsUp) {
  static const kxStringTableEntry base[] = {{1, "one"}, {0, nullptr}};
  static std::vector<std::string> texts;
  for (int i = 0; i < 500; ++i) texts.push_back("text " + std::to_string(i));
  kxStringServer server;
  server.addStrings(base);
  std::atomic<bool> done{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t)
    readers.emplace_back([&] {
      while (!done.load()) ASSERT_STREQ(server.getString(1), "one");
    });
  for (uint32_t i = 0; i < texts.size(); ++i) server.addString(100 + i, texts[i].c_str());
  done = true;
  for (auto& reader : readers) reader.join();
  for (uint32_t i = 0; i < texts.size(); ++i) EXPECT_EQ(server.getString(100 + i), texts[i]);
}

}  // namespace
