// kxStringServer: the message text registry, reference number -> text.
//
// A kxMessage can carry a reference number instead of its text; the process-wide registry
// (kxStringServer::instance()) turns the number back into the text. Modules register
// their static tables, usually during start-up, but a registration may come while other
// threads look texts up: a reader-writer lock guards the map. The registry keeps pointers,
// not copies: registered texts must live as long as the process. Reference 0 stands for "no text" and 0xFFFF marks a message's own literal
// text, so neither is ever registered.
#pragma once

#include <cstdint>
#include <map>
#include <shared_mutex>

// One entry of a registration table; a table ends with an entry whose itsRef is 0.
struct kxStringTableEntry {
  uint32_t itsRef;
  const char* itsText;
};

class kxStringServer {
 public:
  kxStringServer() = default;
  kxStringServer(const kxStringServer&) = delete;
  kxStringServer& operator=(const kxStringServer&) = delete;

  // The process-wide registry.
  static kxStringServer& instance();

  // The text for inRef; "" for 0. A number that is not registered is reported as an
  // assertion failure and gives "".
  const char* getString(uint32_t inRef) const;

  // Registers one text. A number already present is reported and then overwritten.
  void addString(uint32_t inRef, const char* inText);

  // Registers a table up to its terminating 0 entry, in table order; numbers already
  // present are reported and overwritten. Returns the last number registered, 0 for an
  // empty table.
  uint32_t addStrings(const kxStringTableEntry* inTable);

 private:
  mutable std::shared_mutex itsLock;
  std::map<uint32_t, const char*> itsStrMap;  // guarded by itsLock
};
