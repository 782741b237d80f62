// The program's own quote() and toLowerText(), as many programs have: they must not meet the
// library's at link time.
#include <string>

std::string quote(const std::string& inText) { return "<" + inText + ">"; }
std::string toLowerText(const std::string& inText) { return "lower:" + inText; }

std::string ownQuote(const std::string& inText) { return quote(inText); }
std::string ownLower(const std::string& inText) { return toLowerText(inText); }
