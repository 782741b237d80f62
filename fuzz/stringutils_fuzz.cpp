// Replacement in a block of fixed capacity, line-end conversion and message texts.
//
// The block lives in a heap buffer of exactly capacity + 1 bytes, so AddressSanitizer sees
// any byte written or read outside it. Line-end conversion must keep the number of line
// ends and leave only the format's own line end. Filling in parameters must end, and
// leave no placeholder of a present code when no value can take part in a new one: a value
// that holds a "$", is empty or begins with a code can join its neighbours into one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "orvo/messages/kxmessage.h"
#include "orvo/util/kxstringutils.h"

namespace {

// CR LF counts as one line end, a lone CR or LF as one each.
size_t countLineEnds(const std::string& inText) {
  size_t count = 0;
  for (size_t i = 0; i < inText.size(); ++i) {
    if (inText[i] == '\r' && i + 1 < inText.size() && inText[i + 1] == '\n') ++i;
    if (inText[i] == '\r' || inText[i] == '\n') ++count;
  }
  return count;
}

bool onlyFormatLineEnds(const std::string& inText, int32_t inFormat) {
  for (size_t i = 0; i < inText.size(); ++i) {
    const char c = inText[i];
    const bool crlf = c == '\r' && i + 1 < inText.size() && inText[i + 1] == '\n';
    switch (inFormat) {
      case kLineEndLF:
        if (c == '\r') return false;
        break;
      case kLineEndCRLF:
        if (c == '\r' && !crlf) return false;
        if (c == '\n') return false;  // every LF is stepped over as part of its pair
        if (crlf) ++i;
        break;
      case kLineEndCR:
        if (c == '\n') return false;
        break;
      default:
        if (c == '\r' || c == '\n') return false;
    }
  }
  return true;
}

void checkBlock(const uint8_t* inData, size_t inSize) {
  if (inSize < 4) return;
  const uint32_t capacity = inData[0];
  const size_t findLength = inData[1] % 8;
  const size_t replaceLength = inData[2] % 16;
  const bool all = (inData[3] & 1) != 0;
  inData += 4;
  inSize -= 4;
  if (inSize < findLength + replaceLength) return;
  const std::string find(reinterpret_cast<const char*>(inData), findLength);
  const std::string replace(reinterpret_cast<const char*>(inData) + findLength, replaceLength);
  const size_t rest = inSize - findLength - replaceLength;
  const uint32_t size = static_cast<uint32_t>(rest < capacity ? rest : capacity);
  std::vector<char> block(capacity + 1);
  std::memcpy(block.data(), inData + findLength + replaceLength, size);
  const uint32_t result = replaceInBlock(block.data(), size, capacity, find.data(), static_cast<uint32_t>(findLength),
                                         replace.data(), static_cast<uint32_t>(replaceLength), all);
  if (result > capacity) std::abort();
}

void checkLineEnds(const uint8_t* inData, size_t inSize) {
  if (inSize == 0) return;
  const int32_t format = 1 + inData[0] % 4;
  const bool ensure = (inData[0] & 0x10) != 0;
  std::string text(reinterpret_cast<const char*>(inData) + 1, inSize - 1);
  const size_t before = countLineEnds(text);
  const bool needsEnd = ensure && (text.empty() || (text.back() != '\r' && text.back() != '\n'));
  convertLineEnds(text, format, ensure);
  if (format == kLineEndBlank) {
    if (!onlyFormatLineEnds(text, format)) std::abort();
    return;
  }
  if (countLineEnds(text) != before + (needsEnd ? 1 : 0) || !onlyFormatLineEnds(text, format)) std::abort();
}

void checkMessage(const uint8_t* inData, size_t inSize) {
  // The text runs to the first NUL; each following (code, value up to the next NUL) pair
  // is a parameter.
  const char* p = reinterpret_cast<const char*>(inData);
  const char* end = p + inSize;
  const char* textEnd = static_cast<const char*>(std::memchr(p, '\0', inSize));
  if (textEnd == nullptr) return;
  kxMessage message(std::string(p, textEnd));
  std::vector<std::string> values;
  for (p = textEnd + 1; p < end;) {
    const char code = *p++;
    const char* valueEnd = static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(end - p)));
    if (valueEnd == nullptr) valueEnd = end;
    const std::string value(p, valueEnd);
    message.addParam(code, value);
    values.push_back(value);
    p = valueEnd + 1;
  }
  const std::string text = message.getText();
  for (const std::string& value : values)
    if (value.empty() || value.find('$') != std::string::npos || message.hasParam(value.front())) return;
  for (uint32_t i = 0; i < message.getParamCount(); ++i) {
    char code = 0;
    std::string value;
    message.getParamAt(i, code, value);
    const char placeholder[2] = {'$', code};
    if (text.find(placeholder, 0, 2) != std::string::npos) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  if (inSize == 0) return 0;
  switch (inData[0] % 3) {
    case 0:
      checkBlock(inData + 1, inSize - 1);
      break;
    case 1:
      checkLineEnds(inData + 1, inSize - 1);
      break;
    default:
      checkMessage(inData + 1, inSize - 1);
      break;
  }
  return 0;
}
