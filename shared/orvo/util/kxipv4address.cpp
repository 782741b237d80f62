#include "orvo/util/kxipv4address.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "orvo/debug/kxassert.h"
#include "orvo/util/kxipaddressstatemachine.h"
#include "orvo/util/kxstringparser.h"

namespace {

// The parser's own recogniser: 21 states x 18 character classes. Classes 0-9 are the
// digits, then '.', '-' and the letters of "in-addr.arpa"; kInvalid is every other byte.
constexpr uint32_t kParseStates = 21;
constexpr uint32_t kParseClasses = 18;
constexpr uint8_t kDot = 10;
constexpr uint8_t kInvalid = 0xFF;
constexpr uint8_t kArpaDone = 20;

constexpr std::array<uint8_t, 256> makeClasses() {
  std::array<uint8_t, 256> classes{};
  for (auto& c : classes) c = kInvalid;
  for (int d = 0; d < 10; ++d) classes['0' + d] = uint8_t(d);
  const char others[] = ".-inadrp";
  for (int i = 0; others[i] != '\0'; ++i) classes[uint8_t(others[i])] = uint8_t(kDot + i);
  return classes;
}
constexpr std::array<uint8_t, 256> kClasses = makeClasses();

constexpr std::array<uint8_t, kParseStates * kParseClasses> makeParseTable() {
  std::array<uint8_t, kParseStates * kParseClasses> table{};
  auto set = [&](int inState, char inChar, int inNext) {
    table[uint32_t(inState) * kParseClasses + kClasses[uint8_t(inChar)]] = uint8_t(inNext);
  };
  auto setDigits = [&](int inState, char inFirst, char inLast, int inNext) {
    for (char c = inFirst; c <= inLast; ++c) set(inState, c, inNext);
  };
  // An octet of 0-255 without leading zeros; a lone 0 is state 7 and takes no digit.
  set(1, '0', 7);
  set(1, '1', 3);
  set(1, '2', 2);
  setDigits(1, '3', '9', 4);
  set(1, 'i', 8);
  setDigits(2, '0', '4', 4);
  set(2, '5', 5);
  setDigits(2, '6', '9', 6);
  setDigits(3, '0', '9', 4);
  setDigits(4, '0', '9', 6);
  setDigits(5, '0', '5', 6);
  for (int s = 2; s <= 7; ++s) set(s, '.', 1);
  const char suffix[] = "n-addr.arpa.";
  for (int i = 0; suffix[i] != '\0'; ++i) set(8 + i, suffix[i], 9 + i);
  return table;
}
constexpr std::array<uint8_t, kParseStates * kParseClasses> kParseTable = makeParseTable();

uint32_t toHost(uint32_t inNetwork) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(inNetwork);
  return inNetwork;
}

char* writeDecimal(char* outText, unsigned inValue) {
  if (inValue >= 100) *outText++ = char('0' + inValue / 100);
  if (inValue >= 10) *outText++ = char('0' + inValue / 10 % 10);
  *outText++ = char('0' + inValue % 10);
  return outText;
}

char* writeDotted(char* outText, const uint8_t* inOctets, const int* inOrder, int inCount) {
  for (int i = 0; i < inCount; ++i) {
    if (i > 0) *outText++ = '.';
    outText = writeDecimal(outText, inOctets[inOrder[i]]);
  }
  return outText;
}

std::string trimSpaces(const std::string& inText) {
  const size_t first = inText.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return inText.substr(first, inText.find_last_not_of(' ') - first + 1);
}

// The parsed address; 0.0.0.0 only when the recogniser takes the text as a dotted quad.
bool parseAddressText(const std::string& inText, kxIPv4Address& outAddress) {
  if (!outAddress.parse(inText.data(), uint32_t(inText.size()))) return false;
  if (outAddress.isLegal()) return true;
  kxIPAddressStateMachine machine(false, false);
  return machine.processString(inText.data(), uint32_t(inText.size()));
}

}  // namespace

kxIPv4Address::kxIPv4Address(const char* inText) {
  if (inText != nullptr) parse(inText, uint32_t(std::strlen(inText)));
}

kxIPv4Address::kxIPv4Address(const std::string& inText) { parse(inText.data(), uint32_t(inText.size())); }

void kxIPv4Address::setOctets(uint8_t inA, uint8_t inB, uint8_t inC, uint8_t inD) {
  const uint8_t octets[4] = {inA, inB, inC, inD};
  std::memcpy(&itsAddress, octets, 4);
}

uint8_t kxIPv4Address::getOctet(unsigned inPos) const {
  kxAssert((inPos >= 1) && (inPos <= 4));
  if (inPos < 1 || inPos > 4) return 0;
  uint8_t octets[4];
  std::memcpy(octets, &itsAddress, 4);
  return octets[inPos - 1];
}

void kxIPv4Address::setOctet(unsigned inPos, uint8_t inValue) {
  uint8_t octets[4];
  std::memcpy(octets, &itsAddress, 4);
  octets[(inPos - 1) & 3] = inValue;
  std::memcpy(&itsAddress, octets, 4);
}

char* kxIPv4Address::toString(char* outText) const {
  static constexpr int kOrder[4] = {0, 1, 2, 3};
  uint8_t octets[4];
  std::memcpy(octets, &itsAddress, 4);
  *writeDotted(outText, octets, kOrder, 4) = '\0';
  return outText;
}

std::string kxIPv4Address::toString() const {
  char text[kTextSize];
  return toString(text);
}

char* kxIPv4Address::getReverseName(char* outText) const {
  static constexpr int kOrder[4] = {3, 2, 1, 0};
  uint8_t octets[4];
  std::memcpy(octets, &itsAddress, 4);
  std::strcpy(writeDotted(outText, octets, kOrder, 4), ".in-addr.arpa.");
  return outText;
}

std::string kxIPv4Address::getReverseName() const {
  char text[kReverseNameSize];
  return getReverseName(text);
}

char* kxIPv4Address::getReverseZoneName(char* outText) const {
  static constexpr int kOrder[3] = {2, 1, 0};
  uint8_t octets[4];
  std::memcpy(octets, &itsAddress, 4);
  std::strcpy(writeDotted(outText, octets, kOrder, 3), ".in-addr.arpa.");
  return outText;
}

std::string kxIPv4Address::getReverseZoneName() const {
  char text[kReverseNameSize];
  return getReverseZoneName(text);
}

namespace {

// The common case, a plain dotted quad without leading zeros, read directly. Takes only
// texts that the table accepts too, with the same value; anything else (the reverse name,
// every error) is left to the table.
bool parseDottedQuad(const char* inText, uint32_t inLength, uint8_t* outOctets) {
  const char* p = inText;
  const char* const end = inText + inLength;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (p == end || *p != '.') return false;
      ++p;
    }
    if (p == end) return false;
    unsigned value = unsigned(uint8_t(*p) - '0');
    if (value > 9) return false;
    ++p;
    if (p != end && unsigned(uint8_t(*p) - '0') <= 9) {
      if (value == 0) return false;
      value = value * 10 + unsigned(*p++ - '0');
      if (p != end && unsigned(uint8_t(*p) - '0') <= 9) {
        value = value * 10 + unsigned(*p++ - '0');
        if (value > 255) return false;
      }
    }
    outOctets[octet] = uint8_t(value);
  }
  return p == end;
}

}  // namespace

bool kxIPv4Address::parse(const char* inText, uint32_t inLength) {
  uint8_t octets[4] = {0, 0, 0, 0};
  if (parseDottedQuad(inText, inLength, octets)) {
    std::memcpy(&itsAddress, octets, 4);
    return true;
  }
  uint32_t dots = 0;
  uint32_t number = 0;
  uint32_t state = 1;
  for (uint32_t i = 0; i < inLength; ++i) {
    uint32_t cls = kClasses[uint8_t(inText[i])];
    if (cls < kDot) {
      if (dots <= 3)
        number = number * 10 + cls;
      else
        cls = kInvalid;
    } else if (cls == kDot) {
      ++dots;
      if (dots >= 1 && dots <= 3) {
        octets[dots - 1] = uint8_t(number);
        number = 0;
      }
    }
    state = cls == kInvalid ? 0 : kParseTable[state * kParseClasses + cls];
    if (state == 0) {
      itsAddress = 0;
      return false;
    }
  }
  octets[3] = uint8_t(number);
  if (state >= 2 && state <= 7 && dots == 3) {
    std::memcpy(&itsAddress, octets, 4);
    return true;
  }
  if (state == kArpaDone && dots == 6) {
    setOctets(octets[3], octets[2], octets[1], octets[0]);
    return true;
  }
  itsAddress = 0;
  return false;
}

uint32_t kxIPv4Address::hostOrder() const { return toHost(itsAddress); }

kxIPv4Address kxIPv4Address::fromHostOrder(uint32_t inValue) { return kxIPv4Address(toHost(inValue)); }

int kxIPv4Address::compare(const kxIPv4Address& inOther) const {
  const uint32_t mine = hostOrder();
  const uint32_t other = inOther.hostOrder();
  return mine < other ? -1 : (mine > other ? 1 : 0);
}

kxIPv4Address kxIPv4Address::networkAddress(const kxIPv4Address& inAddress, uint16_t inPrefix) {
  if (inPrefix >= 32) return inAddress;
  return fromHostOrder(inAddress.hostOrder() & maskFromPrefix(inPrefix).hostOrder());
}

kxIPv4Address kxIPv4Address::broadcastAddress(const kxIPv4Address& inAddress, uint16_t inPrefix) {
  if (inPrefix >= 32) return inAddress;
  return fromHostOrder(inAddress.hostOrder() | ~maskFromPrefix(inPrefix).hostOrder());
}

kxIPv4Address kxIPv4Address::maskFromPrefix(uint16_t inPrefix) {
  if (inPrefix == 0) return kxIPv4Address();
  if (inPrefix >= 32) return kxIPv4Address(0xFFFFFFFFu);
  return fromHostOrder(0xFFFFFFFFu << (32 - inPrefix));
}

uint16_t kxIPv4Address::maskPrefixLength(const kxIPv4Address& inMask) {
  const uint32_t mask = inMask.hostOrder();
  if (mask == 0) return 0;
  return uint16_t(32 - std::countr_zero(mask));
}

uint16_t kxIPv4Address::rangePrefixLength(const kxIPv4Address& inFrom, const kxIPv4Address& inTo) {
  uint32_t x = inFrom.hostOrder() ^ inTo.hostOrder();
  uint32_t f = inFrom.hostOrder();
  uint16_t count = 0;
  while ((x & 1) != 0) {
    if ((f & 1) != 0) return 33;
    ++count;
    x >>= 1;
    f >>= 1;
  }
  return x != 0 ? 33 : uint16_t(32 - count);
}

bool kxIPv4Address::parseRange(const std::string& inText, kxIPv4Address& outFrom, kxIPv4Address& outTo,
                               bool inAllowRange) {
  const size_t hyphen = inText.find('-');
  if (hyphen != std::string::npos) {
    if (!inAllowRange) return false;
    kxIPv4Address from;
    kxIPv4Address to;
    if (!parseAddressText(trimSpaces(inText.substr(0, hyphen)), from)) return false;
    if (!parseAddressText(trimSpaces(inText.substr(hyphen + 1)), to)) return false;
    if (from > to) return false;
    outFrom = from;
    outTo = to;
    return true;
  }
  const size_t slash = inText.find('/');
  std::string address = trimSpaces(inText.substr(0, slash));
  uint16_t prefix = 32;
  if (slash != std::string::npos) {
    unsigned value = 0;
    if (!parseUnsigned(trimSpaces(inText.substr(slash + 1)), value) || value > 32) return false;
    prefix = uint16_t(value);
    while (std::count(address.begin(), address.end(), '.') < 3) address += ".0";
  }
  kxIPv4Address parsed;
  if (!parseAddressText(address, parsed)) return false;
  outFrom = networkAddress(parsed, prefix);
  outTo = broadcastAddress(outFrom, prefix);
  return true;
}
