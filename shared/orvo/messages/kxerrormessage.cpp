#include "orvo/messages/kxerrormessage.h"

kxErrorMessage::kxErrorMessage() : itsError(kxErr_noError) {}

kxErrorMessage::kxErrorMessage(kxErr inError, const char* inText) : kxMessage(inText), itsError(inError) {}

kxErrorMessage::kxErrorMessage(kxErr inError, const std::string& inText) : kxMessage(inText), itsError(inError) {}

kxErrorMessage::~kxErrorMessage() = default;

void kxErrorMessage::clear() {
  kxMessage::clear();
  itsError = kxErr_noError;
  itsRef = kNoErrorRef;
}

bool kxErrorMessage::isEmpty() const {
  if (itsError == kxErr_noError && itsRef == kNoErrorRef) return true;
  return kxMessage::isEmpty();
}
