// Without the library's global names, the program's own quote() is declared beside the
// library's headers, and the library's functions and macros are reached through orvo::.
#define ORVO_NO_GLOBAL_NAMES
#include <string>

#include <orvo/debug/kxassert.h>
#include <orvo/debug/kxtrace.h>
#include <orvo/util/kxtexthelpers.h>

std::string quote(const std::string& inText);

std::string withoutGlobalNames(const std::string& inText) {
  kxAssert(!inText.empty());
  KX_TRACE(2, "%s", inText.c_str());
  return quote(inText) + orvo::quote(inText) + orvo::toLowerText(inText);
}
