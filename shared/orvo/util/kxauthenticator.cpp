// The account checks over the platform's directory client and the credential library.
//
// A DirectorySession stands where COM is initialised around directory work: while it lives,
// every object a call opens reuses one connection per server and credentials. Passwords
// are handed on, never logged or traced.
#include "orvo/util/kxauthenticator.h"

#include <cstdio>
#include <vector>

#include "orvo/debug/kxinfolog.h"
#include "orvo/debug/kxsysteminfo.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/platform/kxdirectory.h"
#include "orvo/platform/kxsharedlibrary.h"

namespace dir = orvo::platform;

namespace {

constexpr uint32_t kBindFlags = 0x101;  // secure authentication, delegation
constexpr uint32_t kUnexpected = 0x8000FFFF;  // E_UNEXPECTED: the retrieval ended by an exception

// The name findUser splits to choose its translator: a principal name after a backslash
// stands for the whole.
std::string translatorKey(const std::string& inName) {
  if (inName.find('\\') != std::string::npos && inName.find('@') != std::string::npos)
    return inName.substr(inName.find('\\') + 1);
  return inName;
}

}  // namespace

void kxAuthenticator::openConnectionsAhead(dir::DirectorySession& ioSession, const std::string& inUser) {
  // The account lookup asks the domain; findUser asks the global catalog for a name it cannot split.
  std::string account;
  std::string domain;
  ioSession.openAhead(inUser, !splitUserName(translatorKey(inUser), account, domain));
}

void kxAuthenticator::readAheadGroups(dir::DirectorySession& ioSession, const std::string& inServer,
                                      const std::string& inUser, const std::string& inPassword, bool inNested) {
  // findUser binds with the password for a name it can split; the groups are then read with it.
  std::string account;
  std::string domain;
  const bool ownCredentials = inPassword.empty() || !splitUserName(translatorKey(inUser), account, domain);
  if (inNested && inServer.empty() && ownCredentials) ioSession.readAheadGroupsOf(inUser);
}

void kxAuthenticator::askKdcAhead(dir::DirectorySession& ioSession, const std::string& inUser) {
  // The account part of a bare or NT4 name; a principal name is checked as an enterprise name
  // and a distinguished name after its translation, neither of which this would match.
  if (inUser.find('@') != std::string::npos || inUser.find('=') != std::string::npos) return;
  const size_t slash = inUser.find('\\');
  ioSession.askKdcAhead(slash == std::string::npos ? inUser : inUser.substr(slash + 1));
}

bool kxAuthenticator::getUserSID(const std::string& inName, std::string& outSID, std::string& outDomain) {
  std::vector<uint8_t> sid;
  std::string domain;
  uint32_t error = 0;
  if (!dir::lookupAccountName(inName, sid, domain, error)) return false;
  std::string text;
  if (!dir::sidToText(sid, text) || text.empty()) return false;
  outSID = text;
  outDomain = domain;
  return true;
}

bool kxAuthenticator::getCurrentUser(std::string& outName, std::string& outSID) {
  std::string account;
  std::string domain;
  std::vector<uint8_t> sid;
  uint32_t error = 0;
  if (!dir::currentUser(account, domain, sid, error)) return false;
  std::string text;
  if (!dir::sidToText(sid, text)) return false;
  outSID = text;
  outName = domain + "\\" + account;
  return true;
}

bool kxAuthenticator::splitUserName(const std::string& inFullName, std::string& outAccount,
                                    std::string& outDomain) {
  if (inFullName.find('=') != std::string::npos) return false;
  std::string account;
  std::string domain;
  if (const size_t slash = inFullName.find('\\'); slash != std::string::npos) {
    domain = inFullName.substr(0, slash);
    account = inFullName.substr(slash + 1);
  } else if (const size_t at = inFullName.find('@'); at != std::string::npos) {
    account = inFullName.substr(0, at);
    domain = inFullName.substr(at + 1);
  } else {
    return false;
  }
  // The input may be the same object as outAccount: both parts are taken before writing.
  outAccount = account;
  outDomain = domain;
  return true;
}

bool kxAuthenticator::findUser(const std::string& inName, const std::string& inPassword,
                               std::string& outName, bool& outUsedGlobalCatalog,
                               kxNameFormat inNameFormat) {
  uint32_t bindStatus;
  return findUser(inName, inPassword, outName, outUsedGlobalCatalog, inNameFormat, bindStatus);
}

bool kxAuthenticator::findUser(const std::string& inName, const std::string& inPassword,
                               std::string& outName, bool& outUsedGlobalCatalog,
                               kxNameFormat inNameFormat, uint32_t& outBindStatus) {
  outUsedGlobalCatalog = false;
  outBindStatus = dir::kDirOk;
  dir::NameTranslator translator;
  if (dir::dirFailed(translator.creationStatus())) {
    kxInfoLogPrintf(kxInfoLogError, "findUser error creating name translator, error 0x%lX",
                    static_cast<unsigned long>(translator.creationStatus()));
    return false;
  }

  const std::string key = translatorKey(inName);
  std::string account;
  std::string domain;
  uint32_t status;
  if (splitUserName(key, account, domain)) {
    if (!inPassword.empty()) {
      kxInfoLogPrintf(kxInfoLogDebug, "findUser initing name translator on domain \"%s\" and user \"%s\"",
                      displayText(domain).c_str(), displayText(account).c_str());
      status = translator.initEx(kxNameInit_domain, domain, account, domain, inPassword);
    } else {
      kxInfoLogPrintf(kxInfoLogDebug, "findUser initing name translator on domain \"%s\"",
                      displayText(domain).c_str());
      status = translator.init(kxNameInit_domain, domain);
    }
  } else {
    kxInfoLogWrite(kxInfoLogDebug, "findUser initing name translator on global catalog");
    outUsedGlobalCatalog = true;
    status = translator.init(kxNameInit_globalCatalog, std::string());
  }
  if (dir::dirFailed(status)) {
    kxInfoLogPrintf(kxInfoLogError, "findUser error initing the name translator, error 0x%lX",
                    static_cast<unsigned long>(status));
    outBindStatus = status;
    return false;
  }

  status = translator.set(kxNameFormat_any, inName);
  if (dir::dirFailed(status)) {
    KX_TRACE(1, "findUser error translating user \"%s\", error 0x%lX", displayText(inName).c_str(),
             static_cast<unsigned long>(status));
    return false;
  }
  std::string translated;
  if (dir::dirFailed(translator.get(inNameFormat, translated))) return false;
  outName = translated;
  return true;
}

namespace {

// The domain the credential library is told for an NT4 name: its domain part, or that
// domain's DNS name where the directory told it to this thread's session. The library shares
// nothing with this process: given the NetBIOS name it would ask the directory again, on
// connections of its own, before the KDC; given a DNS name the directory knows, it asks the
// KDC at once. Either way the password goes to the KDC of the account's own domain and of no
// other. Windows' logon takes the name as given.
std::string logonDomainOf(const std::string& inNT4Name) {
  std::string account;
  std::string domain;
  kxAuthenticator::splitUserName(inNT4Name, account, domain);
#ifndef _WIN32
  std::string dnsName;
  if (dir::learnedDomainDnsName(domain, dnsName)) return dnsName;
#endif
  return domain;
}

// The credential library's logon results as the check reports them.
kxAuthResult resultOfLogon(int inResult) {
  switch (inResult) {
    case 0: return kxAuthResult_ok;
    case 9: return kxAuthResult_unknownUser;
    case 10: return kxAuthResult_logonRefused;
    default: return kxAuthResult_logonFailed;
  }
}

}  // namespace

kxAuthResult kxAuthenticator::authenticateUser(const std::string& inUser, const std::string& inPassword,
                                               const std::string& inSSP, uint32_t& outSysError) {
  outSysError = 0;
  std::string name = inUser;
  std::string logonDomain;
  if (name.find('\\') == std::string::npos || name.find('@') != std::string::npos) {
    bool usedGlobalCatalog = false;
    bool found;
    uint32_t bindStatus;
    {
      dir::DirectorySession session;
      found = findUser(inUser, inPassword, name, usedGlobalCatalog, kxNameFormat_nt4, bindStatus);
      // While the session still holds what the translation learned of the domain.
      if (found) logonDomain = logonDomainOf(name);
    }
    if (!found) {
      // A translator that could not bind says why, and that is the true answer: with the
      // password, the KDC's refusal (wrong password, disabled, locked out...), reported as the
      // credential library reports it; otherwise what kept it from the directory.
      if (dir::dirFailed(bindStatus)) {
        const uint32_t code = bindStatus & 0xFFFF;
        const int logon = (bindStatus & 0xFFFF0000u) == 0x80070000u ? dir::logonResultOfCode(code) : -1;
        outSysError = logon > 0 ? code : bindStatus;
        return logon > 0 ? resultOfLogon(logon) : kxAuthResult_unknownUser;
      }
      kxInfoLogPrintf(kxInfoLogError, "kxAuthenticator::authenticateUser - user \"%s\" could not be found",
                      displayText(inUser).c_str());
      return kxAuthResult_unknownUser;
    }
  } else {
    logonDomain = logonDomainOf(name);
  }
  std::string domain;
  splitUserName(name, name, domain);
  kxInfoLogPrintf(kxInfoLogDebug, "kxAuthenticator::authenticateUser domain: %s, user: %s",
                  displayText(domain).c_str(), displayText(name).c_str());

  // The KDC's first answer, where the run asked it ahead, is there before the library asks.
  dir::awaitKdcAnswerAhead();
  orvo::platform::SharedLibrary library;
  try {
    uint32_t error = 0;
    if (!library.load("kxSSPI.dll", error)) {
      outSysError = error;
      return kxAuthResult_libraryError;
    }
    if (!inSSP.empty()) {
      uint32_t ignored = 0;
      if (auto setSSP = reinterpret_cast<kxSetSSPFunction>(library.symbol("kxSetSSP", ignored)))
        setSSP(inSSP.c_str());
    }
    auto logon = reinterpret_cast<kxUserLogonFunction>(library.symbol("kxUserLogon", error));
    if (logon == nullptr) {
      outSysError = error;
      library.unload();
      return kxAuthResult_libraryError;
    }
    uint32_t logonError = 0;
    const int result = logon(logonDomain.c_str(), name.c_str(), inPassword.c_str(), &logonError);
    library.unload();
    outSysError = logonError;
    return resultOfLogon(result);
  } catch (...) {
    library.unload();
    return kxAuthResult_libraryError;
  }
}

std::string kxAuthenticator::getErrorText(uint32_t inCode) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "[0x%x] ", static_cast<unsigned>(inCode));
  return prefix + kxGetSystemErrorText(inCode);
}

namespace {

// What a group retrieval finds: the names (the caller's set) and, for callers that want them,
// the groups behind the names with their distinguished names, in the order reached.
class GroupFindings {
 public:
  GroupFindings(std::set<std::string>& ioNames, std::vector<kxGroupEntry>* outEntries)
      : itsNames(ioNames), itsEntries(outEntries) {}

  bool holds(const std::string& inName) const { return itsNames.count(inName) != 0; }
  size_t size() const { return itsNames.size(); }
  // A group that gives its name to the set.
  void record(const std::string& inName, const std::string& inDN) {
    itsNames.insert(inName);
    list(inName, inDN);
  }
  // A group reached whose name an earlier one gave: listed once, nothing recorded.
  void list(const std::string& inName, const std::string& inDN) {
    if (itsEntries != nullptr && itsListed.insert(inDN).second) itsEntries->push_back({inName, inDN});
  }

 private:
  std::set<std::string>& itsNames;
  std::vector<kxGroupEntry>* itsEntries;
  std::set<std::string> itsListed;  // the DNs in itsEntries
};

// Walks the groups reachable from inDN (see kxAuthenticator::enumerateGroup).
void walkGroups(const std::string& inDN, const std::string* inUser, const std::string* inPassword,
                GroupFindings& ioFound, int32_t inDepth) {
  struct Pending {
    std::string dn;
    int32_t depth;
  };
  // Last in, first out, each group's parents pushed in reverse: the visiting order of a
  // recursion, without its stack.
  std::vector<Pending> work{{inDN, inDepth}};
  while (!work.empty()) {
    const Pending next = std::move(work.back());
    work.pop_back();
    const std::string escaped = kxAuthenticator::escapeDN(next.dn);
    dir::DirectoryObject group;
    const uint32_t status = dir::DirectoryObject::open("LDAP://" + escaped, inUser, inPassword, kBindFlags, group);
    if (dir::dirFailed(status)) {
      kxInfoLogPrintf(kxInfoLogError, "enumerateGroup unable to retrieve information about group \"%s\", error 0x%lX",
                      kxAuthenticator::displayText(escaped).c_str(), static_cast<unsigned long>(status));
      continue;
    }
    std::string name;
    if (dir::dirFailed(group.get("name", name))) continue;
    // A group recorded before is not expanded again; this also ends membership cycles.
    if (ioFound.holds(name)) {
      ioFound.list(name, next.dn);
      continue;
    }
    if (ioFound.size() >= kxAuthenticator::kMaxGroups) {
      kxInfoLogPrintf(kxInfoLogError, "enumerateGroup stopped at group \"%s\": more than %lu groups",
                      kxAuthenticator::displayText(escaped).c_str(),
                      static_cast<unsigned long>(kxAuthenticator::kMaxGroups));
      return;
    }
    ioFound.record(name, next.dn);
    const int32_t depth = next.depth - 1;
    if (depth <= 0) continue;
    std::vector<std::string> memberOf;
    if (dir::dirFailed(group.getEx("memberOf", memberOf))) continue;
    if (work.size() + memberOf.size() > kxAuthenticator::kMaxPendingGroups) {
      kxInfoLogPrintf(kxInfoLogError, "enumerateGroup stopped at group \"%s\": more than %lu groups waiting",
                      kxAuthenticator::displayText(escaped).c_str(),
                      static_cast<unsigned long>(kxAuthenticator::kMaxPendingGroups));
      return;
    }
    for (auto parent = memberOf.rbegin(); parent != memberOf.rend(); ++parent)
      work.push_back({std::move(*parent), depth});
  }
}

// The account's primary group, which memberOf never names: the group whose SID is the
// account's domain part with the account's primaryGroupID as its last part. A group that
// cannot be read is logged and left out; the other groups stand.
void addPrimaryGroup(dir::DirectoryObject& inAccount, const std::string& inServer, const std::string& inPath,
                     const std::string* inUser, const std::string* inPassword, GroupFindings& ioFound) {
  std::string rid;
  std::string sidBytes;
  std::string sid;
  uint32_t status = inAccount.get("primaryGroupID", rid);
  if (!dir::dirFailed(status)) status = inAccount.get("objectSid", sidBytes);
  if (!dir::dirFailed(status) &&
      !dir::sidToText(std::vector<uint8_t>(sidBytes.begin(), sidBytes.end()), sid))
    status = dir::kPropertyNotFound;
  dir::DirectoryObject group;
  if (!dir::dirFailed(status)) {
    std::string path = "LDAP://";
    if (!inServer.empty()) path += inServer + "/";
    path += "<SID=" + sid.substr(0, sid.rfind('-')) + "-" + rid + ">";
    status = dir::DirectoryObject::open(path, inUser, inPassword, kBindFlags, group);
  }
  std::string name;
  std::string dn;
  if (!dir::dirFailed(status)) status = group.get("name", name);
  if (!dir::dirFailed(status)) status = group.get("distinguishedName", dn);
  if (dir::dirFailed(status)) {
    kxInfoLogPrintf(kxInfoLogError, "getUserGroups unable to retrieve the primary group of user \"%s\", error 0x%lX",
                    kxAuthenticator::displayText(inPath).c_str(), static_cast<unsigned long>(status));
    return;
  }
  if (ioFound.holds(name)) ioFound.list(name, dn);
  else ioFound.record(name, dn);
}

bool readUserGroups(const std::string& inServer, const std::string& inDN, const std::string* inUser,
                    const std::string* inPassword, GroupFindings& ioFound, bool inNested, bool inPrimaryGroup,
                    uint32_t& outStatus) {
  std::string path = inServer;
  if (!path.empty()) path += "/";
  path += kxAuthenticator::escapeDN(inDN);
  const std::string shownPath = kxAuthenticator::displayText(path);
  kxInfoLogPrintf(kxInfoLogError, "getUserGroups opening object \"%s\"", shownPath.c_str());

  // Nested groups are wanted whole: the account's read brings them all along where the
  // server can tell them at once.
  if (inNested) dir::DirectoryObject::readAheadMemberships("LDAP://" + path, inUser, inPassword);
  dir::DirectoryObject user;
  outStatus = dir::DirectoryObject::open("LDAP://" + path, inUser, inPassword, kBindFlags, user,
                                         dir::DirectoryInterface::user);
  if (dir::dirFailed(outStatus)) {
    kxInfoLogPrintf(kxInfoLogError, "getUserGroups error finding user \"%s\", error 0x%lX", shownPath.c_str(),
                    static_cast<unsigned long>(outStatus));
    return false;
  }
  if (inPrimaryGroup) addPrimaryGroup(user, inServer, path, inUser, inPassword, ioFound);

  if (inNested) {
    std::vector<std::string> memberOf;
    outStatus = user.getEx("memberOf", memberOf);
    if (dir::dirFailed(outStatus)) {
      // An account in no group has no memberOf at all.
      if (outStatus == dir::kPropertyNotFound) {
        outStatus = dir::kDirOk;
        return true;
      }
      kxInfoLogPrintf(kxInfoLogError, "getUserGroups unable to retrieve member of for user \"%s\", error 0x%lX",
                      shownPath.c_str(), static_cast<unsigned long>(outStatus));
      return false;
    }
    // The walk below visits the groups one by one in its own order; their reads go out ahead
    // of it, one depth at a time.
    dir::DirectoryObject::readAhead(memberOf, inUser, inPassword, "memberOf");
    for (const std::string& group : memberOf) {
      if (ioFound.size() >= kxAuthenticator::kMaxGroups) break;
      walkGroups(group, inUser, inPassword, ioFound, 2147483647);
    }
    return true;
  }

  std::vector<std::string> names;
  std::vector<std::string> dns;
  outStatus = user.groups(names, &dns);
  if (dir::dirFailed(outStatus)) {
    kxInfoLogPrintf(kxInfoLogError, "getUserGroups error getting groups for user \"%s\", error 0x%lX",
                    shownPath.c_str(), static_cast<unsigned long>(outStatus));
    return false;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].size() > 3) ioFound.record(names[i].substr(3), dns[i]);
  }
  return true;
}

bool retrieveGroups(const std::string& inServer, const std::string& inUser, const std::string& inPassword,
                    GroupFindings& ioFound, bool inNested, bool inPrimaryGroup, uint32_t& outStatus) {
  dir::DirectorySession session;
  bool result = false;
  try {
    std::string dn;
    bool usedGlobalCatalog = false;
    if (kxAuthenticator::findUser(inUser, inPassword, dn, usedGlobalCatalog, kxNameFormat_distinguishedName,
                                  outStatus)) {
      kxInfoLogPrintf(kxInfoLogDebug, "kxAuthenticator::getADUserGroups found user as \"%s\"",
                      kxAuthenticator::displayText(dn).c_str());
      // Explicit credentials only when the translator was bound with them, and both given.
      const bool withCredentials = !usedGlobalCatalog && !inUser.empty() && !inPassword.empty();
      result = readUserGroups(inServer, dn, withCredentials ? &inUser : nullptr,
                              withCredentials ? &inPassword : nullptr, ioFound, inNested, inPrimaryGroup, outStatus);
    } else if (!dir::dirFailed(outStatus)) {
      outStatus = dir::kNameNotFound;
    }
  } catch (...) {
    kxInfoLogWrite(kxInfoLogDebug, "kxAuthenticator::getADUserGroups - result EXCEPTION");
    outStatus = kUnexpected;
    return false;
  }
  kxInfoLogPrintf(kxInfoLogDebug, "kxAuthenticator::getADUserGroups - result %s", result ? "SUCCESS" : "FAILURE");
  return result;
}

}  // namespace

bool kxAuthenticator::getADUserGroups(const std::string& inServer, const std::string& inUser,
                                      const std::string& inPassword, std::set<std::string>& ioGroups,
                                      bool inNested) {
  GroupFindings found(ioGroups, nullptr);
  uint32_t status;
  return retrieveGroups(inServer, inUser, inPassword, found, inNested, false, status);
}

bool kxAuthenticator::getADUserGroupEntries(const std::string& inServer, const std::string& inUser,
                                            const std::string& inPassword, bool inNested, bool inPrimaryGroup,
                                            std::vector<kxGroupEntry>& outGroups, uint32_t& outStatus) {
  std::set<std::string> names;
  std::vector<kxGroupEntry> entries;
  GroupFindings found(names, &entries);
  const bool result = retrieveGroups(inServer, inUser, inPassword, found, inNested, inPrimaryGroup, outStatus);
  outGroups = std::move(entries);
  return result;
}

bool kxAuthenticator::getUserGroups(const std::string& inServer, const std::string& inDN,
                                    const std::string* inUser, const std::string* inPassword,
                                    std::set<std::string>& ioGroups, bool inNested) {
  GroupFindings found(ioGroups, nullptr);
  uint32_t status;
  return readUserGroups(inServer, inDN, inUser, inPassword, found, inNested, false, status);
}

void kxAuthenticator::enumerateGroup(const std::string& inDN, const std::string* inUser,
                                     const std::string* inPassword, std::set<std::string>& ioGroups,
                                     int32_t inDepth) {
  GroupFindings found(ioGroups, nullptr);
  walkGroups(inDN, inUser, inPassword, found, inDepth);
}

std::string kxAuthenticator::escapeDN(const std::string& inDN) {
  std::string out;
  out.reserve(inDN.size());
  for (const char c : inDN) {
    if (c == '/') out += "\\2f";
    else out += c;
  }
  return out;
}

std::string kxAuthenticator::displayText(const std::string& inText) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(inText.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(inText.data());
  const size_t size = inText.size();
  for (size_t i = 0; i < size;) {
    const unsigned char c = bytes[i];
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      ++i;
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    // The length of a well-formed UTF-8 sequence starting here, 0 when there is none.
    size_t length = 0;
    uint32_t point = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      point = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      point = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      point = c & 0x07;
    }
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= size || (bytes[i + k] & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      point = (point << 6) | (bytes[i + k] & 0x3F);
    }
    const bool wellFormed = length != 0 && !(length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) &&
                            !(length == 4 && (point < 0x10000 || point > 0x10FFFF));
    if (!wellFormed) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      ++i;
    } else if (point >= 0x80 && point <= 0x9F) {
      out += "\\u00";
      out += kHex[point >> 4];
      out += kHex[point & 0xF];
      i += length;
    } else {
      out.append(inText, i, length);
      i += length;
    }
  }
  return out;
}
