// Console questions and prompts.
//
// kxAsk writes "Warning: <text>" and the kind's choices to standard output and reads
// answers from standard input until one starts with an accepted letter (case does not
// matter):
//   kind 0  " "                   any answer          -> 1
//   kind 1  " [Ok/Cancel] "       O -> 1, C -> 2
//   kind 2  " [Yes/No] "          Y -> 5, N -> 6
//   kind 3  " [Yes/No/Cancel] "   Y -> 3, N -> 4, C -> 2
// Keys typed at a terminal before the question are dropped first. When the input ends
// before an accepted answer, the question counts as declined: Cancel (2) for kinds 1 and 3,
// No (6) for kind 2.
//
// kxPrompt reads one answer line, or with inHidden the answer key by key without echo.
// An answer line keeps at most 255 characters; the rest of the line is dropped with it.
#pragma once

#include <string>

#include "orvo/messages/kxmessage.h"

inline constexpr int kxAskOk = 1;
inline constexpr int kxAskCancel = 2;
inline constexpr int kxAskYes = 3;        // kind 3
inline constexpr int kxAskNo = 4;         // kind 3
inline constexpr int kxAskYesOfTwo = 5;   // kind 2
inline constexpr int kxAskNoOfTwo = 6;    // kind 2

namespace orvo {

// Kinds outside 0..3 are reported by an assertion and asked as kind 0.
int kxAsk(int inKind, const std::string& inText);
// kxAsk with the message's text, parameters filled in.
int kxAskMessage(int inKind, const kxMessage& inMessage);
// kxAsk kind 0 with the message's text (answer 1), or 0 without any output when that text
// is empty.
int kxWarn(const kxMessage& inMessage);

// Writes inPrompt and reads the answer into outAnswer. Hidden: Enter, Ctrl-C and Ctrl-D end
// the answer and keep what was typed, Backspace takes back the last character, cursor and
// function keys are ignored; a line end is written afterwards, as the typed one was not
// echoed.
void kxPrompt(const std::string& inPrompt, std::string& outAnswer, bool inHidden);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxAsk;
using orvo::kxAskMessage;
using orvo::kxWarn;
using orvo::kxPrompt;
#endif
