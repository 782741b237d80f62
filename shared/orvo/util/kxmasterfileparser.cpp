// Zone master files. See kxmasterfileparser.h.
#include "orvo/util/kxmasterfileparser.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/datastruct/kxresourcerecord.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/dns/kxextendedtypes.h"
#include "orvo/dns/kxgenericdata.h"
#include "orvo/dns/kxrecorddatacheck.h"
#include "orvo/messages/kxerr.h"
#include "orvo/messages/kxerrormessage.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxstringparser.h"
#include "orvo/util/kxtexthelpers.h"

kxMasterFileFormatLexer::kxMasterFileFormatLexer() {
  setCharClass('(', kSingleCharClass);
  setCharClass(')', kSingleCharClass);
  setCharClass(';', kCommentStartClass);
  setReturnComments(true);
  setRefuseNul(true);
}

void kxMasterFileFormatLexer::setStayOnLine(bool inFlag) {
  itsStayOnLineFlag = inFlag;
  itsStayLine = getLineNumber();
}

kxMasterFileFormatLexer::~kxMasterFileFormatLexer() = default;

int kxMasterFileFormatLexer::nextToken() {
  if (itsReplayFlag) {
    itsReplayFlag = false;
    return getToken();
  }
  // Parentheses and comments inside a group are consumed in a loop rather than by calling
  // nextToken again, so that deep or long groups cannot exhaust the stack.
  for (;;) {
    const int token = kxCustomStreamLexer::nextToken();
    if (itsStayOnLineFlag && itsParenDepth > 0 && getLineNumber() != itsStayLine)
      raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .", ')');
    switch (token) {
      case '(':
        if (itsParenDepth == 0) setReturnEOL(false);
        ++itsParenDepth;
        continue;
      case ')':
        if (itsParenDepth <= 0)
          raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Unexpected token \"$t\".",
                     kNulToken);
        if (--itsParenDepth == 0) setReturnEOL(true);
        continue;
      case kCommentToken:
        if (itsParenDepth > 0) continue;
        return token;
      case kEOFToken:
        if (itsParenDepth > 0)
          raiseError(kxErr_parserUnexpectedToken, "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .", ')');
        return token;
      default:
        return token;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// kxMasterFileParser
//
// A record is read from the line's first token on: the owner when that token starts in the
// owner column, then TTL, class, aging mark and type in any order, then the data fields and
// an optional comment. The lexer hands over a parenthesised group as one line and reports a
// line end only once the next line has been read, so nothing of a line's text may be used
// after its end-of-line token arrived.

namespace {

const char kUnexpectedToken[] = "Error in file \"$f\" line $l. Unexpected token \"$t\".";
const char kIncorrectRRFormat[] = "Error in file \"$f\" line $l. Incorrect resource record format.";
const char kUnsupportedClass[] = "Error in file \"$f\" line $l. Unsupported class \"$t\".";
const char kUnknownRRType[] = "Error in file \"$f\" line $l. Unknown resource record type \"$t\".";
const char kIncorrectTTLFormat[] = "Error in file \"$f\" line $l. Incorrect TTL format.";
const char kExpectedValue[] = "Error in file \"$f\" line $l. Expected value.";
const char kExpectedEndOfLine[] = "Error in file \"$f\" line $l. Expected end of line.";
const char kIncorrectFormat[] = "Error in file \"$f\" line $l. Incorrect format.";
const char kInvalidRange[] = "Error in file \"$f\" line $l. Invalid range.";
const char kIncludeNotSupported[] = "Error in file \"$f\" line $l. Include not supported.";
const char kIncludeOpen[] = "Error in file \"$f\" line $l. Unable to open include file\"$e\".";
const char kMissingSOARecord[] = "Error in file \"$f\" line $l. Missing SOA record.";
const char kIncludeTooDeep[] = "Error in file \"$f\" line $l. Include files nested too deeply at \"$e\".";
const char kTooManyIncludes[] = "Error in file \"$f\" line $l. More than $e include files.";
const char kTooManyGenerated[] = "Error in file \"$f\" line $l. More than $e generated records.";
const char kMissingOwner[] = "Error in file \"$f\" line $l. Missing owner name.";
const char kGenericData[] = "Error in file \"$f\" line $l. Generic record data \"$t\" is not supported.";
const char kIncorrectData[] = "Error in file \"$f\" line $l. Incorrect $t record data: $e.";
const char kIncorrectGenericData[] = "Error in file \"$f\" line $l. Incorrect generic record data: $e.";
const char kExpectedToken[] = "Error in file \"$f\" line $l. Expected \"$e\" got \"$t\" .";

constexpr kxKeyword kMasterFileClasses[] = {{"CH", 3}, {"CS", 2}, {"HS", 4}, {"IN", 1}};
constexpr kxKeyword kMasterFileDirectives[] = {{"$GENERATE", 1}, {"$INCLUDE", 2}, {"$ORIGIN", 3}, {"$TTL", 4}};
constexpr int kClassIN = 1;
enum { kDirectiveGenerate = 1, kDirectiveInclude = 2, kDirectiveOrigin = 3, kDirectiveTTL = 4 };

// The longest text one counter value may expand to.
constexpr unsigned kMaxExpansionWidth = 127;

bool isDigit(char inChar) { return inChar >= '0' && inChar <= '9'; }

// A signed decimal integer of 32 bits at ioText: an optional sign and at least one digit.
bool readSigned(const char*& ioText, int32_t& outValue) {
  const char* p = ioText;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (!isDigit(*p)) return false;
  int64_t value = 0;
  while (isDigit(*p)) {
    value = value * 10 + (*p++ - '0');
    if (value > int64_t(INT32_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  outValue = static_cast<int32_t>(value);
  ioText = p;
  return true;
}

bool readUnsigned(const char*& ioText, uint32_t& outValue) {
  const char* p = ioText;
  if (*p == '+') ++p;
  if (!isDigit(*p)) return false;
  uint64_t value = 0;
  while (isDigit(*p)) {
    value = value * 10 + static_cast<uint64_t>(*p++ - '0');
    if (value > UINT32_MAX) return false;
  }
  outValue = static_cast<uint32_t>(value);
  ioText = p;
  return true;
}

// Appends a data word. A tab inside it (quoted, or escaped by a backslash) would split the
// field in two, so it is kept as the escape \009, which stands for the same character.
void appendDataText(std::string& ioData, std::string_view inText) {
  if (inText.find('\t') == std::string_view::npos) {
    ioData.append(inText);
    return;
  }
  for (size_t i = 0; i < inText.size(); ++i) {
    const char c = inText[i];
    if (c == '\\' && i + 1 < inText.size()) {
      ++i;
      if (inText[i] == '\t') {
        ioData += "\\009";
      } else {
        ioData += c;
        ioData += inText[i];
      }
    } else if (c == '\t') {
      ioData += "\\009";
    } else {
      ioData += c;
    }
  }
}

std::string_view unquotedView(const char* inText, size_t inLength) {
  if (inLength >= 2 && inText[0] == '"' && inText[inLength - 1] == '"') return {inText + 1, inLength - 2};
  return {inText, inLength};
}

std::string unquoted(const char* inText, size_t inLength) {
  if (inLength >= 2 && inText[0] == '"' && inText[inLength - 1] == '"') return std::string(inText + 1, inLength - 2);
  return std::string(inText, inLength);
}

bool isGenerateType(kxResRecType inType) {
  return inType == kTypeA || inType == kTypeNS || inType == kTypeCNAME || inType == kTypePTR ||
         inType == kTypeAAAA || inType == kTypeDNAME;
}

}  // namespace

struct kxMasterFileParser::Fields {
  std::string& name;
  std::string& ttl;
  kxResRecType& type;
  std::string& data;
  std::string& comment;
  std::string& aging;
  bool& enabled;
};

kxMasterFileParser::kxMasterFileParser(const std::string& inFileName, const std::string& inOrigin,
                                       bool inAppendOrigin, bool inNoInclude)
    : itsOrigin(inOrigin), itsAppendOriginFlag(inAppendOrigin), itsNoIncludeFlag(inNoInclude),
      itsSeparator(kxResourceRecord::getDataSeparator()) {
  initialise();
  openFile(inFileName);
}

kxMasterFileParser::kxMasterFileParser(std::istream* inStream, const std::string& inStreamName,
                                       const std::string& inOrigin, bool inAppendOrigin, bool inNoInclude)
    : itsOrigin(inOrigin), itsAppendOriginFlag(inAppendOrigin), itsNoIncludeFlag(inNoInclude),
      itsSeparator(kxResourceRecord::getDataSeparator()) {
  initialise();
  setStream(inStream, inStreamName);
}

kxMasterFileParser::~kxMasterFileParser() = default;

void kxMasterFileParser::initialise() {
  itsLexer.setInterpretEscapes(false);
  itsLexerPtr = &itsLexer;
}

void kxMasterFileParser::reset() {
  kxCustomParser::reset();
  itsIncludeParser.reset();
  itsSOASeenFlag = false;
  itsGenCurrent = 0;
  itsGenStop = -1;
  itsLexer.setReturnEOL(true);
}

const char* kxMasterFileParser::getTokenText() {
  const char* text = itsLexer.getTokenText();
  if (itsLexer.getToken() != kCommentToken && text[0] == '@' && text[1] == '\0') return itsOrigin.c_str();
  return text;
}

std::string_view kxMasterFileParser::tokenView() {
  const char* text = getTokenText();
  if (text == itsOrigin.c_str()) return itsOrigin;
  return {text, itsLexer.getTokenLength()};
}

void kxMasterFileParser::setExtendedTypes(bool inFlag) {
  itsExtendedTypesFlag = inFlag;
  if (inFlag) kxSetExtendedRecordTypes(true);
}

void kxMasterFileParser::setDataCheck(bool inCheck, DataFaultHandler inHandler) {
  itsCheckDataFlag = inCheck;
  itsDataFaultHandler = std::move(inHandler);
}

void kxMasterFileParser::makeAbsolute(std::string& ioName) const {
  if (!itsAppendOriginFlag || ioName.empty() || isAbsoluteName(ioName)) return;
  if (itsOrigin.empty() || itsOrigin.front() != '.') ioName += '.';
  ioName += itsOrigin;
}

bool kxMasterFileParser::isValidTTL(const char* inText) { return isTTLText(inText); }

void kxMasterFileParser::logRecordFields(const std::string& inName, const std::string& inTTL, kxResRecType inType,
                                         const std::string& inData, const std::string& inComment) const {
  std::string line = inName + "," + inTTL + "," + kxResourceRecord::getTypeName(inType) + "," + inData;
  if (!inComment.empty()) line += " ; " + inComment;
  KX_TRACE_LINE(1, line.c_str());
}

void kxMasterFileParser::readRestOfLine(std::string& outText) {
  std::string text;
  int line = 0;
  int end = 0;
  for (;;) {
    const int token = nextToken();
    if (token == kEOLToken || token == kCommentToken || token == kEOFToken) break;
    appendRawToken(text, line, end);
  }
  if (!text.empty()) outText = std::move(text);
}

// Appends the current word as written. A word on the same line as the one before brings the
// blanks and tabs between them; a word on a later line of a parenthesised group, or behind a
// parenthesis, is joined with one blank, since the text is one line when written back. Taken
// word by word: once a line end arrives, the buffer holds the next line.
void kxMasterFileParser::appendRawToken(std::string& ioText, int& ioLine, int& ioEnd) {
  const char* text = itsLexer.getTokenText();
  const int column = itsLexer.getTokenColumn();
  const int line = itsLexer.getLineNumber();
  if (!ioText.empty()) {
    const char* lineText = itsLexer.getLineText();
    bool blanksOnly = line == ioLine && ioEnd <= column;
    for (int i = ioEnd; blanksOnly && i < column; ++i) blanksOnly = lineText[i] == ' ' || lineText[i] == '\t';
    if (blanksOnly)
      ioText.append(lineText + ioEnd, static_cast<size_t>(column - ioEnd));
    else
      ioText += ' ';
  }
  ioText.append(text, itsLexer.getTokenLength());
  ioLine = line;
  ioEnd = column + static_cast<int>(itsLexer.getTokenLength());
}

bool kxMasterFileParser::readNextRecord(std::string& outName, std::string& outTTL, kxResRecType& outType,
                                        std::string& outData, std::string& outComment, std::string& outAging,
                                        bool& outEnabled) {
  Fields fields{outName, outTTL, outType, outData, outComment, outAging, outEnabled};
  for (;;) {
    if (itsIncludeParser) {
      if (itsIncludeParser->readNextRecord(outName, outTTL, outType, outData, outComment, outAging, outEnabled))
        return true;
      itsIncludeParser.reset();
    }
    if (itsGenCurrent <= itsGenStop) {
      generateRecord(fields);
      itsDeliveredLine = itsGenLine;
      if (itsCheckDataFlag) checkData(fields, itsGenLine);
      return true;
    }
    const int token = nextToken();
    if (token == kEOFToken) return false;
    if (token == kEOLToken) continue;
    itsRecordLine = itsLexer.getLineNumber();
    if (readFromLine(token, fields)) {
      itsDeliveredLine = itsRecordLine;
      if (itsCheckDataFlag) checkData(fields, itsRecordLine);
      return true;
    }
  }
}

// An include parser lives until the call after its last record, so while one is there, the
// record delivered last is its.
const std::string& kxMasterFileParser::getRecordFileName() {
  return itsIncludeParser ? itsIncludeParser->getRecordFileName() : getFileName();
}

int kxMasterFileParser::getRecordLine() const {
  return itsIncludeParser ? itsIncludeParser->getRecordLine() : itsDeliveredLine;
}

bool kxMasterFileParser::readNextRecord(std::string& outName, std::string& outTTL, kxResRecType& outType,
                                        std::string& outData, std::string& outComment, bool& outEnabled) {
  std::string aging;
  return readNextRecord(outName, outTTL, outType, outData, outComment, aging, outEnabled);
}

bool kxMasterFileParser::readRecord(kxResourceRecord& outRecord) {
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  if (!readNextRecord(name, ttl, type, data, comment, aging, enabled)) return false;
  outRecord.setName(name);
  outRecord.setTTL(ttl);
  outRecord.setType(type);
  outRecord.setData(data);
  outRecord.setComment(comment);
  outRecord.setAging(aging);
  outRecord.setEnabled(enabled);
  return true;
}

void kxMasterFileParser::parseZone(kxRecordCollection& ioCollection, bool inRequireSOA) {
  itsTTLChangedFlag = false;
  uint32_t soaCount = 0;
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  itsRecordSources.clear();
  while (readNextRecord(name, ttl, type, data, comment, aging, enabled)) {
    if (type == kTypeSOA && soaCount++ == 0) {
      ioCollection.setDefaultTTL(itsDefaultTTL);
      if (!name.empty() && ioCollection.getDomainName().empty())
        ioCollection.setDomainName(name.back() == '.' ? name : name + '.', true);
    }
    if (ioCollection.insertRecord(kxResourceRecord(&ioCollection, name, ttl, type, data, comment, aging, enabled), -1,
                                  kxRecordCollection::kAnswerSection))
      itsRecordSources.add(getRecordFileName(), static_cast<uint32_t>(getRecordLine()));
  }
  // A zone without SOA record still has the default TTL of its first "$TTL": without it the
  // records that carry no TTL of their own would lose theirs when the zone is written out.
  if (soaCount == 0 && !itsDefaultTTL.empty() && ioCollection.getDefaultTTL().empty())
    ioCollection.setDefaultTTL(itsDefaultTTL);
  if (inRequireSOA && soaCount == 0) raiseError(kxErr_parserMissingSOARecord, kMissingSOARecord, kNulToken);
}

// A comment record holding inText, when comment records are on.
bool kxMasterFileParser::deliverComment(const std::string& inText, Fields& outFields) const {
  if (!itsCommentRecordsFlag) return false;
  outFields.name.clear();
  outFields.ttl.clear();
  outFields.type = kNoRecordType;
  outFields.data.clear();
  outFields.comment = inText;
  outFields.aging.clear();
  outFields.enabled = true;
  return true;
}

// One line from its first token (not a line end): true when it delivers a record.
bool kxMasterFileParser::readFromLine(int inToken, Fields& outFields) {
  if (inToken == kCommentToken) {
    const char* text = itsLexer.getTokenText();
    if (itsDisabledRecordsFlag && !itsInDisabledFlag && startsWith(text, "<!dis:", false))
      return readDisabledRecord(outFields);
    return deliverComment(text, outFields);
  }
  if (inToken != kWordToken) raiseError(kxErr_parserUnexpectedToken, kUnexpectedToken, kWordToken);
  const bool delivered = itsLexer.getTokenText()[0] == '$' ? readDirective(outFields) : readRecordLine(outFields);
  if (delivered) outFields.enabled = true;
  return delivered;
}

// The comment's text after "<!dis:" is read as one record line that ends at ">"; what follows
// ">" is that record's comment. Only that line is read, and it never acts on the live lines:
// a directive in it is not carried out, its owner is not the one later lines inherit, and its
// SOA record is not the zone's. A disabled line that holds no record of its own (a directive,
// an SOA record, nothing at all) is kept whole as a comment record, so it is written back as
// it was.
bool kxMasterFileParser::readDisabledRecord(Fields& outFields) {
  const std::string lineText(itsLexer.getTokenText(), itsLexer.getTokenLength());
  struct Restore {
    kxMasterFileParser& parser;
    ~Restore() {
      parser.itsLexer.setCharClass('>', 0);
      parser.itsLexer.setStayOnLine(false);
      parser.itsOwnerColumn = 0;
      parser.itsInDisabledFlag = false;
    }
  } restore{*this};
  itsLexer.setCharClass('>', kCommentStartClass);
  itsLexer.setCursorInToken(6);
  itsLexer.setStayOnLine(true);
  itsOwnerColumn = static_cast<uint16_t>(itsLexer.getTokenColumn() + 6);
  itsInDisabledFlag = true;
  const int token = nextToken();
  if (token == kEOLToken || token == kEOFToken) return deliverComment(lineText, outFields);
  if (token == kWordToken && itsLexer.getTokenText()[0] == '$') {
    itsLexer.skipRestOfLine();
    nextToken();
    return deliverComment(lineText, outFields);
  }
  if (!readFromLine(token, outFields)) return false;
  if (outFields.type == kTypeSOA) return deliverComment(lineText, outFields);
  outFields.enabled = false;
  return true;
}

bool kxMasterFileParser::readRecordLine(Fields& outFields) {
  std::string owner;
  bool namedOwner = false;
  if (itsLexer.getTokenColumn() == itsOwnerColumn) {
    const char* raw = itsLexer.getTokenText();
    namedOwner = raw[0] == '@' && raw[1] == '\0';
    owner = namedOwner ? itsOrigin : std::string(raw);
    makeAbsolute(owner);
    nextToken();
  }
  return readTypeAndData(owner, namedOwner, false, outFields);
}

bool kxMasterFileParser::readTypeAndData(std::string& ioOwner, bool inNamedOwner, bool inGenerate,
                                         Fields& outFields) {
  std::string ttl;
  std::string aging;
  bool haveTTL = false;
  bool haveClass = false;
  kxResRecType type = kNoRecordType;
  for (;;) {
    if (itsLexer.getToken() != kWordToken) raiseError(kxErr_parserUnexpectedToken, kUnexpectedToken, kWordToken);
    const char* text = getTokenText();
    const size_t length = itsLexer.getTokenLength();
    if (length >= 2 && text[0] == '[' && text[length - 1] == ']') {
      if (startsWith(text, "[AGE:", false))
        aging.assign(text + 5, length - 6);
      else if (startsWith(text, "[Aging:", false))
        aging.assign(text + 7, length - 8);
      else
        raiseError(kxErr_parserIncorrectRRFormat, kIncorrectRRFormat, kWordToken);
    } else if (!isDigit(text[0])) {
      const kxKeyword* entry = findKeyword(text, kMasterFileClasses, int(std::size(kMasterFileClasses)));
      uint32_t classNumber = 0;
      if (entry != nullptr) {
        classNumber = uint32_t(entry->value);
      } else if (!itsExtendedTypesFlag || !kxReadClassWord(text, classNumber)) {
        type = kxTableTypeFromName(text);
        if (type == kNoRecordType && itsExtendedTypesFlag) type = kxExtendedTypeFromName(text);
        if (type == kNoRecordType && !equalsText(text, "N/A", false))
          raiseError(kxErr_parserUnknownRRType, kUnknownRRType, kWordToken);
        break;
      }
      if (classNumber != kClassIN) raiseError(kxErr_parserUnsupportedClass, kUnsupportedClass, kWordToken);
      if (haveClass) raiseError(kxErr_parserIncorrectRRFormat, kIncorrectRRFormat, kWordToken);
      haveClass = true;
    } else {
      if (haveTTL) raiseError(kxErr_parserIncorrectRRFormat, kIncorrectRRFormat, kWordToken);
      if (!isValidTTL(text)) raiseError(kxErr_parserIncorrectTTLFormat, kIncorrectTTLFormat, kWordToken);
      ttl = text;
      haveTTL = true;
    }
    nextToken();
  }
  // Checked before the data so that no other type's data rules (SOA's above all) run.
  if (inGenerate && !isGenerateType(type)) raiseError(kxErr_parserInvalidRange, kInvalidRange, kWordToken);

  if (type != kNoRecordType) {
    if (!ioOwner.empty() || inNamedOwner) {
      if (!itsInDisabledFlag) {
        itsLastOwner = ioOwner;
        itsHaveLastOwnerFlag = true;
      }
    } else if (!inGenerate) {
      // Taking the apex would change the record; there is no owner to inherit.
      if (!itsHaveLastOwnerFlag) raiseError(kxErr_parserExpectedName, kMissingOwner, kWordToken);
      ioOwner = itsLastOwner;
    }
    if (!haveTTL && itsTTLChangedFlag) ttl = itsCurrentTTL;
  }
  outFields.name = ioOwner;
  outFields.ttl = ttl;
  outFields.type = type;
  outFields.aging = aging;
  outFields.data.clear();
  outFields.comment.clear();
  if (inGenerate) {
    readDataFields(type, outFields.data);
    readCommentAndEndOfLine(outFields.comment);
    return haveTTL;
  }
  // SOA and LOC data cannot be empty: their readers refuse it.
  itsDataWords = 1;
  if (type != kNoRecordType && itsExtendedTypesFlag && startsGenericData()) {
    readGenericData(type, outFields.data);
    readCommentAndEndOfLine(outFields.comment);
    if (type != kTypeSOA) return true;
    const std::string minimum = kxResourceRecord::extractDataField(outFields.data, 6);
    if (itsInDisabledFlag) return finishSOA(outFields, false, minimum);
    if (itsSOASeenFlag) itsSkipSOAFlag = true;
    itsSOASeenFlag = true;
    return finishSOA(outFields, true, minimum);
  }
  if (kxResourceRecord::getDataFormat(type) == kFormatGeneric) {
    nextToken();
    raiseRecordError(kExpectedToken, itsLexer.getToken() == kWordToken ? itsLexer.getTokenText() : "end of line",
                     "\\#");
  }
  if (type == kTypeSOA) {
    if (itsInDisabledFlag) return readSOAData(outFields, false);
    if (itsSOASeenFlag) itsSkipSOAFlag = true;
    itsSOASeenFlag = true;
    return readSOAData(outFields, true);
  }
  if (type == kTypeLOC) {
    readLOCData(outFields);
    return true;
  }
  readDataFields(type, outFields.data);
  readCommentAndEndOfLine(outFields.comment);
  return true;
}

bool kxMasterFileParser::startsGenericData() {
  const int token = nextToken();
  const char* text = itsLexer.getTokenText();
  if (token == kWordToken && text[0] == '\\' && text[1] == '#' && text[2] == '\0') return true;
  itsLexer.replayToken();
  return false;
}

// "\# length hex...": the length a decimal number up to 65535, then exactly that many bytes
// in hexadecimal words. The bytes become the type's own text form when the type has one, or
// stay in the generic form.
void kxMasterFileParser::readGenericData(kxResRecType inType, std::string& outData) {
  auto refuse = [&](const char* inReason) { raiseRecordError(kIncorrectGenericData, "", inReason); };
  if (nextToken() != kWordToken) refuse("missing length");
  const std::string_view lengthText(itsLexer.getTokenText(), itsLexer.getTokenLength());
  size_t length = 0;
  if (lengthText.empty() || lengthText.size() > 5) refuse("length is not a number from 0 to 65535");
  for (const char c : lengthText) {
    if (!isDigit(c)) refuse("length is not a number from 0 to 65535");
    length = length * 10 + size_t(c - '0');
  }
  if (length > kMaxGenericDataLength) refuse("length is not a number from 0 to 65535");
  std::string bytes;
  bytes.reserve(length);
  int high = -1;
  for (;;) {
    const int token = nextToken();
    if (token == kEOLToken || token == kCommentToken || token == kEOFToken) break;
    const char* text = itsLexer.getTokenText();
    for (size_t i = 0; i < itsLexer.getTokenLength(); ++i) {
      unsigned digit = 0;
      if (!hexDigitValue(text[i], digit)) refuse("data is not hexadecimal");
      if (high < 0) {
        high = int(digit);
        continue;
      }
      if (bytes.size() == length) refuse("more data than its length");
      bytes += char(high << 4 | int(digit));
      high = -1;
    }
  }
  if (high >= 0) refuse("odd number of hexadecimal digits");
  if (bytes.size() != length) refuse("less data than its length");
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (kxResourceRecord::getDataFormat(inType) == kFormatGeneric) {
    outData = kxGenericDataText(data, bytes.size());
    return;
  }
  const char* reason = "";
  if (!kxGenericDataToText(inType, data, bytes.size(), outData, reason))
    raiseRecordError(kIncorrectData, kxResourceRecord::getTypeName(inType), std::string("generic data ") + reason);
}

// An error of the record being read, named by the line it began on: once the lexer has
// reported a line's end, its line number is already the next line's.
void kxMasterFileParser::raiseRecordError(const char* inMessage, const std::string& inText,
                                          const std::string& inDetail) {
  kxErrorMessage message(kxErr_parserIncorrectRRFormat, inMessage);
  message.addParam('f', itsLexer.getFileName());
  message.addParam('l', static_cast<uint32_t>(itsRecordLine));
  message.addParam('t', inText);
  message.addParam('e', inDetail);
  throw kxException(message);
}

// Until generic data can be read, its words must not pass for the type's own fields.
void kxMasterFileParser::refuseGenericData() {
  const char* text = itsLexer.getTokenText();
  if (itsLexer.getToken() == kWordToken && text[0] == '\\' && text[1] == '#' && text[2] == '\0')
    raiseError(kxErr_parserIncorrectRRFormat, kGenericData, kWordToken);
}

void kxMasterFileParser::readDataFields(kxResRecType inType, std::string& outData) {
  const int32_t format = kxResourceRecord::getDataFormat(inType);
  // An added type's last field may take the rest of the words: data joined with nothing, a
  // type list with blanks.
  uint32_t lastField = UINT32_MAX;
  kxFieldKind lastKind = kxFieldKind::kEnd;
  if (format == kFormatFields) {
    const kxFieldLayout* layout = kxFieldLayoutOf(inType);
    uint32_t kinds = 0;
    while (kinds < kxFieldLayout::kMaxKinds && layout->itsKinds[kinds] != kxFieldKind::kEnd) ++kinds;
    if (!layout->itsRepeatLast && kinds > 0) {
      lastField = kinds - 1;
      lastKind = layout->itsKinds[lastField];
    }
  }
  for (uint32_t i = 0;; ++i) {
    const int token = nextToken();
    itsDataWords = i;
    if (token == kEOLToken || token == kCommentToken || token == kEOFToken) return;
    if (i == 0 && inType != kNoRecordType) refuseGenericData();
    const bool rest = i > lastField;
    if (i > 0) {
      if ((inType == kTypeWKS && i > 2) || (inType == kTypeNSEC && i > 1) ||
          (rest && lastKind == kxFieldKind::kTypeBitmap))
        outData += ' ';
      else if (!((format == kFormatDNSKEY && i > 3) || (inType == kTypeRRSIG && i > 8) ||
                 (rest && (lastKind == kxFieldKind::kBase64 || lastKind == kxFieldKind::kHex))))
        outData += itsSeparator;
    }
    if (kxResourceRecord::isDomainNameField(inType, i)) {
      std::string name(tokenView());
      makeAbsolute(name);
      appendDataText(outData, name);
    } else if (format == kFormatText || format == kFormatHINFO || (format == kFormatNAPTR && i > 1 && i < 5) ||
               (format == kFormatFields && i == lastField && lastKind == kxFieldKind::kLongString)) {
      appendDataText(outData, unquotedView(itsLexer.getTokenText(), itsLexer.getTokenLength()));
    } else {
      appendDataText(outData, tokenView());
    }
  }
}

void kxMasterFileParser::readCommentAndEndOfLine(std::string& outComment) {
  if (itsLexer.getToken() == kCommentToken) {
    outComment = itsLexer.getTokenText();
    nextToken();
  }
  if (itsLexer.getToken() != kEOLToken) raiseError(kxErr_parserExpectedEndOfLine, kExpectedEndOfLine, kEOLToken);
}

// inLive is false for the SOA record of a disabled line, which leaves the zone's state alone.
bool kxMasterFileParser::readSOAData(Fields& outFields, bool inLive) {
  std::string& data = outFields.data;
  for (int i = 0; i < 2; ++i) {
    nextWord();
    if (i == 0) refuseGenericData();
    std::string name(tokenView());
    makeAbsolute(name);
    if (i > 0) data += itsSeparator;
    appendDataText(data, name);
  }
  nextInteger();
  data += itsSeparator;
  data += itsLexer.getTokenText();
  const char* minimum = "";
  for (int i = 0; i < 4; ++i) {
    nextToken();
    if (itsLexer.getToken() != kWordToken || !isValidTTL(itsLexer.getTokenText()))
      raiseError(kxErr_parserExpectedValue, kExpectedValue, kWordToken);
    minimum = itsLexer.getTokenText();
    data += itsSeparator;
    data += minimum;
  }
  std::string minimumText = minimum;
  nextToken();
  readCommentAndEndOfLine(outFields.comment);
  return finishSOA(outFields, inLive, minimumText);
}

bool kxMasterFileParser::finishSOA(Fields& outFields, bool inLive, const std::string& inMinimum) {
  std::string& data = outFields.data;
  if (!inLive) return true;
  if (itsSkipSOAFlag) {
    // Dropped, but a live line all the same: its data must be sound.
    outFields.enabled = true;
    if (itsCheckDataFlag) checkData(outFields, itsRecordLine);
    data.clear();
    outFields.comment.clear();
    return false;
  }
  itsSOAMinimum = inMinimum;
  if (itsDefaultTTL.empty()) {
    itsDefaultTTL = itsSOAMinimum;
    itsCurrentTTL = itsDefaultTTL;
  }
  return true;
}

void kxMasterFileParser::readLOCData(Fields& outFields) {
  std::string& data = outFields.data;
  const char* const ends[2][2] = {{"N", "S"}, {"E", "W"}};
  for (int half = 0; half < 2; ++half) {
    if (half > 0) data += itsSeparator;
    nextWord();
    if (half == 0) refuseGenericData();
    for (;;) {
      const std::string_view text = tokenView();
      appendDataText(data, text);
      if (equalsText(text.data(), ends[half][0], false) || equalsText(text.data(), ends[half][1], false)) break;
      data += ' ';
      nextWord();
    }
  }
  for (;;) {
    const int token = nextToken();
    if (token == kEOLToken || token == kCommentToken || token == kEOFToken) break;
    data += itsSeparator;
    appendDataText(data, tokenView());
  }
  readCommentAndEndOfLine(outFields.comment);
}

// A live record's owner and data against its type; a fault goes to the handler or is raised.
void kxMasterFileParser::checkData(const Fields& inFields, int inLine) const {
  if (!inFields.enabled) return;
  kxRecordDataFault fault;
  // Empty data is one empty field to the check, which a TXT record may hold: whether a word
  // was written at all is known here only.
  const kxFieldLayout* layout = kxFieldLayoutOf(inFields.type);
  if (itsDataWords == 0 && layout != nullptr && layout->itsMinFields > 0) {
    fault.itsField = 1;
    fault.itsReason = "missing";
  } else if (checkRecordData(inFields.name, inFields.type, inFields.data, fault)) {
    return;
  }
  kxErrorMessage message(kxErr_parserIncorrectRRFormat, kIncorrectData);
  message.addParam('f', itsLexer.getFileName());
  message.addParam('l', static_cast<uint32_t>(inLine));
  message.addParam('t', kxResourceRecord::getTypeName(inFields.type));
  message.addParam('e', fault.describe());
  if (!itsDataFaultHandler) throw kxException(message);
  itsDataFaultHandler(message);
}

// After a directive's arguments: an optional comment, then the line end.
void kxMasterFileParser::expectEndOfDirective() {
  if (nextToken() == kCommentToken) nextToken();
  if (itsLexer.getToken() != kEOLToken) raiseError(kxErr_parserExpectedEndOfLine, kExpectedEndOfLine, kEOLToken);
}

bool kxMasterFileParser::readDirective(Fields& outFields) {
  outFields.name.clear();
  outFields.ttl.clear();
  outFields.comment.clear();
  const kxKeyword* entry =
      findKeyword(itsLexer.getTokenText(), kMasterFileDirectives, int(std::size(kMasterFileDirectives)));
  if (entry == nullptr) raiseError(kxErr_parserUnexpectedToken, kUnexpectedToken, kWordToken);
  switch (entry->value) {
    case kDirectiveOrigin: {
      nextWord();
      std::string origin = getTokenText();
      makeAbsolute(origin);
      itsOrigin = origin;
      itsAppendOriginFlag = true;
      expectEndOfDirective();
      return false;
    }
    case kDirectiveTTL: {
      if (nextToken() != kWordToken || !isValidTTL(itsLexer.getTokenText()))
        raiseError(kxErr_parserIncorrectTTLFormat, kIncorrectTTLFormat, kWordToken);
      const std::string ttl = itsLexer.getTokenText();
      if (itsDefaultTTL.empty()) {
        itsDefaultTTL = itsCurrentTTL = ttl;
      } else {
        // Back to the default after another value: records carry the default explicitly,
        // so they do not keep the earlier value.
        if (ttl != itsDefaultTTL) itsTTLChangedFlag = true;
        itsCurrentTTL = ttl;
      }
      expectEndOfDirective();
      return false;
    }
    case kDirectiveInclude:
      return readInclude(outFields);
    default:
      return readGenerate(outFields);
  }
}

bool kxMasterFileParser::readInclude(Fields& outFields) {
  if (itsNoIncludeFlag) raiseError(kxErr_parserIncludeNotSupported, kIncludeNotSupported, kWordToken);
  // The directive's text as written, for a kept directive.
  std::string text;
  int textLine = 0;
  int textEnd = 0;
  appendRawToken(text, textLine, textEnd);
  nextWord();
  const std::string fileName = unquoted(itsLexer.getTokenText(), itsLexer.getTokenLength());
  appendRawToken(text, textLine, textEnd);
  std::string origin;
  bool haveOrigin = false;
  if (nextToken() == kWordToken) {
    origin = getTokenText();
    makeAbsolute(origin);
    haveOrigin = true;
    appendRawToken(text, textLine, textEnd);
    nextToken();
  }
  if (itsLexer.getToken() == kCommentToken) {
    outFields.comment = itsLexer.getTokenText();
    nextToken();
  }
  if (itsLexer.getToken() != kEOLToken) raiseError(kxErr_parserExpectedEndOfLine, kExpectedEndOfLine, kEOLToken);

  if (itsKeepDirectivesFlag) {
    outFields.type = kControlInclude;
    outFields.data = text;
    outFields.aging.clear();
    return true;
  }
  outFields.comment.clear();
  if (itsIncludeDepth >= kMaxIncludeDepth) raiseError(kxErr_fileOpen, kIncludeTooDeep, fileName.c_str());
  if (itsBudget->itsIncludes >= itsBudget->itsLimits.itsMaxIncludes)
    raiseError(kxErr_fileOpen, kTooManyIncludes, std::to_string(itsBudget->itsLimits.itsMaxIncludes).c_str());
  ++itsBudget->itsIncludes;
  auto include = std::make_unique<kxMasterFileParser>(nullptr, std::string(), ".", false, false);
  include->itsBudget = itsBudget;
  // As in BIND, a first record without owner takes the including file's current owner.
  include->itsLastOwner = itsLastOwner;
  include->itsHaveLastOwnerFlag = itsHaveLastOwnerFlag;
  include->itsCheckDataFlag = itsCheckDataFlag;
  include->itsExtendedTypesFlag = itsExtendedTypesFlag;
  include->itsDataFaultHandler = itsDataFaultHandler;
  include->itsOrigin = haveOrigin ? origin : itsOrigin;
  include->itsAppendOriginFlag = itsAppendOriginFlag;
  include->itsNoIncludeFlag = itsNoIncludeFlag;
  include->itsCommentRecordsFlag = itsCommentRecordsFlag;
  include->itsDisabledRecordsFlag = itsDisabledRecordsFlag;
  include->itsTTLChangedFlag = itsTTLChangedFlag;
  include->itsKeepDirectivesFlag = itsKeepDirectivesFlag;
  include->itsSOAMinimum = itsSOAMinimum;
  include->itsDefaultTTL = itsDefaultTTL;
  include->itsCurrentTTL = itsCurrentTTL;
  include->itsSkipSOAFlag = true;
  include->itsIncludeDepth = itsIncludeDepth + 1;
  if (!include->openFile(fileName)) raiseError(kxErr_fileOpen, kIncludeOpen, fileName.c_str());
  itsIncludeParser = std::move(include);
  return false;
}

bool kxMasterFileParser::readGenerate(Fields& outFields) {
  nextWord();
  const std::string range = itsLexer.getTokenText();
  int32_t start = 0;
  int32_t stop = -1;
  int32_t step = 1;
  if (!parseGenerateRange(range, start, stop, step)) raiseError(kxErr_parserIncorrectFormat, kIncorrectFormat, kWordToken);
  if (stop < start || start < 0 || step < 1) raiseError(kxErr_parserInvalidRange, kInvalidRange, kWordToken);
  itsGenLine = itsLexer.getLineNumber();
  if (!itsKeepDirectivesFlag) {
    // Counted before any record is made, so a range of billions fails at once.
    const uint64_t count = static_cast<uint64_t>((int64_t(stop) - start) / step) + 1;
    const uint64_t limit = itsBudget->itsLimits.itsMaxGenerated;
    if (count > limit - std::min(limit, itsBudget->itsGenerated))
      raiseError(kxErr_parserInvalidRange, kTooManyGenerated, std::to_string(limit).c_str());
    itsBudget->itsGenerated += count;
  }

  nextWord();
  const char* raw = itsLexer.getTokenText();
  std::string ownerTemplate = raw;
  if (ownerTemplate == "@")
    ownerTemplate = itsOrigin;
  else
    makeAbsolute(ownerTemplate);

  nextWord();
  std::string noOwner;
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  Fields line{name, ttl, type, data, comment, aging, enabled};
  const bool ttlGiven = readTypeAndData(noOwner, false, true, line);

  outFields.name.clear();
  outFields.ttl.clear();
  outFields.aging.clear();
  if (itsKeepDirectivesFlag) {
    std::string text = "$GENERATE";
    text += itsSeparator;
    text += range;
    text += itsSeparator;
    text += ownerTemplate;
    if (ttlGiven) {
      text += itsSeparator;
      text += ttl;
    }
    text += itsSeparator;
    text += kxResourceRecord::getTypeName(type);
    text += itsSeparator;
    text += data;
    outFields.type = kControlGenerate;
    outFields.data = text;
    outFields.comment = comment;
    itsGenCurrent = 0;
    itsGenStop = -1;
    return true;
  }
  itsGenCurrent = start;
  itsGenStop = stop;
  itsGenStep = step;
  itsGenType = type;
  itsGenTTL = ttl;
  itsGenOwner = ownerTemplate;
  itsGenData = data;
  return false;
}

void kxMasterFileParser::generateRecord(Fields& outFields) {
  outFields.name = expandTemplate(itsGenOwner, itsGenCurrent);
  makeAbsolute(outFields.name);
  outFields.ttl = itsGenTTL;
  outFields.type = itsGenType;
  outFields.data = expandTemplate(itsGenData, itsGenCurrent);
  if (kxResourceRecord::isDomainNameField(itsGenType, 0)) makeAbsolute(outFields.data);
  outFields.comment.clear();
  outFields.aging.clear();
  outFields.enabled = true;
  // The counter never passes beyond the 32-bit range.
  if (itsGenCurrent > itsGenStop - itsGenStep) {
    itsGenCurrent = 0;
    itsGenStop = -1;
  } else {
    itsGenCurrent += itsGenStep;
  }
}

bool kxMasterFileParser::parseGenerateRange(const std::string& inText, int32_t& outStart, int32_t& outStop,
                                            int32_t& outStep) {
  const char* p = inText.c_str();
  const char* const end = p + inText.size();
  if (!readSigned(p, outStart)) return false;
  if (*p++ != '-') return false;
  outStop = -1;
  if (!readSigned(p, outStop)) return false;
  if (*p == '/') {
    ++p;
    outStep = -1;
    if (!readSigned(p, outStep)) return false;
    return p == end && outStep > 0;
  }
  return p == end && outStop >= 0;
}

std::string kxMasterFileParser::expandTemplate(const std::string& inTemplate, int32_t inCounter) {
  std::string out;
  const char* p = inTemplate.c_str();
  const char* const end = p + inTemplate.size();
  while (p < end) {
    if (*p == '\\') {
      if (++p == end) raiseError(kxErr_parserIncorrectFormat, kIncorrectFormat, kWordToken);
      out += *p++;
      continue;
    }
    if (*p != '$') {
      out += *p++;
      continue;
    }
    ++p;
    if (*p == '$') {
      out += '$';
      ++p;
      continue;
    }
    int32_t offset = 0;
    uint32_t width = 0;
    char base = 'd';
    bool padded = false;
    if (*p == '{') {
      ++p;
      bool ok = readSigned(p, offset);
      if (ok && *p == ',') {
        ++p;
        ok = readUnsigned(p, width);
        padded = true;
        if (ok && *p == ',') {
          base = *++p;
          if (base != 'd' && base != 'o' && base != 'x' && base != 'X')
            raiseError(kxErr_parserIncorrectFormat, kIncorrectFormat, kWordToken);
          ++p;
        }
      }
      if (!ok || *p != '}') raiseError(kxErr_parserIncorrectFormat, kIncorrectFormat, kWordToken);
      ++p;
      // One value expands to at most kMaxExpansionWidth characters.
      if (width > kMaxExpansionWidth) raiseError(kxErr_parserIncorrectFormat, kIncorrectFormat, kWordToken);
    }
    const int64_t value = int64_t(inCounter) + offset;
    char text[kMaxExpansionWidth + 1];
    const int fieldWidth = padded ? int(width) : 0;
    if (base == 'd')
      std::snprintf(text, sizeof text, "%0*lld", fieldWidth, static_cast<long long>(value));
    else
      std::snprintf(text, sizeof text, base == 'o' ? "%0*o" : base == 'x' ? "%0*x" : "%0*X", fieldWidth,
                    static_cast<unsigned>(static_cast<uint32_t>(value)));
    out += text;
  }
  return out;
}
