// kxDNSStateMachine: recognises a domain name, dot-separated labels of letters, digits and
// inner hyphens with an optional trailing dot and whole-label wildcards "*"; plus small
// helpers on domain-name text (validity, label counting and extraction, shared trailing
// labels, dotted text <-> length-prefixed wire form).
//
// The recogniser checks characters and their order only: no label or name length limits.
// Options: allowUnderscore ("_" inside labels, like "-" and "/"), relaxedLabels ("-", "/"
// and "_" anywhere, like letters), mayStartWithUnderscore (a label may begin with "-",
// "/" or "_"; needs allowUnderscore). Every option combination has its own constant tables,
// so machines with different options may coexist and be used from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "orvo/util/kxstatemachine.h"

class kxDNSStateMachine : public kxStateMachine {
 public:
  kxDNSStateMachine(bool allowUnderscore, bool relaxedLabels, bool mayStartWithUnderscore);
  ~kxDNSStateMachine() override;

  // Selects the tables of the option combination; answers mayStartWithUnderscore.
  virtual bool initTables(bool allowUnderscore, bool relaxedLabels, bool mayStartWithUnderscore);

  // processString without the per-character dispatch: same result, same character count.
  bool recognise(const char* inText, uint32_t inLength);
};

namespace orvo {

// "." alone with inAllowRoot; otherwise the recogniser with underscores allowed.
bool isValidDomainName(const char* inText, bool inAllowRoot);
bool isValidDomainName(const std::string& inText, bool inAllowRoot);

// Not empty, and every byte from 33 to 127.
bool isPrintableWord(const char* inText);
bool isPrintableWord(const std::string& inText);

// 0 for "", 1 for ".", else 1 + the separators (an absolute name counts its root).
int countLabels(const char* inText, char inSeparator = '.');

// Label inIndex (from 0) copied into outLabel, "" when there are fewer labels. outLabel
// must hold the label and its NUL.
char* getLabel(const char* inText, int inIndex, char* outLabel, char inSeparator = '.');

// The last inCount labels: "" for 0, the last character for 1 (the root's dot of an
// absolute name), else the text after the inCount-th dot from the end, or all of it.
char* getLastLabels(const char* inText, int inCount, char* outText);
std::string& getLastLabels(const std::string& inText, int inCount, std::string& outText);

// How many labels the two names share at their end, ASCII letter case ignored.
int countCommonLabels(const char* inName1, const char* inName2);

// Length-prefixed labels ending with the zero byte become "host.zone.test." in place. The
// root alone becomes the empty text.
char* wireToDottedName(char* ioBuffer);
// "host.zone.test." becomes length-prefixed labels in place ("." becomes one zero byte).
// A text without its trailing dot is left unchanged (it has no room for the wire form).
char* dottedToWireName(char* ioBuffer);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::isValidDomainName;
using orvo::isPrintableWord;
using orvo::countLabels;
using orvo::getLabel;
using orvo::getLastLabels;
using orvo::countCommonLabels;
using orvo::wireToDottedName;
using orvo::dottedToWireName;
#endif
