// kxzone: checks a zone master file, or writes it back in the library's master-file form.
//
//   kxzone check FILE [options]    "FILE: N records" on standard output
//   kxzone format FILE [options]   the zone as master-file lines on standard output
//
// Exit status: 0 when the file was read, 1 when it has an error (the parser's message on
// standard error), 2 for a usage error or a file that cannot be read.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "orvo/datastruct/kxrecordcollection.h"
#include "orvo/messages/kxexception.h"
#include "orvo/util/kxmasterfileparser.h"

namespace {

const char kUsage[] =
    "Usage: kxzone check FILE [options]\n"
    "       kxzone format FILE [options] [--sort name|type] [--descending]\n"
    "       kxzone --help\n"
    "\n"
    "check   reads the zone file and prints \"FILE: N records\".\n"
    "format  reads the zone file and writes it back as master-file lines: comments,\n"
    "        disabled records, aging marks and kept directives are written too.\n"
    "\n"
    "Options:\n"
    "  --origin NAME      origin of relative names (default: the root, \".\"); it is also\n"
    "                     the zone's domain name, else the owner of its SOA record\n"
    "  --require-soa      a file without SOA record is an error\n"
    "  --no-include       $INCLUDE is an error\n"
    "  --keep-directives  keep $INCLUDE and $GENERATE lines as they are instead of reading\n"
    "                     the included file or generating the records\n"
    "  --sort name|type   (format) order the records by owner name or by type\n"
    "  --descending       (format) with --sort: in descending order\n"
    "\n"
    "Exit status: 0 the file was read, 1 it has an error, 2 usage error or unreadable file.\n";

enum ExitStatus { kExitOK = 0, kExitZoneError = 1, kExitUsage = 2 };

struct Options {
  std::string command;
  std::string file;
  std::string origin = ".";
  bool originGiven = false;
  bool requireSOA = false;
  bool noInclude = false;
  bool keepDirectives = false;
  int32_t sortKey = -1;
  bool descending = false;
};

int usageError(const std::string& inText) {
  std::cerr << "kxzone: " << inText << "\nTry 'kxzone --help'.\n";
  return kExitUsage;
}

// Reads the arguments into outOptions; an exit status when the program is to stop at once.
int readArguments(int argc, char** argv, Options& outOptions, bool& outStop) {
  outStop = true;
  if (argc < 2) return usageError("no command given");
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kUsage;
      return kExitOK;
    }
  }
  outOptions.command = argv[1];
  const bool format = outOptions.command == "format";
  if (!format && outOptions.command != "check") return usageError("unknown command '" + outOptions.command + "'");
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--origin") {
      if (!hasValue) return usageError("--origin needs a name");
      outOptions.origin = argv[++i];
      outOptions.originGiven = true;
      if (outOptions.origin.empty()) return usageError("--origin needs a name");
      if (outOptions.origin.back() != '.') outOptions.origin += '.';
    } else if (arg == "--require-soa") {
      outOptions.requireSOA = true;
    } else if (arg == "--no-include") {
      outOptions.noInclude = true;
    } else if (arg == "--keep-directives") {
      outOptions.keepDirectives = true;
    } else if (format && arg == "--sort") {
      if (!hasValue) return usageError("--sort needs 'name' or 'type'");
      const std::string key = argv[++i];
      if (key == "name")
        outOptions.sortKey = kxRecordCollection::kSortByName;
      else if (key == "type")
        outOptions.sortKey = kxRecordCollection::kSortByType;
      else
        return usageError("--sort needs 'name' or 'type', not '" + key + "'");
    } else if (format && arg == "--descending") {
      outOptions.descending = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option '" + arg + "'");
    } else if (outOptions.file.empty()) {
      outOptions.file = arg;
    } else {
      return usageError("more than one file given");
    }
  }
  if (outOptions.file.empty()) return usageError("no file given");
  if (outOptions.descending && outOptions.sortKey < 0) return usageError("--descending needs --sort");
  outStop = false;
  return kExitOK;
}

int run(const Options& inOptions) {
  std::error_code error;
  if (std::filesystem::is_directory(inOptions.file, error)) {
    std::cerr << "kxzone: " << inOptions.file << ": is a directory\n";
    return kExitUsage;
  }
  std::ifstream stream(inOptions.file, std::ios::binary);
  if (!stream) {
    std::cerr << "kxzone: " << inOptions.file << ": cannot open file: " << std::strerror(errno) << "\n";
    return kExitUsage;
  }

  kxRecordCollection zone(inOptions.originGiven ? inOptions.origin : std::string());
  try {
    kxMasterFileParser parser(&stream, inOptions.file, inOptions.origin, true, inOptions.noInclude);
    parser.setKeepDirectives(inOptions.keepDirectives);
    parser.parseZone(zone, inOptions.requireSOA);
  } catch (const kxException& inError) {
    std::cerr << inError.errorMessage.getText() << "\n";
    return kExitZoneError;
  } catch (const std::exception& inError) {
    std::cerr << "kxzone: " << inOptions.file << ": " << inError.what() << "\n";
    return kExitZoneError;
  }
  if (stream.bad()) {
    std::cerr << "kxzone: " << inOptions.file << ": read error\n";
    return kExitUsage;
  }

  if (inOptions.command == "check") {
    std::cout << inOptions.file << ": " << zone.getRecordCount() << " records\n";
    return kExitOK;
  }
  if (inOptions.sortKey >= 0) zone.sortRecords(inOptions.sortKey, inOptions.descending);
  // The records' names are written relative to the zone's domain name, so the output names
  // it first: read back with any origin it gives the same zone.
  if (!zone.getDomainName().empty()) std::cout << "$ORIGIN " << zone.getDomainName() << "\n";
  zone.writeMasterFile(std::cout, !zone.getDefaultTTL().empty());
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "kxzone: cannot write the output\n";
    return kExitZoneError;
  }
  return kExitOK;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool stop = false;
  const int status = readArguments(argc, argv, options, stop);
  if (stop) return status;
  return run(options);
}
