// The added record types and the generic form of RFC 3597 are rows and lookups of the record
// type table, which the data model owns: see orvo/datastruct/kxresrectype.h. This header is
// kept for the code that includes it by this name.
#pragma once

#include "orvo/datastruct/kxresrectype.h"
