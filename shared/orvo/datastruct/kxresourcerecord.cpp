#include "orvo/datastruct/kxresourcerecord.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <sstream>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/util/kxstringparser.h"
#include "orvo/util/kxtexthelpers.h"

namespace {

// Removes the domain that ends ioName from inStart on, when it starts at a label boundary (or
// after a tab, between data fields); whether the name changed.
// Where the text in [inBegin, ...) ends once the domain that starts at inStart is removed
// from it: the domain must start the text or follow a dot that ends a label (an escaped dot is
// part of its label) or a tab (between data fields); npos where it does not.
size_t cutBeforeDomain(const std::string& inText, size_t inBegin, size_t inStart) {
  if (inStart == inBegin) return inBegin;
  const char before = inText[inStart - 1];
  if (before == '.' && !isEscapedAt(inText, inStart - 1)) return inStart - 1;
  if (before == kDataSeperator) return inStart;
  return std::string::npos;
}

bool removeDomainSuffix(std::string& ioName, size_t inStart) {
  const size_t cut = cutBeforeDomain(ioName, 0, inStart);
  if (cut == std::string::npos) return false;
  ioName.erase(cut);
  return true;
}

// A name in data is stored relative only where it ends in the domain in the same letter case:
// a name written otherwise keeps its case, as name servers keep it. The end of the field
// [inBegin, inEnd) of inText so stored.
size_t exactRelativeEnd(const std::string& inDomain, const std::string& inText, size_t inBegin, size_t inEnd) {
  if (inDomain.empty() || inEnd - inBegin < inDomain.size() ||
      inText.compare(inEnd - inDomain.size(), inDomain.size(), inDomain) != 0)
    return inEnd;
  const size_t cut = cutBeforeDomain(inText, inBegin, inEnd - inDomain.size());
  return cut == std::string::npos ? inEnd : cut;
}

size_t exactRelativeLength(const std::string& inDomain, const std::string& inName) {
  return exactRelativeEnd(inDomain, inName, 0, inName.size());
}

bool stripExactDomain(const std::string& inDomain, std::string& ioName) {
  const size_t length = exactRelativeLength(inDomain, ioName);
  if (length == ioName.size()) return false;
  ioName.erase(length);
  return true;
}

// Strips the domain from the field [inBegin, inEnd) of ioData in place, by the rule of
// stripExactDomain; true when the field changed.
bool stripDomainInField(const std::string& inDomain, std::string& ioData, size_t inBegin, size_t inEnd) {
  const size_t end = exactRelativeEnd(inDomain, ioData, inBegin, inEnd);
  if (end == inEnd) return false;
  ioData.erase(end, inEnd - end);
  return true;
}

// Formats whose one domain-name field is the last: the data is made relative by cutting its
// end.
bool nameEndsData(int32_t inFormat) {
  return inFormat == kFormatName || inFormat == kFormatPrefName || inFormat == kFormatSRV || inFormat == kFormatNAPTR;
}

size_t fieldEnd(const std::string& inData, size_t inBegin) {
  const size_t tab = inData.find(kDataSeperator, inBegin);
  return tab == std::string::npos ? inData.size() : tab;
}

const char* textOrEmpty(const char* inText) { return inText ? inText : ""; }

// A relative name as a master file holds it: "@" there is the origin, so a name whose one
// label is "@" is written escaped; the empty name, the origin itself, is "@".
std::string_view relativeNameText(std::string_view inName) {
  if (inName.empty()) return "@";
  if (inName == "@") return "\\@";
  return inName;
}

// The kind of field inIndex of a type's layout, or kEnd.
kxFieldKind layoutKind(kxResRecType inType, uint32_t inIndex) {
  const kxFieldLayout* layout = kxFieldLayoutOf(inType);
  return layout ? layout->kindAt(inIndex) : kxFieldKind::kEnd;
}

// The form of field inIndex, where an earlier number field of inData tells it; kEnd when
// that field is missing or no number.
kxFieldKind dataFieldKind(kxResRecType inType, uint32_t inIndex, std::string_view inData) {
  const kxFieldKind kind = layoutKind(inType, inIndex);
  const uint32_t distance = kxSelectorDistance(kind);
  if (distance == 0) return kind;
  if (inIndex < distance) return kxFieldKind::kEnd;
  size_t begin = 0;
  for (uint32_t field = 0; field < inIndex - distance; ++field) {
    begin = inData.find(kDataSeperator, begin);
    if (begin == std::string_view::npos) return kxFieldKind::kEnd;
    ++begin;
  }
  const size_t end = std::min(inData.find(kDataSeperator, begin), inData.size());
  if (end == begin || end - begin > 5) return kxFieldKind::kEnd;
  uint32_t selector = 0;
  for (size_t i = begin; i < end; ++i) {
    if (inData[i] < '0' || inData[i] > '9') return kxFieldKind::kEnd;
    selector = selector * 10 + uint32_t(inData[i] - '0');
  }
  return kxSelectedKind(kind, selector);
}

// A text field written in double quotes, escaped as the text of TXT data is.
// The text keeps the escapes of the master file: a quote after an odd run of backslashes is
// escaped already, and a text that ends in an odd run gets one more backslash, or the run
// would escape the closing quote.
void writeQuoted(std::ostream& outStream, std::string_view inText) {
  outStream << '"';
  size_t backslashes = 0;
  for (const char c : inText) {
    if (c == '"' && backslashes % 2 == 0)
      outStream << "\\\"";
    else
      outStream << c;
    backslashes = c == '\\' ? backslashes + 1 : 0;
  }
  if (backslashes % 2 != 0) outStream << '\\';
  outStream << '"';
}

}  // namespace

const std::string* kxResourceRecord::noText() {
  static const std::string kEmpty;
  return &kEmpty;
}

kxResourceRecord::kxResourceRecord() : itsCollection(nullptr), itsID(-1), itsType(kNoRecordType) {}

kxResourceRecord::kxResourceRecord(kxRecordCollection* inCollection, const std::string& inName,
                                   const std::string& inTTL, kxResRecType inType, const std::string& inData,
                                   const std::string& inComment, bool inEnabled)
    : kxResourceRecord(inCollection, inName, inTTL, inType, inData, inComment, std::string(), inEnabled) {}

kxResourceRecord::kxResourceRecord(kxRecordCollection* inCollection, const std::string& inName,
                                   const std::string& inTTL, kxResRecType inType, const std::string& inData,
                                   const std::string& inComment, const std::string& inAging, bool inEnabled)
    : itsCollection(inCollection), itsID(-1), itsType(inType), itsEnabled(inEnabled) {
  setTTL(inTTL);
  setComment(inComment);
  setAging(inAging);
  const std::string* domain = ownerDomain();
  // Zones come this way, millions of records whose names mostly end in the domain as it is
  // written: the texts are copied without it rather than whole and then cut, which would
  // keep them in blocks of their full length. Each is constructed at its length (an
  // assignment would round the block up).
  if (!domain || domain->empty()) {
    itsName = std::string(inName);
    itsData = std::string(inData);
    return;
  }
  const size_t nameLength = exactRelativeLength(*domain, inName);
  itsName = std::string(inName, 0, nameLength);
  if (nameLength == inName.size()) relativizeName();
  if (nameEndsData(getDataFormat(inType))) {
    itsData = std::string(inData, 0, exactRelativeLength(*domain, inData));
  } else {
    itsData = std::string(inData);
    relativizeData();
  }
}

kxResourceRecord::kxResourceRecord(const kxResourceRecord& inOther)
    : itsName(inOther.itsName),
      itsData(inOther.itsData),
      itsExtras(inOther.itsExtras ? std::make_unique<Extras>(*inOther.itsExtras) : nullptr),
      itsCollection(nullptr),
      itsID(inOther.itsID),
      itsType(inOther.itsType),
      itsEnabled(inOther.itsEnabled) {
  if (inOther.itsStored) setTTL(inOther.getTTL());
}

// A stored record is not the mover's to empty: moving from one copies it.
kxResourceRecord::kxResourceRecord(kxResourceRecord&& inOther) noexcept
    : itsName(inOther.itsStored ? inOther.itsName : std::move(inOther.itsName)),
      itsData(inOther.itsStored ? inOther.itsData : std::move(inOther.itsData)),
      itsCollection(nullptr),
      itsID(inOther.itsID),
      itsType(inOther.itsType),
      itsEnabled(inOther.itsEnabled) {
  if (!inOther.itsStored) {
    itsExtras = std::move(inOther.itsExtras);
    return;
  }
  if (inOther.itsExtras) itsExtras = std::make_unique<Extras>(*inOther.itsExtras);
  setTTL(inOther.getTTL());
}

kxResourceRecord::~kxResourceRecord() = default;

kxResourceRecord& kxResourceRecord::operator=(const kxResourceRecord& inOther) {
  if (this == &inOther) return *this;
  if (isStored()) {
    assignStored(inOther);
    return *this;
  }
  itsID = inOther.itsID;
  itsName = inOther.itsName;
  itsType = inOther.itsType;
  itsData = inOther.itsData;
  itsExtras = inOther.itsExtras ? std::make_unique<Extras>(*inOther.itsExtras) : nullptr;
  if (inOther.itsStored) setTTL(inOther.getTTL());
  itsEnabled = inOther.itsEnabled;
  itsCollection = inOther.itsCollection;
  return *this;
}

kxResourceRecord& kxResourceRecord::operator=(kxResourceRecord&& inOther) noexcept {
  if (this == &inOther) return *this;
  if (isStored() || inOther.itsStored) return *this = static_cast<const kxResourceRecord&>(inOther);
  itsID = inOther.itsID;
  itsName = std::move(inOther.itsName);
  itsType = inOther.itsType;
  itsData = std::move(inOther.itsData);
  itsExtras = std::move(inOther.itsExtras);
  itsEnabled = inOther.itsEnabled;
  itsCollection = inOther.itsCollection;
  return *this;
}

const std::string& kxResourceRecord::getTTL() const {
  if (itsStored) return itsCollection->storedTTL(itsTTL);
  return itsExtras ? itsExtras->itsTTL : *noText();
}

void kxResourceRecord::setTTL(const std::string& inTTL) {
  if (itsStored)
    itsCollection->setStoredTTL(this, inTTL);
  else if (itsExtras || !inTTL.empty())
    extras().itsTTL = inTTL;
}

void kxResourceRecord::dropEmptyExtras() {
  if (!itsExtras) return;
  const Extras& extras = *itsExtras;
  if (extras.itsTTL.empty() && extras.itsComment.empty() && extras.itsAging.empty() && extras.itsDomainCase.empty() &&
      extras.itsProperties.getCount() == 0 && extras.itsProperties.getName().empty() &&
      !extras.itsProperties.isModified())
    itsExtras.reset();
}

kxResourceRecord::Extras& kxResourceRecord::extras() {
  if (!itsExtras) itsExtras = std::make_unique<Extras>();
  return *itsExtras;
}

const std::string& kxResourceRecord::getComment() const { return itsExtras ? itsExtras->itsComment : *noText(); }

void kxResourceRecord::setComment(const std::string& inComment) {
  if (itsExtras || !inComment.empty()) extras().itsComment = inComment;
}

const std::string& kxResourceRecord::getAging() const { return itsExtras ? itsExtras->itsAging : *noText(); }

void kxResourceRecord::setAging(const std::string& inAging) {
  if (itsExtras || !inAging.empty()) extras().itsAging = inAging;
}

const kxProperties& kxResourceRecord::getProperties() const {
  static const kxProperties kNone;
  return itsExtras ? itsExtras->itsProperties : kNone;
}

kxProperties& kxResourceRecord::getProperties() { return extras().itsProperties; }

void kxResourceRecord::setProperties(const kxProperties& inProperties) {
  // An empty, unnamed and unmodified set is what a record without properties answers.
  if (!itsExtras && inProperties.getCount() == 0 && inProperties.getName().empty() && !inProperties.isModified())
    return;
  extras().itsProperties = inProperties;
}

bool kxResourceRecord::isStored() const { return itsStored; }

// A stored record stays in its collection: the owner link and the type (which files the
// record in the collection's indexes) are kept, and the names of inOther are taken in full
// where they are relative to another domain, then made relative to this record's domain.
void kxResourceRecord::assignStored(const kxResourceRecord& inOther) {
  kxAssert(inOther.itsType == itsType);
  const std::string* otherDomain = inOther.ownerDomain();
  const bool sameDomain =
      !otherDomain || otherDomain->empty() || equalsText(*otherDomain, itsCollection->getDomainName(), false);
  std::string name = inOther.itsName;
  if (!sameDomain && !(inOther.itsType == kNoRecordType && name.empty())) name = inOther.getFullName();
  std::string data = inOther.itsData;
  if (!sameDomain && hasDomainNameFields(inOther.itsType)) {
    data.clear();
    const uint16_t count = inOther.countDataFields();
    for (uint16_t i = 0; i < count; ++i) {
      if (i > 0) data += kDataSeperator;
      data += inOther.getDataField(i, true);
    }
  }
  const std::string ttl = inOther.getTTL();
  itsID = inOther.itsID;
  itsExtras = inOther.itsExtras ? std::make_unique<Extras>(*inOther.itsExtras) : nullptr;
  if (itsExtras) itsExtras->itsTTL.clear();  // a stored record's TTL text lives in the pool
  setTTL(ttl);
  itsEnabled = inOther.itsEnabled;
  setData(data);
  setName(name);
}

const std::string* kxResourceRecord::ownerDomain() const {
  return itsCollection ? &itsCollection->getDomainName() : nullptr;
}

void kxResourceRecord::setName(const std::string& inName) {
  // The collection files its records by name: out of its index while the name changes.
  if (itsStored) itsCollection->unindexName(this);
  itsName = inName;
  if (itsExtras) {
    itsExtras->itsDomainCase.clear();
    dropEmptyExtras();
  }
  stripOwnerDomain();
  if (itsStored) itsCollection->indexName(this);
}

bool kxResourceRecord::stripOwnerDomain() {
  const std::string* domain = ownerDomain();
  if (!domain || domain->empty() || itsName.size() < domain->size()) return false;
  const size_t start = itsName.size() - domain->size();
  // Zones hold millions of names: the suffix is copied only when its case differs.
  if (itsName.compare(start, domain->size(), *domain) == 0) return removeDomainSuffix(itsName, start);
  std::string suffix = itsName.substr(start);
  if (!stripDomain(*domain, itsName)) return false;
  extras().itsDomainCase = std::move(suffix);
  return true;
}

const std::string& kxResourceRecord::getDomainCase() const {
  return itsExtras ? itsExtras->itsDomainCase : *noText();
}

void kxResourceRecord::setType(kxResRecType inType) {
  kxAssert(!itsCollection);
  // The collection files its records by type: a stored record is retyped only through it.
  if (itsCollection) return;
  itsType = inType;
}

int32_t kxResourceRecord::getTTLSeconds() const {
  int seconds = -1;
  const std::string& ttl = getTTL();
  if (ttl.empty() || !parseTTL(ttl.c_str(), ttl.size(), seconds)) return -1;
  return seconds;
}

void kxResourceRecord::setData(const std::string& inData) {
  itsData = inData;
  relativizeData();
}

uint16_t kxResourceRecord::countDataFields() const {
  return static_cast<uint16_t>(std::count(itsData.begin(), itsData.end(), kDataSeperator) + 1);
}

std::string kxResourceRecord::getDataField(uint32_t inIndex, bool inQualify) const {
  std::string field = extractDataField(itsData, inIndex);
  if (inQualify && isDomainNameField(itsType, inIndex, itsData)) return qualifyWithOwner(field);
  return field;
}

void kxResourceRecord::setDataField(uint32_t inIndex, const std::string& inValue) {
  size_t position = 0;
  for (uint32_t n = inIndex; n != 0;) {
    --n;
    const size_t tab = itsData.find(kDataSeperator, position);
    if (tab == std::string::npos) {
      itsData.append(n + 1, kDataSeperator);
      position = itsData.size();
      break;
    }
    position = tab + 1;
  }
  std::string value = inValue;
  const std::string* domain = ownerDomain();
  if (domain && !domain->empty() && isDomainNameField(itsType, inIndex, itsData)) stripExactDomain(*domain, value);
  itsData.replace(position, fieldEnd(itsData, position) - position, value);
}

std::string kxResourceRecord::qualifyWithOwner(const std::string& inName) const {
  const std::string* domain = ownerDomain();
  if (!domain || isAbsoluteName(inName)) return inName;
  kxAssert(! itsCollection->getDomainName().empty());
  if (domain->empty()) return inName;  // nothing to qualify with
  if (inName.empty()) return *domain;
  if (domain->front() == '.') return inName + *domain;
  return inName + "." + *domain;
}

std::string kxResourceRecord::getFullName() const {
  const std::string& domainCase = getDomainCase();
  if (domainCase.empty() || !itsCollection) return qualifyWithOwner(itsName);
  if (itsName.empty()) return domainCase;
  return itsName + (domainCase.front() == '.' ? "" : ".") + domainCase;
}

bool kxResourceRecord::relativizeName() {
  const std::string* domain = ownerDomain();
  if (!domain) return false;
  if (itsStored) itsCollection->unindexName(this);
  const bool changed = stripOwnerDomain();
  if (itsStored) itsCollection->indexName(this);
  return changed;
}

bool kxResourceRecord::relativizeData() {
  const std::string* domain = ownerDomain();
  return domain && relativizeDataFields(*domain, itsType, itsData);
}

bool kxResourceRecord::isEmpty(bool inIgnoreComment) const {
  return itsName.empty() && getTTL().empty() && itsData.empty() && itsType == kNoRecordType &&
         (inIgnoreComment || getComment().empty());
}

void kxResourceRecord::writeText(std::ostream& outStream) const { writeText(outStream, getTTL()); }

void kxResourceRecord::writeText(std::ostream& outStream, const std::string& inTTL) const {
  // An owner whose domain was written in other letter case is written in full, as written.
  const std::string name = getDomainCase().empty() ? std::string() : getFullName();
  writeRecordText(outStream, name.empty() ? itsName.c_str() : name.c_str(), inTTL.c_str(), itsType, itsData.c_str(),
                  getComment().c_str(), getAging().c_str(), itsEnabled, nullptr, true, kDataSeperator);
}

void kxResourceRecord::logRecord() const {
  std::ostringstream line;
  writeText(line);
  line << " (" << itsID << ")";
  kxTraceLine(1, __FILE__, __LINE__, line.str().c_str());
}

kxResRecType kxResourceRecord::getTypeFromName(const std::string& inName) {
  const kxResRecType type = kxTableTypeFromName(inName);
  if (type != kNoRecordType) return type;
  return kxExtendedRecordTypes() ? kxExtendedTypeFromName(inName) : kNoRecordType;
}

const char* kxResourceRecord::getTypeName(kxResRecType inType) {
  const bool extended = isExtendedRecordType(inType);
  if (extended && !kxExtendedRecordTypes()) return "";
  const kxResourceRecordTypeInfo* row = kxFindRecordTypeInfo(inType);
  if (row != nullptr) return row->itsName;
  return extended ? kxGenericTypeName(inType) : "";
}

int32_t kxResourceRecord::getDataFormat(kxResRecType inType) {
  const bool extended = isExtendedRecordType(inType);
  if (extended && !kxExtendedRecordTypes()) return kFormatUnknown;
  const kxResourceRecordTypeInfo* row = kxFindRecordTypeInfo(inType);
  if (row != nullptr) return row->itsFormat;
  return extended ? kFormatGeneric : kFormatUnknown;
}

bool kxResourceRecord::isDomainNameField(kxResRecType inType, uint32_t inIndex, std::string_view inData) {
  switch (getDataFormat(inType)) {
    case kFormatName:
    case kFormatRP: return true;
    case kFormatPrefName: return inIndex != 0;
    case kFormatSOA: return inIndex <= 1;
    case kFormatSRV: return inIndex == 3;
    case kFormatNAPTR: return inIndex == 5;
    case kFormatRRSIG: return inIndex == 7;
    case kFormatNSEC: return inIndex == 0;
    case kFormatFields: return dataFieldKind(inType, inIndex, inData) == kxFieldKind::kName;
    default: return false;
  }
}

bool kxResourceRecord::hasDomainNameFields(kxResRecType inType) {
  switch (getDataFormat(inType)) {
    case kFormatName:
    case kFormatPrefName:
    case kFormatRP:
    case kFormatSOA:
    case kFormatSRV:
    case kFormatNAPTR:
    case kFormatRRSIG:
    case kFormatNSEC: return true;
    case kFormatFields: {
      const kxFieldLayout* layout = kxFieldLayoutOf(inType);
      return std::any_of(std::begin(layout->itsKinds), std::end(layout->itsKinds), [](kxFieldKind inKind) {
        return inKind == kxFieldKind::kName || kxSelectorDistance(inKind) != 0;
      });
    }
    default: return false;
  }
}

kxResRecType kxResourceRecord::wireTypeToRecordType(uint32_t inWireType) {
  const uint16_t type = static_cast<uint16_t>(inWireType);
  return type == kWireTypeDLV ? kTypeDLV : static_cast<kxResRecType>(type);
}

uint16_t kxResourceRecord::recordTypeToWireType(kxResRecType inType) {
  // An added type is held above the 16-bit range (NID's number is DLV's held one); without
  // the extension such a value is nothing but its low 16 bits.
  if (isExtendedRecordType(inType) && kxExtendedRecordTypes()) return static_cast<uint16_t>(inType - kExtendedTypeBase);
  const uint16_t low = static_cast<uint16_t>(inType);
  return static_cast<int16_t>(low) == kTypeDLV ? kWireTypeDLV : low;
}

std::string kxResourceRecord::extractDataField(const std::string& inData, uint32_t inIndex) {
  return getField(inData, static_cast<int>(inIndex), kDataSeperator);
}

bool kxResourceRecord::stripDomain(const std::string& inDomain, std::string& ioName) {
  if (inDomain.empty() || ioName.size() < inDomain.size()) return false;
  const size_t start = ioName.size() - inDomain.size();
  for (size_t i = inDomain.size(); i-- != 0;)
    if (toUpperChar(ioName[start + i]) != toUpperChar(inDomain[i])) return false;
  return removeDomainSuffix(ioName, start);
}

bool kxResourceRecord::relativizeDataFields(const std::string& inDomain, kxResRecType inType, std::string& ioData) {
  if (inDomain.empty()) return false;
  const int32_t format = getDataFormat(inType);
  if (nameEndsData(format)) {
    stripExactDomain(inDomain, ioData);
    return true;
  }
  switch (format) {
    case kFormatRP:
    case kFormatSOA: {
      const size_t end0 = fieldEnd(ioData, 0);
      const size_t before = ioData.size();
      stripDomainInField(inDomain, ioData, 0, end0);
      if (end0 < before) {
        const size_t begin1 = end0 - (before - ioData.size()) + 1;
        stripDomainInField(inDomain, ioData, begin1, fieldEnd(ioData, begin1));
      }
      return true;
    }
    case kFormatRRSIG:
    case kFormatNSEC: {
      size_t begin = 0;
      for (uint32_t field = format == kFormatRRSIG ? 7 : 0; field != 0; --field) {
        begin = ioData.find(kDataSeperator, begin);
        if (begin == std::string::npos) return false;
        ++begin;
      }
      return stripDomainInField(inDomain, ioData, begin, fieldEnd(ioData, begin));
    }
    case kFormatFields: {
      if (!hasDomainNameFields(inType)) return false;
      // Field by field in place; a field's form told by an earlier one (a number) is read from
      // the data as it goes, which no name cut before it changes.
      bool changed = false;
      for (size_t begin = 0, index = 0;; ++index) {
        const size_t end = fieldEnd(ioData, begin);
        const bool cut = isDomainNameField(inType, static_cast<uint32_t>(index), ioData) &&
                         stripDomainInField(inDomain, ioData, begin, end);
        changed |= cut;
        const size_t next = cut ? fieldEnd(ioData, begin) : end;
        if (next == ioData.size()) break;
        begin = next + 1;
      }
      return changed;
    }
    default:
      return false;
  }
}

bool kxResourceRecord::qualifyDataFields(const std::string& inOrigin, kxResRecType inType, std::string& ioData) {
  if (inOrigin.empty()) return false;
  const std::string data = ioData;
  std::string result;
  result.reserve(data.size() + 2 * inOrigin.size());
  size_t begin = 0;
  for (uint32_t index = 0;; ++index) {
    const size_t end = fieldEnd(data, begin);
    const std::string field = data.substr(begin, end - begin);
    if (isDomainNameField(inType, index, data)) {
      if (inOrigin == "@")
        result += relativeNameText(field);
      else if (field.empty())
        result += inOrigin;
      else if (!isAbsoluteName(field))
        result += field + "." + inOrigin;
      else
        result += field;
    } else if (inType == kTypeNAPTR && index >= 2 && index <= 4) {
      result += quote(field);
    } else if (kxIsTextKind(layoutKind(inType, index))) {
      std::ostringstream quoted;
      writeQuoted(quoted, field);
      result += quoted.str();
    } else {
      result += field;
    }
    if (end == data.size()) break;
    kxAssert(data[end] == kDataSeperator);
    result += kDataSeperator;
    begin = end + 1;
  }
  const bool changed = result != data;
  ioData = std::move(result);
  return changed;
}

void kxResourceRecord::writeRecordText(std::ostream& outStream, const char* inName, const char* inTTL,
                                       kxResRecType inType, const char* inData, const char* inComment,
                                       const char* inAging, bool inEnabled, const char* inOrigin, bool inWriteClass,
                                       char inSeparator) {
  const char* name = textOrEmpty(inName);
  const char* data = textOrEmpty(inData);
  const char* comment = textOrEmpty(inComment);
  if (inType == kControlTTL) return;
  if (inType == kControlInclude || inType == kControlGenerate) {
    outStream << data;
    if (*comment) outStream << inSeparator << ';' << comment;
    return;
  }
  if (inType == kNoRecordType && !*name && !*textOrEmpty(inTTL) && !*data) {
    outStream << ';';
    if (!inEnabled) outStream << "<!dis:>";
    outStream << comment;
    return;
  }

  if (!inEnabled) outStream << ";<!dis:";
  const bool hasOrigin = inOrigin && *inOrigin;
  if (hasOrigin)
    outStream << qualifyName(name, inOrigin);
  else
    outStream << relativeNameText(name);
  if (inAging && *inAging) outStream << inSeparator << "[AGE:" << inAging << ']';
  outStream << inSeparator << textOrEmpty(inTTL);
  if (inWriteClass) outStream << inSeparator << "IN";
  outStream << inSeparator << (inType == kNoRecordType ? "N/A" : getTypeName(inType));
  outStream << inSeparator;

  const int32_t format = getDataFormat(inType);
  if (format == kFormatFields || hasDomainNameFields(inType)) {
    // The added types' texts are quoted here too.
    std::string qualified = data;
    qualifyDataFields(hasOrigin ? inOrigin : "@", inType, qualified);
    outStream << qualified;
  } else if (format == kFormatText || format == kFormatHINFO) {
    // Empty data is one empty string: written as "" so that the line can be read back.
    // The data keeps the escapes of the master file, so a quote after an odd run of
    // backslashes is escaped already; a field that ends in an odd run (built through the
    // API) gets one more backslash, or the run would escape the closing quote.
    outStream << '"';
    size_t backslashes = 0;
    for (const char* p = data;; ++p) {
      if (*p == kDataSeperator || *p == '\0') {
        if (backslashes % 2 != 0) outStream << '\\';
        if (*p == '\0') break;
        outStream << '"' << kDataSeperator << '"';
      } else if (*p == '"' && backslashes % 2 == 0) {
        outStream << "\\\"";
      } else {
        outStream << *p;
      }
      backslashes = *p == '\\' ? backslashes + 1 : 0;
    }
    outStream << '"';
  } else {
    outStream << data;
  }

  if (!inEnabled)
    outStream << '>' << comment;
  else if (*comment)
    outStream << inSeparator << ';' << comment;
}

std::string kxResourceRecord::recordText(const char* inName, const char* inTTL, kxResRecType inType,
                                         const char* inData, const char* inComment, const char* inAging,
                                         bool inEnabled, const char* inOrigin, bool inWriteClass, char inSeparator) {
  std::ostringstream text;
  writeRecordText(text, inName, inTTL, inType, inData, inComment, inAging, inEnabled, inOrigin, inWriteClass,
                  inSeparator);
  return text.str();
}

bool kxResourceRecord::recordsEqual(const kxResourceRecord& inRecord1, const kxResourceRecord& inRecord2,
                                    bool inCaseSensitive, bool inIgnoreComment, bool inIgnoreEnabled) {
  if (!equalsText(inRecord1.itsName, inRecord2.itsName, inCaseSensitive)) return false;
  if (!equalsText(inRecord1.getTTL(), inRecord2.getTTL(), inCaseSensitive)) return false;
  if (inRecord1.itsType != inRecord2.itsType) return false;
  if (!equalsText(inRecord1.itsData, inRecord2.itsData, inCaseSensitive)) return false;
  if (!inIgnoreComment && !equalsText(inRecord1.getComment(), inRecord2.getComment(), false)) return false;
  if (!inIgnoreEnabled && inRecord1.itsEnabled != inRecord2.itsEnabled) return false;
  return true;
}
