// kxAuthenticator: what the directory knows about one domain account — its security
// identifier, whether a password is valid for it, and the groups it belongs to.
//
// Static operations only, no state between calls. The directory work goes through the
// platform's directory client (orvo/platform/kxdirectory.h); the password check is made by
// the credential library "kxSSPI.dll" (libkxSSPI.so), loaded for each check and unloaded
// afterwards. Progress and failures go to the information log; nothing here throws on a
// directory failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

typedef int32_t kxAuthResult;
inline constexpr kxAuthResult kxAuthResult_ok = 0;
inline constexpr kxAuthResult kxAuthResult_unknownUser = 1;
inline constexpr kxAuthResult kxAuthResult_logonRefused = 2;
inline constexpr kxAuthResult kxAuthResult_logonFailed = 3;
inline constexpr kxAuthResult kxAuthResult_libraryError = 4;

// Name formats and bind kinds of the directory name translator.
enum kxNameFormat : int32_t {
  kxNameFormat_distinguishedName = 1,
  kxNameFormat_nt4 = 3,
  kxNameFormat_any = 8,
};
enum kxNameInit : int32_t {
  kxNameInit_domain = 1,
  kxNameInit_globalCatalog = 3,
};

// A group as the retrieval found it.
struct kxGroupEntry {
  std::string name;  // its common name, as the set of names holds it
  std::string dn;    // its distinguished name
};

// Entry points of the credential library.
extern "C" {
typedef void (*kxSetSSPFunction)(const char* inPackage);
typedef int (*kxUserLogonFunction)(const char* inDomain, const char* inAccount,
                                   const char* inPassword, uint32_t* outError);
}

namespace orvo::platform {
class DirectorySession;
}

class kxAuthenticator {
 public:
  // Within a directory session that holds several checks of one account: starts opening the
  // connections they will use with the process's own credentials, each on a thread of its
  // own, so that they are ready when the checks ask.
  static void openConnectionsAhead(orvo::platform::DirectorySession& ioSession, const std::string& inUser);
  // Within such a session, before a check that waits on other servers (the credential check):
  // starts reading the account's nested groups on a thread of its own, for a later
  // getADUserGroups with the same arguments. Only where that retrieval uses the process's own
  // credentials, so that no password is tried more often than the checks try it.
  static void readAheadGroups(orvo::platform::DirectorySession& ioSession, const std::string& inServer,
                              const std::string& inUser, const std::string& inPassword, bool inNested);
  // Within such a session, when a password of inUser will be checked: starts asking the KDC of
  // the configured domain, on a thread of its own, the first question of that check, which
  // needs no password, for a bare name or the account of an NT4 name; authenticateUser then
  // starts from its answer where the account is that domain's.
  static void askKdcAhead(orvo::platform::DirectorySession& ioSession, const std::string& inUser);

  // Account name forms: bare, DOMAIN\name, name@dnsdomain, or a distinguished name.

  static bool getUserSID(const std::string& inName, std::string& outSID, std::string& outDomain);
  static bool getCurrentUser(std::string& outName, std::string& outSID);
  static bool splitUserName(const std::string& inFullName, std::string& outAccount,
                            std::string& outDomain);
  static bool findUser(const std::string& inName, const std::string& inPassword,
                       std::string& outName, bool& outUsedGlobalCatalog, kxNameFormat inNameFormat);
  // The same; outBindStatus is the status of a translator that could not be bound (the
  // directory's or the KDC's refusal), kDirOk when the failure came later or there was none.
  static bool findUser(const std::string& inName, const std::string& inPassword,
                       std::string& outName, bool& outUsedGlobalCatalog, kxNameFormat inNameFormat,
                       uint32_t& outBindStatus);
  static kxAuthResult authenticateUser(const std::string& inUser, const std::string& inPassword,
                                       const std::string& inSSP, uint32_t& outSysError);
  static std::string getErrorText(uint32_t inCode);

  // Group retrieval: the common names of the account's groups, direct or nested.
  static bool getADUserGroups(const std::string& inServer, const std::string& inUser,
                              const std::string& inPassword, std::set<std::string>& ioGroups,
                              bool inNested);
  // The same retrieval for callers that report more than the names: every group reached, with
  // its distinguished name, in the order reached. A group whose name an earlier one already
  // gave is listed too (it still adds no name and is not expanded), so no group hides behind
  // another's name. inPrimaryGroup adds the account's primary group, which memberOf never
  // names. outStatus: the status that ended a failed retrieval, 0 otherwise.
  static bool getADUserGroupEntries(const std::string& inServer, const std::string& inUser,
                                    const std::string& inPassword, bool inNested, bool inPrimaryGroup,
                                    std::vector<kxGroupEntry>& outGroups, uint32_t& outStatus);
  // inUser / inPassword null: the process's own credentials.
  static bool getUserGroups(const std::string& inServer, const std::string& inDN,
                            const std::string* inUser, const std::string* inPassword,
                            std::set<std::string>& ioGroups, bool inNested);
  // Walks the groups reachable from inDN depth first, in the order a recursion over memberOf
  // would visit them, with a work list of its own rather than the stack: a server may hand
  // out groups without end. At most kMaxGroups groups enter the set and kMaxPendingGroups
  // wait in the work list; reaching either stops the walk with a log line.
  static constexpr size_t kMaxGroups = 10000;
  static constexpr size_t kMaxPendingGroups = 100000;
  static void enumerateGroup(const std::string& inDN, const std::string* inUser,
                             const std::string* inPassword, std::set<std::string>& ioGroups,
                             int32_t inDepth);
  // Directory text as it may be shown on a terminal: control characters (below 0x20 and 0x7F)
  // and bytes that are not UTF-8 become \xHH, the C1 controls U+0080 to U+009F \u00HH;
  // everything else, UTF-8 and the backslash included, is unchanged.
  static std::string displayText(const std::string& inText);
  // Every "/" becomes "\2f"; nothing else changes.
  static std::string escapeDN(const std::string& inDN);
};
