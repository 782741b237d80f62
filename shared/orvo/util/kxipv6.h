// kxIPv6: a 16-byte address in network byte order that holds either an IPv6 address or an
// IPv4 address in IPv4-mapped form (::ffff:a.b.c.d). The all-zero value (::) means "no
// address". Equality compares the bytes; range arithmetic treats the bytes as one unsigned
// big-endian 128-bit number. Plain value, no heap storage.
//
// The text constructor reads IPv6 text (RFC 4291 2.2, with an embedded dotted quad) when the
// text contains ':', and otherwise the IPv4 forms of kxIPv4Address (dotted quad or reverse
// name), stored mapped. toText compresses the rightmost run of two or more zero groups
// within groups 0-6, not necessarily the longest one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo/util/kxipv4address.h"

namespace orvo {

// Strict dotted quad into 4 bytes (no leading zeros, exactly four octets). outBytes is
// written only on success.
bool parseIPv4Text(const char* inText, size_t inLength, uint8_t* outBytes);
// IPv6 text into 16 bytes; a group may have more than four digits as long as its value
// fits. outBytes is written only on success.
bool parseIPv6Text(const char* inText, size_t inLength, uint8_t* outBytes);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::parseIPv4Text;
using orvo::parseIPv6Text;
#endif

class kxIPv6 {
 public:
  // Buffer sizes of the text forms, terminating NUL included.
  static constexpr size_t kTextSize = 40;
  static constexpr size_t kReverseNameSize = 74;

  kxIPv6() = default;
  explicit kxIPv6(const uint8_t* inBytes);
  kxIPv6(const kxIPv4Address& inAddress);
  // All zero for a null text, a text that does not parse, and 0.0.0.0.
  explicit kxIPv6(const char* inText);
  explicit kxIPv6(const std::string& inText);

  const uint8_t* getBytes() const { return itsBytes; }
  uint16_t getGroup(unsigned inIndex) const { return uint16_t(itsBytes[2 * inIndex] << 8 | itsBytes[2 * inIndex + 1]); }

  bool isIPv4() const;
  // The embedded address; asserts that the value is IPv4-mapped.
  kxIPv4Address getIPv4() const;
  bool isLegal() const;
  bool isLoopback() const;

  // The dotted quad for a mapped address, else toText(inCompress, true).
  char* toString(char* outText, bool inCompress = true) const;
  std::string toString(bool inCompress = true) const;
  // Group text of all 16 bytes, lower-case hexadecimal, also for mapped addresses.
  char* toText(char* outText, bool inCompress, bool inSuppressZeros) const;
  std::string toText(bool inCompress, bool inSuppressZeros) const;
  // The mapped address's in-addr.arpa. name, else the nibble form under ip6.arpa.
  char* getReverseName(char* outText) const;
  std::string getReverseName() const;

  // Addresses from..to inclusive when they share their upper 64 bits, all ones when they
  // do not or when the count does not fit; 0 when to lies below from.
  static uint64_t countBetween(const kxIPv6& inFrom, const kxIPv6& inTo);
  // Adds or subtracts a count modulo 2^128.
  void add(int32_t inCount);
  void subtract(int32_t inCount);

  // Every bit after the first inPrefix bits cleared (set); prefix 128 or more: unchanged.
  static kxIPv6 networkAddress(const kxIPv6& inAddress, uint16_t inPrefix);
  static kxIPv6 lastAddress(const kxIPv6& inAddress, uint16_t inPrefix);
  // The prefix of the block from..to; 128 for equal addresses, 129 when no block.
  static uint16_t rangePrefixLength(const kxIPv6& inFrom, const kxIPv6& inTo);

  // 0 for ::, 1 for ::1; 2 when the first group is exactly ff00, 3 when it is exactly fe80;
  // 4 for anything else (IPv4-mapped addresses included).
  int addressType() const;

  bool operator==(const kxIPv6& inOther) const;
  bool operator!=(const kxIPv6& inOther) const { return !(*this == inOther); }

 private:
  void addWide(int64_t inCount);

  uint8_t itsBytes[16] = {};
};
