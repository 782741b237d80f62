#include "orvo/util/kxstringparser.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <sstream>
#include <type_traits>

#include "orvo/debug/kxassert.h"
#include "orvo/dns/kxdnsstatemachine.h"
#include "orvo/util/kxipaddressstatemachine.h"

namespace {

bool isDigit(char inChar) { return inChar >= '0' && inChar <= '9'; }
bool isBlankOrTab(char inChar) { return inChar == ' ' || inChar == '\t'; }
char upperAscii(char inChar) { return (inChar >= 'a' && inChar <= 'z') ? char(inChar - 'a' + 'A') : inChar; }
const char* orEmpty(const char* inText) { return inText != nullptr ? inText : ""; }

// The 32-bit conversions behave the same on every platform: a value outside the 32-bit
// range saturates the way a 32-bit strtol/strtoul reports an overflow.
bool convertInt(const char* inText, int& outValue) {
  char* end = nullptr;
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

namespace orvo {

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
// The seconds of a TTL text up to inMax; false for a malformed text or a larger value.
bool readTTL(const char* inText, size_t inLength, uint64_t inMax, uint64_t& outSeconds) {
  if (inLength == 0 || inText == nullptr) return false;
  uint64_t seconds = 0;
  uint64_t current = 0;
  unsigned digits = 0;
  bool unitSeen = false;
  for (size_t i = 0; i < inLength; ++i) {
    const char c = inText[i];
    if (isDigit(c)) {
      current = current * 10 + uint64_t(c - '0');
      if (current > inMax) return false;
      ++digits;
      continue;
    }
    if (digits == 0) return false;
    uint64_t factor;
    switch (upperAscii(c)) {
      case 'W': factor = 604800; break;
      case 'D': factor = 86400; break;
      case 'H': factor = 3600; break;
      case 'M': factor = 60; break;
      case 'S': factor = 1; break;
      default: return false;
    }
    // current is at most inMax (below 2^32), so the product cannot wrap.
    seconds += current * factor;
    if (seconds > inMax) return false;
    current = 0;
    digits = 0;
    unitSeen = true;
  }
  if (digits > 0) {
    if (unitSeen) return false;
    seconds = current;
  }
  outSeconds = seconds;
  return true;
}
}  // namespace

bool parseTTL(const char* inText, size_t inLength, int& outSeconds) {
  if (inLength == 0 || inText == nullptr) return false;
  uint64_t seconds = 0;
  if (!readTTL(inText, inLength, 2147483647, seconds)) {
    outSeconds = -1;
    return false;
  }
  outSeconds = int(seconds);
  return true;
}
bool parseTTLValue(const char* inText, size_t inLength, uint32_t& outSeconds) {
  uint64_t seconds = 0;
  if (!readTTL(inText, inLength, UINT32_MAX, seconds)) return false;
  outSeconds = uint32_t(seconds);
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

bool isDomainNameText(const char* inText, size_t inLength) {
  if (inText == nullptr || inLength == 0) return false;
  kxDNSStateMachine machine(true, false, false);
  return machine.recognise(inText, uint32_t(inLength));
}
bool isDomainNameText(const std::string& inText) { return isDomainNameText(inText.data(), inText.size()); }

bool isRelaxedDomainNameText(const char* inText, size_t inLength) {
  if (inText == nullptr || inLength == 0) return false;
  kxDNSStateMachine machine(true, true, false);
  return machine.recognise(inText, uint32_t(inLength));
}
bool isRelaxedDomainNameText(const std::string& inText) {
  return isRelaxedDomainNameText(inText.data(), inText.size());
}

bool isIPAddressText(const char* inText, size_t inLength) {
  kxIPAddressStateMachine machine(false, false);
  return machine.processString(orEmpty(inText), uint32_t(inLength));
}
bool isIPAddressText(const std::string& inText) { return isIPAddressText(inText.data(), inText.size()); }

bool isIPAddressOrWildcardText(const char* inText, size_t inLength) {
  kxIPAddressStateMachine machine(false, true);
  return machine.processString(orEmpty(inText), uint32_t(inLength));
}
bool isIPAddressOrWildcardText(const std::string& inText) {
  return isIPAddressOrWildcardText(inText.data(), inText.size());
}

bool isBase64Text(const char* inText, size_t inLength) {
  if (inText == nullptr || inLength == 0 || inLength % 4 != 0) return false;
  size_t padding = 0;
  for (size_t i = 0; i < inLength; ++i) {
    const char c = inText[i];
    if (c == '=') {
      ++padding;
    } else if (padding > 0 || !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '+' || c == '/')) {
      return false;
    }
  }
  return padding <= 2;
}

bool isHexColonText(const char* inText, size_t inLength) {
  unsigned digits = 0;
  unsigned value = 0;
  for (size_t i = 0; i < inLength; ++i) {
    if (hexDigitValue(inText[i], value)) {
      if (++digits > 2) return false;
    } else if (inText[i] == ':' && digits > 0) {
      digits = 0;
    } else {
      return false;
    }
  }
  return digits > 0;
}
bool isHexColonText(const std::string& inText) { return isHexColonText(inText.data(), inText.size()); }

namespace {

bool isStreamBlank(int inChar) { return inChar != EOF && std::isspace(inChar) != 0; }
bool isDigitOrPoint(int inChar) { return inChar == '.' || (inChar >= '0' && inChar <= '9'); }
int nextChar(std::istream& inStream) { return inStream.rdbuf()->sgetc(); }
bool consumedAll(std::istream& inStream) {
  inStream >> std::ws;
  return nextChar(inStream) == EOF;
}
void skipMetres(std::istream& inStream) {
  if (nextChar(inStream) == 'm' || nextChar(inStream) == 'M') inStream.get();
}

// Degrees, optional minutes and seconds, then the hemisphere letter; the whole angle at most
// inMaxDegrees (90 0 0.001 N is beyond the pole).
bool isLOCAngle(std::istream& ioStream, int inMaxDegrees, char inPositive, char inNegative) {
  long degrees = -1;
  if (!(ioStream >> degrees) || degrees < 0 || degrees > inMaxDegrees) return false;
  if (!isStreamBlank(nextChar(ioStream))) return false;
  ioStream >> std::ws;
  long minutes = 0;
  double seconds = 0;
  if (isDigit(char(nextChar(ioStream)))) {
    if (!(ioStream >> minutes) || minutes < 0 || minutes > 59) return false;
    if (!isStreamBlank(nextChar(ioStream))) return false;
    ioStream >> std::ws;
    if (isDigitOrPoint(nextChar(ioStream))) {
      if (!(ioStream >> seconds) || seconds < 0 || seconds >= 60) return false;
      if (!isStreamBlank(nextChar(ioStream))) return false;
      ioStream >> std::ws;
    }
  }
  if (degrees == inMaxDegrees && (minutes > 0 || seconds > 0)) return false;
  char letter = 0;
  if (!ioStream.get(letter)) return false;
  letter = upperAscii(letter);
  if (letter != inPositive && letter != inNegative) return false;
  if (ioStream.fail()) return false;
  return consumedAll(ioStream);
}

}  // namespace

bool isLOCField(unsigned inKind, const char* inText, size_t inLength, bool inAllowEmpty) {
  if (inLength == 0 && inAllowEmpty) return true;
  if (inKind > 5) return false;
  std::istringstream stream(std::string(orEmpty(inText), inText != nullptr ? inLength : 0));
  switch (inKind) {
    case 0:
      return isLOCAngle(stream, 90, 'N', 'S');
    case 1:
      return isLOCAngle(stream, 180, 'E', 'W');
    case 2: {
      double altitude = 0;
      if (!(stream >> altitude) || altitude < -100000.0 || altitude > 42849672.95) return false;
      skipMetres(stream);
      return consumedAll(stream);
    }
    default: {
      if (isDigitOrPoint(nextChar(stream))) {
        double size = 0;
        if (!(stream >> size) || size < 0 || size > 90000000.0) return false;
        skipMetres(stream);
      }
      return consumedAll(stream);
    }
  }
}

bool isLOCField(unsigned inKind, const std::string& inText, bool inAllowEmpty) {
  return isLOCField(inKind, inText.data(), inText.size(), inAllowEmpty);
}

bool normalizeMACAddress(const char* inText, std::string& outText) {
  char collected[18];
  size_t length = 0;
  unsigned digits = 0;
  unsigned value = 0;
  for (const char* p = orEmpty(inText); *p != '\0'; ++p) {
    const char c = upperAscii(*p);
    if (c == '-' || c == ':' || c == ' ' || c == '\t') continue;
    if (!hexDigitValue(c, value) || ++digits > 12) return false;
    collected[length++] = c;
    if (digits % 2 == 0 && digits < 12) collected[length++] = ':';
  }
  if (digits != 12) return false;
  outText.assign(collected, length);
  return true;
}
bool normalizeMACAddress(const std::string& inText, std::string& outText) {
  return normalizeMACAddress(inText.c_str(), outText);
}

std::string macAddressText(const std::string& inText) {
  std::string normalized;
  return normalizeMACAddress(inText, normalized) ? normalized : inText;
}

std::string compactMACAddress(const std::string& inText) {
  std::string result;
  result.reserve(inText.size());
  for (char c : inText) {
    if (c == ':' || c == '-' || c == '.') continue;
    result += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  }
  return result;
}

namespace {

std::string trimBlanks(const std::string& inText) {
  const size_t first = inText.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return inText.substr(first, inText.find_last_not_of(' ') - first + 1);
}

size_t countDots(const std::string& inText) { return size_t(std::count(inText.begin(), inText.end(), '.')); }

// The address of a range text; 0.0.0.0 only when the recogniser takes the text.
bool parseRangeAddress(const std::string& inText, kxIPv4Address& outAddress) {
  if (!outAddress.parse(inText.data(), uint32_t(inText.size()))) return false;
  return outAddress.isLegal() || isIPAddressText(inText);
}

}  // namespace

bool parseSubnet(const std::string& inText, std::string& outAddress, uint16_t& outPrefix) {
  outAddress = inText;
  const size_t slash = inText.find('/');
  if (slash == std::string::npos) {
    outPrefix = 32;
    return isIPAddressText(inText);
  }
  outAddress = inText.substr(0, slash);
  kxIPAddressStateMachine machine(false, false);
  machine.processString(outAddress.data(), uint32_t(outAddress.size()));
  outPrefix = 0;
  unsigned prefix = 0;
  if (!parseUnsigned(inText.substr(slash + 1), prefix) || prefix > 32) return false;
  outPrefix = uint16_t(prefix);
  return machine.isPartialAddress();
}

bool isSubnetText(const std::string& inText) {
  std::string address;
  uint16_t prefix = 0;
  return parseSubnet(inText, address, prefix);
}

bool normalizeSubnet(const std::string& inText, std::string& outText) {
  std::string address;
  uint16_t prefix = 0;
  if (!parseSubnet(inText, address, prefix)) return false;
  while (countDots(address) < 3) address += ".255";
  kxIPv4Address value;
  // The recogniser also takes "*" labels and leading zeros, which give no address value.
  if (!value.parse(address.data(), uint32_t(address.size()))) return false;
  value = kxIPv4Address(value.getAddress() & kxIPv4Address::maskFromPrefix(prefix).getAddress());
  outText = value.toString();
  if (prefix != 32) outText += "/" + std::to_string(prefix);
  return true;
}

std::string subnetText(const kxIPv6& inAddress, uint16_t inPrefix) {
  return inAddress.toString(true) + "/" + std::to_string(inPrefix);
}

bool ipv4RangeText(const kxIPv4Address& inFrom, const kxIPv4Address& inTo, std::string& outText) {
  const uint16_t prefix = kxIPv4Address::rangePrefixLength(inFrom, inTo);
  if (!(inFrom > inTo) && prefix <= 32) {
    outText = inFrom.toString() + "/" + std::to_string(prefix);
    return true;
  }
  outText = inFrom.toString() + "-" + inTo.toString();
  return false;
}

bool rangeSubnetText(const kxIPv6& inFrom, const kxIPv6& inTo, std::string& outText) {
  if (inFrom.isIPv4() && inTo.isIPv4()) return ipv4RangeText(inFrom.getIPv4(), inTo.getIPv4(), outText);
  const uint16_t prefix = kxIPv6::rangePrefixLength(inFrom, inTo);
  if (prefix >= 128) return false;
  if (kxIPv6::networkAddress(inFrom, prefix) != inFrom || kxIPv6::lastAddress(inFrom, prefix) != inTo) return false;
  outText = subnetText(inFrom, prefix);
  return true;
}

std::string rangeText(const kxIPv6& inFrom, const kxIPv6& inTo) {
  std::string text;
  const bool isSubnet = rangeSubnetText(inFrom, inTo, text);
  kxAssert(isSubnet || (inFrom.isIPv4() && inTo.isIPv4()));
  if (!isSubnet && !(inFrom.isIPv4() && inTo.isIPv4())) return std::string();
  return text;
}

bool parseIPv4Range(const std::string& inText, kxIPv4Address& outFrom, kxIPv4Address& outTo, uint16_t& outPrefix) {
  const size_t hyphen = inText.find('-');
  if (hyphen != std::string::npos) {
    if (!kxIPv4Address::parseRange(inText, outFrom, outTo, true)) return false;
    outPrefix = 33;
    return true;
  }
  uint16_t prefix = 32;
  const size_t slash = inText.find('/');
  std::string address = trimBlanks(inText.substr(0, slash));
  if (slash != std::string::npos) {
    const std::string prefixText = trimBlanks(inText.substr(slash + 1));
    if (!parseUnsigned16(prefixText, prefix)) {
      const kxIPv4Address mask(prefixText);
      if (!mask.isLegal()) return false;
      prefix = kxIPv4Address::maskPrefixLength(mask);
    }
    if (prefix > 32) return false;
    while (countDots(address) < 3) address += ".0";
  }
  kxIPv4Address value;
  if (!parseRangeAddress(address, value)) return false;
  outFrom = kxIPv4Address::networkAddress(value, prefix);
  outTo = kxIPv4Address::broadcastAddress(outFrom, prefix);
  outPrefix = prefix;
  return true;
}

bool parseIPv4Range(const std::string& inText, kxIPv4Address& outFrom, kxIPv4Address& outTo) {
  uint16_t prefix = 0;
  return parseIPv4Range(inText, outFrom, outTo, prefix);
}

bool parseIPRange(const std::string& inText, kxIPv6& outFrom, kxIPv6& outTo, uint16_t& outPrefix) {
  if (inText.find(':') == std::string::npos) {
    kxIPv4Address from;
    kxIPv4Address to;
    if (!parseIPv4Range(inText, from, to, outPrefix)) return false;
    outFrom = kxIPv6(from);
    outTo = kxIPv6(to);
    outPrefix = uint16_t(outPrefix + 96);
    return true;
  }
  const size_t slash = inText.find('/');
  const std::string addressText = trimBlanks(inText.substr(0, slash));
  const kxIPv6 address(addressText);
  if (!address.isLegal() && addressText != "::0") return false;
  uint16_t prefix = 128;
  if (slash != std::string::npos && !parseUnsigned16(inText.substr(slash + 1), prefix)) return false;
  outFrom = kxIPv6::networkAddress(address, prefix);
  outTo = kxIPv6::lastAddress(address, prefix);
  outPrefix = prefix;
  return true;
}

bool parseIPRange(const std::string& inText, kxIPv6& outFrom, kxIPv6& outTo) {
  uint16_t prefix = 0;
  return parseIPRange(inText, outFrom, outTo, prefix);
}

}  // namespace orvo
