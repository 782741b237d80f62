#include "orvo/util/kxstringutils.h"

#include <algorithm>
#include <cstring>

#include "orvo/debug/kxassert.h"

namespace orvo {

int32_t searchBlock(const char* inBlock, uint32_t inSize, const char* inFind, uint32_t inFindLength,
                    uint32_t inStart) {
  if (inFindLength == 0 || inStart > inSize || inFindLength > inSize - inStart) return -1;
  for (uint32_t p = inStart; p <= inSize - inFindLength; ++p)
    if (std::memcmp(inBlock + p, inFind, inFindLength) == 0) return static_cast<int32_t>(p);
  return -1;
}

uint32_t replaceInBlock(char* blockPtr, uint32_t blockSize, uint32_t maxBlockSize, const char* findPtr,
                        uint32_t inFindLength, const char* replacePtr, uint32_t inReplaceLength,
                        bool inReplaceAll) {
  kxAssert(blockSize <= maxBlockSize);
  kxAssert(blockPtr && findPtr && replacePtr);
  // Going on would read or write outside the block the caller described.
  if (blockSize > maxBlockSize || !(blockPtr && findPtr && replacePtr)) return blockSize;

  // Signed 64-bit arithmetic: the limits below may lie before the start of the block.
  const int64_t capacity = maxBlockSize;
  const int64_t findLength = inFindLength;
  const int64_t delta = static_cast<int64_t>(inReplaceLength) - findLength;
  int64_t size = blockSize;
  int64_t position = 0;
  for (;;) {
    const int32_t found = searchBlock(blockPtr, static_cast<uint32_t>(size), findPtr, inFindLength,
                                      static_cast<uint32_t>(position));
    if (found < 0) break;
    position = found;
    if (delta > 0) {
      // Highest index first; bytes pushed beyond the capacity are dropped.
      for (int64_t i = std::min(size, capacity - delta); i >= position + findLength; --i)
        blockPtr[i + delta] = blockPtr[i];
    } else if (delta < 0) {
      for (int64_t i = position + findLength; i <= size; ++i) blockPtr[i + delta] = blockPtr[i];
    }
    const int64_t fitting = std::clamp<int64_t>(capacity - position, 0, inReplaceLength);
    std::memcpy(blockPtr + position, replacePtr, static_cast<size_t>(fitting));
    size = std::min(capacity, size + delta);
    position += inReplaceLength;
    if (!inReplaceAll) break;
  }
  return static_cast<uint32_t>(size);
}

char* replaceInCString(char* ioBuffer, const char* inFind, const char* inReplace, bool inReplaceAll,
                       uint32_t inBufferSize) {
  // Without room for the terminator there is nothing that can be written.
  if (ioBuffer == nullptr || inBufferSize == 0) return ioBuffer;
  const uint32_t length = static_cast<uint32_t>(std::strlen(ioBuffer));
  const uint32_t size = replaceInBlock(ioBuffer, length, inBufferSize - 1, inFind,
                                       inFind != nullptr ? static_cast<uint32_t>(std::strlen(inFind)) : 0,
                                       inReplace,
                                       inReplace != nullptr ? static_cast<uint32_t>(std::strlen(inReplace)) : 0,
                                       inReplaceAll);
  ioBuffer[size] = '\0';
  return ioBuffer;
}

unsigned char* replaceInPString(unsigned char* ioString, const char* inFind, const char* inReplace,
                                bool inReplaceAll, uint32_t maxStringSize) {
  kxAssert(maxStringSize < 256);
  if (ioString == nullptr) return ioString;
  // The length byte cannot count beyond 255.
  const uint32_t capacity = std::min<uint32_t>(maxStringSize, 255);
  const uint32_t size = replaceInBlock(reinterpret_cast<char*>(ioString + 1), ioString[0], capacity, inFind,
                                       inFind != nullptr ? static_cast<uint32_t>(std::strlen(inFind)) : 0,
                                       inReplace,
                                       inReplace != nullptr ? static_cast<uint32_t>(std::strlen(inReplace)) : 0,
                                       inReplaceAll);
  ioString[0] = static_cast<unsigned char>(size);
  return ioString;
}

std::string replaceInString(const std::string& inSource, const std::string& inFind, const std::string& inReplace,
                            bool inReplaceAll) {
  std::string result = inSource;
  if (inFind.empty()) return result;
  size_t position = result.find(inFind);
  while (position != std::string::npos) {
    result.replace(position, inFind.size(), inReplace);
    if (!inReplaceAll) break;
    position = result.find(inFind, position + inReplace.size());
  }
  return result;
}

std::string& replaceParam(std::string& ioText, char inParamCode, const std::string& inValue) {
  if (ioText.empty()) return ioText;
  const char pattern[2] = {'$', inParamCode};
  size_t position = ioText.find(pattern, 0, 2);
  while (position != std::string::npos) {
    ioText.replace(position, 2, inValue);
    position = ioText.find(pattern, position + inValue.size(), 2);
  }
  return ioText;
}

std::string replaceParamCopy(const std::string& inText, char inParamCode, const std::string& inValue) {
  std::string copy = inText;
  return replaceParam(copy, inParamCode, inValue);
}

std::string& convertLineEnds(std::string& ioText, int32_t inFormat, bool inEnsureFinalLineEnd) {
  if (inFormat == kLineEndDefault) inFormat = kLineEndCRLF;
  kxAssert(inFormat > 0 && inFormat < 5);
  if (inEnsureFinalLineEnd && (ioText.empty() || (ioText.back() != '\r' && ioText.back() != '\n')))
    ioText += '\r';
  if (!(inFormat > 0 && inFormat < 5)) return ioText;

  // One pass into a new text, so long texts with many line ends cost linear time. A line
  // feed looks at the character that stood before it in the original text, so a line end
  // converted a moment ago is not taken for the first half of a CR LF pair.
  std::string converted;
  converted.reserve(ioText.size() + ioText.size() / 8);
  for (size_t i = 0; i < ioText.size(); ++i) {
    const char c = ioText[i];
    if (c == '\r') {
      const bool lineFeedFollows = i + 1 < ioText.size() && ioText[i + 1] == '\n';
      switch (inFormat) {
        case kLineEndLF:
          if (!lineFeedFollows) converted += '\n';
          break;
        case kLineEndCRLF:
          converted += lineFeedFollows ? "\r" : "\r\n";
          break;
        case kLineEndCR:
          converted += '\r';
          break;
        default:  // kLineEndBlank
          if (!lineFeedFollows) converted += ' ';
          break;
      }
    } else if (c == '\n') {
      const bool afterReturn = i > 0 && ioText[i - 1] == '\r';
      switch (inFormat) {
        case kLineEndLF:
          converted += '\n';
          break;
        case kLineEndCRLF:
          converted += afterReturn ? "\n" : "\r\n";
          break;
        case kLineEndCR:
          if (!afterReturn) converted += '\r';
          break;
        default:  // kLineEndBlank
          converted += ' ';
          break;
      }
    } else {
      converted += c;
    }
  }
  ioText.swap(converted);
  return ioText;
}

}  // namespace orvo
