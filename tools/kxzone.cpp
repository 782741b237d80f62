// kxzone: checks a zone master file, or writes it back in the library's master-file form.
//
//   kxzone check [options] FILE    problems on standard error, a summary on standard output
//   kxzone format [options] FILE   the zone as master-file lines (standard output or -o FILE)
//   kxzone sort [options] FILE     format, the records ordered by name (or --sort type)
//
// Every command reads the whole zone first: the master-file syntax, every record's data for
// its type, then the zone as a whole (kxzonecheck.h). Problems are reported as compilers
// report them, "FILE:LINE: error: TEXT" or "FILE:LINE: warning: TEXT", in the order of the
// files and lines, the first --max-errors of them shown and all of them counted; with --json
// they are one JSON document on standard output instead. format and sort write nothing when
// there is an error, so what check refuses is never written; -o writes a temporary file
// beside the target and renames it over the target once it is complete.
//
// Exit status: 0 the zone was read and has no error (warnings allowed unless
// --warnings-fail), 1 it has an error, 2 a usage error or a file that cannot be read or
// written.
#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <queue>
#include <streambuf>
#include <string>
#include <vector>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/dns/kxzonecheck.h"
#include "orvo/kxversion.h"
#include "orvo/messages/kxerrormessage.h"
#include "orvo/messages/kxexception.h"
#include "orvo/platform/kxconsole.h"
#include "orvo/platform/kxfilesystem.h"
#include "orvo/util/kxmasterfileparser.h"

namespace {

const char kUsage[] =
    "Usage: kxzone check [options] FILE\n"
    "       kxzone format [options] [-o OUTPUT] FILE\n"
    "       kxzone sort [options] [-o OUTPUT] FILE\n"
    "       kxzone --help | --version\n"
    "\n"
    "Checks a DNS zone master file (RFC 1035), or writes it back in the same form.\n"
    "FILE \"-\" reads standard input.\n"
    "\n"
    "Commands:\n"
    "  check   read the zone, check every record's data and the zone as a whole, report\n"
    "          each problem and print \"FILE: N records, M comment lines\"\n"
    "  format  check the zone as check does, then write it back as master-file lines:\n"
    "          comments, disabled records, aging marks and kept directives too; nothing\n"
    "          is written when the zone has an error\n"
    "  sort    format, with the records ordered by owner name (--sort type: by type)\n"
    "\n"
    "What check finds:\n"
    "  errors    syntax errors; record data that is not what its type holds; no SOA\n"
    "            record at the zone apex, more than one, or one elsewhere; no NS record at\n"
    "            the apex; a CNAME beside other data (RRSIG, NSEC, NSEC3 and KEY aside) or\n"
    "            two CNAMEs at one name; an in-zone name server of the apex or of a\n"
    "            delegation without an address record (missing glue); data below a DNAME,\n"
    "            or below a delegation other than glue (A and AAAA)\n"
    "  warnings  an MX, NS or SRV target that is a CNAME; data outside the zone; an RRset\n"
    "            whose records have different TTLs; a duplicate record\n"
    "\n"
    "Options:\n"
    "  -o, --output=FILE     (format, sort) write to FILE instead of standard output,\n"
    "                        through a temporary file in FILE's folder that is renamed to\n"
    "                        FILE once complete (FILE may be the input itself)\n"
    "      --origin=NAME     origin of relative names and the zone's name (default: the\n"
    "                        root, \".\", and the zone's name is the owner of its SOA record)\n"
    "      --sort=KEY        (format, sort) order the records by KEY, \"name\" or \"type\"\n"
    "                        (the SOA record first, comment lines last)\n"
    "      --descending      (format, sort) with --sort: in descending order\n"
    "      --keep-directives keep $INCLUDE and $GENERATE lines as they are instead of\n"
    "                        reading the included file or generating the records\n"
    "      --no-include      $INCLUDE is an error\n"
    "      --require-soa     a file without SOA record is a syntax error\n"
    "      --syntax-only     check the master-file syntax only: not the records' data, not\n"
    "                        the zone as a whole\n"
    "      --no-zone-checks  check every record's data but not the zone as a whole (for a\n"
    "                        file that holds part of a zone)\n"
    "      --strict-types    read only the library's 23 record types: no added types (CAA,\n"
    "                        TLSA, HTTPS, ...), no TYPEnnn or CLASSnnn, no generic \\# data\n"
    "      --warnings-fail   exit with status 1 when there is a warning\n"
    "      --max-errors=N    show at most N problems, errors and warnings (default 20); all\n"
    "                        are counted\n"
    "      --max-includes=N  at most N included files in all (default 1000)\n"
    "      --max-generated=N at most N records generated by $GENERATE in all (default\n"
    "                        10000000)\n"
    "      --json            the summary and the problems as one JSON object on standard\n"
    "                        output (format and sort then need -o)\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version and exit\n"
    "\n"
    "Problems go to standard error as \"FILE:LINE: error: TEXT\" or \"FILE:LINE: warning:\n"
    "TEXT\" (\"FILE: error: TEXT\" when no line holds it), in the order of the files and their\n"
    "lines, with \"(see FILE:LINE)\" naming a record the problem concerns. A zone of more than\n"
    "50 MB shows its progress on standard error when that is a terminal.\n"
    "\n"
    "Exit status: 0 no error (warnings allowed unless --warnings-fail), 1 the zone has an\n"
    "error, 2 a usage error or a file that cannot be read or written.\n";

enum ExitStatus { kExitOK = 0, kExitZoneError = 1, kExitUsage = 2 };

constexpr uint64_t kProgressThreshold = 50ull * 1000 * 1000;
const char kStandardInputName[] = "<stdin>";

enum class Command { kCheck, kFormat, kSort };

struct Options {
  Command command = Command::kCheck;
  std::string file;
  std::string output;
  std::string origin = ".";
  bool originGiven = false;
  bool requireSOA = false;
  bool noInclude = false;
  bool keepDirectives = false;
  int32_t sortKey = -1;
  bool descending = false;
  bool syntaxOnly = false;
  bool zoneChecks = true;
  bool strictTypes = false;
  bool warningsFail = false;
  bool json = false;
  uint64_t maxErrors = 20;
  kxMasterFileLimits limits;
};

int usageError(const std::string& inText) {
  std::cerr << "kxzone: " << inText << "\nTry 'kxzone --help'.\n";
  return kExitUsage;
}

// A decimal count from 1 to inMax.
bool readCount(const char* inText, uint64_t inMax, uint64_t& outValue) {
  if (inText[0] < '0' || inText[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(inText, &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > inMax) return false;
  outValue = value;
  return true;
}

enum LongOption {
  kOptOrigin = 256,
  kOptSort,
  kOptDescending,
  kOptKeepDirectives,
  kOptNoInclude,
  kOptRequireSOA,
  kOptSyntaxOnly,
  kOptNoZoneChecks,
  kOptStrictTypes,
  kOptWarningsFail,
  kOptMaxErrors,
  kOptMaxIncludes,
  kOptMaxGenerated,
  kOptJSON,
};

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"origin", required_argument, nullptr, kOptOrigin},
    {"sort", required_argument, nullptr, kOptSort},
    {"descending", no_argument, nullptr, kOptDescending},
    {"keep-directives", no_argument, nullptr, kOptKeepDirectives},
    {"no-include", no_argument, nullptr, kOptNoInclude},
    {"require-soa", no_argument, nullptr, kOptRequireSOA},
    {"syntax-only", no_argument, nullptr, kOptSyntaxOnly},
    {"no-zone-checks", no_argument, nullptr, kOptNoZoneChecks},
    {"strict-types", no_argument, nullptr, kOptStrictTypes},
    {"warnings-fail", no_argument, nullptr, kOptWarningsFail},
    {"max-errors", required_argument, nullptr, kOptMaxErrors},
    {"max-includes", required_argument, nullptr, kOptMaxIncludes},
    {"max-generated", required_argument, nullptr, kOptMaxGenerated},
    {"json", no_argument, nullptr, kOptJSON},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// Reads the arguments into outOptions; outStop with the exit status when the program is to
// stop at once (help, version, usage errors).
int readArguments(int argc, char** argv, Options& outOptions, bool& outStop) {
  outStop = true;
  // The command comes first; getopt_long then reads the rest, options and operands in any
  // order, "--" ending the options.
  bool haveCommand = false;
  if (argc >= 2 && argv[1][0] != '-') {
    const std::string command = argv[1];
    if (command == "check")
      outOptions.command = Command::kCheck;
    else if (command == "format")
      outOptions.command = Command::kFormat;
    else if (command == "sort")
      outOptions.command = Command::kSort;
    else
      return usageError("unknown command '" + command + "'");
    haveCommand = true;
  }
  const int first = haveCommand ? 1 : 0;
  const int count = argc - first;
  char** args = argv + first;
  const bool writes = outOptions.command != Command::kCheck;
  std::vector<std::string> operands;
  opterr = 0;
  optind = 1;
  for (;;) {
    const int option = getopt_long(count, args, ":o:hV", kLongOptions, nullptr);
    if (option == -1) break;
    const std::string name = optind > 0 && optind <= count ? args[optind - 1] : std::string();
    const auto countValue = [&](uint64_t inMax, uint64_t& outValue) {
      if (!readCount(optarg, inMax, outValue)) {
        usageError(name + " needs a positive count, not '" + optarg + "'");
        return false;
      }
      return true;
    };
    switch (option) {
      case 'h':
        std::cout << kUsage;
        return kExitOK;
      case 'V':
        std::cout << "kxzone " << kOrvoVersion << "\n";
        return kExitOK;
      case 'o':
        if (!writes) return usageError("-o is for format and sort");
        if (*optarg == '\0') return usageError("-o needs a file name");
        outOptions.output = optarg;
        break;
      case kOptOrigin:
        outOptions.origin = optarg;
        outOptions.originGiven = true;
        if (outOptions.origin.empty()) return usageError("--origin needs a name");
        if (outOptions.origin.back() != '.') outOptions.origin += '.';
        break;
      case kOptSort: {
        if (!writes) return usageError("--sort is for format and sort");
        const std::string key = optarg;
        if (key == "name")
          outOptions.sortKey = kxRecordCollection::kSortByName;
        else if (key == "type")
          outOptions.sortKey = kxRecordCollection::kSortByType;
        else
          return usageError("--sort needs 'name' or 'type', not '" + key + "'");
        break;
      }
      case kOptDescending:
        if (!writes) return usageError("--descending is for format and sort");
        outOptions.descending = true;
        break;
      case kOptKeepDirectives:
        outOptions.keepDirectives = true;
        break;
      case kOptNoInclude:
        outOptions.noInclude = true;
        break;
      case kOptRequireSOA:
        outOptions.requireSOA = true;
        break;
      case kOptSyntaxOnly:
        outOptions.syntaxOnly = true;
        break;
      case kOptNoZoneChecks:
        outOptions.zoneChecks = false;
        break;
      case kOptStrictTypes:
        outOptions.strictTypes = true;
        break;
      case kOptWarningsFail:
        outOptions.warningsFail = true;
        break;
      case kOptJSON:
        outOptions.json = true;
        break;
      case kOptMaxErrors:
        if (!countValue(UINT64_MAX, outOptions.maxErrors)) return kExitUsage;
        break;
      case kOptMaxIncludes: {
        uint64_t value = 0;
        if (!countValue(UINT32_MAX, value)) return kExitUsage;
        outOptions.limits.itsMaxIncludes = static_cast<uint32_t>(value);
        break;
      }
      case kOptMaxGenerated:
        if (!countValue(UINT64_MAX, outOptions.limits.itsMaxGenerated)) return kExitUsage;
        break;
      case ':':
        return usageError(name + " needs a value");
      default:
        if (optopt != 0) return usageError(std::string("unknown option '-") + static_cast<char>(optopt) + "'");
        return usageError("unknown option '" + name + "'");
    }
  }
  if (!haveCommand) return usageError("no command given");
  for (int i = optind; i < count; ++i) operands.emplace_back(args[i]);
  if (operands.empty()) return usageError("no file given");
  if (operands.size() > 1) return usageError("more than one file given");
  outOptions.file = operands.front();
  if (outOptions.command == Command::kSort && outOptions.sortKey < 0) outOptions.sortKey = kxRecordCollection::kSortByName;
  if (outOptions.descending && outOptions.sortKey < 0) return usageError("--descending needs --sort");
  if (outOptions.json && writes && outOptions.output.empty())
    return usageError("--json with format or sort needs -o: standard output holds the JSON");
  outStop = false;
  return kExitOK;
}

// One problem as it is reported.
struct Problem {
  bool itsError = true;
  std::string itsFile;
  uint32_t itsLine = 0;  // 0: no line holds it
  std::string itsText;
  std::string itsRelatedFile;
  uint32_t itsRelatedLine = 0;
  // Where it sorts: the place of its record in reading order (included files where they
  // are included), then arrival.
  uint64_t itsPosition = 0;
  uint64_t itsArrival = 0;
};

bool reportedBefore(const Problem& inA, const Problem& inB) {
  if (inA.itsPosition != inB.itsPosition) return inA.itsPosition < inB.itsPosition;
  return inA.itsArrival < inB.itsArrival;
}

// Control characters of a text as \DDD, so that no input reaches a terminal as one.
std::string terminalText(const std::string& inText) {
  std::string text;
  for (const char c : inText) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      text += c;
      continue;
    }
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\%03u", byte);
    text += escape;
  }
  return text;
}

// The problems of one run: every one counted, the first maxErrors in report order kept (a
// heap whose top is the last of them), so that no zone makes the list grow without bound.
class ProblemList {
 public:
  explicit ProblemList(uint64_t inShown) : itsShown(inShown) {}

  void add(Problem inProblem) {
    (inProblem.itsError ? itsErrors : itsWarnings)++;
    inProblem.itsArrival = itsArrivals++;
    itsKept.push(std::move(inProblem));
    if (itsKept.size() > itsShown) itsKept.pop();
  }

  uint64_t errors() const { return itsErrors; }
  uint64_t warnings() const { return itsWarnings; }
  uint64_t notShown() const {
    const uint64_t total = itsErrors + itsWarnings;
    return total > itsShown ? total - itsShown : 0;
  }
  // The kept problems in report order; the list is empty afterwards.
  std::vector<Problem> take() {
    std::vector<Problem> problems;
    while (!itsKept.empty()) {
      problems.push_back(itsKept.top());
      itsKept.pop();
    }
    std::reverse(problems.begin(), problems.end());
    return problems;
  }

 private:
  struct Later {
    bool operator()(const Problem& inA, const Problem& inB) const { return reportedBefore(inA, inB); }
  };

  uint64_t itsShown;
  uint64_t itsErrors = 0;
  uint64_t itsWarnings = 0;
  uint64_t itsArrivals = 0;
  std::priority_queue<Problem, std::vector<Problem>, Later> itsKept;
};

// A library error as a problem: its file and line come from the message's parameters, and
// the text is the message's own after the location sentence they make.
Problem problemFromMessage(const kxErrorMessage& inMessage, const std::string& inDefaultFile) {
  Problem problem;
  problem.itsFile = inDefaultFile;
  problem.itsText = inMessage.getText();
  if (!inMessage.hasParam('f') || !inMessage.hasParam('l')) return problem;
  problem.itsFile = inMessage.getParam('f');
  problem.itsLine = inMessage.getParamUnsigned('l');
  const std::string location = "Error in file \"" + problem.itsFile + "\" line " + inMessage.getParam('l') + ". ";
  if (problem.itsText.compare(0, location.size(), location) == 0) problem.itsText.erase(0, location.size());
  return problem;
}

// What was read, for the summary.
struct ZoneCounts {
  uint64_t itsRecords = 0;
  uint64_t itsComments = 0;
  uint64_t itsDisabled = 0;
  uint64_t itsDirectives = 0;
};

ZoneCounts countZone(const kxRecordCollection& inZone) {
  ZoneCounts counts;
  for (uint32_t i = 0; const kxResourceRecord* rec = inZone.getRecord(i); ++i) {
    const kxResRecType type = rec->type();
    if (type == kNoRecordType)
      ++counts.itsComments;
    else if (type >= kControlTTL && type <= kControlGenerate)
      ++counts.itsDirectives;
    else if (!rec->isEnabled())
      ++counts.itsDisabled;
    else
      ++counts.itsRecords;
  }
  return counts;
}

std::string plural(uint64_t inCount, const char* inWord) {
  return std::to_string(inCount) + " " + inWord + (inCount == 1 ? "" : "s");
}

// Reads the input through another stream buffer in blocks and counts the bytes. Past
// kProgressThreshold it shows on standard error, at most four times a second, the bytes read
// and the records stored per second, on one line it writes over; the parser calls it between
// records, so reading the record count of the zone being filled is safe.
class ProgressBuffer : public std::streambuf {
 public:
  ProgressBuffer(std::streambuf* inSource, uint64_t inTotal, const kxRecordCollection& inZone)
      : itsSource(inSource), itsTotal(inTotal), itsZone(inZone), itsStart(Clock::now()), itsBuffer(1 << 16) {}
  ProgressBuffer(const ProgressBuffer&) = delete;
  ProgressBuffer& operator=(const ProgressBuffer&) = delete;
  ~ProgressBuffer() override { clear(); }

  // Takes the progress line off the terminal.
  void clear() {
    if (!itsShown) return;
    std::cerr << '\r' << std::string(itsWidth, ' ') << '\r' << std::flush;
    itsShown = false;
  }

 protected:
  int_type underflow() override {
    const std::streamsize got = itsSource->sgetn(itsBuffer.data(), static_cast<std::streamsize>(itsBuffer.size()));
    if (got <= 0) return traits_type::eof();
    itsBytes += static_cast<uint64_t>(got);
    setg(itsBuffer.data(), itsBuffer.data(), itsBuffer.data() + got);
    if (itsBytes > kProgressThreshold) show();
    return traits_type::to_int_type(*gptr());
  }

 private:
  using Clock = std::chrono::steady_clock;

  void show() {
    const Clock::time_point now = Clock::now();
    if (itsShown && now - itsLastShown < std::chrono::milliseconds(250)) return;
    itsLastShown = now;
    const double seconds = std::chrono::duration<double>(now - itsStart).count();
    const double rate = seconds > 0 ? itsZone.getRecordCount() / seconds : 0;
    char line[160];
    int width;
    if (itsTotal > 0)
      width = std::snprintf(line, sizeof line, "kxzone: %.0f of %.0f MB read (%.0f%%), %.0f records/s",
                            itsBytes / 1e6, itsTotal / 1e6, 100.0 * itsBytes / itsTotal, rate);
    else
      width = std::snprintf(line, sizeof line, "kxzone: %.0f MB read, %.0f records/s", itsBytes / 1e6, rate);
    std::cerr << '\r' << line;
    if (static_cast<size_t>(width) < itsWidth) std::cerr << std::string(itsWidth - static_cast<size_t>(width), ' ');
    std::cerr << std::flush;
    itsWidth = std::max(itsWidth, static_cast<size_t>(width));
    itsShown = true;
  }

  std::streambuf* itsSource;
  uint64_t itsTotal;
  const kxRecordCollection& itsZone;
  Clock::time_point itsStart;
  Clock::time_point itsLastShown;
  std::vector<char> itsBuffer;
  uint64_t itsBytes = 0;
  size_t itsWidth = 0;
  bool itsShown = false;
};

// The output of format and sort, in a temporary file beside the target until commit()
// renames it over the target; a run that does not commit leaves no trace.
class OutputFile {
 public:
  // The target's real path, so that a symbolic link keeps pointing at the new file.
  explicit OutputFile(const std::string& inTarget) : itsTarget(inTarget) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(inTarget, error);
    if (!error) itsTarget = real.string();
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() {
    itsStream.close();
    if (!itsTemporary.empty()) orvo::platform::removeFile(itsTemporary);
  }

  bool open() {
    const std::filesystem::path target(itsTarget);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    itsTemporary = orvo::platform::createUniqueFile((folder / ("." + target.filename().string() + ".kxzone-")).string());
    if (itsTemporary.empty()) return false;
    itsStream.open(itsTemporary, std::ios::binary | std::ios::trunc);
    return itsStream.is_open();
  }
  std::ostream& stream() { return itsStream; }
  bool commit() {
    itsStream.close();
    if (itsStream.fail() || !orvo::platform::setReplacementPermissions(itsTemporary, itsTarget) ||
        !orvo::platform::renameReplacing(itsTemporary, itsTarget))
      return false;
    itsTemporary.clear();
    return true;
  }

 private:
  std::string itsTarget;
  std::string itsTemporary;
  std::ofstream itsStream;
};

class Run {
 public:
  explicit Run(const Options& inOptions)
      : itsOptions(inOptions),
        itsName(inOptions.file == "-" ? kStandardInputName : inOptions.file),
        itsProblems(inOptions.maxErrors),
        itsZone(inOptions.originGiven ? inOptions.origin : std::string()) {}

  int run() {
    const bool fromStandardInput = itsOptions.file == "-";
    std::ifstream file;
    std::istream* input = &std::cin;
    uint64_t size = 0;
    if (!fromStandardInput) {
      std::error_code error;
      if (std::filesystem::is_directory(itsOptions.file, error)) return fail(itsName + ": is a directory");
      file.open(itsOptions.file, std::ios::binary);
      if (!file) return fail(itsName + ": cannot open file: " + std::strerror(errno));
      input = &file;
      const auto fileSize = std::filesystem::file_size(itsOptions.file, error);
      if (!error) size = fileSize;
    }
    std::optional<ProgressBuffer> progress;
    std::istream counted(nullptr);
    if (orvo::platform::standardErrorIsTerminal() && !itsOptions.json) {
      progress.emplace(input->rdbuf(), size, itsZone);
      counted.rdbuf(&*progress);
      input = &counted;
    }

    const bool read = readZone(*input);
    if (progress) progress->clear();
    if (read && input->bad()) return fail(itsName + ": read error");
    // Windows replaces no file that is open: -o onto the input renames over it.
    file.close();
    if (read && itsOptions.zoneChecks && !itsOptions.syntaxOnly) checkZone();

    const bool failed = itsProblems.errors() > 0 || (itsOptions.warningsFail && itsProblems.warnings() > 0);
    std::optional<ZoneCounts> counts;
    if (read) counts = countZone(itsZone);
    if (itsOptions.json)
      reportJSON(counts);
    else
      reportText(counts);
    if (!read || failed) return kExitZoneError;
    return itsOptions.command == Command::kCheck ? kExitOK : write();
  }

 private:
  int fail(const std::string& inText) {
    std::cerr << "kxzone: " << terminalText(inText) << "\n";
    return kExitUsage;
  }

  // The whole input into the zone; false when a syntax error stopped the reading (it is then
  // the last problem, shown whatever --max-errors says).
  bool readZone(std::istream& inInput) {
    try {
      kxMasterFileParser parser(&inInput, itsName, itsOptions.origin, true, itsOptions.noInclude);
      parser.setKeepDirectives(itsOptions.keepDirectives);
      parser.setExtendedTypes(!itsOptions.strictTypes);
      parser.setLimits(itsOptions.limits);
      parser.setWarningHandler([this](const kxMasterFileWarning& inWarning) {
        Problem problem;
        problem.itsError = false;
        problem.itsFile = inWarning.itsFile;
        problem.itsLine = inWarning.itsLine;
        problem.itsText = inWarning.itsText;
        problem.itsPosition = itsZone.getRecordCount();
        itsProblems.add(std::move(problem));
      });
      // A faulty record is stored after its fault is reported: its place is the next one.
      if (!itsOptions.syntaxOnly)
        parser.setDataCheck(true, [this](const kxErrorMessage& inError) {
          Problem problem = problemFromMessage(inError, itsName);
          problem.itsPosition = itsZone.getRecordCount();
          itsProblems.add(std::move(problem));
        });
      parser.parseZone(itsZone, itsOptions.requireSOA);
      itsSources = parser.getRecordSources();
      itsOriginAssumed = !itsOptions.originGiven && parser.getOrigin() == ".";
      return true;
    } catch (const kxException& inError) {
      itsFatal = problemFromMessage(inError.errorMessage, itsName);
    } catch (const std::exception& inError) {
      itsFatal.emplace();
      itsFatal->itsFile = itsName;
      itsFatal->itsText = inError.what();
    }
    return false;
  }

  // The source of a stored record: the records are still in the order the parse stored them.
  kxRecordSources::Source sourceOf(const kxResourceRecord* inRec, uint64_t& outPosition) const {
    outPosition = itsZone.getRecordIndex(inRec);
    return itsSources.at(outPosition);
  }

  void checkZone() {
    kxCheckZone(itsZone, [this](const kxZoneFinding& inFinding) {
      Problem problem;
      problem.itsError = inFinding.itsSeverity == kxZoneSeverity::kError;
      problem.itsFile = itsName;
      problem.itsText = inFinding.itsText;
      if (inFinding.itsRecord) {
        const kxRecordSources::Source source = sourceOf(inFinding.itsRecord, problem.itsPosition);
        problem.itsFile = *source.itsFile;
        problem.itsLine = source.itsLine;
      }
      if (inFinding.itsRelated) {
        uint64_t position = 0;
        const kxRecordSources::Source source = sourceOf(inFinding.itsRelated, position);
        problem.itsRelatedFile = *source.itsFile;
        problem.itsRelatedLine = source.itsLine;
      }
      itsProblems.add(std::move(problem));
    });
  }

  std::string summary(const ZoneCounts& inCounts) const {
    std::string text = itsName + ": " + plural(inCounts.itsRecords, "record") + ", " +
                       plural(inCounts.itsComments, "comment line");
    if (inCounts.itsDisabled > 0) text += ", " + plural(inCounts.itsDisabled, "disabled record");
    if (inCounts.itsDirectives > 0) text += ", " + plural(inCounts.itsDirectives, "kept directive");
    if (itsOriginAssumed) text += "; origin assumed: \".\" (the root: no --origin, no $ORIGIN)";
    return text;
  }

  void reportText(const std::optional<ZoneCounts>& inCounts) {
    const auto where = [](const std::string& inFile, uint32_t inLine) {
      return inLine > 0 ? inFile + ":" + std::to_string(inLine) : inFile;
    };
    std::vector<Problem> problems = itsProblems.take();
    if (itsFatal) problems.push_back(*itsFatal);
    for (const Problem& problem : problems) {
      std::string line = where(problem.itsFile, problem.itsLine) + (problem.itsError ? ": error: " : ": warning: ") +
                         problem.itsText;
      if (!problem.itsRelatedFile.empty()) line += " (see " + where(problem.itsRelatedFile, problem.itsRelatedLine) + ")";
      std::cerr << terminalText(line) << "\n";
    }
    if (itsProblems.notShown() > 0)
      std::cerr << "kxzone: " << plural(itsProblems.notShown(), "more problem") << " not shown (--max-errors "
                << itsOptions.maxErrors << ")\n";
    const uint64_t errors = itsProblems.errors() + (itsFatal ? 1 : 0);
    if (errors + itsProblems.warnings() > 0)
      std::cerr << "kxzone: " << terminalText(itsName) << ": " << plural(errors, "error") << ", "
                << plural(itsProblems.warnings(), "warning") << "\n";
    if (inCounts && itsOptions.command == Command::kCheck) std::cout << terminalText(summary(*inCounts)) << "\n";
  }

  void reportJSON(const std::optional<ZoneCounts>& inCounts) {
    using nlohmann::json;
    json report;
    report["file"] = itsName;
    report["origin"] = itsZone.getDomainName().empty() ? itsOptions.origin : itsZone.getDomainName();
    report["origin_assumed"] = itsOriginAssumed;
    if (inCounts) {
      report["records"] = inCounts->itsRecords;
      report["comment_lines"] = inCounts->itsComments;
      report["disabled_records"] = inCounts->itsDisabled;
      report["kept_directives"] = inCounts->itsDirectives;
    }
    std::vector<Problem> problems = itsProblems.take();
    report["errors"] = itsProblems.errors() + (itsFatal ? 1 : 0);
    report["warnings"] = itsProblems.warnings();
    report["not_shown"] = itsProblems.notShown();
    json list = json::array();
    if (itsFatal) problems.push_back(*itsFatal);
    for (const Problem& problem : problems) {
      json item;
      item["file"] = problem.itsFile;
      item["line"] = problem.itsLine;
      item["severity"] = problem.itsError ? "error" : "warning";
      item["message"] = problem.itsText;
      if (!problem.itsRelatedFile.empty())
        item["related"] = json{{"file", problem.itsRelatedFile}, {"line", problem.itsRelatedLine}};
      list.push_back(std::move(item));
    }
    report["problems"] = std::move(list);
    // Names and texts are bytes as the file holds them: what is not UTF-8 is replaced.
    std::cout << report.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
  }

  int write() {
    if (itsOptions.sortKey >= 0) itsZone.sortRecords(itsOptions.sortKey, itsOptions.descending);
    std::optional<OutputFile> file;
    std::ostream* out = &std::cout;
    if (!itsOptions.output.empty()) {
      file.emplace(itsOptions.output);
      if (!file->open()) return fail(itsOptions.output + ": cannot create a file beside it: " + std::strerror(errno));
      out = &file->stream();
    }
    // The records' names are written relative to the zone's domain name, so the output names
    // it first: read back with any origin it gives the same zone.
    if (!itsZone.getDomainName().empty()) *out << "$ORIGIN " << itsZone.getDomainName() << "\n";
    itsZone.writeMasterFile(*out, !itsZone.getDefaultTTL().empty());
    out->flush();
    if (!*out || (file && !file->commit())) return fail((file ? itsOptions.output : "standard output") + ": cannot write");
    return kExitOK;
  }

  const Options& itsOptions;
  std::string itsName;
  ProblemList itsProblems;
  std::optional<Problem> itsFatal;
  kxRecordCollection itsZone;
  kxRecordSources itsSources;
  bool itsOriginAssumed = false;
};

}  // namespace

int main(int argc, char** argv) {
  // Standard input read through a buffer of its own, not one C stdio call per character.
  std::ios::sync_with_stdio(false);
  Options options;
  bool stop = false;
  const int status = readArguments(argc, argv, options, stop);
  if (stop) return status;
  // The zone is not torn down when the program ends: freeing millions of records block by
  // block takes a good part of the time their checks took, and the process gives all its
  // memory back at once as it exits. The run stays reachable from this pointer, so that leak
  // checkers (LeakSanitizer in the sanitizer builds) count it as memory in use, not lost.
  static Run* const run = new Run(options);
  return run->run();
}
