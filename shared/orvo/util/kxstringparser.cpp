#include "orvo/util/kxstringparser.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace {

bool isDigit(char inChar) { return inChar >= '0' && inChar <= '9'; }
bool isBlankOrTab(char inChar) { return inChar == ' ' || inChar == '\t'; }
char upperAscii(char inChar) { return (inChar >= 'a' && inChar <= 'z') ? char(inChar - 'a' + 'A') : inChar; }
const char* orEmpty(const char* inText) { return inText != nullptr ? inText : ""; }

// The 32-bit conversions behave the same on every platform: a value outside the 32-bit
// range saturates the way a 32-bit strtol/strtoul reports an overflow.
bool convertInt(const char* inText, int& outValue) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(inText, &end, 10);
  if (value > INT_MAX)
    outValue = INT_MAX;
  else if (value < INT_MIN)
    outValue = INT_MIN;
  else
    outValue = int(value);
  return end != inText && *end == '\0' && outValue != INT_MAX && outValue != INT_MIN;
}

bool convertUnsigned(const char* inText, unsigned& outValue) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(inText, &end, 10);
  outValue = (errno == ERANGE || value > UINT_MAX) ? UINT_MAX : unsigned(value);
  if (outValue == UINT_MAX) {
    const char* digits = inText[0] == '+' ? inText + 1 : inText;
    return std::strcmp(digits, "4294967295") == 0;
  }
  return end != inText && *end == '\0';
}

template <typename Container>
void splitInto(const char* inText, char inSeparator, Container& outPieces) {
  outPieces.clear();
  inText = orEmpty(inText);
  if (*inText == '\0') return;
  const char* start = inText;
  for (;;) {
    const char* stop = std::strchr(start, inSeparator);
    if (inSeparator == '\0' || stop == nullptr) {
      outPieces.insert(outPieces.end(), std::string(start));
      return;
    }
    outPieces.insert(outPieces.end(), std::string(start, stop));
    start = stop + 1;
    if (*start == '\0') {
      outPieces.insert(outPieces.end(), std::string());
      return;
    }
  }
}

template <typename Container>
std::string joinInto(const Container& inTexts, char inSeparator) {
  std::string result;
  bool first = true;
  for (const auto& text : inTexts) {
    if (!first) result += inSeparator;
    result += text;
    first = false;
  }
  return result;
}

template <typename Container>
std::string joinNumbersOf(const Container& inValues, char inSeparator) {
  std::string result;
  bool first = true;
  for (const auto value : inValues) {
    if (!first) result += inSeparator;
    result += std::to_string(value);
    first = false;
  }
  return result;
}

// Trims blanks and tabs around a piece of the list and converts it.
template <typename Value, typename Container>
bool parseNumbersInto(const char* inText, char inSeparator, Container& outValues) {
  std::vector<std::string> pieces;
  splitText(inText, inSeparator, pieces);
  outValues.clear();
  for (std::string& piece : pieces) {
    if (piece.empty()) return false;
    size_t last = piece.size();
    while (last > 0 && isBlankOrTab(piece[last - 1])) --last;
    size_t first = 0;
    while (first < last && isBlankOrTab(piece[first])) ++first;
    piece = piece.substr(first, last - first);
    Value value{};
    bool converted;
    if constexpr (std::is_same_v<Value, int>)
      converted = parseInt(piece, value);
    else
      converted = parseUnsigned(piece, value);
    if (!converted) return false;
    outValues.insert(outValues.end(), value);
  }
  return true;
}

}  // namespace

bool parseInt(const char* inText, int& outValue) {
  inText = orEmpty(inText);
  if (!isDigit(inText[0]) && inText[0] != '+' && inText[0] != '-') return false;
  return convertInt(inText, outValue);
}
bool parseInt(const std::string& inText, int& outValue) { return parseInt(inText.c_str(), outValue); }

bool parseUnsigned(const char* inText, unsigned& outValue) {
  inText = orEmpty(inText);
  if (!isDigit(inText[0]) && inText[0] != '+') return false;
  return convertUnsigned(inText, outValue);
}
bool parseUnsigned(const std::string& inText, unsigned& outValue) { return parseUnsigned(inText.c_str(), outValue); }

bool parseUnsigned16(const char* inText, uint16_t& outValue) {
  unsigned value = 0;
  if (!parseUnsigned(inText, value)) return false;
  outValue = uint16_t(value & 0xFFFF);
  return value < 65536;
}
bool parseUnsigned16(const std::string& inText, uint16_t& outValue) {
  return parseUnsigned16(inText.c_str(), outValue);
}

bool parseBoolean(const char* inText, bool& outValue) {
  inText = orEmpty(inText);
  if (isDigit(inText[0])) {
    int value = 0;
    if (!parseInt(inText, value)) return false;
    outValue = value != 0;
    return true;
  }
  std::string word(inText);
  for (char& c : word)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  if (word == "y" || word == "yes" || word == "t" || word == "true") {
    outValue = true;
    return true;
  }
  if (word == "n" || word == "no" || word == "f" || word == "false") {
    outValue = false;
    return true;
  }
  return false;
}
bool parseBoolean(const std::string& inText, bool& outValue) { return parseBoolean(inText.c_str(), outValue); }

std::string intToText(int inValue) { return std::to_string(inValue); }
std::string unsignedToText(unsigned inValue) { return std::to_string(inValue); }
std::string int64ToText(int64_t inValue) { return std::to_string(inValue); }

std::string hexNumberText(int inValue) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", unsigned(inValue));
  return text;
}

bool hexDigitValue(char inChar, unsigned& outValue) {
  if (inChar >= '0' && inChar <= '9')
    outValue = unsigned(inChar - '0');
  else if (inChar >= 'A' && inChar <= 'F')
    outValue = unsigned(inChar - 'A' + 10);
  else if (inChar >= 'a' && inChar <= 'f')
    outValue = unsigned(inChar - 'a' + 10);
  else
    return false;
  return true;
}

void bytesToHex(std::string& outText, const uint8_t* inBytes, size_t inCount, const char* inSeparator,
                bool inUpperCase) {
  const char* digits = inUpperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  inSeparator = orEmpty(inSeparator);
  for (size_t i = 0; i < inCount; ++i) {
    outText += inSeparator;
    outText += digits[inBytes[i] >> 4];
    outText += digits[inBytes[i] & 0x0F];
  }
}

bool hexToBytes(uint8_t* outBytes, size_t& outCount, const char* inText) {
  inText = orEmpty(inText);
  outCount = 0;
  for (size_t i = 0; inText[i] != '\0'; i += 2) {
    unsigned high = 0;
    unsigned low = 0;
    if (!hexDigitValue(inText[i], high)) return false;
    if (inText[i + 1] == '\0') {
      outBytes[outCount++] = uint8_t(high << 4);
      return true;
    }
    if (!hexDigitValue(inText[i + 1], low)) return false;
    outBytes[outCount++] = uint8_t(high << 4 | low);
  }
  return true;
}
bool hexToBytes(uint8_t* outBytes, size_t& outCount, const std::string& inText) {
  return hexToBytes(outBytes, outCount, inText.c_str());
}

bool isSizeText(const char* inText) {
  inText = orEmpty(inText);
  const size_t length = std::strlen(inText);
  if (length == 0) return false;
  unsigned value = 0;
  if (std::strchr("kKmMgG", inText[length - 1]) != nullptr)
    return parseUnsigned(std::string(inText, length - 1), value);
  return parseUnsigned(inText, value);
}
bool isSizeText(const std::string& inText) { return isSizeText(inText.c_str()); }

void splitText(const char* inText, char inSeparator, std::list<std::string>& outPieces) {
  splitInto(inText, inSeparator, outPieces);
}
void splitText(const char* inText, char inSeparator, std::vector<std::string>& outPieces) {
  splitInto(inText, inSeparator, outPieces);
}
void splitText(const char* inText, char inSeparator, std::set<std::string>& outPieces) {
  splitInto(inText, inSeparator, outPieces);
}
void splitText(const std::string& inText, char inSeparator, std::list<std::string>& outPieces) {
  splitInto(inText.c_str(), inSeparator, outPieces);
}
void splitText(const std::string& inText, char inSeparator, std::vector<std::string>& outPieces) {
  splitInto(inText.c_str(), inSeparator, outPieces);
}
void splitText(const std::string& inText, char inSeparator, std::set<std::string>& outPieces) {
  splitInto(inText.c_str(), inSeparator, outPieces);
}

std::string joinTexts(const std::list<std::string>& inTexts, char inSeparator) { return joinInto(inTexts, inSeparator); }
std::string joinTexts(const std::vector<std::string>& inTexts, char inSeparator) {
  return joinInto(inTexts, inSeparator);
}
std::string joinTexts(const std::set<std::string>& inTexts, char inSeparator) { return joinInto(inTexts, inSeparator); }

bool parseNumberList(const char* inText, char inSeparator, std::vector<int>& outValues) {
  return parseNumbersInto<int>(inText, inSeparator, outValues);
}
bool parseNumberList(const char* inText, char inSeparator, std::vector<unsigned>& outValues) {
  return parseNumbersInto<unsigned>(inText, inSeparator, outValues);
}
bool parseNumberList(const char* inText, char inSeparator, std::set<unsigned>& outValues) {
  return parseNumbersInto<unsigned>(inText, inSeparator, outValues);
}
bool parseNumberList(const std::string& inText, char inSeparator, std::vector<int>& outValues) {
  return parseNumbersInto<int>(inText.c_str(), inSeparator, outValues);
}
bool parseNumberList(const std::string& inText, char inSeparator, std::vector<unsigned>& outValues) {
  return parseNumbersInto<unsigned>(inText.c_str(), inSeparator, outValues);
}
bool parseNumberList(const std::string& inText, char inSeparator, std::set<unsigned>& outValues) {
  return parseNumbersInto<unsigned>(inText.c_str(), inSeparator, outValues);
}

std::string joinNumbers(const std::vector<int>& inValues, char inSeparator) {
  return joinNumbersOf(inValues, inSeparator);
}
std::string joinNumbers(const std::vector<unsigned>& inValues, char inSeparator) {
  return joinNumbersOf(inValues, inSeparator);
}
std::string joinNumbers(const std::set<unsigned>& inValues, char inSeparator) {
  return joinNumbersOf(inValues, inSeparator);
}

std::list<std::string>::const_iterator findInList(const std::list<std::string>& inList, const std::string& inText,
                                                  bool inCaseSensitive) {
  for (auto it = inList.begin(); it != inList.end(); ++it) {
    if (it->size() != inText.size()) continue;
    if (inCaseSensitive) {
      if (*it == inText) return it;
      continue;
    }
    size_t i = 0;
    while (i < inText.size() && upperAscii((*it)[i]) == upperAscii(inText[i])) ++i;
    if (i == inText.size()) return it;
  }
  return inList.end();
}

namespace {
// Thrown inside parseTTL when a step would pass the largest TTL; never leaves it.
constexpr int64_t kMaxTTL = 2147483647;
int64_t checkedTTL(int64_t inValue) {
  if (inValue > kMaxTTL) throw std::overflow_error("overflow");
  return inValue;
}
}  // namespace

bool parseTTL(const char* inText, size_t inLength, int& outSeconds) {
  if (inLength == 0 || inText == nullptr) return false;
  int64_t seconds = 0;
  int64_t current = 0;
  unsigned digits = 0;
  bool unitSeen = false;
  try {
    for (size_t i = 0; i < inLength; ++i) {
      const char c = inText[i];
      if (isDigit(c)) {
        current = checkedTTL(checkedTTL(current * 10) + (c - '0'));
        ++digits;
        continue;
      }
      if (digits == 0) {
        outSeconds = -1;
        return false;
      }
      int64_t factor;
      switch (upperAscii(c)) {
        case 'W': factor = 604800; break;
        case 'D': factor = 86400; break;
        case 'H': factor = 3600; break;
        case 'M': factor = 60; break;
        case 'S': factor = 1; break;
        default:
          outSeconds = -1;
          return false;
      }
      seconds = checkedTTL(seconds + checkedTTL(current * factor));
      current = 0;
      digits = 0;
      unitSeen = true;
    }
    if (digits > 0) {
      if (unitSeen) {
        outSeconds = -1;
        return false;
      }
      seconds = checkedTTL(seconds + current);
    }
  } catch (const std::overflow_error&) {
    outSeconds = -1;
    return false;
  }
  outSeconds = int(seconds);
  return true;
}
bool parseTTL(const std::string& inText, int& outSeconds) {
  return parseTTL(inText.data(), inText.size(), outSeconds);
}
bool isTTLText(const char* inText) {
  int seconds = 0;
  inText = orEmpty(inText);
  return parseTTL(inText, std::strlen(inText), seconds);
}
bool isTTLText(const std::string& inText) { return isTTLText(inText.c_str()); }
