// The process-wide state of the record type table (kxresrectype.h): the option of the added
// types, and the "TYPEnnn" names handed out for types known by number only, made on first use
// under their lock and kept, so their texts stay valid. The table itself is constant.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct kxResRecTypeRegistry {
  std::atomic<bool> itsExtendedTypes{false};
  std::mutex itsGenericNamesLock;
  std::map<int32_t, std::string> itsGenericNames;
};
