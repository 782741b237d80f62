// Text helpers shared by the parsers, the property sets and the DNS text code: ASCII case
// mapping, comparison and search with a case switch, matching and replacing by mode,
// trimming, quoting, printable copies, name qualification and fields.
//
// Ignoring case maps only the ASCII letters a-z onto A-Z, with no locale; every other byte
// compares unchanged. A null text counts as the empty text. Indexes are character
// positions; -1 means "not found".
#pragma once

#include <string>

// Match modes of matchText and replaceText; all of them ignore case.
inline constexpr int kMatchAny = 0;
inline constexpr int kMatchPrefix = 1;
inline constexpr int kMatchSuffix = 2;
inline constexpr int kMatchContains = 3;
inline constexpr int kMatchEquals = 4;

namespace orvo {

char toUpperChar(char inChar);
char toLowerChar(char inChar);
std::string toUpperText(const std::string& inText);
std::string toLowerText(const std::string& inText);

// Walks both texts while the characters (upper-cased unless inCaseSensitive) are equal and
// inA has not ended; the difference of the first unequal characters (or terminators), as
// unsigned bytes.
int compareText(const char* inA, const char* inB, bool inCaseSensitive);
int compareText(const std::string& inA, const std::string& inB, bool inCaseSensitive);
bool equalsText(const char* inA, const char* inB, bool inCaseSensitive);
bool equalsText(const std::string& inA, const std::string& inB, bool inCaseSensitive);

// The first index at or after inStart where inNeedle occurs; -1 for a null or empty needle,
// a negative start, or fewer than needle-length characters left after inStart.
int findText(const char* inText, const char* inNeedle, int inStart, bool inCaseSensitive);
int findText(const std::string& inText, const std::string& inNeedle, int inStart, bool inCaseSensitive);
// An empty prefix, suffix or needle never matches.
bool startsWith(const char* inText, const char* inPrefix, bool inCaseSensitive);
bool startsWith(const std::string& inText, const std::string& inPrefix, bool inCaseSensitive);
bool endsWith(const char* inText, const char* inSuffix, bool inCaseSensitive);
bool endsWith(const std::string& inText, const std::string& inSuffix, bool inCaseSensitive);
bool containsText(const char* inText, const char* inNeedle, bool inCaseSensitive);
bool containsText(const std::string& inText, const std::string& inNeedle, bool inCaseSensitive);

// By mode, ignoring case: 0 always, 1 prefix, 2 suffix, 3 contains, 4 equals; false for
// any other mode.
bool matchText(const char* inText, const char* inPattern, int inMode);
bool matchText(const std::string& inText, const std::string& inPattern, int inMode);
// inText unchanged when matchText fails. Otherwise: modes 0 and 4 give inReplacement;
// mode 1 replaces the prefix, mode 2 the suffix; mode 3 replaces the first occurrence
// (every one with inReplaceAll), searching on behind each inserted replacement.
std::string replaceText(const std::string& inText, const std::string& inPattern, const std::string& inReplacement,
                        int inMode, bool inReplaceAll);

// Remove every leading, trailing, or leading and trailing inChar, in place.
std::string& trimLeft(std::string& ioText, char inChar);
std::string& trimRight(std::string& ioText, char inChar);
std::string& trimText(std::string& ioText, char inChar);
// Every inFrom becomes inTo, in place.
std::string& replaceChar(std::string& ioText, char inFrom, char inTo);

// The text between a leading and a trailing double quote (texts longer than one
// character only); any other text unchanged.
std::string unquote(const std::string& inText);
// A text that unquote would change stays as it is; any other gets double quotes around it.
std::string quote(const std::string& inText);
// A copy with every character outside the printable class replaced by ".".
std::string printableText(const char* inText);

// Whether a domain name in master-file text ends in a dot that no backslash escapes
// ("host." does, "dot\\." does not: its last label holds the dot).
bool isAbsoluteName(const std::string& inName);
// Whether the character at inIndex is escaped: an odd number of backslashes precede it.
bool isEscapedAt(const std::string& inText, size_t inIndex);
// inDomain for an empty name, the name when it is absolute, otherwise name "." domain.
std::string qualifyName(const std::string& inName, const std::string& inDomain);
// The name without its first label ("a.b.c." gives "b.c."); "" when nothing remains.
std::string parentName(const std::string& inName);
// The piece with 0-based inIndex between inSeparator characters; "" when there are fewer.
std::string getField(const std::string& inText, int inIndex, char inSeparator);
// Splits at the separator whose 0-based count is inOccurrence: outLeft is the text before
// it, outRight the text after it; false with inRequireBoth when either is empty. A text
// with exactly inOccurrence separators gives itself and "" unless inRequireBoth is set.
// On false outLeft and outRight are untouched.
bool splitAt(const std::string& inText, std::string& outLeft, std::string& outRight, char inSeparator,
             bool inRequireBoth, int inOccurrence);

bool isDigitChar(char inChar);
// Not null, not empty, only "0"-"9".
bool isDigitsText(const char* inText);
// Every character printable; true for an empty text.
bool isPrintableText(const char* inText);
// No character of the control class.
bool hasNoControlChars(const char* inText);
// Every character an ASCII letter or digit; true for an empty text.
bool isAlphanumericText(const std::string& inText);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::toUpperChar;
using orvo::toLowerChar;
using orvo::toUpperText;
using orvo::toLowerText;
using orvo::compareText;
using orvo::equalsText;
using orvo::findText;
using orvo::startsWith;
using orvo::endsWith;
using orvo::containsText;
using orvo::matchText;
using orvo::replaceText;
using orvo::trimLeft;
using orvo::trimRight;
using orvo::trimText;
using orvo::replaceChar;
using orvo::unquote;
using orvo::quote;
using orvo::printableText;
using orvo::isAbsoluteName;
using orvo::isEscapedAt;
using orvo::qualifyName;
using orvo::parentName;
using orvo::getField;
using orvo::splitAt;
using orvo::isDigitChar;
using orvo::isDigitsText;
using orvo::isPrintableText;
using orvo::hasNoControlChars;
using orvo::isAlphanumericText;
#endif
