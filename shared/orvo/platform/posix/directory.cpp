// Account lookups, the name translator and directory objects over the connections of
// directoryconnection.cpp: what ADSI's IADsNameTranslate, IADs and IADsUser give the
// authenticator on Windows.
//
// Each object is read with one base-scope search when it is opened (its "name", "memberOf"
// and "objectClass"), like ADSI's property cache; other attributes are fetched on demand.
// A domain named by the operator is always one the directory knows (a crossRef of the
// forest); a name that is not is refused, never taken for the machine's own domain.
#include <krb5.h>

#include <cstdio>

#include "directoryinternal.h"

namespace orvo::platform {

using detail::connect;
using detail::domainUri;
using detail::Entry;

namespace {

// What opening an object reads, like ADSI's property cache.
const std::vector<std::string> kObjectAttributes = {"name", "memberOf", "objectClass"};

// The principal of the process's Kerberos credential cache, "" when there is none.
std::string cachePrincipal() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return std::string();
  std::string result;
  krb5_ccache cache = nullptr;
  if (krb5_cc_default(context, &cache) == 0) {
    krb5_principal principal = nullptr;
    if (krb5_cc_get_principal(context, cache, &principal) == 0) {
      char* text = nullptr;
      if (krb5_unparse_name(context, principal, &text) == 0) {
        result = text;
        krb5_free_unparsed_name(context, text);
      }
      krb5_free_principal(context, principal);
    }
    krb5_cc_close(context, cache);
  }
  krb5_free_context(context);
  return result;
}

}  // namespace

uint32_t domainDnsName(const std::string& inName, std::string& outDnsName) {
  const DirectoryConfig& config = DirectoryConfig::current();
  if (config.domain.empty()) return kNoSuchDomain;
  if (inName.empty() || equalsText(inName, config.domain, false) ||
      (!config.netbiosDomain.empty() && equalsText(inName, config.netbiosDomain, false))) {
    outDnsName = config.domain;
    return kDirOk;
  }
  // Anything else is looked up among the forest's domains, with the process's own credentials.
  std::shared_ptr<DirectoryConnection> connection;
  const uint32_t status = connect(config.ldapUri, nullptr, nullptr, connection);
  if (dirFailed(status)) return config.ldapUri.empty() ? kNoSuchDomain : status;
  return connection->domainOfName(inName, outDnsName);
}

// ---------------------------------------------------------------------------------------
// Name translator

NameTranslator::NameTranslator() = default;
NameTranslator::~NameTranslator() = default;

uint32_t NameTranslator::bind(int inKind, const std::string& inPath, const std::string* inUser,
                              const std::string* inPassword) {
  itsConnection.reset();
  itsDN.clear();
  itsBase.clear();
  std::string uri;
  if (inKind == kTranslatorGlobalCatalog) {
    const DirectoryConfig& config = DirectoryConfig::current();
    uri = config.gcUri;
    if (uri.empty() && !config.ldapUri.empty()) {
      // The catalog is a service of the forest root: in a child domain _gc._tcp.<own domain>
      // does not exist, so the root DSE of the domain's controller names the forest first.
      std::shared_ptr<DirectoryConnection> domain;
      const uint32_t status = connect(config.ldapUri, inUser, inPassword, domain);
      if (dirFailed(status)) return status;
      const std::string forest = domain->forestRoot();
      if (!forest.empty()) uri = detail::lookupSrv("_gc._tcp." + forest, config.timeoutSeconds);
    }
  } else if (inKind == kTranslatorDomain) {
    uri = domainUri(inPath);
  } else {
    return kInvalidArgument;
  }
  if (uri.empty()) return kNoSuchDomain;
  std::shared_ptr<DirectoryConnection> connection;
  uint32_t status = connect(uri, inUser, inPassword, connection);
  if (dirFailed(status)) return status;
  if (inKind == kTranslatorDomain) {
    status = connection->defaultNamingContext(itsBase);
    if (dirFailed(status)) return status;
    // A NetBIOS name must be the one of the domain this controller serves.
    if (!inPath.empty() && inPath.find('.') == std::string::npos &&
        !equalsText(connection->netbiosName(dnsDomainOfDN(itsBase)), inPath, false))
      return kNoSuchDomain;
  }
  itsConnection = std::move(connection);
  return kDirOk;
}

void translateAhead(const std::shared_ptr<DirectoryConnection>& inConnection, const std::string& inBase,
                    const std::string& inName) {
  NameTranslator translator;
  translator.itsConnection = inConnection;
  translator.itsBase = inBase;
  // The NT4 form needs the domain's NetBIOS name, which the connection then knows too.
  std::string nt4;
  if (!dirFailed(translator.set(kFormatAny, inName))) translator.get(kFormatNT4, nt4);
}

uint32_t NameTranslator::init(int inKind, const std::string& inPath) {
  return bind(inKind, inPath, nullptr, nullptr);
}

uint32_t NameTranslator::initEx(int inKind, const std::string& inPath, const std::string& inUser,
                                const std::string& inDomain, const std::string& inPassword) {
  // The bind name: the principal form for a DNS domain, the NT4 form for a NetBIOS one.
  std::string user = inUser;
  if (!inDomain.empty()) {
    user = inDomain.find('.') != std::string::npos ? inUser + "@" + inDomain : inDomain + "\\" + inUser;
  }
  return bind(inKind, inPath, &user, &inPassword);
}

uint32_t NameTranslator::set(int inFormat, const std::string& inName) {
  if (!itsConnection) return kNotInitialised;
  itsDN.clear();
  itsAccount.clear();
  itsSid.clear();
  const std::vector<std::string> attributes = {"sAMAccountName", "objectSid"};
  std::vector<Entry> entries;
  uint32_t status;
  const size_t backslash = inName.find('\\');
  const size_t at = inName.find('@');
  if (inFormat == kFormatDistinguishedName ||
      (inFormat == kFormatAny && inName.find('=') != std::string::npos)) {
    Entry entry;
    status = itsConnection->readObject(inName, attributes, entry);
    if (status == 0x80072030 || status == 0x80072032) return kNameNotFound;
    if (dirFailed(status)) return status;
    entries.push_back(std::move(entry));
  } else {
    std::string filter;
    if (backslash != std::string::npos) {
      const std::string domain = inName.substr(0, backslash);
      const std::string account = inName.substr(backslash + 1);
      // The NetBIOS domain must be one the directory knows.
      std::string nc;
      if (itsBase.empty()) {
        // Catalog: any domain of the forest with that NetBIOS name; one forest domain here.
        status = itsConnection->defaultNamingContext(nc);
        if (dirFailed(status)) return status;
      } else {
        nc = itsBase;
      }
      if (!equalsText(itsConnection->netbiosName(dnsDomainOfDN(nc)), domain, false)) return kNameNotFound;
      filter = "(sAMAccountName=" + escapeFilterValue(account) + ")";
      status = itsConnection->searchOnce(itsBase.empty() ? nc : itsBase, filter, attributes, 2, entries);
    } else if (inFormat == kFormatAny && at != std::string::npos) {
      filter = "(userPrincipalName=" + escapeFilterValue(inName) + ")";
      status = itsConnection->searchOnce(itsBase, filter, attributes, 2, entries);
      // Without an explicit principal name the account is still known as name@dnsdomain.
      if (!dirFailed(status) && entries.empty()) {
        std::string nc;
        const std::string domain = inName.substr(at + 1);
        if (!dirFailed(itsConnection->defaultNamingContext(nc)) &&
            equalsText(dnsDomainOfDN(nc), domain, false)) {
          filter = "(sAMAccountName=" + escapeFilterValue(inName.substr(0, at)) + ")";
          status = itsConnection->searchOnce(nc, filter, attributes, 2, entries);
        }
      }
    } else if (inFormat == kFormatAny) {
      filter = "(sAMAccountName=" + escapeFilterValue(inName) + ")";
      status = itsConnection->searchOnce(itsBase, filter, attributes, 2, entries);
    } else {
      return kInvalidArgument;
    }
    if (dirFailed(status) && status != kNameNotUnique) return status;
  }
  if (entries.empty()) return kNameNotFound;
  if (entries.size() > 1) return kNameNotUnique;
  Entry& entry = entries.front();
  itsDN = entry.dn;
  const auto& account = entry.attributes["sAMAccountName"];
  if (!account.empty()) itsAccount = account.front();
  const auto& sid = entry.attributes["objectSid"];
  if (!sid.empty()) itsSid.assign(sid.front().begin(), sid.front().end());
  return kDirOk;
}

uint32_t NameTranslator::get(int inFormat, std::string& outName) {
  if (!itsConnection || itsDN.empty()) return kNotInitialised;
  if (inFormat == kFormatDistinguishedName) {
    outName = itsDN;
    return kDirOk;
  }
  if (inFormat == kFormatNT4) {
    if (itsAccount.empty()) return kNameNotFound;
    const std::string domain = itsConnection->netbiosName(dnsDomainOfDN(itsDN));
    if (domain.empty()) return kNoSuchDomain;
    outName = domain + "\\" + itsAccount;
    return kDirOk;
  }
  return kInvalidArgument;
}

// ---------------------------------------------------------------------------------------
// Account lookups

bool lookupAccountName(const std::string& inName, std::vector<uint8_t>& outSid,
                       std::string& outDomain, uint32_t& outError) {
  DirectorySession session;
  NameTranslator translator;
  uint32_t status = translator.init(kTranslatorDomain, "");
  if (dirFailed(status)) {
    outError = 1355;
    return false;
  }
  // Account names never hold "=" (a distinguished name is not an account name here).
  status = inName.empty() || inName.find('=') != std::string::npos
               ? kNameNotFound
               : translator.set(kFormatAny, inName);
  std::string nt4;
  if (!dirFailed(status)) status = translator.get(kFormatNT4, nt4);
  if (dirFailed(status) || translator.sid().empty()) {
    outError = status == kNameNotFound || !dirFailed(status) ? kErrNoneMapped : 1355;
    return false;
  }
  outSid = translator.sid();
  outDomain = nt4.substr(0, nt4.find('\\'));
  return true;
}

void DirectorySession::readAheadGroupsOf(const std::string& inAccountName) {
  if (inAccountName.empty() || inAccountName.find('=') != std::string::npos) return;
  // The account as lookupAccountName finds it: in a run that looked its SID up, no round trip.
  NameTranslator translator;
  std::string dn;
  if (dirFailed(translator.init(kTranslatorDomain, "")) || dirFailed(translator.set(kFormatAny, inAccountName)) ||
      dirFailed(translator.get(kFormatDistinguishedName, dn)))
    return;
  detail::readAheadMembershipsAside(DirectoryConfig::current().ldapUri, dn, kObjectAttributes, "memberOf");
}

bool currentUser(std::string& outAccount, std::string& outDomain, std::vector<uint8_t>& outSid,
                 uint32_t& outError) {
  const std::string principal = cachePrincipal();
  const size_t at = principal.rfind('@');
  if (principal.empty() || at == std::string::npos) {
    outError = kErrNoToken;
    return false;
  }
  // The realm is the domain's DNS name in capitals; the account its sAMAccountName.
  const std::string name = principal.substr(0, at) + "@" + toLowerText(principal.substr(at + 1));
  std::vector<uint8_t> sid;
  std::string domain;
  if (!lookupAccountName(name, sid, domain, outError)) return false;
  outAccount = principal.substr(0, at);
  outDomain = domain;
  outSid = std::move(sid);
  return true;
}

bool sidToText(const std::vector<uint8_t>& inSid, std::string& outText) {
  if (inSid.size() < 8 || inSid[0] != 1) return false;
  const size_t count = inSid[1];
  if (count > 15 || inSid.size() != 8 + 4 * count) return false;
  uint64_t authority = 0;
  for (size_t i = 2; i < 8; ++i) authority = (authority << 8) | inSid[i];
  std::string text = "S-1-";
  if (authority < (uint64_t{1} << 32)) {
    text += std::to_string(authority);
  } else {
    char hex[20];
    snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority));
    text += hex;
  }
  for (size_t i = 0; i < count; ++i) {
    const size_t at = 8 + 4 * i;
    const uint32_t value = uint32_t{inSid[at]} | uint32_t{inSid[at + 1]} << 8 |
                           uint32_t{inSid[at + 2]} << 16 | uint32_t{inSid[at + 3]} << 24;
    text += "-" + std::to_string(value);
  }
  outText = std::move(text);
  return true;
}

// ---------------------------------------------------------------------------------------
// Directory objects

struct DirectoryObject::Data {
  std::shared_ptr<DirectoryConnection> connection;
  Entry entry;
  std::vector<std::string> fetched;  // attribute names read so far
};

DirectoryObject::DirectoryObject() = default;
DirectoryObject::~DirectoryObject() = default;
DirectoryObject::DirectoryObject(DirectoryObject&&) noexcept = default;
DirectoryObject& DirectoryObject::operator=(DirectoryObject&&) noexcept = default;

void DirectoryObject::readAhead(const std::vector<std::string>& inDNs, const std::string* inUser,
                                const std::string* inPassword, const std::string& inFollow) {
  if (!detail::sessionOpen()) return;
  std::map<std::string, std::vector<std::string>> byUri;
  for (const std::string& dn : inDNs) {
    const std::string uri = domainUri(dnsDomainOfDN(dn));
    if (!uri.empty()) byUri[uri].push_back(dn);
  }
  for (const auto& [uri, dns] : byUri) {
    std::shared_ptr<DirectoryConnection> connection;
    if (dirFailed(connect(uri, inUser, inPassword, connection))) continue;
    // What an account's groups search brings is not asked for again.
    connection->finishMemberships();
    connection->readAhead(dns, kObjectAttributes, inFollow);
  }
}

void DirectoryObject::readAheadMemberships(const std::string& inPath, const std::string* inUser,
                                           const std::string* inPassword) {
  DirectoryPath path;
  if (!detail::sessionOpen() || !parseDirectoryPath(inPath, path)) return;
  const std::string uri = path.server.empty() ? domainUri(dnsDomainOfDN(path.dn)) : serverUri(path.server);
  std::shared_ptr<DirectoryConnection> connection;
  if (uri.empty() || dirFailed(connect(uri, inUser, inPassword, connection))) return;
  connection->readAheadMemberships(path.dn, kObjectAttributes, "memberOf");
}

uint32_t DirectoryObject::open(const std::string& inPath, const std::string* inUser,
                               const std::string* inPassword, uint32_t /*inFlags*/,
                               DirectoryObject& outObject, DirectoryInterface inInterface) {
  DirectoryPath path;
  if (!parseDirectoryPath(inPath, path)) return kBadPathName;
  const std::string uri = path.server.empty() ? domainUri(dnsDomainOfDN(path.dn)) : serverUri(path.server);
  if (uri.empty()) return kNoSuchDomain;
  auto data = std::make_unique<Data>();
  uint32_t status = connect(uri, inUser, inPassword, data->connection);
  if (dirFailed(status)) return status;
  data->fetched = kObjectAttributes;
  if (!data->connection->takeReadAhead(path.dn, data->entry, status))
    status = data->connection->readObject(path.dn, data->fetched, data->entry);
  if (dirFailed(status)) return status;
  if (inInterface == DirectoryInterface::user) {
    // Only a user (computers are users too) offers the user interface.
    bool user = false;
    for (const std::string& objectClass : data->entry.attributes["objectClass"])
      user = user || equalsText(objectClass, "user", false);
    if (!user) return kNoInterface;
  }
  outObject.itsData = std::move(data);
  return kDirOk;
}

namespace {

// The values of an attribute of an open object, reading it when it was not read yet.
uint32_t attributeValues(DirectoryConnection& inConnection, Entry& ioEntry,
                         std::vector<std::string>& ioFetched, const std::string& inName,
                         const std::vector<std::string>*& outValues) {
  bool known = false;
  for (const std::string& name : ioFetched) known = known || equalsText(name, inName, false);
  if (!known) {
    Entry more;
    const uint32_t status = inConnection.readObject(ioEntry.dn, {inName}, more);
    if (dirFailed(status)) return status;
    for (auto& [name, values] : more.attributes) ioEntry.attributes[name] = std::move(values);
    ioFetched.push_back(inName);
  }
  const auto found = ioEntry.attributes.find(inName);
  if (found == ioEntry.attributes.end() || found->second.empty()) return kPropertyNotFound;
  outValues = &found->second;
  return kDirOk;
}

}  // namespace

uint32_t DirectoryObject::get(const std::string& inAttribute, std::string& outValue) {
  if (!itsData) return kNotInitialised;
  const std::vector<std::string>* values = nullptr;
  const uint32_t status =
      attributeValues(*itsData->connection, itsData->entry, itsData->fetched, inAttribute, values);
  if (dirFailed(status)) return status;
  outValue = values->front();
  return kDirOk;
}

uint32_t DirectoryObject::getEx(const std::string& inAttribute, std::vector<std::string>& outValues) {
  if (!itsData) return kNotInitialised;
  const std::vector<std::string>* values = nullptr;
  const uint32_t status =
      attributeValues(*itsData->connection, itsData->entry, itsData->fetched, inAttribute, values);
  if (dirFailed(status)) return status;
  outValues = *values;
  return kDirOk;
}

uint32_t DirectoryObject::groups(std::vector<std::string>& outNames, std::vector<std::string>* outDNs) {
  if (!itsData) return kNotInitialised;
  std::vector<std::string> memberOf;
  const uint32_t status = getEx("memberOf", memberOf);
  if (dirFailed(status) && status != kPropertyNotFound) return status;
  outNames.clear();
  for (const std::string& dn : memberOf) outNames.push_back(firstRelativeName(dn));
  if (outDNs != nullptr) *outDNs = std::move(memberOf);
  return kDirOk;
}

}  // namespace orvo::platform
