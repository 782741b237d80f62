// What a directory server hands the client as text: the answer to an LDAP ping, ranged
// attribute descriptions, diagnostic texts and distinguished names. Reading any of them must
// stay within the input, and what is read back must be part of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "orvo/platform/kxdirectory.h"

using namespace orvo::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  const std::string text(reinterpret_cast<const char*>(inData), inSize);
  const std::string netbios = netbiosNameOfPing(text, "adcheck.test");
  if (!netbios.empty() && (inSize < 24 || inData[0] != 23 || inData[1] != 0)) std::abort();
  AttributeRange range;
  if (parseAttributeRange(text, range) && (range.attribute.empty() || text.find(range.attribute) != 0 ||
                                           (!range.last && range.high < range.low)))
    std::abort();
  adDiagnosticCode(text);
  if (firstRelativeName(text).size() > inSize) std::abort();
  dnsDomainOfDN(text);
  DirectoryPath path;
  if (parseDirectoryPath(text, path) && path.dn.empty()) std::abort();
  return 0;
}
