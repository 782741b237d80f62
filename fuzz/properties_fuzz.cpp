// Property documents: reading any text must not crash, and whatever was read must be written
// and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <sstream>
#include <string>

#include "orvo/util/kxproperties.h"

namespace {

bool sameEntries(const kxProperties& inA, const kxProperties& inB) {
  if (inA.getName() != inB.getName() || inA.getCount() != inB.getCount()) return false;
  std::string keyA, valueA, keyB, valueB;
  for (uint32_t i = 0; inA.getAt(i, keyA, valueA); ++i)
    if (!inB.getAt(i, keyB, valueB) || keyA != keyB || valueA != valueB) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(inData), inSize));
  std::list<kxProperties> sets;
  kxProperties::readDocument(in, sets);

  std::ostringstream out;
  kxProperties::writeDocument(out, sets, (inSize & 1) != 0);
  std::istringstream again(out.str());
  std::list<kxProperties> reread;
  if (!kxProperties::readDocument(again, reread) || reread.size() != sets.size()) std::abort();
  for (auto a = sets.begin(), b = reread.begin(); a != sets.end(); ++a, ++b)
    if (!sameEntries(*a, *b)) std::abort();
  return 0;
}
