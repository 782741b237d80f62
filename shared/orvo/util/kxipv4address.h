// kxIPv4Address: a 4-byte IPv4 address value with its strict text parser, text and
// reverse-name forms, prefix and netmask arithmetic and a range parser.
//
// The value is held in network byte order: octet 1 is the first byte in memory and the
// first number of the dotted text. 0.0.0.0 means "no address": isLegal is false for it and
// every failed parse leaves it. The parser refuses leading zeros (kxIPAddressStateMachine,
// which only recognises, takes them) and also reads the reverse-lookup name
// d.c.b.a.in-addr.arpa. (trailing dot required) as a.b.c.d. Plain value, no heap storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class kxIPv4Address {
 public:
  // Buffer sizes of the text forms, terminating NUL included.
  static constexpr size_t kTextSize = 16;
  static constexpr size_t kReverseNameSize = 30;

  kxIPv4Address() = default;
  // inAddress is in network byte order.
  explicit kxIPv4Address(uint32_t inAddress) : itsAddress(inAddress) {}
  kxIPv4Address(uint8_t inA, uint8_t inB, uint8_t inC, uint8_t inD) { setOctets(inA, inB, inC, inD); }
  // The parsed text, or 0.0.0.0 when it does not parse.
  explicit kxIPv4Address(const char* inText);
  explicit kxIPv4Address(const std::string& inText);

  void setOctets(uint8_t inA, uint8_t inB, uint8_t inC, uint8_t inD);
  // Octet 1 to 4; any other position reports an assertion and gives 0.
  uint8_t getOctet(unsigned inPos) const;
  // The position is taken modulo 4 (5 means 1).
  void setOctet(unsigned inPos, uint8_t inValue);

  uint32_t getAddress() const { return itsAddress; }
  void setAddress(uint32_t inAddress) { itsAddress = inAddress; }
  bool isLegal() const { return itsAddress != 0; }

  // The forms are written into outText (kTextSize, kReverseNameSize bytes) and returned.
  char* toString(char* outText) const;
  std::string toString() const;
  // d.c.b.a.in-addr.arpa.
  char* getReverseName(char* outText) const;
  std::string getReverseName() const;
  // c.b.a.in-addr.arpa., the reverse zone of the /24 network.
  char* getReverseZoneName(char* outText) const;
  std::string getReverseZoneName() const;

  // Parses a dotted quad without leading zeros or a reverse-lookup name. On failure the
  // value becomes 0.0.0.0. The text 0.0.0.0 parses (true) but gives "no address".
  bool parse(const char* inText, uint32_t inLength);

  // -1, 0, 1 comparing the addresses as numbers.
  int compare(const kxIPv4Address& inOther) const;
  bool operator>(const kxIPv4Address& inOther) const { return compare(inOther) > 0; }
  bool operator==(const kxIPv4Address& inOther) const = default;

  // The address numbers in host byte order.
  uint32_t hostOrder() const;
  static kxIPv4Address fromHostOrder(uint32_t inValue);

  static kxIPv4Address networkAddress(const kxIPv4Address& inAddress, uint16_t inPrefix);
  static kxIPv4Address broadcastAddress(const kxIPv4Address& inAddress, uint16_t inPrefix);
  static kxIPv4Address maskFromPrefix(uint16_t inPrefix);
  // 32 minus the trailing zero bits of the mask (contiguity is not tested).
  static uint16_t maskPrefixLength(const kxIPv4Address& inMask);
  // The prefix of the CIDR block from..to; 32 for equal addresses, 33 when no block.
  static uint16_t rangePrefixLength(const kxIPv4Address& inFrom, const kxIPv4Address& inTo);

  // "a.b.c.d", "a.b.c.d/p", "a.b/p" (missing octets are 0) or, with inAllowRange,
  // "from - to". 0.0.0.0 is accepted only as a plain dotted quad.
  static bool parseRange(const std::string& inText, kxIPv4Address& outFrom, kxIPv4Address& outTo,
                         bool inAllowRange);

 private:
  uint32_t itsAddress = 0;
};
