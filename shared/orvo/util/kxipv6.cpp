#include "orvo/util/kxipv6.h"

#include <array>
#include <bit>
#include <cstring>

#include "orvo/debug/kxassert.h"

namespace {

constexpr std::array<int8_t, 256> makeHexValues() {
  std::array<int8_t, 256> values{};
  for (auto& v : values) v = -1;
  for (int d = 0; d < 10; ++d) values['0' + d] = int8_t(d);
  for (int d = 0; d < 6; ++d) {
    values['a' + d] = int8_t(10 + d);
    values['A' + d] = int8_t(10 + d);
  }
  return values;
}
constexpr std::array<int8_t, 256> kHexValues = makeHexValues();
constexpr char kHexDigits[] = "0123456789abcdef";

uint64_t loadHalf(const uint8_t* inBytes) {
  uint64_t value;
  std::memcpy(&value, inBytes, 8);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

void storeHalf(uint8_t* outBytes, uint64_t inValue) {
  if constexpr (std::endian::native == std::endian::little) inValue = __builtin_bswap64(inValue);
  std::memcpy(outBytes, &inValue, 8);
}

bool allZero(const uint8_t* inBytes, size_t inCount) {
  for (size_t i = 0; i < inCount; ++i)
    if (inBytes[i] != 0) return false;
  return true;
}

char* writeGroup(char* outText, unsigned inGroup, bool inSuppressZeros) {
  int digits = 4;
  if (inSuppressZeros) {
    digits = 1;
    while (digits < 4 && (inGroup >> (4 * digits)) != 0) ++digits;
  }
  for (int d = digits - 1; d >= 0; --d) *outText++ = kHexDigits[(inGroup >> (4 * d)) & 0xF];
  return outText;
}

}  // namespace

namespace orvo {

bool parseIPv4Text(const char* inText, size_t inLength, uint8_t* outBytes) {
  uint8_t octets[4];
  int count = 0;
  unsigned value = 0;
  bool sawDigit = false;
  for (size_t i = 0; i < inLength; ++i) {
    const char c = inText[i];
    if (c >= '0' && c <= '9') {
      if (sawDigit && value == 0) return false;
      value = value * 10 + unsigned(c - '0');
      if (value > 255) return false;
      if (!sawDigit) {
        if (++count > 4) return false;
        sawDigit = true;
      }
      octets[count - 1] = uint8_t(value);
    } else if (c == '.' && sawDigit) {
      if (count == 4) return false;
      value = 0;
      sawDigit = false;
    } else {
      return false;
    }
  }
  if (count < 4 || !sawDigit) return false;
  std::memcpy(outBytes, octets, 4);
  return true;
}

}  // namespace orvo

namespace {

// The IPv6 reader over a counted text (kTerminated false: the text ends after inLength
// bytes, a NUL inside it is refused) or a NUL-terminated one (inLength unused).
template <bool kTerminated>
bool readIPv6Text(const char* inText, size_t inLength, uint8_t* outBytes) {
  auto atEnd = [&](size_t inPos) { return kTerminated ? inText[inPos] == '\0' : inPos == inLength; };
  uint8_t bytes[16] = {};
  size_t filled = 0;
  long gap = -1;
  size_t i = 0;
  if (!atEnd(0) && inText[0] == ':') {
    if (atEnd(1) || inText[1] != ':') return false;
    i = 1;
  }
  while (!atEnd(i)) {
    // A field: hexadecimal digits, then ':' or the '.' of a dotted quad.
    const size_t fieldStart = i;
    uint32_t group = 0;
    for (int digit; !atEnd(i) && (digit = kHexValues[uint8_t(inText[i])]) >= 0; ++i) {
      group = group << 4 | uint32_t(digit);
      if (group > 0xFFFF) return false;
    }
    const bool sawDigit = i > fieldStart;
    if (atEnd(i)) {
      if (filled + 2 > 16) return false;
      bytes[filled++] = uint8_t(group >> 8);
      bytes[filled++] = uint8_t(group);
      break;
    }
    const char c = inText[i];
    if (c == ':') {
      ++i;
      if (!sawDigit) {
        if (gap >= 0) return false;
        gap = long(filled);
        continue;
      }
      if (atEnd(i) || filled + 2 > 16) return false;
      bytes[filled++] = uint8_t(group >> 8);
      bytes[filled++] = uint8_t(group);
      continue;
    }
    // The dotted quad is the rest of the text.
    if (c != '.' || filled + 4 > 16) return false;
    const size_t rest = kTerminated ? std::strlen(inText + fieldStart) : inLength - fieldStart;
    if (!parseIPv4Text(inText + fieldStart, rest, bytes + filled)) return false;
    filled += 4;
    break;
  }
  if (gap >= 0) {
    if (filled == 16) return false;
    // Move the groups after the gap to the end; the gap becomes zeros.
    const size_t moved = filled - size_t(gap);
    for (size_t k = 1; k <= moved; ++k) bytes[16 - k] = bytes[filled - k];
    for (size_t k = size_t(gap); k < 16 - moved; ++k) bytes[k] = 0;
    filled = 16;
  }
  if (filled != 16) return false;
  std::memcpy(outBytes, bytes, 16);
  return true;
}

}  // namespace

namespace orvo {

bool parseIPv6Text(const char* inText, size_t inLength, uint8_t* outBytes) {
  return readIPv6Text<false>(inText, inLength, outBytes);
}

}  // namespace orvo

kxIPv6::kxIPv6(const uint8_t* inBytes) { std::memcpy(itsBytes, inBytes, 16); }

kxIPv6::kxIPv6(const kxIPv4Address& inAddress) {
  itsBytes[10] = 0xFF;
  itsBytes[11] = 0xFF;
  const uint32_t address = inAddress.getAddress();
  std::memcpy(itsBytes + 12, &address, 4);
}

kxIPv6::kxIPv6(const char* inText) {
  if (inText == nullptr) return;
  // A text is IPv6 when it contains ':'. Where the first character that is no hex digit is
  // not ':', the IPv6 reading fails anyway whenever a ':' follows, and so does the IPv4
  // one; so that character alone decides, without a scan of the whole text.
  size_t first = 0;
  while (kHexValues[uint8_t(inText[first])] >= 0) ++first;
  if (inText[first] == ':') {
    readIPv6Text<true>(inText, 0, itsBytes);
    return;
  }
  kxIPv4Address address;
  if (address.parse(inText, uint32_t(first + std::strlen(inText + first))) && address.isLegal())
    *this = kxIPv6(address);
}

kxIPv6::kxIPv6(const std::string& inText) : kxIPv6(inText.c_str()) {}

bool kxIPv6::isIPv4() const { return allZero(itsBytes, 10) && itsBytes[10] == 0xFF && itsBytes[11] == 0xFF; }

kxIPv4Address kxIPv6::getIPv4() const {
  kxAssert(isIPv4());
  uint32_t address;
  std::memcpy(&address, itsBytes + 12, 4);
  return kxIPv4Address(address);
}

bool kxIPv6::isLegal() const {
  if (isIPv4()) return !allZero(itsBytes + 12, 4);
  return !allZero(itsBytes, 16);
}

bool kxIPv6::isLoopback() const {
  if (isIPv4()) return itsBytes[12] == 127 && itsBytes[13] == 0 && itsBytes[14] == 0 && itsBytes[15] == 1;
  return allZero(itsBytes, 8) && loadHalf(itsBytes + 8) == 1;
}

char* kxIPv6::toString(char* outText, bool inCompress) const {
  if (isIPv4()) return getIPv4().toString(outText);
  return toText(outText, inCompress, true);
}

std::string kxIPv6::toString(bool inCompress) const {
  char text[kTextSize];
  return toString(text, inCompress);
}

char* kxIPv6::toText(char* outText, bool inCompress, bool inSuppressZeros) const {
  int gapFirst = -1;
  int gapLast = -1;
  if (inCompress) {
    // The rightmost run of two or more zero groups among groups 0-6.
    int count = 0;
    int g = 6;
    for (; g >= 0; --g) {
      if (getGroup(unsigned(g)) == 0) {
        ++count;
      } else if (count >= 2) {
        break;
      } else {
        count = 0;
      }
    }
    if (count >= 2) {
      gapFirst = g + 1;
      gapLast = g + count;
    }
  }
  char* out = outText;
  for (int g = 0; g < 8; ++g) {
    if (g == gapFirst) {
      *out++ = ':';
      g = gapLast;
      continue;
    }
    if (out != outText) *out++ = ':';
    out = writeGroup(out, getGroup(unsigned(g)), inSuppressZeros);
  }
  *out = '\0';
  return outText;
}

std::string kxIPv6::toText(bool inCompress, bool inSuppressZeros) const {
  char text[kTextSize];
  return toText(text, inCompress, inSuppressZeros);
}

char* kxIPv6::getReverseName(char* outText) const {
  if (isIPv4()) return getIPv4().getReverseName(outText);
  char* out = outText;
  for (int i = 15; i >= 0; --i) {
    *out++ = kHexDigits[itsBytes[i] & 0xF];
    *out++ = '.';
    *out++ = kHexDigits[itsBytes[i] >> 4];
    *out++ = '.';
  }
  std::strcpy(out, "ip6.arpa.");
  return outText;
}

std::string kxIPv6::getReverseName() const {
  char text[kReverseNameSize];
  return getReverseName(text);
}

uint64_t kxIPv6::countBetween(const kxIPv6& inFrom, const kxIPv6& inTo) {
  if (loadHalf(inFrom.itsBytes) != loadHalf(inTo.itsBytes)) return ~uint64_t(0);
  const uint64_t from = loadHalf(inFrom.itsBytes + 8);
  const uint64_t to = loadHalf(inTo.itsBytes + 8);
  if (to < from) return 0;
  const uint64_t span = to - from;
  // The whole lower half holds 2^64 addresses, one more than fits.
  return span == ~uint64_t(0) ? span : span + 1;
}

void kxIPv6::addWide(int64_t inCount) {
  const uint64_t high = loadHalf(itsBytes);
  const uint64_t low = loadHalf(itsBytes + 8);
  const uint64_t sum = low + uint64_t(inCount);
  const uint64_t carry = sum < low ? 1 : 0;
  storeHalf(itsBytes, high + (inCount < 0 ? ~uint64_t(0) : 0) + carry);
  storeHalf(itsBytes + 8, sum);
}

void kxIPv6::add(int32_t inCount) { addWide(inCount); }

// Negated in 64 bits so that the smallest count can be subtracted too.
void kxIPv6::subtract(int32_t inCount) { addWide(-int64_t(inCount)); }

kxIPv6 kxIPv6::networkAddress(const kxIPv6& inAddress, uint16_t inPrefix) {
  kxIPv6 result = inAddress;
  if (inPrefix >= 128) return result;
  size_t index = inPrefix / 8;
  if (inPrefix % 8 != 0) {
    result.itsBytes[index] &= uint8_t(0xFF00 >> (inPrefix % 8));
    ++index;
  }
  std::memset(result.itsBytes + index, 0x00, 16 - index);
  return result;
}

kxIPv6 kxIPv6::lastAddress(const kxIPv6& inAddress, uint16_t inPrefix) {
  kxIPv6 result = inAddress;
  if (inPrefix >= 128) return result;
  size_t index = inPrefix / 8;
  if (inPrefix % 8 != 0) {
    result.itsBytes[index] |= uint8_t(0xFF >> (inPrefix % 8));
    ++index;
  }
  std::memset(result.itsBytes + index, 0xFF, 16 - index);
  return result;
}

uint16_t kxIPv6::rangePrefixLength(const kxIPv6& inFrom, const kxIPv6& inTo) {
  size_t i = 0;
  while (i < 16 && inFrom.itsBytes[i] == inTo.itsBytes[i]) ++i;
  if (i == 16) return 128;
  const uint8_t from = inFrom.itsBytes[i];
  const uint8_t to = inTo.itsBytes[i];
  const int agreeing = std::countl_zero(uint8_t(from ^ to));
  const uint8_t rest = uint8_t(0xFF >> agreeing);
  if ((from & rest) != 0 || (to & rest) != rest) return 129;
  for (size_t j = i + 1; j < 16; ++j)
    if (inFrom.itsBytes[j] != 0x00 || inTo.itsBytes[j] != 0xFF) return 129;
  return uint16_t(8 * i + size_t(agreeing));
}

int kxIPv6::addressType() const {
  if (!allZero(itsBytes, 8)) {
    const uint16_t first = getGroup(0);
    if (first == 0xFF00) return 2;
    if (first == 0xFE80) return 3;
    return 4;
  }
  if (!allZero(itsBytes + 8, 4)) return 4;
  if (allZero(itsBytes + 12, 4)) return 0;
  if (itsBytes[12] == 0 && itsBytes[13] == 0 && itsBytes[14] == 0 && itsBytes[15] == 1) return 1;
  return 4;
}

bool kxIPv6::operator==(const kxIPv6& inOther) const { return std::memcmp(itsBytes, inOther.itsBytes, 16) == 0; }
