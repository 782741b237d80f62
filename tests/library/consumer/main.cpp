// A program on the installed library that also has functions of its own named like the
// library's (own.cpp), and a file that takes the library's names from its namespace only
// (names.cpp).
#include <iostream>
#include <string>

#include <orvo/kxversion.h>
#include <orvo/util/kxipv6.h>
#include <orvo/util/kxtexthelpers.h>

std::string ownQuote(const std::string& inText);
std::string ownLower(const std::string& inText);
std::string withoutGlobalNames(const std::string& inText);

int main() {
  std::cout << quote("zone") << ' ' << toLowerText("WWW.Example.") << ' ' << kxIPv6("2001:DB8::1").toString()
            << '\n';
  std::cout << ownQuote("zone") << ' ' << ownLower("WWW") << '\n';
  std::cout << withoutGlobalNames("X") << '\n';
  std::cout << kOrvoVersion << '\n';
}
