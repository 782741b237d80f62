// The process-wide registry from record type to table row. Created empty with the other
// process-wide objects and filled once, on the first lookup by type; the once-flag makes
// that first fill safe when several threads race to it.
#pragma once

#include <map>
#include <mutex>

#include "orvo/datastruct/kxresrectype.h"

struct kxResRecTypeRegistry {
  std::map<kxResRecType, const kxResourceRecordTypeInfo*> itsTypes;
  std::once_flag itsFilled;
};
