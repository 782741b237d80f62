// The process-wide registry from record type to table row. Created empty with the other
// process-wide objects and filled once, on the first lookup by type; the once-flag makes
// that first fill safe when several threads race to it. It also holds the option of the
// added types (kxextendedtypes.h) and the "TYPEnnn" names handed out for types known by
// number only, made on first use under their lock and kept, so their texts stay valid.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "orvo/datastruct/kxresrectype.h"

struct kxResRecTypeRegistry {
  std::map<kxResRecType, const kxResourceRecordTypeInfo*> itsTypes;
  std::once_flag itsFilled;
  std::atomic<bool> itsExtendedTypes{false};
  std::mutex itsGenericNamesLock;
  std::map<int32_t, std::string> itsGenericNames;
};
