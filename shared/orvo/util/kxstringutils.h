// Search-and-replace and line-end conversion over byte blocks, C strings, length-prefixed
// strings and std::string.
//
// A byte block is blockPtr with blockSize bytes in use and room for maxBlockSize bytes plus
// one more for a terminator. Replacements never write past maxBlockSize: what does not fit
// is cut. The byte at index blockSize moves with the text, so a terminator directly behind
// the text stays behind it. Bytes compare exactly.
//
// Searches for the next occurrence continue behind an inserted replacement, so a
// replacement that contains what is searched for is not replaced again and replace-all
// always ends.
#pragma once

#include <cstdint>
#include <string>

namespace orvo {

// Position of the first occurrence of inFind at or after inStart, or -1. An empty inFind
// is never found.
int32_t searchBlock(const char* inBlock, uint32_t inSize, const char* inFind, uint32_t inFindLength,
                    uint32_t inStart);

// Replaces the first (or every) occurrence of findPtr in the block by replacePtr and returns
// the block's new size. Requires blockSize <= maxBlockSize and non-null pointers; a call
// that breaks either is reported as an assertion failure and leaves the block untouched.
uint32_t replaceInBlock(char* blockPtr, uint32_t blockSize, uint32_t maxBlockSize, const char* findPtr,
                        uint32_t inFindLength, const char* replacePtr, uint32_t inReplaceLength,
                        bool inReplaceAll);

// replaceInBlock over a NUL-terminated text in a buffer of inBufferSize bytes; the result
// is NUL-terminated again. Returns ioBuffer.
char* replaceInCString(char* ioBuffer, const char* inFind, const char* inReplace, bool inReplaceAll,
                       uint32_t inBufferSize);

// replaceInBlock over a length-prefixed string (byte 0 is the length) with room for
// maxStringSize characters, which must be below 256. Returns ioString.
unsigned char* replaceInPString(unsigned char* ioString, const char* inFind, const char* inReplace,
                                bool inReplaceAll, uint32_t maxStringSize);

// A copy of inSource with the first (or every) occurrence of inFind replaced. An empty
// inFind matches nothing.
std::string replaceInString(const std::string& inSource, const std::string& inFind, const std::string& inReplace,
                            bool inReplaceAll);

// Replaces every "$" inParamCode in ioText by inValue; an inserted value is not scanned
// again. Returns ioText.
std::string& replaceParam(std::string& ioText, char inParamCode, const std::string& inValue);
std::string replaceParamCopy(const std::string& inText, char inParamCode, const std::string& inValue);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::searchBlock;
using orvo::replaceInBlock;
using orvo::replaceInCString;
using orvo::replaceInPString;
using orvo::replaceInString;
using orvo::replaceParam;
using orvo::replaceParamCopy;
#endif

// Line-end formats of convertLineEnds.
inline constexpr int32_t kLineEndDefault = 0;  // same as kLineEndCRLF
inline constexpr int32_t kLineEndLF = 1;
inline constexpr int32_t kLineEndCRLF = 2;
inline constexpr int32_t kLineEndCR = 3;
inline constexpr int32_t kLineEndBlank = 4;  // every line end becomes one blank

namespace orvo {

// Converts every line end (CR LF, lone CR, lone LF) of ioText to inFormat. With
// inEnsureFinalLineEnd an empty text, or one whose last character is no line end, gets one.
// A format outside 0..4 is reported and the line ends stay as they are. Returns ioText.
std::string& convertLineEnds(std::string& ioText, int32_t inFormat, bool inEnsureFinalLineEnd);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::convertLineEnds;
#endif
