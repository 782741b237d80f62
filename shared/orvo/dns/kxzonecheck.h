// Checks of a zone as a whole: what no single record shows, but a name server refuses or
// serves wrongly.
//
// The master-file reader and the record data check look at one record at a time. A zone
// read into a record collection can still have no SOA record or two, no NS record at its
// apex, a CNAME beside other data, a delegation to in-zone name servers that have no
// address (missing glue), or data that no query reaches because it lies below a DNAME or a
// delegation. These are errors. Warnings are what a name server loads but is most likely a
// mistake: an MX, NS or SRV target that is a CNAME, data outside the zone, an RRset whose
// records have different TTLs (a name server gives them all the first one's), and a record
// written twice.
//
// The checks follow BIND's named-checkzone and Knot's kzonecheck where they agree (the
// README's kxzone section says where they differ and which way was taken). They read the
// collection in place: records of one type through the collection's type order, records of
// one owner name through its name index, so no copy of the zone is made; the memory they use
// beyond the index grows with the number of delegations and DNAMEs, not with the zone.
//
// Only live records count: comment lines, disabled records and kept directives are not data.
// A zone without a domain name (no origin was given and it has no SOA record) is reported as
// having no SOA record and checked no further: without an apex nothing else can be decided.
#pragma once

#include <functional>
#include <string>

class kxRecordCollection;
class kxResourceRecord;

enum class kxZoneSeverity { kError, kWarning };

struct kxZoneFinding {
  kxZoneSeverity itsSeverity = kxZoneSeverity::kError;
  // The record at fault, whose source line locates the finding; null when no record holds
  // the fault (a zone without SOA record).
  const kxResourceRecord* itsRecord = nullptr;
  // The record it conflicts with or repeats (the first of a duplicate, the CNAME beside other
  // data, the delegation above occluded data), or null.
  const kxResourceRecord* itsRelated = nullptr;
  std::string itsText;
};

using kxZoneFindingHandler = std::function<void(const kxZoneFinding& inFinding)>;

namespace orvo {

// Runs every check on ioZone and hands each finding to inHandler as it is found, in no set
// order. The collection is not changed, but its name index is built (hence not const).
void kxCheckZone(kxRecordCollection& ioZone, const kxZoneFindingHandler& inHandler);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds it;
// ORVO_NO_GLOBAL_NAMES leaves it out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxCheckZone;
#endif
