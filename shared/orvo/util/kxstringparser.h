// Conversions between text and values, list helpers and validators of value texts.
//
// Every function is free of state and never throws: a text that is not a value of the kind
// asked for gives false (or the documented fallback). Each parser has a form for
// NUL-terminated texts and a form for strings; both behave alike. A null text counts as
// the empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "orvo/util/kxipv4address.h"
#include "orvo/util/kxipv6.h"

namespace orvo {

// Signed decimal. The first character must be a digit, "+" or "-"; the whole text must be
// the number. outValue receives the converted value whatever the result; the two extreme
// values 2147483647 and -2147483648 are refused together with every overflowing text.
bool parseInt(const char* inText, int& outValue);
bool parseInt(const std::string& inText, int& outValue);

// Unsigned 32-bit decimal. The first character must be a digit or "+". outValue receives
// the converted value (4294967295 for an overflow) whatever the result; 4294967295 itself is
// accepted only as that literal text.
bool parseUnsigned(const char* inText, unsigned& outValue);
bool parseUnsigned(const std::string& inText, unsigned& outValue);

// parseUnsigned and a value below 65536. outValue receives the low 16 bits whenever
// parseUnsigned succeeded.
bool parseUnsigned16(const char* inText, uint16_t& outValue);
bool parseUnsigned16(const std::string& inText, uint16_t& outValue);

// A text starting with a digit must satisfy parseInt (true when not 0); otherwise y, yes,
// t, true, n, no, f, false in any ASCII letter case. outValue is untouched on failure.
bool parseBoolean(const char* inText, bool& outValue);
bool parseBoolean(const std::string& inText, bool& outValue);

std::string intToText(int inValue);
std::string unsignedToText(unsigned inValue);
std::string int64ToText(int64_t inValue);
// Upper-case hexadecimal without prefix or leading zeros; a negative value shows its
// 32-bit two's complement.
std::string hexNumberText(int inValue);

// 0-9 for "0"-"9", 10-15 for "A"-"F" and "a"-"f"; false for anything else.
bool hexDigitValue(char inChar, unsigned& outValue);

// Appends, for each byte, inSeparator and then two hexadecimal digits, high nibble first;
// the separator thus precedes the first byte too.
void bytesToHex(std::string& outText, const uint8_t* inBytes, size_t inCount, const char* inSeparator,
                bool inUpperCase);

// Pairs of hexadecimal digits become bytes, high digit first; a lone last digit becomes the
// high nibble of a last byte. outCount is the number of bytes written. False at the first
// character that is not a hexadecimal digit. outBytes needs room for (length + 1) / 2 bytes.
bool hexToBytes(uint8_t* outBytes, size_t& outCount, const char* inText);
bool hexToBytes(uint8_t* outBytes, size_t& outCount, const std::string& inText);

// A parseUnsigned text, optionally followed by one of k, K, m, M, g, G.
bool isSizeText(const char* inText);
bool isSizeText(const std::string& inText);

// TTL text: decimal digits, optionally in groups each followed by a unit letter W, D, H, M
// or S (any case). outSeconds is -1 for a malformed or overflowing text (untouched for an
// empty one).
bool parseTTL(const char* inText, size_t inLength, int& outSeconds);
bool parseTTL(const std::string& inText, int& outSeconds);
bool isTTLText(const char* inText);
bool isTTLText(const std::string& inText);
// The same text as a name server's master files take it: any value up to 4294967295 (the
// largest 32-bit number; RFC 2181 leaves the values above 2147483647 to the reader).
bool parseTTLValue(const char* inText, size_t inLength, uint32_t& outSeconds);

// Replaces the container's contents with the pieces between separators. An empty text
// gives no pieces; a separator at the end adds a last, empty piece. The set form drops
// repeated pieces and orders them.
void splitText(const char* inText, char inSeparator, std::list<std::string>& outPieces);
void splitText(const char* inText, char inSeparator, std::vector<std::string>& outPieces);
void splitText(const char* inText, char inSeparator, std::set<std::string>& outPieces);
void splitText(const std::string& inText, char inSeparator, std::list<std::string>& outPieces);
void splitText(const std::string& inText, char inSeparator, std::vector<std::string>& outPieces);
void splitText(const std::string& inText, char inSeparator, std::set<std::string>& outPieces);

// The elements in container order with the separator between them; "" when empty.
std::string joinTexts(const std::list<std::string>& inTexts, char inSeparator);
std::string joinTexts(const std::vector<std::string>& inTexts, char inSeparator);
std::string joinTexts(const std::set<std::string>& inTexts, char inSeparator);

// Splits at the separator and converts every piece (blanks and tabs around it allowed).
// An empty piece or a piece that does not convert gives false; the output then keeps the
// values before it. An empty text gives true and no values.
bool parseNumberList(const char* inText, char inSeparator, std::vector<int>& outValues);
bool parseNumberList(const char* inText, char inSeparator, std::vector<unsigned>& outValues);
bool parseNumberList(const char* inText, char inSeparator, std::set<unsigned>& outValues);
bool parseNumberList(const std::string& inText, char inSeparator, std::vector<int>& outValues);
bool parseNumberList(const std::string& inText, char inSeparator, std::vector<unsigned>& outValues);
bool parseNumberList(const std::string& inText, char inSeparator, std::set<unsigned>& outValues);

std::string joinNumbers(const std::vector<int>& inValues, char inSeparator);
std::string joinNumbers(const std::vector<unsigned>& inValues, char inSeparator);
std::string joinNumbers(const std::set<unsigned>& inValues, char inSeparator);

// The first element equal to inText (ASCII letter case ignored unless inCaseSensitive), or
// the end of the list.
std::list<std::string>::const_iterator findInList(const std::list<std::string>& inList, const std::string& inText,
                                                  bool inCaseSensitive);

// Domain names: letters, digits, inner "-", "/" and "_", whole-label "*", an optional
// trailing dot. The relaxed form also lets "-", "/" and "_" begin and end labels. Empty
// texts are refused.
bool isDomainNameText(const char* inText, size_t inLength);
bool isDomainNameText(const std::string& inText);
bool isRelaxedDomainNameText(const char* inText, size_t inLength);
bool isRelaxedDomainNameText(const std::string& inText);

// A dotted quad (octets may have leading zeros); the second form also takes a final "*"
// label (1.2.*, *).
bool isIPAddressText(const char* inText, size_t inLength);
bool isIPAddressText(const std::string& inText);
bool isIPAddressOrWildcardText(const char* inText, size_t inLength);
bool isIPAddressOrWildcardText(const std::string& inText);

// Base64 text (RFC 4648): letters, digits, "+" and "/" in groups of four, the last group
// padded with one or two "=" where it holds fewer bytes. Empty text is refused.
bool isBase64Text(const char* inText, size_t inLength);

// Groups of one or two hexadecimal digits separated by single colons.
bool isHexColonText(const char* inText, size_t inLength);
bool isHexColonText(const std::string& inText);

// A field of a LOC record: 0 latitude ("52 22 23.000 N"), 1 longitude, 2 altitude in
// metres, 3 size, 4 horizontal and 5 vertical precision. inLength 0 passes when
// inAllowEmpty is set.
bool isLOCField(unsigned inKind, const char* inText, size_t inLength, bool inAllowEmpty);
bool isLOCField(unsigned inKind, const std::string& inText, bool inAllowEmpty);

// Twelve hexadecimal digits, with "-", ":", blanks and tabs anywhere, become
// AA:BB:CC:DD:EE:FF. outText is set only on success.
bool normalizeMACAddress(const char* inText, std::string& outText);
bool normalizeMACAddress(const std::string& inText, std::string& outText);
// The normalized form, or the text unchanged when it is no hardware address.
std::string macAddressText(const std::string& inText);
// The text without ":", "-" and ".", letters in lower case.
std::string compactMACAddress(const std::string& inText);

// "a.b.c.d" (prefix 32) or one to four octets, "/" and a prefix up to 32 ("10/8").
// outAddress receives the address part.
bool parseSubnet(const std::string& inText, std::string& outAddress, uint16_t& outPrefix);
bool isSubnetText(const std::string& inText);
// The network of a subnet text as "a.b.c.d/p" ("/32" omitted): 10.1.2.3/24 gives
// 10.1.2.0/24. Missing octets are filled with 255 before the mask applies.
bool normalizeSubnet(const std::string& inText, std::string& outText);
// The address in compressed form, "/" and the prefix.
std::string subnetText(const kxIPv6& inAddress, uint16_t inPrefix);
// "from/prefix" and true when from..to is a CIDR block, else "from-to" and false.
bool ipv4RangeText(const kxIPv4Address& inFrom, const kxIPv4Address& inTo, std::string& outText);
// The subnet text of a block of two IPv6 (or two mapped IPv4) addresses; false when the
// range is no block (for IPv4, outText then holds "from-to").
bool rangeSubnetText(const kxIPv6& inFrom, const kxIPv6& inTo, std::string& outText);
// rangeSubnetText as a text; an IPv6 range that is no block has no text form: an
// assertion reports it and the result is empty.
std::string rangeText(const kxIPv6& inFrom, const kxIPv6& inTo);

// "a.b.c.d", "a.b.c.d/p", "a.b/p", "a.b.c.d/255.255.255.0" or "from - to". outPrefix is
// the prefix length, 33 for a range that is no block.
bool parseIPv4Range(const std::string& inText, kxIPv4Address& outFrom, kxIPv4Address& outTo, uint16_t& outPrefix);
bool parseIPv4Range(const std::string& inText, kxIPv4Address& outFrom, kxIPv4Address& outTo);
// parseIPv4Range (addresses mapped, prefix + 96) or "ipv6[/p]".
bool parseIPRange(const std::string& inText, kxIPv6& outFrom, kxIPv6& outTo, uint16_t& outPrefix);
bool parseIPRange(const std::string& inText, kxIPv6& outFrom, kxIPv6& outTo);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::parseTTLValue;
using orvo::parseInt;
using orvo::parseUnsigned;
using orvo::parseUnsigned16;
using orvo::parseBoolean;
using orvo::intToText;
using orvo::unsignedToText;
using orvo::int64ToText;
using orvo::hexNumberText;
using orvo::hexDigitValue;
using orvo::bytesToHex;
using orvo::hexToBytes;
using orvo::isSizeText;
using orvo::parseTTL;
using orvo::isTTLText;
using orvo::splitText;
using orvo::joinTexts;
using orvo::parseNumberList;
using orvo::joinNumbers;
using orvo::findInList;
using orvo::isDomainNameText;
using orvo::isRelaxedDomainNameText;
using orvo::isIPAddressText;
using orvo::isIPAddressOrWildcardText;
using orvo::isBase64Text;
using orvo::isHexColonText;
using orvo::isLOCField;
using orvo::normalizeMACAddress;
using orvo::macAddressText;
using orvo::compactMACAddress;
using orvo::parseSubnet;
using orvo::isSubnetText;
using orvo::normalizeSubnet;
using orvo::subnetText;
using orvo::ipv4RangeText;
using orvo::rangeSubnetText;
using orvo::rangeText;
using orvo::parseIPv4Range;
using orvo::parseIPRange;
#endif
