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

}  // namespace

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

  std::string key = inName;
  if (inName.find('\\') != std::string::npos && inName.find('@') != std::string::npos)
    key = inName.substr(inName.find('\\') + 1);
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
  if (name.find('\\') == std::string::npos || name.find('@') != std::string::npos) {
    bool usedGlobalCatalog = false;
    bool found;
    uint32_t bindStatus;
    {
      dir::DirectorySession session;
      found = findUser(inUser, inPassword, name, usedGlobalCatalog, kxNameFormat_nt4, bindStatus);
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
  }
  std::string domain;
  splitUserName(name, name, domain);
  kxInfoLogPrintf(kxInfoLogDebug, "kxAuthenticator::authenticateUser domain: %s, user: %s",
                  displayText(domain).c_str(), displayText(name).c_str());

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
    const int result = logon(domain.c_str(), name.c_str(), inPassword.c_str(), &logonError);
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

bool kxAuthenticator::getADUserGroups(const std::string& inServer, const std::string& inUser,
                                      const std::string& inPassword, std::set<std::string>& ioGroups,
                                      bool inNested) {
  dir::DirectorySession session;
  bool result = false;
  try {
    std::string dn;
    bool usedGlobalCatalog = false;
    if (findUser(inUser, inPassword, dn, usedGlobalCatalog, kxNameFormat_distinguishedName)) {
      kxInfoLogPrintf(kxInfoLogDebug, "kxAuthenticator::getADUserGroups found user as \"%s\"",
                      displayText(dn).c_str());
      // Explicit credentials only when the translator was bound with them, and both given.
      const bool withCredentials = !usedGlobalCatalog && !inUser.empty() && !inPassword.empty();
      result = getUserGroups(inServer, dn, withCredentials ? &inUser : nullptr,
                             withCredentials ? &inPassword : nullptr, ioGroups, inNested);
    }
  } catch (...) {
    kxInfoLogWrite(kxInfoLogDebug, "kxAuthenticator::getADUserGroups - result EXCEPTION");
    return false;
  }
  kxInfoLogPrintf(kxInfoLogDebug, "kxAuthenticator::getADUserGroups - result %s", result ? "SUCCESS" : "FAILURE");
  return result;
}

bool kxAuthenticator::getUserGroups(const std::string& inServer, const std::string& inDN,
                                    const std::string* inUser, const std::string* inPassword,
                                    std::set<std::string>& ioGroups, bool inNested) {
  std::string path = inServer;
  if (!path.empty()) path += "/";
  path += escapeDN(inDN);
  kxInfoLogPrintf(kxInfoLogError, "getUserGroups opening object \"%s\"", displayText(path).c_str());

  dir::DirectoryObject user;
  uint32_t status = dir::DirectoryObject::open("LDAP://" + path, inUser, inPassword, kBindFlags, user,
                                               dir::DirectoryInterface::user);
  if (dir::dirFailed(status)) {
    kxInfoLogPrintf(kxInfoLogError, "getUserGroups error finding user \"%s\", error 0x%lX", displayText(path).c_str(),
                    static_cast<unsigned long>(status));
    return false;
  }

  if (inNested) {
    std::vector<std::string> memberOf;
    status = user.getEx("memberOf", memberOf);
    if (dir::dirFailed(status)) {
      // An account in no group has no memberOf at all.
      if (status == dir::kPropertyNotFound) return true;
      kxInfoLogPrintf(kxInfoLogError, "getUserGroups unable to retrieve member of for user \"%s\", error 0x%lX",
                      displayText(path).c_str(), static_cast<unsigned long>(status));
      return false;
    }
    // The walk below visits the groups one by one in its own order; their reads go out ahead
    // of it, one depth at a time.
    dir::DirectoryObject::readAhead(memberOf, inUser, inPassword, "memberOf");
    for (const std::string& group : memberOf) {
      if (ioGroups.size() >= kMaxGroups) break;
      enumerateGroup(group, inUser, inPassword, ioGroups, 2147483647);
    }
    return true;
  }

  std::vector<std::string> names;
  status = user.groups(names);
  if (dir::dirFailed(status)) {
    kxInfoLogPrintf(kxInfoLogError, "getUserGroups error getting groups for user \"%s\", error 0x%lX",
                    displayText(path).c_str(), static_cast<unsigned long>(status));
    return false;
  }
  for (const std::string& name : names) {
    if (name.size() > 3) ioGroups.insert(name.substr(3));
  }
  return true;
}

void kxAuthenticator::enumerateGroup(const std::string& inDN, const std::string* inUser,
                                     const std::string* inPassword, std::set<std::string>& ioGroups,
                                     int32_t inDepth) {
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
    const std::string escaped = escapeDN(next.dn);
    dir::DirectoryObject group;
    const uint32_t status = dir::DirectoryObject::open("LDAP://" + escaped, inUser, inPassword, kBindFlags, group);
    if (dir::dirFailed(status)) {
      kxInfoLogPrintf(kxInfoLogError, "enumerateGroup unable to retrieve information about group \"%s\", error 0x%lX",
                      displayText(escaped).c_str(), static_cast<unsigned long>(status));
      continue;
    }
    std::string name;
    if (dir::dirFailed(group.get("name", name))) continue;
    // A group recorded before is not expanded again; this also ends membership cycles.
    if (ioGroups.count(name) != 0) continue;
    if (ioGroups.size() >= kMaxGroups) {
      kxInfoLogPrintf(kxInfoLogError, "enumerateGroup stopped at group \"%s\": more than %lu groups",
                      displayText(escaped).c_str(), static_cast<unsigned long>(kMaxGroups));
      return;
    }
    ioGroups.insert(name);
    const int32_t depth = next.depth - 1;
    if (depth <= 0) continue;
    std::vector<std::string> memberOf;
    if (dir::dirFailed(group.getEx("memberOf", memberOf))) continue;
    if (work.size() + memberOf.size() > kMaxPendingGroups) {
      kxInfoLogPrintf(kxInfoLogError, "enumerateGroup stopped at group \"%s\": more than %lu groups waiting",
                      displayText(escaped).c_str(), static_cast<unsigned long>(kMaxPendingGroups));
      return;
    }
    for (auto parent = memberOf.rbegin(); parent != memberOf.rend(); ++parent)
      work.push_back({std::move(*parent), depth});
  }
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
