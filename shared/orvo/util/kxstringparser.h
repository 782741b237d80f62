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
