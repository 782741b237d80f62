// The zone checks read stored records as the collection keeps them: owner names and name
// fields relative to the zone's domain name ("" for the apex), names outside it absolute.
// So a stored name is in the zone exactly when it is relative (in the root zone every name
// is), and its ancestors inside the zone are its suffixes after each label.
//
// Three walks do the work: one over every record (where the record lies: outside the zone,
// below a DNAME or a delegation; and the first record of each owner name starts that name's
// checks), one per type for the SOA, NS, DNAME, MX and SRV records, and the name index for
// what lies at one name (an ancestor, a target). What is remembered between walks is the
// facts of names with many records, so that no walk over one name's records is repeated
// without bound.
#include "orvo/dns/kxzonecheck.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/datastruct/kxfieldlayout.h"
#include "orvo/datastruct/kxresrectype.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

// Types are compared by their number on the wire: the collection holds the added types
// (NSEC3, KEY) under values of its own.
constexpr uint16_t kWireA = 1;
constexpr uint16_t kWireCNAME = 5;
constexpr uint16_t kWireKEY = 25;
constexpr uint16_t kWireAAAA = 28;
constexpr uint16_t kWireRRSIG = 46;
constexpr uint16_t kWireNSEC = 47;
constexpr uint16_t kWireNSEC3 = 50;

// The longest text of a domain name: 255 bytes on the wire, each written as \DDD at most. A
// longer name is no name (the record data check reports it); the checks pass it by, so that
// the walk over a hostile name's labels stays short.
constexpr size_t kMaxNameText = 4 * 255;

// A name with more records than this has its facts kept once they are read, so that the
// targets naming it do not each walk its records again.
constexpr uint32_t kSmallName = 64;

uint16_t wireType(const kxResourceRecord* inRec) { return kxResourceRecord::recordTypeToWireType(inRec->type()); }

bool isLive(const kxResourceRecord* inRec) {
  const kxResRecType type = inRec->type();
  return inRec->isEnabled() && type != kNoRecordType && !(type >= kControlTTL && type <= kControlGenerate);
}

bool isAddress(const kxResourceRecord* inRec) {
  const uint16_t type = wireType(inRec);
  return type == kWireA || type == kWireAAAA;
}

// DNSSEC records may stand beside a CNAME (RFC 4035, section 2.5: RRSIG, NSEC, and KEY for
// dynamic update); NSEC3 records stand at hashed names of their own.
bool mayStandBesideCNAME(uint16_t inWireType) {
  return inWireType == kWireCNAME || inWireType == kWireRRSIG || inWireType == kWireNSEC ||
         inWireType == kWireNSEC3 || inWireType == kWireKEY;
}

char foldChar(char inChar) { return inChar >= 'A' && inChar <= 'Z' ? static_cast<char>(inChar + ('a' - 'A')) : inChar; }

int compareText(std::string_view inText1, std::string_view inText2, bool inFold) {
  const size_t common = std::min(inText1.size(), inText2.size());
  for (size_t i = 0; i < common; ++i) {
    const auto c1 = static_cast<unsigned char>(inFold ? foldChar(inText1[i]) : inText1[i]);
    const auto c2 = static_cast<unsigned char>(inFold ? foldChar(inText2[i]) : inText2[i]);
    if (c1 != c2) return c1 < c2 ? -1 : 1;
  }
  return (inText1.size() > common) - (inText2.size() > common);
}

struct FoldedHash {
  size_t operator()(std::string_view inName) const {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : inName) {
      hash ^= static_cast<unsigned char>(foldChar(c));
      hash *= 0x100000001b3ull;
    }
    return static_cast<size_t>(hash);
  }
};

struct FoldedEqual {
  bool operator()(std::string_view inName1, std::string_view inName2) const {
    return compareText(inName1, inName2, true) == 0;
  }
};

// Field inIndex of record data; empty when the data has fewer fields.
std::string_view dataField(std::string_view inData, uint32_t inIndex) {
  size_t begin = 0;
  for (; inIndex != 0; --inIndex) {
    begin = inData.find(kDataSeperator, begin);
    if (begin == std::string_view::npos) return {};
    ++begin;
  }
  return inData.substr(begin, std::min(inData.find(kDataSeperator, begin), inData.size()) - begin);
}

// The name without its first label; "" (the apex) for a name of one label. A dot behind a
// backslash belongs to its label.
std::string_view parentOf(std::string_view inName) {
  for (size_t i = 0; i < inName.size(); ++i) {
    if (inName[i] == '\\')
      ++i;
    else if (inName[i] == '.')
      return inName.substr(i + 1);
  }
  return {};
}

// Whether a data field of this kind means the same in any letter case: names, hexadecimal
// and base32hex data, and mnemonics. Text, base64 and the rest are compared as written.
bool foldsCase(kxFieldKind inKind) {
  switch (inKind) {
    case kxFieldKind::kName:
    case kxFieldKind::kIPv6:
    case kxFieldKind::kDigest:
    case kxFieldKind::kAlgorithm:
    case kxFieldKind::kTypeName:
    case kxFieldKind::kTypeList:
    case kxFieldKind::kProtocol:
    case kxFieldKind::kHex:
    case kxFieldKind::kSalt:
    case kxFieldKind::kBase32Hex:
    case kxFieldKind::kTypeBitmap:
    case kxFieldKind::kCertType:
    case kxFieldKind::kEUI48:
    case kxFieldKind::kEUI64:
    case kxFieldKind::kLocator64:
      return true;
    default:
      return false;
  }
}

// The data of two records of one type, field by field, each field folded where its kind
// allows: 0 for data that is the same record data.
int compareData(kxResRecType inType, std::string_view inData1, std::string_view inData2) {
  const kxFieldLayout* layout = kxFieldLayoutOf(inType);
  size_t pos1 = 0;
  size_t pos2 = 0;
  for (uint32_t index = 0;; ++index) {
    const size_t end1 = std::min(inData1.find(kDataSeperator, pos1), inData1.size());
    const size_t end2 = std::min(inData2.find(kDataSeperator, pos2), inData2.size());
    const int result = compareText(inData1.substr(pos1, end1 - pos1), inData2.substr(pos2, end2 - pos2),
                                   layout != nullptr && foldsCase(layout->kindAt(index)));
    if (result != 0) return result;
    const bool more1 = end1 < inData1.size();
    const bool more2 = end2 < inData2.size();
    if (more1 != more2) return more1 ? 1 : -1;
    if (!more1) return 0;
    pos1 = end1 + 1;
    pos2 = end2 + 1;
  }
}

// A name for a message: bytes that are not printable ASCII as \DDD, as a master file writes
// them, so a hostile name cannot reach a terminal as control characters.
std::string printableName(std::string_view inName) {
  constexpr size_t kShown = 300;
  std::string text;
  for (const char c : inName.substr(0, kShown)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      text += '\\';
      text += static_cast<char>('0' + byte / 100);
      text += static_cast<char>('0' + byte / 10 % 10);
      text += static_cast<char>('0' + byte % 10);
    }
  }
  if (inName.size() > kShown) text += "...";
  return text;
}

std::string typeName(const kxResourceRecord* inRec) {
  const char* name = kxResourceRecord::getTypeName(inRec->type());
  if (name != nullptr && *name != '\0') return name;
  return "TYPE" + std::to_string(wireType(inRec));
}

class ZoneChecker {
 public:
  ZoneChecker(kxRecordCollection& ioZone, const kxZoneFindingHandler& inHandler)
      : itsZone(ioZone),
        itsHandler(inHandler),
        itsDomain(ioZone.getDomainName()),
        itsRootZone(itsDomain == "."),
        itsDefaultTTL(ioZone.getDefaultTTLRecord().getTTLSeconds()) {}

  void run() {
    if (itsDomain.empty()) {
      report(kxZoneSeverity::kError, nullptr, nullptr, "no SOA record, so the zone has no apex");
      return;
    }
    const kxResourceRecord* soa = checkSOA();
    checkApexNS(soa);
    findCuts();
    walkRecords();
    checkTargets(kTypeMX, 1);
    checkTargets(kTypeSRV, 3);
    checkTargets(kTypeNS, 0);
  }

 private:
  // What one name holds, as far as targets and the names below it ask.
  struct NameFacts {
    bool itsExists = false;
    bool itsHasAddress = false;
    const kxResourceRecord* itsCNAME = nullptr;
    // Its first NS record (below the apex: a delegation) and its DNAME record.
    const kxResourceRecord* itsNS = nullptr;
    const kxResourceRecord* itsDNAME = nullptr;
  };

  void report(kxZoneSeverity inSeverity, const kxResourceRecord* inRecord, const kxResourceRecord* inRelated,
              std::string inText) {
    itsHandler(kxZoneFinding{inSeverity, inRecord, inRelated, std::move(inText)});
  }

  bool inZone(const std::string& inName) const { return itsRootZone || !isAbsoluteName(inName); }

  std::string fullName(std::string_view inStored) const {
    return printableName(qualifyName(std::string(inStored), itsDomain));
  }

  // Reading order: the collection keeps the records in the order the parser delivered them.
  uint32_t position(const kxResourceRecord* inRec) const { return itsZone.getRecordIndex(inRec); }

  const kxResourceRecord* firstRead(std::span<const kxResourceRecord* const> inRecords) const {
    const kxResourceRecord* first = nullptr;
    uint32_t firstPosition = 0;
    for (const kxResourceRecord* rec : inRecords) {
      const uint32_t at = position(rec);
      if (first == nullptr || at < firstPosition) {
        first = rec;
        firstPosition = at;
      }
    }
    return first;
  }

  // The TTL a name server gives the record: its own, or the zone's default.
  int64_t ttlOf(const kxResourceRecord* inRec) const {
    const int32_t own = inRec->getTTLSeconds();
    return own >= 0 ? own : itsDefaultTTL;
  }

  // One SOA record, at the apex. The first at the apex is the zone's; others there are
  // errors unless they repeat it (a duplicate, warned about with the other duplicates).
  const kxResourceRecord* checkSOA() {
    const kxResourceRecord* first = nullptr;
    const kxResourceRecord* any = nullptr;
    for (uint32_t i = 0; const kxResourceRecord* rec = itsZone.getRecord(i, kTypeSOA); ++i) {
      if (!isLive(rec)) continue;
      if (any == nullptr) any = rec;
      if (!rec->getName().empty()) {
        report(kxZoneSeverity::kError, rec, nullptr,
               "SOA record not at the zone apex " + fullName("") + " (" + fullName(rec->getName()) + ")");
      } else if (first == nullptr) {
        first = rec;
      } else if (compareData(rec->type(), rec->getData(), first->getData()) != 0) {
        report(kxZoneSeverity::kError, rec, first, "more than one SOA record at the zone apex " + fullName(""));
      }
    }
    if (first == nullptr)
      report(kxZoneSeverity::kError, nullptr, any, "no SOA record at the zone apex " + fullName(""));
    return first;
  }

  void checkApexNS(const kxResourceRecord* inSOA) {
    if (factsOf("").itsNS == nullptr)
      report(kxZoneSeverity::kError, inSOA, nullptr, "no NS record at the zone apex " + fullName(""));
  }

  // Whether the zone has delegations (NS records below the apex) or DNAMEs at all: without
  // them no name lies below one, and the walk over every record need not ask.
  void findCuts() {
    for (uint32_t i = 0; const kxResourceRecord* rec = itsZone.getRecord(i, kTypeNS); ++i)
      if (isLive(rec) && !rec->getName().empty() && inZone(rec->getName())) {
        itsHasCuts = true;
        return;
      }
    for (uint32_t i = 0; const kxResourceRecord* rec = itsZone.getRecord(i, kTypeDNAME); ++i)
      if (isLive(rec) && inZone(rec->getName())) {
        itsHasCuts = true;
        return;
      }
  }

  // The cut a name lies below, nearest first: the DNAME or the delegation of one of its
  // ancestors (the apex counts for a DNAME only: its NS records delegate nothing). Gives the
  // ancestor and its facts, or null facts.
  std::pair<std::string_view, NameFacts> cutAbove(std::string_view inName) {
    if (!itsHasCuts || inName.empty()) return {{}, {}};
    for (std::string_view ancestor = parentOf(inName);; ancestor = parentOf(ancestor)) {
      const NameFacts facts = factsOf(ancestor);
      if (facts.itsDNAME || (facts.itsNS && !ancestor.empty())) return {ancestor, facts};
      if (ancestor.empty()) return {{}, {}};
    }
  }

  // Records an NSEC3 chain keeps at hashed names, which are no data of the zone's tree.
  static bool isHashedNameRecord(const kxResourceRecord* inRec) {
    const uint16_t type = wireType(inRec);
    if (type == kWireNSEC3) return true;
    if (type != kWireRRSIG) return false;
    return compareText(dataField(inRec->getData(), 0), "NSEC3", true) == 0;
  }

  void walkRecords() {
    std::vector<const kxResourceRecord*> group;
    itsZone.firstNamed("");  // builds the name index, which isFirstNamed reads
    for (uint32_t i = 0; const kxResourceRecord* rec = itsZone.getRecord(i); ++i) {
      const std::string& name = rec->getName();
      if (name.size() > kMaxNameText) continue;
      // The first record of a name in the index stands for the name: its records are
      // checked together, once.
      if (kxRecordCollection::isFirstNamed(rec) && inZone(name)) checkName(rec, group);
      if (!isLive(rec)) continue;
      if (!inZone(name)) {
        report(kxZoneSeverity::kWarning, rec, nullptr,
               "out-of-zone data: " + printableName(name) + " is not in the zone " + printableName(itsDomain));
        continue;
      }
      checkPlacement(rec);
    }
  }

  void checkPlacement(const kxResourceRecord* inRec) {
    if (!itsHasCuts) return;
    const auto [cutName, cut] = cutAbove(inRec->getName());
    if ((cut.itsDNAME == nullptr && cut.itsNS == nullptr) || isHashedNameRecord(inRec)) return;
    if (cut.itsDNAME) {
      report(kxZoneSeverity::kError, inRec, cut.itsDNAME,
             fullName(inRec->getName()) + " " + typeName(inRec) + " lies below the DNAME at " + fullName(cutName) +
                 ", which no query reaches");
    } else if (!isAddress(inRec)) {
      report(kxZoneSeverity::kError, inRec, cut.itsNS,
             fullName(inRec->getName()) + " " + typeName(inRec) + " lies below the delegation at " +
                 fullName(cutName) + " and is not glue (an A or AAAA record)");
    }
  }

  // The live records of one name together: CNAME beside other data, two CNAMEs, duplicates,
  // and RRsets whose records differ in TTL.
  void checkName(const kxResourceRecord* inFirst, std::vector<const kxResourceRecord*>& ioGroup) {
    ioGroup.clear();
    for (const kxResourceRecord* rec = inFirst; rec; rec = kxRecordCollection::nextNamed(rec))
      if (isLive(rec)) ioGroup.push_back(rec);
    if (ioGroup.size() < 2) return;
    std::sort(ioGroup.begin(), ioGroup.end(), [](const kxResourceRecord* inA, const kxResourceRecord* inB) {
      const uint16_t typeA = wireType(inA);
      const uint16_t typeB = wireType(inB);
      if (typeA != typeB) return typeA < typeB;
      return compareData(inA->type(), inA->getData(), inB->getData()) < 0;
    });

    // With a CNAME at the name: one record of each distinct CNAME, and of each distinct record
    // that may not stand beside one.
    const bool hasCNAME = std::any_of(ioGroup.begin(), ioGroup.end(),
                                      [](const kxResourceRecord* inRec) { return wireType(inRec) == kWireCNAME; });
    std::vector<const kxResourceRecord*> cnames;
    std::vector<const kxResourceRecord*> others;
    for (size_t begin = 0; begin < ioGroup.size();) {
      size_t end = begin + 1;
      while (end < ioGroup.size() && wireType(ioGroup[end]) == wireType(ioGroup[begin]) &&
             compareData(ioGroup[end]->type(), ioGroup[end]->getData(), ioGroup[begin]->getData()) == 0)
        ++end;
      const std::span<const kxResourceRecord* const> run(ioGroup.data() + begin, end - begin);
      const kxResourceRecord* original = run.size() > 1 ? firstRead(run) : run.front();
      for (const kxResourceRecord* rec : run)
        if (rec != original)
          report(kxZoneSeverity::kWarning, rec, original,
                 "duplicate record " + fullName(rec->getName()) + " " + typeName(rec));
      const uint16_t type = wireType(original);
      if (hasCNAME && type == kWireCNAME)
        cnames.push_back(original);
      else if (hasCNAME && !mayStandBesideCNAME(type))
        others.push_back(original);
      begin = end;
    }
    checkRRsetTTLs(ioGroup);

    if (!hasCNAME) return;
    const kxResourceRecord* cname = firstRead(cnames);
    for (const kxResourceRecord* rec : cnames)
      if (rec != cname)
        report(kxZoneSeverity::kError, rec, cname, "more than one CNAME record at " + fullName(rec->getName()));
    if (!others.empty()) {
      const kxResourceRecord* other = firstRead(others);
      const bool cnameFirst = position(cname) < position(other);
      report(kxZoneSeverity::kError, cnameFirst ? other : cname, cnameFirst ? cname : other,
             "CNAME and other data at " + fullName(cname->getName()));
    }
  }

  // Records of one RRset in the sorted group are neighbours: one type, and for RRSIG one
  // type covered (its first field, which the data order compares first).
  void checkRRsetTTLs(const std::vector<const kxResourceRecord*>& inGroup) {
    for (size_t begin = 0; begin < inGroup.size();) {
      const kxResourceRecord* head = inGroup[begin];
      const bool signature = wireType(head) == kWireRRSIG;
      const std::string_view covered = signature ? dataField(head->getData(), 0) : std::string_view();
      size_t end = begin + 1;
      bool differ = false;
      while (end < inGroup.size() && wireType(inGroup[end]) == wireType(head) &&
             (!signature || compareText(dataField(inGroup[end]->getData(), 0), covered, true) == 0)) {
        differ = differ || ttlOf(inGroup[end]) != ttlOf(head);
        ++end;
      }
      if (differ) {
        const std::span<const kxResourceRecord* const> set(inGroup.data() + begin, end - begin);
        const kxResourceRecord* first = firstRead(set);
        const int64_t ttl = ttlOf(first);
        for (const kxResourceRecord* rec : set)
          if (ttlOf(rec) != ttl)
            report(kxZoneSeverity::kWarning, rec, first,
                   "TTL " + std::to_string(ttlOf(rec)) + " differs from the TTL " + std::to_string(ttl) +
                       " of the first record of the RRset " + fullName(rec->getName()) + " " +
                       (signature ? "RRSIG " + printableName(covered) : typeName(rec)));
      }
      begin = end;
    }
  }

  NameFacts factsOf(std::string_view inName) {
    // The apex is every name's last ancestor: read once.
    if (inName.empty()) {
      if (!itsApexFacts) itsApexFacts = readFacts(inName);
      return *itsApexFacts;
    }
    if (!itsBigNames.empty()) {
      const auto known = itsBigNames.find(inName);
      if (known != itsBigNames.end()) return known->second;
    }
    return readFacts(inName);
  }

  NameFacts readFacts(std::string_view inName) {
    NameFacts facts;
    uint32_t records = 0;
    const kxResourceRecord* first = itsZone.firstNamed(inName);
    for (const kxResourceRecord* rec = first; rec; rec = kxRecordCollection::nextNamed(rec)) {
      ++records;
      if (!isLive(rec)) continue;
      facts.itsExists = true;
      if (isAddress(rec)) facts.itsHasAddress = true;
      const kxResourceRecord** first = rec->type() == kTypeCNAME ? &facts.itsCNAME
                                       : rec->type() == kTypeNS  ? &facts.itsNS
                                       : rec->type() == kTypeDNAME ? &facts.itsDNAME
                                                                   : nullptr;
      if (first != nullptr && *first == nullptr) *first = rec;
    }
    // Keyed by the stored name of the name's first record, which lives as long as the zone.
    if (records > kSmallName) itsBigNames.emplace(first->getName(), facts);
    return facts;
  }

  // Whether a name server name that has no records of its own is answered by a wildcard
  // (RFC 4592): an address at "*" below its closest existing ancestor. An ancestor that holds
  // no records may still exist (an empty non-terminal, as the wildcard's own parent is), so
  // the wildcards are looked for from the nearest ancestor up, until one that has records.
  bool wildcardAddress(std::string_view inName) {
    std::string_view ancestor = inName;
    do {
      ancestor = parentOf(ancestor);
      const NameFacts wildcard = factsOf(ancestor.empty() ? std::string("*") : "*." + std::string(ancestor));
      if (wildcard.itsExists) return wildcard.itsHasAddress;
    } while (!ancestor.empty() && !factsOf(ancestor).itsExists);
    return false;
  }

  // A name server name below a delegation other than inOwner's is that zone's to answer:
  // it needs no glue here (sibling glue) unless it has records here.
  bool belowOtherDelegation(std::string_view inName, const std::string& inOwner) {
    for (std::string_view ancestor = parentOf(inName); !ancestor.empty(); ancestor = parentOf(ancestor))
      if (factsOf(ancestor).itsNS && compareText(ancestor, inOwner, true) != 0) return true;
    return false;
  }

  // The targets of MX, SRV and NS records in the zone: a CNAME there is a warning (RFC 2181
  // section 10.3). The name servers of the apex and of each delegation need an address.
  void checkTargets(kxResRecType inType, uint32_t inField) {
    // A buffer kept from record to record: a zone has records of these types by the million.
    std::string target;
    for (uint32_t i = 0; const kxResourceRecord* rec = itsZone.getRecord(i, inType); ++i) {
      if (!isLive(rec) || !inZone(rec->getName())) continue;
      target.assign(dataField(rec->getData(), inField));
      if (target.size() > kMaxNameText || !inZone(target)) continue;
      const NameFacts facts = factsOf(target);
      if (facts.itsCNAME != nullptr)
        report(kxZoneSeverity::kWarning, rec, facts.itsCNAME,
               typeName(rec) + " target " + fullName(target) + " is a CNAME");
      if (inType != kTypeNS || facts.itsHasAddress) continue;
      if (!facts.itsExists && (belowOtherDelegation(target, rec->getName()) || wildcardAddress(target))) continue;
      report(kxZoneSeverity::kError, rec, nullptr,
             "missing glue: name server " + fullName(target) + " of " + fullName(rec->getName()) +
                 " has no address record (A or AAAA)");
    }
  }

  kxRecordCollection& itsZone;
  const kxZoneFindingHandler& itsHandler;
  std::string itsDomain;
  bool itsRootZone;
  int64_t itsDefaultTTL;
  bool itsHasCuts = false;
  std::optional<NameFacts> itsApexFacts;
  std::unordered_map<std::string_view, NameFacts, FoldedHash, FoldedEqual> itsBigNames;
};

}  // namespace

namespace orvo {

void kxCheckZone(kxRecordCollection& ioZone, const kxZoneFindingHandler& inHandler) {
  ZoneChecker(ioZone, inHandler).run();
}

}  // namespace orvo
