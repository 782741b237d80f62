// kxException: carries a kxErrorMessage across call levels. Thrown by value; copying
// copies the message.
//
// what() gives the message's literal text as stored: no parameters filled in and no
// registry lookup. A catcher that wants the final text asks errorMessage.getText().
#pragma once

#include <exception>
#include <string>

#include "orvo/messages/kxerr.h"
#include "orvo/messages/kxerrormessage.h"

class kxException : public std::exception {
 public:
  // The code with an empty literal text and no parameters.
  explicit kxException(kxErr inError);
  kxException(kxErr inError, const char* inText);
  kxException(kxErr inError, const std::string& inText);
  explicit kxException(const kxErrorMessage& inMessage);
  kxException(const kxException& inOther) = default;
  kxException& operator=(const kxException& inOther) = default;
  ~kxException() override;

  const char* what() const noexcept override;
  kxErr getErrorValue() const { return errorMessage.getErrorValue(); }

  kxErrorMessage errorMessage;
};
