#include "orvo/messages/kxexception.h"

kxException::kxException(kxErr inError) : errorMessage(inError, "") {}

kxException::kxException(kxErr inError, const char* inText) : errorMessage(inError, inText) {}

kxException::kxException(kxErr inError, const std::string& inText) : errorMessage(inError, inText) {}

kxException::kxException(const kxErrorMessage& inMessage) : errorMessage(inMessage) {}

kxException::~kxException() = default;

const char* kxException::what() const noexcept { return errorMessage.getLiteralText().c_str(); }
