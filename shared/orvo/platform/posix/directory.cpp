// Account lookups, the name translator and directory objects over the connections of
// directoryconnection.cpp: what ADSI's IADsNameTranslate, IADs and IADsUser give the
// authenticator on Windows.
//
// Each object is read with one base-scope search when it is opened (its "name", "memberOf"
// and "objectClass"), like ADSI's property cache; other attributes are fetched on demand.
// A domain, whether named by the operator or in a distinguished name from the directory, is
// always one the directory knows (the machine's own, or a crossRef of the forest) before
// anything is sent to its controllers; a name that is not is refused, never taken for the
// machine's own domain. A UPN suffix of the forest is no domain: a principal name with it is
// looked up in the global catalog.
#include <cstdio>

#include "directoryinternal.h"
#include "orvo/debug/kxinfolog.h"

namespace orvo::platform {

using detail::connect;
using detail::Entry;

namespace {

// What opening an object reads, like ADSI's property cache.
const std::vector<std::string> kObjectAttributes = {"name", "memberOf", "objectClass"};

// Nothing says where the directory is; the log line names what is missing.
uint32_t noController() {
  if (DirectoryConfig::current().domain.empty()) {
    kxInfoLogWrite(kxInfoLogError,
                   "no domain is configured: set ADCHECK_DOMAIN (domain in the configuration file) or "
                   "default_realm in krb5.conf");
  } else {
    kxInfoLogWrite(kxInfoLogError,
                   "no domain controller is known for the configured domain: set ADCHECK_LDAP_URI (ldap_uri "
                   "in the configuration file) or publish its _ldap._tcp SRV records");
  }
  return kNoSuchDomain;
}

// The catalog of the configured forest.
uint32_t catalogUri(const std::string* inUser, const std::string* inPassword, std::string& outUri) {
  const DirectoryConfig& config = DirectoryConfig::current();
  outUri = config.gcUri;
  if (outUri.empty() && !config.ldapUri.empty()) {
    // The catalog is a service of the forest root: in a child domain _gc._tcp.<own domain>
    // does not exist, so the root DSE of the domain's controller names the forest first.
    std::shared_ptr<DirectoryConnection> domain;
    const uint32_t status = connect(config.ldapUri, inUser, inPassword, domain);
    if (dirFailed(status)) return status;
    const std::string forest = domain->forestRoot();
    if (!forest.empty()) outUri = detail::lookupSrv("_gc._tcp." + forest, config.timeoutSeconds);
  }
  return outUri.empty() ? noController() : kDirOk;
}

// The controllers of a domain the directory knows, by its DNS name.
uint32_t controllersOf(const std::string& inDnsName, std::string& outUri) {
  const DirectoryConfig& config = DirectoryConfig::current();
  outUri = equalsText(inDnsName, config.domain, false) ? config.ldapUri
                                                       : detail::lookupSrv("_ldap._tcp." + inDnsName, config.timeoutSeconds);
  return outUri.empty() ? noController() : kDirOk;
}

}  // namespace

namespace detail {

uint32_t resolveDomain(const std::string& inName, std::string& outDnsName, bool& outUpnSuffix) {
  outUpnSuffix = false;
  const DirectoryConfig& config = DirectoryConfig::current();
  if (config.domain.empty()) return noController();
  if (inName.empty() || equalsText(inName, config.domain, false) ||
      (!config.netbiosDomain.empty() && equalsText(inName, config.netbiosDomain, false))) {
    outDnsName = config.domain;
    return kDirOk;
  }
  if (config.ldapUri.empty()) return noController();
  // Anything else is looked up among the forest's domains, with the process's own credentials.
  std::shared_ptr<DirectoryConnection> connection;
  const uint32_t status = connect(config.ldapUri, nullptr, nullptr, connection);
  if (dirFailed(status)) {
    // Without them the forest cannot be read, but the controller tells anyone the NetBIOS
    // name of its own domain.
    if (equalsText(DirectoryConnection::pingNetbiosName(config.ldapUri, config.domain), inName, false)) {
      outDnsName = config.domain;
      return kDirOk;
    }
    return status;
  }
  const uint32_t found = connection->domainOfName(inName, outDnsName);
  if (found == kNoSuchDomain && inName.find('.') != std::string::npos && connection->isUpnSuffix(inName)) {
    outUpnSuffix = true;
    return kDirOk;
  }
  return found;
}

uint32_t domainUri(const std::string& inDomain, std::string& outUri) {
  std::string dnsName;
  bool upnSuffix = false;
  const uint32_t status = resolveDomain(inDomain, dnsName, upnSuffix);
  if (dirFailed(status)) return status;
  return upnSuffix ? kNoSuchDomain : controllersOf(dnsName, outUri);
}

}  // namespace detail

uint32_t domainDnsName(const std::string& inName, std::string& outDnsName) {
  bool upnSuffix = false;
  const uint32_t status = detail::resolveDomain(inName, outDnsName, upnSuffix);
  return upnSuffix ? kNoSuchDomain : status;
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
  if (inKind != kTranslatorGlobalCatalog && inKind != kTranslatorDomain) return kInvalidArgument;
  std::string uri;
  std::string dnsName;
  bool catalog = inKind == kTranslatorGlobalCatalog;
  uint32_t status;
  if (!catalog) {
    // The domain first, before any connection with the credentials; a principal name's
    // suffix that is no domain is looked up in the whole forest.
    status = detail::resolveDomain(inPath, dnsName, catalog);
    if (dirFailed(status)) return status;
  }
  status = catalog ? catalogUri(inUser, inPassword, uri) : controllersOf(dnsName, uri);
  if (dirFailed(status)) return status;
  std::shared_ptr<DirectoryConnection> connection;
  status = connect(uri, inUser, inPassword, connection);
  if (dirFailed(status)) return status;
  if (!catalog) {
    status = connection->defaultNamingContext(itsBase);
    if (dirFailed(status)) return status;
    // The controller must serve the domain it was found for.
    if (!equalsText(dnsDomainOfDN(itsBase), dnsName, false)) return kNoSuchDomain;
  }
  itsConnection = std::move(connection);
  return kDirOk;
}

void translateAhead(const std::shared_ptr<DirectoryConnection>& inConnection, const std::string& inBase,
                    const std::string& inName) {
  NameTranslator translator;
  translator.itsConnection = inConnection;
  translator.itsBase = inBase;
  // The NT4 form needs the NetBIOS name of the account's domain, which the connection then
  // knows too. It is asked for with the lookup: the domain's own in a domain, and in the
  // catalog that of the catalog's own domain, where accounts most often are.
  std::string context;
  if (dirFailed(inConnection->defaultNamingContext(context))) return;
  const uint32_t status = inConnection->learnNetbiosNameDuring(
      dnsDomainOfDN(inBase.empty() ? context : inBase), [&] { return translator.set(kFormatAny, inName); });
  std::string nt4;
  if (!dirFailed(status)) translator.get(kFormatNT4, nt4);
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
      // The domain, by its NetBIOS or DNS name, must be one the directory knows: the bound
      // one, or in the catalog any domain of the forest.
      std::string base = itsBase;
      if (base.empty()) {
        std::string dnsName;
        if (dirFailed(itsConnection->domainOfName(domain, dnsName))) return kNameNotFound;
        base = dnOfDnsDomain(dnsName);
      } else {
        const std::string dnsName = dnsDomainOfDN(base);
        if (!equalsText(dnsName, domain, false) && !equalsText(itsConnection->netbiosName(dnsName), domain, false))
          return kNameNotFound;
      }
      filter = "(sAMAccountName=" + escapeFilterValue(account) + ")";
      status = itsConnection->searchOnce(base, filter, attributes, 2, entries);
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
  const std::string principal = detail::cachePrincipal();
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
    std::string uri;
    if (!dirFailed(detail::domainUri(dnsDomainOfDN(dn), uri))) byUri[uri].push_back(dn);
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
  std::string uri = serverUri(path.server);
  if (path.server.empty() && dirFailed(detail::domainUri(dnsDomainOfDN(path.dn), uri))) return;
  std::shared_ptr<DirectoryConnection> connection;
  if (uri.empty() || dirFailed(connect(uri, inUser, inPassword, connection))) return;
  connection->readAheadMemberships(path.dn, kObjectAttributes, "memberOf");
}

uint32_t DirectoryObject::open(const std::string& inPath, const std::string* inUser,
                               const std::string* inPassword, uint32_t /*inFlags*/,
                               DirectoryObject& outObject, DirectoryInterface inInterface) {
  DirectoryPath path;
  if (!parseDirectoryPath(inPath, path)) return kBadPathName;
  std::string uri = serverUri(path.server);
  uint32_t status = path.server.empty() ? detail::domainUri(dnsDomainOfDN(path.dn), uri) : kDirOk;
  if (dirFailed(status)) return status;
  auto data = std::make_unique<Data>();
  status = connect(uri, inUser, inPassword, data->connection);
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
