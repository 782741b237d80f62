// kxMessage: a message text with one-character "$" parameters.
//
// The text is either the message's own literal text (reference kLiteralRef) or a reference
// number into the message text registry (kxstringserver.h); 0 means no text. Parameters
// map a code character to a value text, at most one value per code, kept in ascending code
// order. getText() fills the parameters in: for each code in ascending order every "$code"
// is replaced by the value, and the scan goes on behind the inserted value, so a value is
// never expanded by its own code (a value inserted for a lower code can still be expanded
// by a higher code). "$" followed by a code without a parameter stays as it is.
//
// Codes in use: 'e' expected text, exception text or detail; 'f' file name; 'l' line
// number; 't' token text.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "orvo/debug/kxinfolog.h"

class kxMessage {
 public:
  static constexpr uint32_t kLiteralRef = 0xFFFF;

  // Literal, empty, without parameters.
  kxMessage();
  // A literal text (null counts as empty), optionally followed by one to six
  // (code, value) pairs added in the order given; a value is a text or a 32-bit number.
  kxMessage(const char* inText);
  kxMessage(const std::string& inText);
  template <typename... Params>
    requires(sizeof...(Params) >= 2 && sizeof...(Params) <= 12 && sizeof...(Params) % 2 == 0)
  kxMessage(const char* inText, const Params&... inParams) : kxMessage(inText) {
    addParams(inParams...);
  }
  template <typename... Params>
    requires(sizeof...(Params) >= 2 && sizeof...(Params) <= 12 && sizeof...(Params) % 2 == 0)
  kxMessage(const std::string& inText, const Params&... inParams) : kxMessage(inText) {
    addParams(inParams...);
  }
  kxMessage(const kxMessage& inOther) = default;
  kxMessage(kxMessage&& inOther) noexcept = default;
  kxMessage& operator=(const kxMessage& inOther) = default;
  kxMessage& operator=(kxMessage&& inOther) noexcept = default;
  virtual ~kxMessage();

  // Reference 0: no text, no parameters.
  virtual void clear();
  // True for reference 0, false for a registry reference, and for a literal message true
  // exactly when the literal text is empty.
  virtual bool isEmpty() const;

  // Makes the message literal with this text (null counts as empty); parameters stay.
  void setText(const char* inText);
  void setText(const std::string& inText);
  // Makes the message refer to registry text inRef; parameters stay.
  void setRef(uint32_t inRef) { itsRef = inRef; }
  uint32_t getRef() const { return itsRef; }
  // The literal text as stored, without parameters filled in.
  const std::string& getLiteralText() const { return itsText; }

  // Adds a parameter; numbers are stored as decimal text. A code that is already present
  // keeps its value and the new one is dropped.
  void addParam(char inParamCode, const char* inValue);
  void addParam(char inParamCode, const std::string& inValue);
  void addParam(char inParamCode, uint32_t inValue);
  void addParam(char inParamCode, int32_t inValue);

  bool hasParam(char inParamCode) const;
  // The value of a present parameter. A missing code is reported as an assertion failure
  // and gives "".
  const std::string& getParam(char inParamCode) const;
  // The value read as a decimal number; a value that is not one is reported as an
  // assertion failure and gives 0.
  uint32_t getParamUnsigned(char inParamCode) const;
  int32_t getParamInt(char inParamCode) const;

  uint32_t getParamCount() const { return static_cast<uint32_t>(itsParams.size()); }
  // The parameter at inIndex in ascending code order; false when inIndex >= the count.
  bool getParamAt(uint32_t inIndex, char& outParamCode, std::string& outValue) const;
  // "code=value" for every parameter in ascending code order, joined by inSeparator.
  std::string getParamList(char inSeparator) const;

  // The text with the parameters filled in (see the top of this file).
  std::string getText() const;

  // Ordered by reference number, then (for literal messages) by text, then by parameters.
  bool operator<(const kxMessage& inOther) const;
  bool operator==(const kxMessage& inOther) const;

 protected:
  uint32_t itsRef;
  std::string itsText;
  std::map<char, std::string> itsParams;

 private:
  template <typename Value, typename... Rest>
  void addParams(char inParamCode, const Value& inValue, const Rest&... inRest) {
    addParam(inParamCode, inValue);
    if constexpr (sizeof...(Rest) > 0) addParams(inRest...);
  }
};

namespace orvo {

// Writes the message's final text to the information log at inLevel.
void kxInfoLogMessage(kxInfoLogLevel inLevel, const kxMessage& inMessage);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxInfoLogMessage;
#endif
