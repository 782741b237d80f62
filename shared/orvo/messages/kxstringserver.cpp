#include "orvo/messages/kxstringserver.h"

#include "orvo/debug/kxassert.h"
#include "orvo/internal/kxglobals.h"

kxStringServer& kxStringServer::instance() { return orvo::globals::gStringServer; }

const char* kxStringServer::getString(uint32_t inRef) const {
  if (inRef == 0) return "";
  kxAssert(itsStrMap.find(inRef) != itsStrMap.end());
  const auto found = itsStrMap.find(inRef);
  return found != itsStrMap.end() && found->second != nullptr ? found->second : "";
}

void kxStringServer::addString(uint32_t inRef, const char* inText) {
  kxAssert(itsStrMap.find(inRef) == itsStrMap.end());
  itsStrMap[inRef] = inText;
}

uint32_t kxStringServer::addStrings(const kxStringTableEntry* inTable) {
  uint32_t last = 0;
  for (const kxStringTableEntry* entry = inTable; entry != nullptr && entry->itsRef != 0; ++entry) {
    const auto iter = itsStrMap.find(entry->itsRef);
    kxAssert(iter == itsStrMap.end());
    itsStrMap[entry->itsRef] = entry->itsText;
    last = entry->itsRef;
  }
  return last;
}
