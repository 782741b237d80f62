#include "orvo/util/kxask.h"

#include <cstring>
#include <iostream>

#include "orvo/debug/kxassert.h"
#include "orvo/platform/kxconsole.h"

namespace {

struct QuestionKind {
  const char* suffix;
  const char* accepted;
  int declined;  // the answer when input ends first
};

constexpr QuestionKind kKinds[] = {
    {" ", "", kxAskOk},
    {" [Ok/Cancel] ", "OC", kxAskCancel},
    {" [Yes/No] ", "YN", kxAskNoOfTwo},
    {" [Yes/No/Cancel] ", "YNC", kxAskCancel},
};

constexpr size_t kMaxAnswer = 255;

// Key codes of the hidden prompt.
constexpr int kFunctionKey = 0;
constexpr int kCtrlC = 3;
constexpr int kCtrlD = 4;
constexpr int kBackspace = 8;
constexpr int kLineFeed = 10;
constexpr int kReturn = 13;

char upperAscii(char inChar) { return (inChar >= 'a' && inChar <= 'z') ? static_cast<char>(inChar - 'a' + 'A') : inChar; }

// Reads one line from standard input, keeping at most kMaxAnswer characters of it. False
// when the input had ended and nothing was read.
bool readAnswerLine(std::string& outAnswer) {
  std::getline(std::cin, outAnswer);
  if (outAnswer.size() > kMaxAnswer) outAnswer.resize(kMaxAnswer);
  return !std::cin.fail();
}

int mapAnswer(int inKind, char inLetter) {
  switch (inLetter) {
    case 'O':
      return kxAskOk;
    case 'C':
      return kxAskCancel;
    case 'Y':
      return inKind == 3 ? kxAskYes : kxAskYesOfTwo;
    default:
      return inKind == 3 ? kxAskNo : kxAskNoOfTwo;
  }
}

// Applies one key code of the hidden prompt; false when it ends the answer.
bool applyKey(int inKey, std::string& ioAnswer) {
  switch (inKey) {
    case kReturn:
    case kLineFeed:
    case kCtrlC:
    case kCtrlD:
      return false;
    case kBackspace:
      if (!ioAnswer.empty()) ioAnswer.pop_back();
      return true;
    default:
      ioAnswer += static_cast<char>(inKey);
      return true;
  }
}

// The hidden answer from a terminal, key by key without echo.
void readHiddenFromConsole(orvo::platform::ConsoleKeyReader& inKeys, std::string& ioAnswer) {
  for (;;) {
    int key = inKeys.readKey();
    if (key == orvo::platform::ConsoleKeyReader::kEndOfInput) return;
    if (key == kFunctionKey) {
      if (inKeys.readKey() == orvo::platform::ConsoleKeyReader::kEndOfInput) return;
      continue;
    }
    if (!applyKey(key, ioAnswer)) return;
  }
}

// The same codes read from input that is not a terminal (nothing to hide there).
void readHiddenFromStream(std::string& ioAnswer) {
  for (;;) {
    int key = std::cin.get();
    if (key == std::char_traits<char>::eof()) return;
    if (key == kFunctionKey) {
      if (std::cin.get() == std::char_traits<char>::eof()) return;
      continue;
    }
    if (!applyKey(key, ioAnswer)) return;
  }
}

}  // namespace

namespace orvo {

int kxAsk(int inKind, const std::string& inText) {
  kxAssert((inKind >= 0) && (inKind <= 3));
  if (inKind < 0 || inKind > 3) inKind = 0;
  const QuestionKind& kind = kKinds[inKind];
  const std::string question = "Warning: " + inText + kind.suffix;
  for (;;) {
    std::cout << question << std::flush;
    std::cin.clear();
    orvo::platform::discardConsoleTypeAhead();
    std::string answer;
    const bool answered = readAnswerLine(answer);
    if (inKind == 0) return kxAskOk;
    if (!answer.empty()) {
      const char letter = upperAscii(answer[0]);
      if (letter != '\0' && std::strchr(kind.accepted, letter) != nullptr) return mapAnswer(inKind, letter);
    }
    if (!answered) return kind.declined;
  }
}

int kxAskMessage(int inKind, const kxMessage& inMessage) { return kxAsk(inKind, inMessage.getText()); }

int kxWarn(const kxMessage& inMessage) {
  const std::string text = inMessage.getText();
  if (text.empty()) return 0;
  return kxAsk(0, text);
}

void kxPrompt(const std::string& inPrompt, std::string& outAnswer, bool inHidden) {
  outAnswer.clear();
  std::cout << inPrompt << std::flush;
  std::cin.clear();
  if (!inHidden) {
    readAnswerLine(outAnswer);
    return;
  }
  {
    orvo::platform::ConsoleKeyReader keys;
    if (keys.isOpen())
      readHiddenFromConsole(keys, outAnswer);
    else
      readHiddenFromStream(outAnswer);
  }
  std::cout << '\n' << std::flush;
}

}  // namespace orvo
