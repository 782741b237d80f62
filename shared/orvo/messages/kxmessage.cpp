#include "orvo/messages/kxmessage.h"

#include <iterator>

#include "orvo/debug/kxassert.h"
#include "orvo/messages/kxstringserver.h"
#include "orvo/util/kxstringparser.h"
#include "orvo/util/kxstringutils.h"

namespace {
const std::string kNoValue;
}  // namespace

kxMessage::kxMessage() : itsRef(kLiteralRef) {}

kxMessage::kxMessage(const char* inText) : itsRef(kLiteralRef), itsText(inText != nullptr ? inText : "") {}

kxMessage::kxMessage(const std::string& inText) : itsRef(kLiteralRef), itsText(inText) {}

kxMessage::~kxMessage() = default;

void kxMessage::clear() {
  itsRef = 0;
  itsText.clear();
  itsParams.clear();
}

bool kxMessage::isEmpty() const {
  if (itsRef == 0) return true;
  if (itsRef != kLiteralRef) return false;
  return itsText.empty();
}

void kxMessage::setText(const char* inText) {
  itsRef = kLiteralRef;
  itsText = inText != nullptr ? inText : "";
}

void kxMessage::setText(const std::string& inText) {
  itsRef = kLiteralRef;
  itsText = inText;
}

void kxMessage::addParam(char inParamCode, const char* inValue) {
  itsParams.emplace(inParamCode, inValue != nullptr ? inValue : "");
}

void kxMessage::addParam(char inParamCode, const std::string& inValue) {
  itsParams.emplace(inParamCode, inValue);
}

void kxMessage::addParam(char inParamCode, uint32_t inValue) {
  if (!hasParam(inParamCode)) itsParams.emplace(inParamCode, unsignedToText(inValue));
}

void kxMessage::addParam(char inParamCode, int32_t inValue) {
  if (!hasParam(inParamCode)) itsParams.emplace(inParamCode, intToText(inValue));
}

bool kxMessage::hasParam(char inParamCode) const { return itsParams.count(inParamCode) != 0; }

const std::string& kxMessage::getParam(char inParamCode) const {
  kxAssert(hasParam(inParamCode));
  const auto found = itsParams.find(inParamCode);
  return found != itsParams.end() ? found->second : kNoValue;
}

uint32_t kxMessage::getParamUnsigned(char inParamCode) const {
  unsigned value = 0;
  if (!parseUnsigned(getParam(inParamCode), value)) {
    kxAssert(false);
    return 0;
  }
  return value;
}

int32_t kxMessage::getParamInt(char inParamCode) const {
  int value = 0;
  if (!parseInt(getParam(inParamCode), value)) {
    kxAssert(false);
    return 0;
  }
  return value;
}

bool kxMessage::getParamAt(uint32_t inIndex, char& outParamCode, std::string& outValue) const {
  if (inIndex >= itsParams.size()) return false;
  const auto entry = std::next(itsParams.begin(), static_cast<std::ptrdiff_t>(inIndex));
  outParamCode = entry->first;
  outValue = entry->second;
  return true;
}

std::string kxMessage::getParamList(char inSeparator) const {
  std::string list;
  for (const auto& [code, value] : itsParams) {
    if (!list.empty()) list += inSeparator;
    list += code;
    list += '=';
    list += value;
  }
  return list;
}

std::string kxMessage::getText() const {
  std::string text = itsRef == kLiteralRef ? itsText : std::string(kxStringServer::instance().getString(itsRef));
  if (text.empty()) return text;
  for (const auto& [code, value] : itsParams) replaceParam(text, code, value);
  return text;
}

bool kxMessage::operator<(const kxMessage& inOther) const {
  if (itsRef != inOther.itsRef) return itsRef < inOther.itsRef;
  if (itsRef == kLiteralRef && itsText != inOther.itsText) return itsText < inOther.itsText;
  return itsParams < inOther.itsParams;
}

bool kxMessage::operator==(const kxMessage& inOther) const {
  return itsRef == inOther.itsRef && (itsRef != kLiteralRef || itsText == inOther.itsText) &&
         itsParams == inOther.itsParams;
}

namespace orvo {

void kxInfoLogMessage(kxInfoLogLevel inLevel, const kxMessage& inMessage) {
  kxInfoLogWrite(inLevel, inMessage.getText().c_str());
}

}  // namespace orvo
