#include "orvo/dns/kxdnsstatemachine.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "orvo/debug/kxassert.h"

namespace {

constexpr uint32_t kNumStates = 6;
constexpr uint32_t kNumTokens = 6;
constexpr uint32_t kNumLegalEnds = 3;
constexpr int8_t kInLabel = 2;
constexpr uint8_t kLetterToken = 1;
constexpr uint8_t kDigitToken = 2;
constexpr uint8_t kInnerToken = 3;

struct DNSTables {
  std::array<int8_t, kNumStates * kNumTokens> table{};
  std::array<uint8_t, 256> inputs{};
};

// The tables of one option combination; index bit 0 allowUnderscore, bit 1 relaxedLabels,
// bit 2 mayStartWithUnderscore.
constexpr DNSTables makeTables(unsigned inOptions) {
  const bool allowUnderscore = (inOptions & 1) != 0;
  const bool relaxedLabels = (inOptions & 2) != 0;
  const bool mayStartWithUnderscore = (inOptions & 4) != 0;
  DNSTables t;
  auto cell = [&](int inState, uint8_t inToken) -> int8_t& { return t.table[uint32_t(inState) * kNumTokens + inToken]; };
  for (int s = 1; s <= 4; ++s) {
    cell(s, kLetterToken) = kInLabel;
    cell(s, kDigitToken) = kInLabel;
  }
  cell(2, kInnerToken) = 3;
  cell(3, kInnerToken) = 3;
  cell(2, 4) = 4;
  cell(5, 4) = 4;
  cell(1, 5) = 5;
  cell(4, 5) = 5;
  const int8_t labelStart = mayStartWithUnderscore ? kInLabel : 0;
  cell(1, kInnerToken) = labelStart;
  cell(4, kInnerToken) = labelStart;

  for (int c = 'A'; c <= 'Z'; ++c) t.inputs[c] = kLetterToken;
  for (int c = 'a'; c <= 'z'; ++c) t.inputs[c] = kLetterToken;
  for (int c = '0'; c <= '9'; ++c) t.inputs[c] = kDigitToken;
  t.inputs['.'] = 4;
  t.inputs['*'] = 5;
  if (relaxedLabels) {
    t.inputs['-'] = t.inputs['_'] = t.inputs['/'] = kLetterToken;
  } else {
    t.inputs['-'] = t.inputs['/'] = kInnerToken;
    t.inputs['_'] = allowUnderscore ? kInnerToken : 0;
  }
  return t;
}

constexpr std::array<DNSTables, 8> makeAllTables() {
  std::array<DNSTables, 8> all{};
  for (unsigned o = 0; o < 8; ++o) all[o] = makeTables(o);
  return all;
}

constexpr std::array<DNSTables, 8> kTables = makeAllTables();
constexpr int8_t kLegalEnds[kNumLegalEnds] = {2, 4, 5};

char upperAscii(char inChar) { return (inChar >= 'a' && inChar <= 'z') ? char(inChar - 'a' + 'A') : inChar; }

}  // namespace

kxDNSStateMachine::kxDNSStateMachine(bool allowUnderscore, bool relaxedLabels, bool mayStartWithUnderscore) {
  initTables(allowUnderscore, relaxedLabels, mayStartWithUnderscore);
}

kxDNSStateMachine::~kxDNSStateMachine() = default;

bool kxDNSStateMachine::initTables(bool allowUnderscore, bool relaxedLabels, bool mayStartWithUnderscore) {
  kxAssert(allowUnderscore || ! mayStartWithUnderscore);
  const DNSTables& tables =
      kTables[(allowUnderscore ? 1u : 0u) | (relaxedLabels ? 2u : 0u) | (mayStartWithUnderscore ? 4u : 0u)];
  if (hasTable())
    replaceTables(tables.table.data(), tables.inputs.data());
  else
    setTable(tables.table.data(), tables.inputs.data(), kLegalEnds, kNumStates, kNumTokens, kNumLegalEnds);
  return mayStartWithUnderscore;
}

bool kxDNSStateMachine::recognise(const char* inText, uint32_t inLength) {
  // Letters and digits keep a label going; such runs are skipped without the table step.
  const uint8_t* inputs = getInputs();
  uint32_t i = 0;
  while (i < inLength) {
    if (getState() == kInLabel) {
      uint32_t end = i;
      while (end < inLength && uint8_t(inputs[uint8_t(inText[end])] - kLetterToken) <= uint8_t(kDigitToken - kLetterToken))
        ++end;
      skipUnchanged(end - i);
      i = end;
      if (i == inLength) break;
    }
    if (!step(inText[i++])) return false;
  }
  return isLegalEnd();
}

namespace orvo {

namespace {
bool validName(const char* inText, size_t inLength, bool inAllowRoot) {
  if (inAllowRoot && inLength == 1 && inText[0] == '.') return true;
  kxDNSStateMachine machine(true, false, false);
  return machine.recognise(inText, uint32_t(inLength));
}
}  // namespace

bool isValidDomainName(const char* inText, bool inAllowRoot) {
  if (inText == nullptr) return false;
  return validName(inText, std::strlen(inText), inAllowRoot);
}

bool isValidDomainName(const std::string& inText, bool inAllowRoot) {
  return validName(inText.data(), inText.size(), inAllowRoot);
}

bool isPrintableWord(const char* inText) {
  if (inText == nullptr || *inText == '\0') return false;
  for (; *inText != '\0'; ++inText)
    if (uint8_t(*inText) < 33 || uint8_t(*inText) > 127) return false;
  return true;
}

bool isPrintableWord(const std::string& inText) {
  if (inText.empty()) return false;
  for (const char c : inText)
    if (uint8_t(c) < 33 || uint8_t(c) > 127) return false;
  return true;
}

int countLabels(const char* inText, char inSeparator) {
  if (inText == nullptr || *inText == '\0') return 0;
  if (std::strcmp(inText, ".") == 0) return 1;
  int count = 1;
  for (; *inText != '\0'; ++inText)
    if (*inText == inSeparator) ++count;
  return count;
}

char* getLabel(const char* inText, int inIndex, char* outLabel, char inSeparator) {
  char* out = outLabel;
  for (int skipped = 0; skipped < inIndex && *inText != '\0'; ++inText)
    if (*inText == inSeparator) ++skipped;
  // Fewer separators than inIndex: the text is used up and the label is empty.
  for (; *inText != '\0' && *inText != inSeparator; ++inText) *out++ = *inText;
  *out = '\0';
  return outLabel;
}

namespace {
// Where the last inCount labels begin in a text of inLength characters.
size_t lastLabelsStart(const char* inText, size_t inLength, int inCount) {
  if (inCount <= 0) return inLength;
  if (inCount == 1) return inLength == 0 ? 0 : inLength - 1;
  int dots = 0;
  for (size_t i = inLength; i > 0; --i) {
    if (inText[i - 1] == '.' && ++dots == inCount) return i;
  }
  return 0;
}
}  // namespace

char* getLastLabels(const char* inText, int inCount, char* outText) {
  const size_t length = std::strlen(inText);
  const size_t start = lastLabelsStart(inText, length, inCount);
  std::memmove(outText, inText + start, length - start);
  outText[length - start] = '\0';
  return outText;
}

std::string& getLastLabels(const std::string& inText, int inCount, std::string& outText) {
  outText = inText.substr(lastLabelsStart(inText.data(), inText.size(), inCount));
  return outText;
}

int countCommonLabels(const char* inName1, const char* inName2) {
  size_t i = std::strlen(inName1);
  size_t j = std::strlen(inName2);
  while (i > 0 && j > 0 && upperAscii(inName1[i - 1]) == upperAscii(inName2[j - 1])) {
    --i;
    --j;
  }
  if (i == 0 && j == 0) return countLabels(inName1);
  if (i > 0 && j > 0) return std::min(countLabels(inName1 + i - 1), countLabels(inName2 + j - 1)) - 1;
  // One name is a tail of the other; a partial label at its front does not count.
  const char* rest = i == 0 ? inName1 : inName2;
  const char before = i == 0 ? inName2[j - 1] : inName1[i - 1];
  int count = countLabels(rest);
  if (before != '.' && rest[0] != '.') --count;
  return std::max(count, 0);
}

char* wireToDottedName(char* ioBuffer) {
  char* p = ioBuffer;
  for (uint8_t length = uint8_t(*p); length != 0; length = uint8_t(*p)) {
    std::memmove(p, p + 1, length);
    p[length] = '.';
    p += length + 1;
  }
  return ioBuffer;
}

char* dottedToWireName(char* ioBuffer) {
  const size_t length = std::strlen(ioBuffer);
  kxAssert((length > 0) && (ioBuffer[length - 1] == '.'));
  if (length == 0 || ioBuffer[length - 1] != '.') return ioBuffer;
  uint8_t labelLength = 0;
  for (size_t k = length; k > 0; --k) {
    const char c = ioBuffer[k - 1];
    if (c == '.') {
      ioBuffer[k] = char(labelLength);
      labelLength = 0;
    } else {
      ioBuffer[k] = c;
      ++labelLength;
    }
  }
  ioBuffer[0] = char(labelLength);
  return ioBuffer;
}

}  // namespace orvo
