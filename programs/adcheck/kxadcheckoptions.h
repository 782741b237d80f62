// The command line of adcheck: what a script or an operator asks for with options instead of
// the dialogue's four questions.
//
// Options are read with getopt_long, as other command-line tools read theirs. A password is
// never an option value (it would show in the process list and the shell's history): with
// --password-stdin it is the first line of standard input. Messages about a bad command line
// never repeat what was given, since that may be a password typed in the wrong place.
#pragma once

#include <string>

struct kxAdcheckOptions {
  std::string user;
  std::string server;
  std::string configFile;       // "" = ADCHECK_CONFIG or the default file
  bool passwordFromStdin = false;
  bool nested = true;           // --direct clears it
  bool primaryGroup = false;
  bool json = false;
  bool quiet = false;
};

enum class kxAdcheckCommand { run, help, version, usageError };

// Reads the options of argv; on a usage error outError says what is wrong.
kxAdcheckCommand parseAdcheckOptions(int inArgc, char** inArgv, kxAdcheckOptions& outOptions, std::string& outError);

// The text of --help: every option, the JSON fields, the exit statuses and the settings.
std::string adcheckUsage();
