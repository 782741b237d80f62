// Zone master files. See kxmasterfileparser.h.
#include "orvo/util/kxmasterfileparser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
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
  setQuotesSeparateWords(true);
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
const char kIncorrectName[] = "Error in file \"$f\" line $l. Incorrect domain name \"$t\": $e.";

// A class mnemonic (IN, CH, CS or HS, in any case) and its number. Every record line asks
// this of its class or type word, so the two letters are compared as they stand.
bool readClassMnemonic(std::string_view inWord, uint32_t& outClass) {
  static constexpr struct {
    char itsName[2];
    uint32_t itsClass;
  } kClasses[] = {{{'I', 'N'}, 1}, {{'C', 'H'}, 3}, {{'C', 'S'}, 2}, {{'H', 'S'}, 4}};
  if (inWord.size() != 2) return false;
  const auto upper = [](char inChar) { return inChar >= 'a' && inChar <= 'z' ? char(inChar - 'a' + 'A') : inChar; };
  const char first = upper(inWord[0]);
  const char second = upper(inWord[1]);
  for (const auto& entry : kClasses) {
    if (entry.itsName[0] == first && entry.itsName[1] == second) {
      outClass = entry.itsClass;
      return true;
    }
  }
  return false;
}

constexpr kxKeyword kMasterFileDirectives[] = {{"$GENERATE", 1}, {"$INCLUDE", 2}, {"$ORIGIN", 3}, {"$TTL", 4}};
constexpr int kClassIN = 1;
enum { kDirectiveGenerate = 1, kDirectiveInclude = 2, kDirectiveOrigin = 3, kDirectiveTTL = 4 };

// The largest TTL (RFC 2181, section 8); a larger value is read as 0.
constexpr uint32_t kMaxTTL = 2147483647;

// Whether two valid TTL texts hold the same number of seconds.
bool sameTTL(const std::string& inTTL1, const std::string& inTTL2) {
  if (inTTL1 == inTTL2) return true;
  uint32_t seconds1 = 0;
  uint32_t seconds2 = 1;
  return parseTTLValue(inTTL1.data(), inTTL1.size(), seconds1) && parseTTLValue(inTTL2.data(), inTTL2.size(), seconds2) &&
         seconds1 == seconds2;
}

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

// SVCB and HTTPS: their parameters may hold quoted values (alpn="h2,h3").
bool takesValuePairs(kxResRecType inType) {
  const kxFieldLayout* layout = kxFieldLayoutOf(inType);
  // Past the layout's kinds: the last one, which repeats.
  return layout != nullptr && layout->itsRepeatLast && layout->kindAt(kxFieldLayout::kMaxKinds) == kxFieldKind::kSvcParam;
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
  itsLexer.setSkipByteOrderMark(true);
  itsLexerPtr = &itsLexer;
}

void kxMasterFileParser::reset() {
  kxCustomParser::reset();
  itsIncludeParser.reset();
  itsStartCheckedFlag = false;
  itsGenerateCountedFlag = false;
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

bool kxMasterFileParser::isValidTTL(const char* inText) {
  uint32_t seconds = 0;
  return inText != nullptr && parseTTLValue(inText, std::strlen(inText), seconds);
}

void kxMasterFileParser::warn(int inLine, const std::string& inText) const {
  if (itsWarningHandler) itsWarningHandler({itsLexer.getFileName(), static_cast<uint32_t>(inLine), inText});
}

std::string kxMasterFileParser::readTTLWord(const char* inText) {
  uint32_t seconds = 0;
  if (!parseTTLValue(inText, std::strlen(inText), seconds))
    raiseError(kxErr_parserIncorrectTTLFormat, kIncorrectTTLFormat, kWordToken);
  if (seconds <= kMaxTTL) return inText;
  // RFC 2181, section 8: such a value is read as 0.
  warn(itsLexer.getLineNumber(), "TTL " + std::string(inText) + " is above 2147483647: read as 0");
  return "0";
}

// BIND gives the records of an RRset the TTL of its first, and while no default is known the
// TTL it gave is the last TTL too. BIND sees an RRset within the run of lines of one owner.
void kxMasterFileParser::keepPriorTTL(const std::string& inOwner, kxResRecType inType, const std::string& inTTL) {
  if (!equalsText(inOwner, itsRunOwner, false)) {
    itsRunOwner = inOwner;
    itsRunTTLs.clear();
  }
  for (const auto& [type, ttl] : itsRunTTLs) {
    if (type != inType) continue;
    if (!sameTTL(ttl, inTTL)) itsTTL->itsLast = ttl;
    return;
  }
  itsRunTTLs.emplace_back(inType, inTTL);
}

std::string kxMasterFileParser::implicitTTL() const {
  const TTLState& state = *itsTTL;
  if (!state.itsDefaultKnown) return state.itsLast;
  return sameTTL(state.itsDefault, state.itsZoneDefault) ? std::string() : state.itsDefault;
}

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
    if (!itsStartCheckedFlag) {
      itsStartCheckedFlag = true;
      if (itsLexer.byteOrderMarkSkipped()) warn(1, "UTF-8 byte-order mark at the start of the file skipped");
    }
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
  // The records without TTL of their own stand for the zone's default TTL, however the parse
  // ends: the collection takes it once it is known.
  struct DefaultTTL {
    kxRecordCollection& collection;
    const std::string& ttl;
    ~DefaultTTL() {
      if (!ttl.empty()) collection.setDefaultTTL(ttl);
    }
  } defaultTTL{ioCollection, itsTTL->itsZoneDefault};
  uint32_t soaCount = 0;
  std::string name, ttl, data, comment, aging;
  kxResRecType type = kNoRecordType;
  bool enabled = true;
  itsRecordSources.clear();
  while (readNextRecord(name, ttl, type, data, comment, aging, enabled)) {
    if (type == kTypeSOA && enabled && soaCount++ == 0 && !name.empty() && ioCollection.getDomainName().empty())
      ioCollection.setDomainName(name.back() == '.' ? name : name + '.', true);
    if (ioCollection.insertRecord(kxResourceRecord(&ioCollection, name, ttl, type, data, comment, aging, enabled), -1,
                                  kxRecordCollection::kAnswerSection))
      itsRecordSources.add(getRecordFileName(), static_cast<uint32_t>(getRecordLine()));
  }
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

// The owner is read into the record's own name field, whose buffer is used again record
// after record.
bool kxMasterFileParser::readRecordLine(Fields& outFields) {
  std::string& owner = outFields.name;
  owner.clear();
  bool namedOwner = false;
  if (itsLexer.getTokenColumn() == itsOwnerColumn) {
    const char* raw = itsLexer.getTokenText();
    namedOwner = raw[0] == '@' && raw[1] == '\0';
    if (namedOwner)
      owner = itsOrigin;
    else
      owner.assign(raw, itsLexer.getTokenLength());
    makeAbsolute(owner);
    if (!itsInDisabledFlag && !owner.empty()) checkName(owner, itsLexer.getLineNumber(), true);
    nextToken();
  }
  return readTypeAndData(namedOwner, outFields);
}

kxResRecType kxMasterFileParser::readTypeWords(std::string& outTTL, bool& outHaveTTL, std::string& outAging,
                                               RawText* ioRaw) {
  outTTL.clear();
  outAging.clear();
  outHaveTTL = false;
  bool haveClass = false;
  for (;;) {
    if (itsLexer.getToken() != kWordToken) raiseError(kxErr_parserUnexpectedToken, kUnexpectedToken, kWordToken);
    if (ioRaw != nullptr) appendRawToken(ioRaw->itsText, ioRaw->itsLine, ioRaw->itsEnd);
    const char* text = getTokenText();
    const size_t length = itsLexer.getTokenLength();
    if (length >= 2 && text[0] == '[' && text[length - 1] == ']') {
      if (startsWith(text, "[AGE:", false))
        outAging.assign(text + 5, length - 6);
      else if (startsWith(text, "[Aging:", false))
        outAging.assign(text + 7, length - 8);
      else
        raiseError(kxErr_parserIncorrectRRFormat, kIncorrectRRFormat, kWordToken);
    } else if (!isDigit(text[0])) {
      const std::string_view word = tokenView();
      uint32_t classNumber = 0;
      if (!readClassMnemonic(word, classNumber) && !(itsExtendedTypesFlag && kxReadClassWord(word, classNumber))) {
        kxResRecType type = kxTableTypeFromName(word);
        if (type == kNoRecordType && itsExtendedTypesFlag) type = kxExtendedTypeFromName(word);
        if (type == kNoRecordType && !equalsText(text, "N/A", false))
          raiseError(kxErr_parserUnknownRRType, kUnknownRRType, kWordToken);
        return type;
      }
      if (classNumber != kClassIN) raiseError(kxErr_parserUnsupportedClass, kUnsupportedClass, kWordToken);
      if (haveClass) raiseError(kxErr_parserIncorrectRRFormat, kIncorrectRRFormat, kWordToken);
      haveClass = true;
    } else {
      if (outHaveTTL) raiseError(kxErr_parserIncorrectRRFormat, kIncorrectRRFormat, kWordToken);
      outTTL = readTTLWord(text);
      outHaveTTL = true;
    }
    nextToken();
  }
}

bool kxMasterFileParser::readTypeAndData(bool inNamedOwner, Fields& ioFields) {
  std::string& owner = ioFields.name;
  std::string& ttl = ioFields.ttl;
  bool haveTTL = false;
  const kxResRecType type = readTypeWords(ttl, haveTTL, ioFields.aging, nullptr);
  struct ValuePairs {
    kxMasterFileFormatLexer& lexer;
    ~ValuePairs() { lexer.setQuotedValuePairs(false); }
  } valuePairs{itsLexer};
  if (type != kNoRecordType && type != itsPlainType) {
    if (takesValuePairs(type))
      itsLexer.setQuotedValuePairs(true);
    else
      itsPlainType = type;  // the type read last, most often the next one's too
  }
  // As BIND does, an SOA record read before any TTL is known makes its minimum the default.
  const bool noTTLKnown = type == kTypeSOA && !haveTTL && !itsTTL->itsDefaultKnown && itsTTL->itsLast.empty();
  if (type != kNoRecordType) {
    if (!owner.empty() || inNamedOwner) {
      if (!itsInDisabledFlag) {
        itsLastOwner = owner;
        itsHaveLastOwnerFlag = true;
      }
    } else {
      // Taking the apex would change the record; there is no owner to inherit.
      if (!itsHaveLastOwnerFlag) raiseError(kxErr_parserExpectedName, kMissingOwner, kWordToken);
      owner = itsLastOwner;
    }
    if (!haveTTL)
      ttl = implicitTTL();
    else if (!itsInDisabledFlag)
      itsTTL->itsLast = ttl;
    if (!itsTTL->itsDefaultKnown && !itsInDisabledFlag && !ttl.empty()) keepPriorTTL(owner, type, ttl);
  }
  ioFields.type = type;
  ioFields.data.clear();
  ioFields.comment.clear();
  // SOA and LOC data cannot be empty: their readers refuse it.
  itsDataWords = 1;
  if (type != kNoRecordType && itsExtendedTypesFlag && startsGenericData()) {
    readGenericData(type, ioFields.data);
    readCommentAndEndOfLine(ioFields.comment);
    if (type == kTypeSOA && !itsInDisabledFlag && noTTLKnown)
      takeSOAMinimum(ioFields, kxResourceRecord::extractDataField(ioFields.data, 6));
    return true;
  }
  if (kxResourceRecord::getDataFormat(type) == kFormatGeneric) {
    nextToken();
    const bool word = itsLexer.getToken() == kWordToken;
    raiseRecordError(kExpectedToken, word ? itsLexer.getTokenText() : "end of line", "\\#",
                     word ? itsLexer.getLineNumber() : itsRecordLine);
  }
  if (type == kTypeSOA) {
    readSOAData(ioFields);
    if (!itsInDisabledFlag && noTTLKnown)
      takeSOAMinimum(ioFields, kxResourceRecord::extractDataField(ioFields.data, 6));
    return true;
  }
  if (type == kTypeLOC) {
    readLOCData(ioFields);
    return true;
  }
  readDataFields(type, ioFields.data);
  readCommentAndEndOfLine(ioFields.comment);
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
  // A fault is named by the line of its word; a fault of the whole, by the line of the last.
  int lastLine = itsLexer.getLineNumber();
  auto refuse = [&](const char* inReason) {
    const bool word = itsLexer.getToken() == kWordToken;
    raiseRecordError(kIncorrectGenericData, "", inReason, word ? itsLexer.getLineNumber() : lastLine);
  };
  auto refuseWhole = [&](const char* inReason) { raiseRecordError(kIncorrectGenericData, "", inReason, lastLine); };
  if (nextToken() != kWordToken) refuse("missing length");
  lastLine = itsLexer.getLineNumber();
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
    lastLine = itsLexer.getLineNumber();
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
  if (high >= 0) refuseWhole("odd number of hexadecimal digits");
  if (bytes.size() != length) refuseWhole("less data than its length");
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (kxResourceRecord::getDataFormat(inType) == kFormatGeneric) {
    outData = kxGenericDataText(data, bytes.size());
    return;
  }
  const char* reason = "";
  if (!kxGenericDataToText(inType, data, bytes.size(), outData, reason))
    raiseRecordError(kIncorrectData, kxResourceRecord::getTypeName(inType), std::string("generic data ") + reason,
                     lastLine);
}

// An error of the record being read, named by the line given: once the lexer has reported a
// line's end, its line number is already the next line's.
void kxMasterFileParser::raiseRecordError(const char* inMessage, const std::string& inText,
                                          const std::string& inDetail, int inLine) {
  kxErrorMessage message(kxErr_parserIncorrectRRFormat, inMessage);
  message.addParam('f', itsLexer.getFileName());
  message.addParam('l', static_cast<uint32_t>(inLine));
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

// Each word is read as the type's layout says: a name made absolute, a text without its
// quotes; the words beyond the last field join it as its kind wants (kxRestJoinOf).
void kxMasterFileParser::readDataFields(kxResRecType inType, std::string& outData) {
  const kxFieldLayout* layout = kxFieldLayoutOf(inType);
  const uint32_t lastField = layout ? layout->lastField() : UINT32_MAX;
  const kxFieldKind lastKind = layout && lastField != UINT32_MAX ? layout->kindAt(lastField) : kxFieldKind::kEnd;
  itsDataLines.clear();
  for (uint32_t i = 0;; ++i) {
    const int token = nextToken();
    itsDataWords = i;
    if (token == kEOLToken || token == kCommentToken || token == kEOFToken) return;
    if (i == 0 && inType != kNoRecordType) refuseGenericData();
    const bool rest = i > lastField;
    if (i > 0) {
      const kxRestJoin join = rest ? kxRestJoinOf(lastKind) : kxRestJoin::kSeparator;
      if (join == kxRestJoin::kBlank)
        outData += ' ';
      else if (join == kxRestJoin::kSeparator)
        outData += itsSeparator;
    }
    noteDataLine(outData.size());
    const kxFieldKind kind = rest ? lastKind : layout ? layout->kindAt(i) : kxFieldKind::kEnd;
    if (kxResourceRecord::isDomainNameField(inType, i, outData)) {
      itsNameBuffer.assign(tokenView());
      makeAbsolute(itsNameBuffer);
      appendDataText(outData, itsNameBuffer);
    } else if (kxIsTextKind(kind)) {
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

void kxMasterFileParser::readSOAData(Fields& outFields) {
  std::string& data = outFields.data;
  itsDataLines.clear();
  for (int i = 0; i < 2; ++i) {
    nextWord();
    if (i == 0) refuseGenericData();
    noteDataLine(data.size() + (i > 0 ? 1 : 0));
    std::string name(tokenView());
    makeAbsolute(name);
    if (i > 0) data += itsSeparator;
    appendDataText(data, name);
  }
  nextInteger();
  data += itsSeparator;
  noteDataLine(data.size());
  data += itsLexer.getTokenText();
  for (int i = 0; i < 4; ++i) {
    nextToken();
    if (itsLexer.getToken() != kWordToken || !isValidTTL(itsLexer.getTokenText()))
      raiseError(kxErr_parserExpectedValue, kExpectedValue, kWordToken);
    data += itsSeparator;
    noteDataLine(data.size());
    data += itsLexer.getTokenText();
  }
  nextToken();
  readCommentAndEndOfLine(outFields.comment);
}

void kxMasterFileParser::takeSOAMinimum(Fields& ioFields, const std::string& inMinimum) {
  TTLState& state = *itsTTL;
  uint32_t seconds = 0;
  std::string minimum = inMinimum;
  if (!parseTTLValue(minimum.data(), minimum.size(), seconds)) return;
  if (seconds > kMaxTTL) {
    warn(itsRecordLine, "SOA minimum " + minimum + " is above 2147483647: read as 0");
    minimum = "0";
  }
  state.itsDefault = minimum;
  state.itsDefaultKnown = true;
  if (state.itsZoneDefault.empty()) state.itsZoneDefault = minimum;
  ioFields.ttl = implicitTTL();
}

void kxMasterFileParser::readLOCData(Fields& outFields) {
  std::string& data = outFields.data;
  const char* const ends[2][2] = {{"N", "S"}, {"E", "W"}};
  itsDataLines.clear();
  for (int half = 0; half < 2; ++half) {
    if (half > 0) data += itsSeparator;
    nextWord();
    if (half == 0) refuseGenericData();
    for (;;) {
      noteDataLine(data.size());
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
    noteDataLine(data.size());
    appendDataText(data, tokenView());
  }
  readCommentAndEndOfLine(outFields.comment);
}

void kxMasterFileParser::noteDataLine(size_t inOffset) {
  const int line = itsLexer.getLineNumber();
  if (itsDataLines.empty() || itsDataLines.back().second != line) itsDataLines.emplace_back(inOffset, line);
}

// The line of the word a fault lies in. A field joined from several words (base64, hex, a
// type list) is searched for the faulty word: the first holding what the field cannot hold,
// else the last, where the fault of the whole (a length) shows.
int kxMasterFileParser::faultLine(const kxRecordDataFault& inFault, kxResRecType inType, const std::string& inData,
                                  int inLine) const {
  if (itsDataLines.empty() || inFault.itsField == 0) return inLine;
  if (itsDataLines.size() == 1) return itsDataLines.front().second;
  const auto lineAt = [&](size_t inOffset) {
    int line = itsDataLines.front().second;
    for (const auto& [offset, at] : itsDataLines)
      if (offset <= inOffset) line = at;
    return line;
  };
  if (inFault.itsText.empty()) return itsDataLines.back().second;  // a field missing at the end
  size_t begin = 0;
  for (uint32_t field = 1; field < inFault.itsField && begin != std::string::npos; ++field) {
    begin = inData.find(itsSeparator, begin);
    if (begin != std::string::npos) ++begin;
  }
  if (begin == std::string::npos) return itsDataLines.back().second;
  const kxFieldLayout* layout = kxFieldLayoutOf(inType);
  const kxFieldKind kind = layout != nullptr ? layout->kindAt(inFault.itsField - 1) : kxFieldKind::kEnd;
  const std::string_view field = std::string_view(inData).substr(begin);
  const char* alphabet = nullptr;
  if (kind == kxFieldKind::kBase64)
    alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
  else if (kind == kxFieldKind::kHex || kind == kxFieldKind::kDigest)
    alphabet = "0123456789ABCDEFabcdef\t";
  if (alphabet != nullptr) {
    const size_t bad = field.find_first_not_of(alphabet);
    return lineAt(bad == std::string_view::npos ? inData.size() - 1 : begin + bad);
  }
  if (kind == kxFieldKind::kTypeList || kind == kxFieldKind::kTypeBitmap) {
    const std::string_view list = field.substr(0, field.find(itsSeparator));
    for (size_t word = 0; word < list.size();) {
      size_t end = list.find(' ', word);
      if (end == std::string_view::npos) end = list.size();
      const std::string name(list.substr(word, end - word));
      if (kxTableTypeFromName(name) == kNoRecordType && kxExtendedTypeFromName(name) == kNoRecordType)
        return lineAt(begin + word);
      word = end + 1;
    }
  }
  return lineAt(begin);
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
  } else if (checkRecordData({}, inFields.type, inFields.data, fault)) {  // the owner was checked as it was read
    return;
  }
  kxErrorMessage message(kxErr_parserIncorrectRRFormat, kIncorrectData);
  message.addParam('f', itsLexer.getFileName());
  message.addParam('l', static_cast<uint32_t>(faultLine(fault, inFields.type, inFields.data, inLine)));
  message.addParam('t', kxResourceRecord::getTypeName(inFields.type));
  message.addParam('e', fault.describe());
  if (!itsDataFaultHandler) throw kxException(message);
  itsDataFaultHandler(message);
}

bool kxMasterFileParser::checkName(const std::string& inName, int inLine, bool inMayGoOn) const {
  const char* reason = "";
  if (checkDomainName(inName, reason)) return true;
  kxErrorMessage message(kxErr_parserIncorrectRRFormat, kIncorrectName);
  message.addParam('f', itsLexer.getFileName());
  message.addParam('l', static_cast<uint32_t>(inLine));
  message.addParam('t', printableText(inName.c_str()));
  message.addParam('e', reason);
  if (!inMayGoOn || !itsCheckDataFlag || !itsDataFaultHandler) throw kxException(message);
  itsDataFaultHandler(message);
  return false;
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
      checkName(origin, itsLexer.getLineNumber(), false);
      itsOrigin = origin;
      itsAppendOriginFlag = true;
      expectEndOfDirective();
      return false;
    }
    case kDirectiveTTL: {
      if (nextToken() != kWordToken) raiseError(kxErr_parserIncorrectTTLFormat, kIncorrectTTLFormat, kWordToken);
      TTLState& state = *itsTTL;
      state.itsDefault = readTTLWord(itsLexer.getTokenText());
      state.itsDefaultKnown = true;
      state.itsLast = state.itsDefault;
      if (state.itsZoneDefault.empty()) state.itsZoneDefault = state.itsDefault;
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
    checkName(origin, itsLexer.getLineNumber(), false);
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
    // As a kept "$GENERATE": the origin and TTL its records without TTL would take.
    outFields.type = kControlInclude;
    outFields.name = itsOrigin;
    outFields.ttl = implicitTTL();
    outFields.data = text;
    outFields.aging.clear();
    // The file is not read, but a "$TTL" in it holds after it: the last one is looked up, in
    // a plain file only (a device or a pipe could be read without end).
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) return true;
    std::ifstream included(fileName, std::ios_base::in | std::ios_base::binary);
    scanDirective(included, fileName, 1, "$TTL", [&](const char* inTTL, int) {
      uint32_t seconds = 0;
      if (parseTTLValue(inTTL, std::strlen(inTTL), seconds)) {
        TTLState& state = *itsTTL;
        state.itsDefault = seconds > kMaxTTL ? "0" : inTTL;
        state.itsDefaultKnown = true;
        state.itsLast = state.itsDefault;
      }
      return true;
    });
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
  include->itsKeepDirectivesFlag = itsKeepDirectivesFlag;
  include->itsTTL = itsTTL;
  include->itsWarningHandler = itsWarningHandler;
  include->itsIncludeDepth = itsIncludeDepth + 1;
  if (!include->openFile(fileName)) raiseError(kxErr_fileOpen, kIncludeOpen, fileName.c_str());
  itsIncludeParser = std::move(include);
  return false;
}

// "$GENERATE range owner [TTL] [class] type data": as in BIND, the owner and the data are one
// word each; data of several fields is written as one quoted string. Both templates stay as
// written, relative names and escapes included, and are made absolute once expanded.
bool kxMasterFileParser::readGenerate(Fields& outFields) {
  RawText raw;
  appendRawToken(raw.itsText, raw.itsLine, raw.itsEnd);
  nextWord();
  appendRawToken(raw.itsText, raw.itsLine, raw.itsEnd);
  const std::string range = itsLexer.getTokenText();
  int32_t start = 0;
  int32_t stop = -1;
  int32_t step = 1;
  if (!parseGenerateRange(range, start, stop, step)) raiseError(kxErr_parserIncorrectFormat, kIncorrectFormat, kWordToken);
  if (stop < start || start < 0 || step < 1) raiseError(kxErr_parserInvalidRange, kInvalidRange, kWordToken);
  itsGenLine = itsLexer.getLineNumber();
  if (!itsKeepDirectivesFlag) countGenerated(static_cast<uint64_t>((int64_t(stop) - start) / step) + 1);

  nextWord();
  appendRawToken(raw.itsText, raw.itsLine, raw.itsEnd);
  const std::string ownerTemplate = itsLexer.getTokenText();

  nextWord();
  std::string ttl;
  std::string aging;
  bool haveTTL = false;
  const kxResRecType type = readTypeWords(ttl, haveTTL, aging, &raw);
  // Records of every type but the zone's SOA, whose data has a reader of its own.
  if (type == kNoRecordType || type == kTypeSOA) raiseError(kxErr_parserInvalidRange, kInvalidRange, kWordToken);
  if (haveTTL)
    itsTTL->itsLast = ttl;
  else
    ttl = implicitTTL();
  nextWord();
  appendRawToken(raw.itsText, raw.itsLine, raw.itsEnd);
  const std::string dataText = unquoted(itsLexer.getTokenText(), itsLexer.getTokenLength());
  std::string comment;
  nextToken();
  readCommentAndEndOfLine(comment);

  outFields.aging.clear();
  if (itsKeepDirectivesFlag) {
    // Kept as written, with what it needs to be read back alike: the origin, and the TTL
    // its records would take when that is not the zone's default.
    outFields.type = kControlGenerate;
    outFields.name = itsOrigin;
    outFields.ttl = haveTTL ? std::string() : ttl;
    outFields.data = std::move(raw.itsText);
    outFields.comment = comment;
    itsGenCurrent = 0;
    itsGenStop = -1;
    return true;
  }
  std::istringstream templateText(dataText);
  kxMasterFileParser templateParser(&templateText, itsLexer.getFileName(), itsOrigin, false, true);
  templateParser.itsExtendedTypesFlag = itsExtendedTypesFlag;
  templateParser.itsLexer.startAtLine(itsGenLine);
  std::string data;
  templateParser.readTemplateData(type, data);

  itsGenCurrent = start;
  itsGenStop = stop;
  itsGenStep = step;
  itsGenType = type;
  itsGenTTL = ttl;
  itsGenOwner = ownerTemplate == "@" ? itsOrigin : ownerTemplate;
  itsGenData = std::move(data);
  itsGenDataWords = templateParser.itsDataWords;
  return false;
}

void kxMasterFileParser::readTemplateData(kxResRecType inType, std::string& outData) {
  std::string name, ttl, comment, aging;
  kxResRecType type = inType;
  bool enabled = true;
  Fields fields{name, ttl, type, outData, comment, aging, enabled};
  itsDataWords = 1;
  // The line end that comes before the first line's words.
  nextToken();
  if (inType == kTypeLOC) {
    readLOCData(fields);
  } else {
    readDataFields(inType, outData);
    readCommentAndEndOfLine(comment);
  }
  // One line of data and nothing else: a comment in it is no comment of the zone file.
  if (!comment.empty() || nextToken() != kEOFToken)
    raiseError(kxErr_parserExpectedEndOfLine, kExpectedEndOfLine, kEOLToken);
}

bool kxMasterFileParser::scanDirective(std::istream& ioStream, const std::string& inFileName, int inFirstLine,
                                       const char* inDirective,
                                       const std::function<bool(const char* inWord, int inLine)>& inVisit) {
  try {
    // The words of the master-file syntax, but parentheses are plain tokens here: the lines
    // are looked at one by one, each at its first word only, and the rest is skipped unread.
    kxCustomStreamLexer lexer;
    lexer.setCharClass('(', kSingleCharClass);
    lexer.setCharClass(')', kSingleCharClass);
    lexer.setCharClass(';', kCommentStartClass);
    lexer.setQuotesSeparateWords(true);
    lexer.setRefuseNul(true);
    lexer.setInterpretEscapes(false);
    lexer.setStream(&ioStream, inFileName, false);
    lexer.startAtLine(inFirstLine);
    while (lexer.nextToken() != kEOFToken) {
      if (lexer.getToken() == kWordToken && equalsText(lexer.getTokenText(), inDirective, false) &&
          lexer.nextToken() == kWordToken && !inVisit(lexer.getTokenText(), lexer.getLineNumber()))
        return true;
      lexer.skipRestOfLine();
    }
    return true;
  } catch (const kxException&) {
    // A reading proper meets the fault and names it.
    return false;
  }
}

void kxMasterFileParser::countGenerated(uint64_t inCount) {
  Budget& budget = *itsBudget;
  const uint64_t limit = budget.itsLimits.itsMaxGenerated;
  const auto refuse = [&](int inLine) {
    kxErrorMessage message(kxErr_parserInvalidRange, kTooManyGenerated);
    message.addParam('f', itsLexer.getFileName());
    message.addParam('l', static_cast<uint32_t>(inLine));
    message.addParam('t', "$GENERATE");
    message.addParam('e', std::to_string(limit));
    throw kxException(message);
  };
  // Counted already with the whole file.
  if (itsGenerateCountedFlag) return;
  uint64_t total = inCount;
  if (total > limit - std::min(limit, budget.itsGenerated)) refuse(itsGenLine);
  // The ranges of the later lines, read ahead from the file's stream, which is then put back:
  // a file of many ranges is refused before its first records are made. A stream that cannot
  // be put back (a pipe) has its ranges counted as they come.
  std::istream* stream = itsLexer.getStream();
  std::streambuf* buffer = stream != nullptr ? stream->rdbuf() : nullptr;
  const std::streampos resume =
      buffer != nullptr ? buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in) : std::streampos(-1);
  if (resume != std::streampos(-1)) {
    const std::ios_base::iostate state = stream->rdstate();
    int tooMany = 0;
    const bool scanned = scanDirective(*stream, itsLexer.getFileName(), itsLexer.getLineNumber() + 1, "$GENERATE",
                  [&](const char* inRange, int inLine) {
                    int32_t first = 0;
                    int32_t last = -1;
                    int32_t step = 1;
                    if (parseGenerateRange(inRange, first, last, step) && first >= 0 && last >= first) {
                      total += static_cast<uint64_t>((int64_t(last) - first) / step) + 1;
                      if (total > limit - std::min(limit, budget.itsGenerated)) tooMany = inLine;
                    }
                    return tooMany == 0;
                  });
    stream->clear(state);
    buffer->pubseekpos(resume, std::ios_base::in);
    if (tooMany != 0) refuse(tooMany);
    // A file the scan could not read to its end has its later ranges counted as they come.
    if (scanned)
      itsGenerateCountedFlag = true;
    else
      total = inCount;
  }
  budget.itsGenerated += total;
}

void kxMasterFileParser::generateRecord(Fields& outFields) {
  outFields.name = expandTemplate(itsGenOwner, itsGenCurrent);
  makeAbsolute(outFields.name);
  checkName(outFields.name, itsGenLine, true);
  outFields.ttl = itsGenTTL;
  outFields.type = itsGenType;
  outFields.data = expandTemplate(itsGenData, itsGenCurrent);
  if (kxResourceRecord::hasDomainNameFields(itsGenType)) {
    std::string& data = outFields.data;
    size_t begin = 0;
    for (uint32_t index = 0; begin <= data.size(); ++index) {
      size_t end = data.find(itsSeparator, begin);
      if (end == std::string::npos) end = data.size();
      if (kxResourceRecord::isDomainNameField(itsGenType, index)) {
        std::string name = data.substr(begin, end - begin);
        makeAbsolute(name);
        data.replace(begin, end - begin, name);
        end = begin + name.size();
      }
      begin = end + 1;
    }
  }
  itsDataWords = itsGenDataWords;
  itsDataLines.clear();  // every fault is the "$GENERATE" line's
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

// As BIND expands a template: an escape is kept whole for the name or data it is part of
// ("\$" is a dollar sign there, "\." a dot inside a label), and the nibble bases n and N give
// the hexadecimal digits from the lowest, one label each, as reverse names of IPv6 take them.
std::string kxMasterFileParser::expandTemplate(const std::string& inTemplate, int32_t inCounter) {
  std::string out;
  const char* p = inTemplate.c_str();
  const char* const end = p + inTemplate.size();
  while (p < end) {
    if (*p == '\\') {
      if (p + 1 == end) raiseError(kxErr_parserIncorrectFormat, kIncorrectFormat, kWordToken);
      out.append(p, 2);
      p += 2;
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
          if (std::strchr("doxXnN", base) == nullptr || base == '\0')
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
    if (base == 'n' || base == 'N') {
      // Width counts the digits and the dots between them; a width that ends on a dot leaves
      // the dot (BIND's "${0,4,n}" is "0.0.").
      const char* const digits = base == 'n' ? "0123456789abcdef" : "0123456789ABCDEF";
      uint32_t nibbles = static_cast<uint32_t>(value);
      do {
        out += digits[nibbles & 0xF];
        nibbles >>= 4;
        if (width > 0) --width;
        if (width > 0 || nibbles != 0) {
          out += '.';
          if (width > 0) --width;
        }
      } while (nibbles != 0 || width > 0);
      continue;
    }
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
