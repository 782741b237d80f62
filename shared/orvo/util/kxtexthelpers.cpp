#include "orvo/util/kxtexthelpers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

#include "orvo/util/kxstringparser.h"

namespace {

const char* orEmpty(const char* inText) { return inText != nullptr ? inText : ""; }

unsigned char mapped(char inChar, bool inCaseSensitive) {
  return static_cast<unsigned char>(inCaseSensitive ? inChar : toUpperChar(inChar));
}

// The search itself, over explicit lengths so the string forms need not measure again.
int findIn(const char* inText, size_t inLength, const char* inNeedle, size_t inNeedleLength, int inStart,
           bool inCaseSensitive) {
  if (inNeedleLength == 0 || inStart < 0) return -1;
  const size_t start = static_cast<size_t>(inStart);
  if (start > inLength || inLength - start < inNeedleLength) return -1;
  for (size_t p = start; p <= inLength - inNeedleLength; ++p) {
    size_t i = 0;
    while (i < inNeedleLength && mapped(inText[p + i], inCaseSensitive) == mapped(inNeedle[i], inCaseSensitive))
      ++i;
    if (i == inNeedleLength) return static_cast<int>(p);
  }
  return -1;
}

bool endsIn(const char* inText, size_t inLength, const char* inSuffix, size_t inSuffixLength,
            bool inCaseSensitive) {
  return inLength >= inSuffixLength &&
         findIn(inText, inLength, inSuffix, inSuffixLength, static_cast<int>(inLength - inSuffixLength),
                inCaseSensitive) >= 0;
}

// The text's length, counted no further than inLimit.
size_t lengthUpTo(const char* inText, size_t inLimit) {
  size_t length = 0;
  while (length < inLimit && inText[length] != '\0') ++length;
  return length;
}

bool isPrintableChar(char inChar) { return std::isprint(static_cast<unsigned char>(inChar)) != 0; }

}  // namespace

namespace orvo {

char toUpperChar(char inChar) { return inChar >= 'a' && inChar <= 'z' ? static_cast<char>(inChar - 'a' + 'A') : inChar; }

char toLowerChar(char inChar) { return inChar >= 'A' && inChar <= 'Z' ? static_cast<char>(inChar - 'A' + 'a') : inChar; }

std::string toUpperText(const std::string& inText) {
  std::string result = inText;
  for (char& c : result) c = toUpperChar(c);
  return result;
}

std::string toLowerText(const std::string& inText) {
  std::string result = inText;
  for (char& c : result) c = toLowerChar(c);
  return result;
}

int compareText(const char* inA, const char* inB, bool inCaseSensitive) {
  const char* a = orEmpty(inA);
  const char* b = orEmpty(inB);
  while (*a != '\0' && mapped(*a, inCaseSensitive) == mapped(*b, inCaseSensitive)) {
    ++a;
    ++b;
  }
  return static_cast<int>(mapped(*a, inCaseSensitive)) - static_cast<int>(mapped(*b, inCaseSensitive));
}

int compareText(const std::string& inA, const std::string& inB, bool inCaseSensitive) {
  return compareText(inA.c_str(), inB.c_str(), inCaseSensitive);
}

bool equalsText(const char* inA, const char* inB, bool inCaseSensitive) {
  return compareText(inA, inB, inCaseSensitive) == 0;
}

bool equalsText(const std::string& inA, const std::string& inB, bool inCaseSensitive) {
  return compareText(inA.c_str(), inB.c_str(), inCaseSensitive) == 0;
}

int findText(const char* inText, const char* inNeedle, int inStart, bool inCaseSensitive) {
  if (inText == nullptr || inNeedle == nullptr) return -1;
  return findIn(inText, std::strlen(inText), inNeedle, std::strlen(inNeedle), inStart, inCaseSensitive);
}

int findText(const std::string& inText, const std::string& inNeedle, int inStart, bool inCaseSensitive) {
  return findIn(inText.data(), inText.size(), inNeedle.data(), inNeedle.size(), inStart, inCaseSensitive);
}

// A search from 0 that finds the prefix at 0; only the first prefix-length characters of
// the text can decide that, so the rest is not searched.
bool startsWith(const char* inText, const char* inPrefix, bool inCaseSensitive) {
  if (inText == nullptr || inPrefix == nullptr) return false;
  const size_t length = std::strlen(inPrefix);
  return findIn(inText, lengthUpTo(inText, length), inPrefix, length, 0, inCaseSensitive) == 0;
}

bool startsWith(const std::string& inText, const std::string& inPrefix, bool inCaseSensitive) {
  return findIn(inText.data(), std::min(inText.size(), inPrefix.size()), inPrefix.data(), inPrefix.size(), 0,
                inCaseSensitive) == 0;
}

bool endsWith(const char* inText, const char* inSuffix, bool inCaseSensitive) {
  if (inText == nullptr || inSuffix == nullptr) return false;
  return endsIn(inText, std::strlen(inText), inSuffix, std::strlen(inSuffix), inCaseSensitive);
}

bool endsWith(const std::string& inText, const std::string& inSuffix, bool inCaseSensitive) {
  return endsIn(inText.data(), inText.size(), inSuffix.data(), inSuffix.size(), inCaseSensitive);
}

bool containsText(const char* inText, const char* inNeedle, bool inCaseSensitive) {
  return findText(inText, inNeedle, 0, inCaseSensitive) >= 0;
}

bool containsText(const std::string& inText, const std::string& inNeedle, bool inCaseSensitive) {
  return findText(inText, inNeedle, 0, inCaseSensitive) >= 0;
}

namespace {

// One mode table for the C-string and string forms.
template <typename Text>
bool matchBy(const Text& inText, const Text& inPattern, int inMode) {
  switch (inMode) {
    case kMatchAny:
      return true;
    case kMatchPrefix:
      return startsWith(inText, inPattern, false);
    case kMatchSuffix:
      return endsWith(inText, inPattern, false);
    case kMatchContains:
      return containsText(inText, inPattern, false);
    case kMatchEquals:
      return equalsText(inText, inPattern, false);
    default:
      return false;
  }
}

}  // namespace

bool matchText(const char* inText, const char* inPattern, int inMode) {
  return matchBy(inText, inPattern, inMode);
}

bool matchText(const std::string& inText, const std::string& inPattern, int inMode) {
  return matchBy(inText, inPattern, inMode);
}

std::string replaceText(const std::string& inText, const std::string& inPattern, const std::string& inReplacement,
                        int inMode, bool inReplaceAll) {
  if (!matchText(inText, inPattern, inMode)) return inText;
  std::string result = inText;
  switch (inMode) {
    case kMatchPrefix:
      result.replace(0, inPattern.size(), inReplacement);
      break;
    case kMatchSuffix:
      result.replace(result.size() - inPattern.size(), inPattern.size(), inReplacement);
      break;
    case kMatchContains: {
      int position = findText(result, inPattern, 0, false);
      while (position >= 0) {
        result.replace(static_cast<size_t>(position), inPattern.size(), inReplacement);
        if (!inReplaceAll) break;
        position = findText(result, inPattern, position + static_cast<int>(inReplacement.size()), false);
      }
      break;
    }
    default:  // kMatchAny, kMatchEquals
      result = inReplacement;
      break;
  }
  return result;
}

std::string& trimLeft(std::string& ioText, char inChar) {
  ioText.erase(0, ioText.find_first_not_of(inChar));
  return ioText;
}

std::string& trimRight(std::string& ioText, char inChar) {
  const size_t last = ioText.find_last_not_of(inChar);
  ioText.erase(last == std::string::npos ? 0 : last + 1);
  return ioText;
}

std::string& trimText(std::string& ioText, char inChar) { return trimLeft(trimRight(ioText, inChar), inChar); }

std::string& replaceChar(std::string& ioText, char inFrom, char inTo) {
  for (char& c : ioText)
    if (c == inFrom) c = inTo;
  return ioText;
}

std::string unquote(const std::string& inText) {
  if (inText.size() > 1 && inText.front() == '"' && inText.back() == '"')
    return inText.substr(1, inText.size() - 2);
  return inText;
}

std::string quote(const std::string& inText) {
  if (inText.size() > 1 && inText.front() == '"' && inText.back() == '"') return inText;
  return '"' + inText + '"';
}

std::string printableText(const char* inText) {
  std::string result = orEmpty(inText);
  for (char& c : result)
    if (!isPrintableChar(c)) c = '.';
  return result;
}

bool isEscapedAt(const std::string& inText, size_t inIndex) {
  size_t backslashes = 0;
  while (backslashes < inIndex && inText[inIndex - backslashes - 1] == '\\') ++backslashes;
  return backslashes % 2 != 0;
}

bool isAbsoluteName(const std::string& inName) {
  return !inName.empty() && inName.back() == '.' && !isEscapedAt(inName, inName.size() - 1);
}

std::string qualifyName(const std::string& inName, const std::string& inDomain) {
  if (inName.empty()) return inDomain;
  if (isAbsoluteName(inName)) return inName;
  return inName + '.' + inDomain;
}

std::string parentName(const std::string& inName) {
  std::vector<std::string> labels;
  splitText(inName, '.', labels);
  if (labels.size() < 2) return "";
  labels.erase(labels.begin());
  return joinTexts(labels, '.');
}

std::string getField(const std::string& inText, int inIndex, char inSeparator) {
  if (inText.empty() || inIndex < 0) return "";
  size_t start = 0;
  for (int field = 0; field < inIndex; ++field) {
    start = inText.find(inSeparator, start);
    if (start == std::string::npos) return "";
    ++start;
  }
  const size_t end = inText.find(inSeparator, start);
  return inText.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool splitAt(const std::string& inText, std::string& outLeft, std::string& outRight, char inSeparator,
             bool inRequireBoth, int inOccurrence) {
  int count = 0;
  for (size_t i = 0; i < inText.size(); ++i) {
    if (inText[i] != inSeparator) continue;
    if (count == inOccurrence) {
      std::string left = inText.substr(0, i);
      std::string right = inText.substr(i + 1);
      if (inRequireBoth && (left.empty() || right.empty())) return false;
      outLeft = std::move(left);
      outRight = std::move(right);
      return true;
    }
    ++count;
  }
  if (count == inOccurrence && !inRequireBoth) {
    outLeft = inText;
    outRight.clear();
    return true;
  }
  return false;
}

bool isDigitChar(char inChar) { return inChar >= '0' && inChar <= '9'; }

bool isDigitsText(const char* inText) {
  if (inText == nullptr || *inText == '\0') return false;
  for (const char* p = inText; *p != '\0'; ++p)
    if (!isDigitChar(*p)) return false;
  return true;
}

bool isPrintableText(const char* inText) {
  for (const char* p = orEmpty(inText); *p != '\0'; ++p)
    if (!isPrintableChar(*p)) return false;
  return true;
}

bool hasNoControlChars(const char* inText) {
  for (const char* p = orEmpty(inText); *p != '\0'; ++p)
    if (std::iscntrl(static_cast<unsigned char>(*p)) != 0) return false;
  return true;
}

bool isAlphanumericText(const std::string& inText) {
  for (const char c : inText)
    if (!isDigitChar(c) && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

}  // namespace orvo
