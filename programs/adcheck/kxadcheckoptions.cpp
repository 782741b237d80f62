// The command line of adcheck, read with getopt_long.
#include "kxadcheckoptions.h"

#include <getopt.h>

#include <cstring>

namespace {

enum : int {
  kPasswordStdin = 0x100,
  kDirect,
  kPrimaryGroup,
  kJson,
  kConfig,
  kVersion,
};

constexpr option kOptions[] = {
    {"user", required_argument, nullptr, 'u'},
    {"password-stdin", no_argument, nullptr, kPasswordStdin},
    {"server", required_argument, nullptr, 's'},
    {"direct", no_argument, nullptr, kDirect},
    {"primary-group", no_argument, nullptr, kPrimaryGroup},
    {"json", no_argument, nullptr, kJson},
    {"config", required_argument, nullptr, kConfig},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

kxAdcheckCommand parseAdcheckOptions(int inArgc, char** inArgv, kxAdcheckOptions& outOptions,
                                     std::string& outError) {
  kxAdcheckOptions options;
  bool help = false;
  bool version = false;
  // getopt's own messages would repeat an unknown option whole, value and all.
  opterr = 0;
  optind = 1;
  for (;;) {
    const int previous = optind;
    const int code = getopt_long(inArgc, inArgv, ":u:s:qh", kOptions, nullptr);
    if (code == -1) break;
    switch (code) {
      case 'u':
        options.user = optarg;
        if (options.user.empty()) {
          outError = "the user given with -u/--user is empty";
          return kxAdcheckCommand::usageError;
        }
        break;
      case 's': options.server = optarg; break;
      case 'q': options.quiet = true; break;
      case 'h': help = true; break;
      case kPasswordStdin: options.passwordFromStdin = true; break;
      case kDirect: options.nested = false; break;
      case kPrimaryGroup: options.primaryGroup = true; break;
      case kJson: options.json = true; break;
      case kConfig:
        options.configFile = optarg;
        if (options.configFile.empty()) {
          outError = "the file given with --config is empty";
          return kxAdcheckCommand::usageError;
        }
        break;
      case kVersion: version = true; break;
      default: {
        // The option as written: a long one without any value after "=", a short one alone.
        const std::string given = previous < inArgc ? inArgv[previous] : "";
        const bool isLong = given.rfind("--", 0) == 0;
        const std::string name = isLong ? given.substr(0, given.find('=')) : "-" + std::string(1, static_cast<char>(optopt));
        if (code == ':') outError = "option " + name + " needs a value";
        else if (isLong && optopt != 0) outError = "option " + name + " takes no value";
        else outError = "unknown option " + name + " (a password is read with --password-stdin only)";
        return kxAdcheckCommand::usageError;
      }
    }
  }
  if (help) return kxAdcheckCommand::help;
  if (version) return kxAdcheckCommand::version;
  if (optind < inArgc) {
    outError = "unexpected argument (the user is given with -u NAME; a password is read with --password-stdin)";
    return kxAdcheckCommand::usageError;
  }
  if (options.user.empty()) {
    outError = "no user given (-u NAME)";
    return kxAdcheckCommand::usageError;
  }
  outOptions = std::move(options);
  return kxAdcheckCommand::run;
}

std::string adcheckUsage() {
  return R"(Usage: adcheck [-u NAME [--password-stdin] [OPTION]...]
Checks one Active Directory account: looks up its SID and domain, checks its password, and
lists every group it belongs to, directly or through other groups.

Without options, adcheck asks four questions (user, password, server, whether to enumerate
nested groups) and prints its report; its exit status is then always 0. With options it asks
nothing, and its exit status tells the result.

Options:
  -u, --user NAME       the account: NAME, DOMAIN\NAME, NAME@DOMAIN or a distinguished name
      --password-stdin  check the account's password, read as the first line of standard
                        input (a password is never taken from an option or the environment)
  -s, --server HOST     open the account's object on this domain controller
      --direct          only the groups the account is a direct member of (default: nested
                        groups too, following memberOf from group to group)
      --primary-group   list the account's primary group (Domain Users) too
      --json            write the result to standard output as one JSON object; log lines
                        go to standard error
      --config FILE     read the settings from FILE instead of $ADCHECK_CONFIG or
                        /etc/adcheck.conf
  -q, --quiet           no log lines on standard error
  -h, --help            show this help and exit
      --version         show the version and exit

Without --json the report is the dialogue's, without the questions. With --json standard
output is one object:
  user           the account as given
  domain         the account's domain (NetBIOS name), null when the account was not found
  sid            the account's SID ("S-1-5-21-..."), null when it was not found
  authenticated  true when the password was checked and is valid
  status         the password check's result, null without --password-stdin:
                 code (the Windows status, e.g. "0x8007052E") and text
  groups         the groups, each {"name", "dn"}, in the order the report prints them (two
                 groups with one name are both listed); null when they could not be read
  duration_ms    how long the checks took, in milliseconds

Exit status (with options):
  0  the account was found, its password (when given) is valid and its groups were read
  1  the password check failed: wrong password or name, account disabled, expired or
     locked out, password expired or to be changed, unknown domain
  2  usage or configuration error (nothing was checked)
  3  the directory or the KDC could not be reached in time
  4  any other failure

Settings (environment first, then the settings file of "key = value" lines):
  ADCHECK_DOMAIN          domain          DNS name of the domain
  ADCHECK_NETBIOS_DOMAIN  netbios_domain  its NetBIOS name
  ADCHECK_LDAP_URI        ldap_uri        domain controllers (ldap:// or ldaps:// URIs)
  ADCHECK_GC_URI          gc_uri          a global catalog
  ADCHECK_CA_FILE         ca_file         CA certificates for TLS
  ADCHECK_TIMEOUT         timeout         network time-out in seconds (1 to 3600, default 10)
  ADCHECK_EXPLICIT_BIND   explicit_bind   kerberos (default) or simple-tls
An unknown key, a value that does not parse or is out of range, and a settings file named
by ADCHECK_CONFIG or --config that cannot be read are errors (exit status 2) with options,
and warnings in the dialogue.
)";
}
