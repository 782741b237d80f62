#include "orvo/messages/kxstringserver.h"

#include "orvo/debug/kxassert.h"
#include "orvo/internal/kxglobals.h"

kxStringServer& kxStringServer::instance() { return orvo::globals::gStringServer; }

// Assertions are reported after the lock is let go: the report goes through the log,
// whose sinks may look texts up.

const char* kxStringServer::getString(uint32_t inRef) const {
  if (inRef == 0) return "";
  const char* text = nullptr;
  bool found;
  {
    std::shared_lock<std::shared_mutex> hold(itsLock);
    const auto entry = itsStrMap.find(inRef);
    found = entry != itsStrMap.end();
    if (found) text = entry->second;
  }
  kxAssertAs(found, "itsStrMap.find(inRef) != itsStrMap.end()");
  return text != nullptr ? text : "";
}

void kxStringServer::addString(uint32_t inRef, const char* inText) {
  bool present;
  {
    std::unique_lock<std::shared_mutex> hold(itsLock);
    present = !itsStrMap.insert_or_assign(inRef, inText).second;
  }
  kxAssertAs(!present, "itsStrMap.find(inRef) == itsStrMap.end()");
}

uint32_t kxStringServer::addStrings(const kxStringTableEntry* inTable) {
  uint32_t last = 0;
  for (const kxStringTableEntry* entry = inTable; entry != nullptr && entry->itsRef != 0; ++entry) {
    bool present;
    {
      std::unique_lock<std::shared_mutex> hold(itsLock);
      present = !itsStrMap.insert_or_assign(entry->itsRef, entry->itsText).second;
    }
    kxAssertAs(!present, "iter == itsStrMap.end()");
    last = entry->itsRef;
  }
  return last;
}
