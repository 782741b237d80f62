// kxErrorMessage: a kxMessage that carries a kxErr code.
//
// A cleared error message holds kxErr_noError and the registry reference kNoErrorRef (290);
// it counts as empty in that state only.
#pragma once

#include <cstdint>
#include <string>

#include "orvo/messages/kxerr.h"
#include "orvo/messages/kxmessage.h"

class kxErrorMessage : public kxMessage {
 public:
  static constexpr uint32_t kNoErrorRef = 290;

  // kxErr_noError with an empty literal text.
  kxErrorMessage();
  kxErrorMessage(kxErr inError, const char* inText);
  kxErrorMessage(kxErr inError, const std::string& inText);
  // The code, a literal text and one to three (code, value) pairs.
  template <typename... Params>
    requires(sizeof...(Params) >= 2 && sizeof...(Params) <= 6 && sizeof...(Params) % 2 == 0)
  kxErrorMessage(kxErr inError, const char* inText, const Params&... inParams)
      : kxMessage(inText, inParams...), itsError(inError) {}
  template <typename... Params>
    requires(sizeof...(Params) >= 2 && sizeof...(Params) <= 6 && sizeof...(Params) % 2 == 0)
  kxErrorMessage(kxErr inError, const std::string& inText, const Params&... inParams)
      : kxMessage(inText, inParams...), itsError(inError) {}
  kxErrorMessage(const kxErrorMessage& inOther) = default;
  kxErrorMessage(kxErrorMessage&& inOther) noexcept = default;
  kxErrorMessage& operator=(const kxErrorMessage& inOther) = default;
  kxErrorMessage& operator=(kxErrorMessage&& inOther) noexcept = default;
  ~kxErrorMessage() override;

  // kxMessage::clear(), then kxErr_noError and reference kNoErrorRef.
  void clear() override;
  // True for kxErr_noError with reference kNoErrorRef, otherwise kxMessage::isEmpty().
  bool isEmpty() const override;

  kxErr getErrorValue() const { return itsError; }
  void setErrorValue(kxErr inError) { itsError = inError; }

 private:
  kxErr itsError;
};
