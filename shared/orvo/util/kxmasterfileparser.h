// Zone master files: the lexer of the master-file syntax and the master-file parser.
//
// kxMasterFileFormatLexer is a stream lexer in which ";" starts a comment that runs to the end
// of the line and is reported as a token, and "(" ... ")" lets one record continue over
// several lines. Parentheses never reach the parser: the lexer counts them and, while a group
// is open, suppresses end-of-line tokens and drops comments, so the group's words arrive as
// if they stood on one line. Only the outermost pair switches end-of-line tokens; the end of
// input inside a group is an error.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "orvo/datastruct/kxresrectype.h"
#include "orvo/util/kxparser.h"
#include "orvo/util/kxstream.h"

class kxRecordCollection;
class kxResourceRecord;

class kxMasterFileFormatLexer : public kxCustomStreamLexer {
 public:
  kxMasterFileFormatLexer();
  ~kxMasterFileFormatLexer() override;

  int nextToken() override;

  // Number of "(" not yet closed. Not cleared by reset: a parse that failed inside a group
  // leaves it above 0.
  int32_t getParenDepth() const { return itsParenDepth; }

 private:
  int32_t itsParenDepth = 0;
};

// kxMasterFileParser reads zone master files (RFC 1035 text) one record at a time as text
// fields: owner, TTL text, type, data fields joined by the tab, comment, aging text and the
// enabled flag. Besides records it reads "$ORIGIN", "$TTL", "$INCLUDE" and "$GENERATE", lines
// of comment stored as type-0 records, disabled records written as ";<!dis:record>comment",
// and the aging mark "[AGE:text]" between owner and type.
//
// "$INCLUDE" and "$GENERATE" are returned as control records (kControlInclude,
// kControlGenerate) while directives are kept (the default), otherwise carried out: an
// included file is read by a parser of its own (itsIncludeParser) whose records come before
// the line after the directive, and generated records come from the templates one per call.
// Includes nest at most kMaxIncludeDepth deep, so a file that includes itself ends in an
// error rather than in endless recursion.
//
// Errors are thrown as kxException with the parser codes of kxErr; the message names the
// file and line ("Error in file "$f" line $l. ...").
class kxMasterFileParser : public kxCustomParser {
 public:
  static constexpr int kMaxIncludeDepth = 16;

  // Reads the named file; a file that cannot be opened reads as an empty one.
  kxMasterFileParser(const std::string& inFileName, const std::string& inOrigin, bool inAppendOrigin,
                     bool inNoInclude);
  // Reads a stream the caller keeps open; inStreamName names it in error messages.
  kxMasterFileParser(std::istream* inStream, const std::string& inStreamName, const std::string& inOrigin,
                     bool inAppendOrigin, bool inNoInclude);
  virtual ~kxMasterFileParser();

  void reset() override;
  // The lexer's token text, except that a token "@" (not a comment) gives the origin.
  const char* getTokenText() override;

  // The next record; false at the end of input.
  bool readNextRecord(std::string& outName, std::string& outTTL, kxResRecType& outType, std::string& outData,
                      std::string& outComment, std::string& outAging, bool& outEnabled);
  bool readNextRecord(std::string& outName, std::string& outTTL, kxResRecType& outType, std::string& outData,
                      std::string& outComment, bool& outEnabled);
  // The next record stored into outRecord; false (record untouched) at the end of input.
  bool readRecord(kxResourceRecord& outRecord);

  // Reads the whole input into ioCollection's answer section, in file order: comment lines,
  // disabled records and kept directives included. The first SOA record gives the collection
  // its default TTL and, when it has none, its domain name (the SOA owner). With
  // inRequireSOA, an input without SOA record raises kxErr_parserMissingSOARecord. On an
  // error the records read so far stay in the collection.
  void parseZone(kxRecordCollection& ioCollection, bool inRequireSOA);

  // Appends the origin to a name that does not end in "." while appending is on.
  void makeAbsolute(std::string& ioName) const;
  static bool isValidTTL(const char* inText);
  void logRecordFields(const std::string& inName, const std::string& inTTL, kxResRecType inType,
                       const std::string& inData, const std::string& inComment) const;
  // The raw text of the rest of the line, from its next token to the end of the last one
  // before the line end or a comment; unchanged when the line ends at once.
  void readRestOfLine(std::string& outText);

  // "$GENERATE" pieces, public for tests. The range is start "-" stop ["/" step]; outStep is
  // set only when a step is given.
  static bool parseGenerateRange(const std::string& inText, int32_t& outStart, int32_t& outStop,
                                 int32_t& outStep);
  // Expands a template for one counter value; a malformed template raises "Incorrect format."
  std::string expandTemplate(const std::string& inTemplate, int32_t inCounter);

  void setCommentRecords(bool inFlag) { itsCommentRecordsFlag = inFlag; }
  void setDisabledRecords(bool inFlag) { itsDisabledRecordsFlag = inFlag; }
  void setKeepDirectives(bool inFlag) { itsKeepDirectivesFlag = inFlag; }
  const std::string& getOrigin() const { return itsOrigin; }
  const std::string& getDefaultTTL() const { return itsDefaultTTL; }

 private:
  struct Fields;

  void initialise();
  bool readFromLine(int inToken, Fields& outFields);
  bool readDisabledRecord(Fields& outFields);
  bool readRecordLine(Fields& outFields);
  // The TTL, class, aging and type words, then the data to the end of the line. True when a
  // record is delivered; for a "$GENERATE" line (inGenerate) whether a TTL was written.
  bool readTypeAndData(std::string& ioOwner, bool inNamedOwner, bool inGenerate, Fields& outFields);
  void readDataFields(kxResRecType inType, std::string& outData);
  void readCommentAndEndOfLine(std::string& outComment);
  bool readSOAData(Fields& outFields);
  void readLOCData(Fields& outFields);
  void expectEndOfDirective();
  bool readDirective(Fields& outFields);
  bool readInclude(Fields& outFields);
  bool readGenerate(Fields& outFields);
  void generateRecord(Fields& outFields);

  std::string itsOrigin;
  bool itsAppendOriginFlag;
  bool itsNoIncludeFlag;
  bool itsCommentRecordsFlag = true;
  bool itsDisabledRecordsFlag = true;
  kxMasterFileFormatLexer itsLexer;
  std::unique_ptr<kxMasterFileParser> itsIncludeParser;
  std::string itsSOAMinimum;
  std::string itsDefaultTTL;
  std::string itsCurrentTTL;
  bool itsTTLChangedFlag = false;
  std::string itsLastOwner;
  bool itsSkipSOAFlag = false;
  bool itsSOASeenFlag = false;
  bool itsKeepDirectivesFlag = true;
  char itsSeparator;
  uint16_t itsOwnerColumn = 0;
  int32_t itsGenCurrent = 0;
  int32_t itsGenStop = -1;
  int32_t itsGenStep = 1;
  kxResRecType itsGenType = kNoRecordType;
  std::string itsGenTTL;
  std::string itsGenOwner;
  std::string itsGenData;
  // How deep this parser's file is included; 0 for the parser a caller made.
  int itsIncludeDepth = 0;
  // Set while the text of a disabled record is read: no disabled record nests in another.
  bool itsInDisabledFlag = false;
};
