// The directory client on OpenLDAP's libldap, Cyrus SASL (GSSAPI) and MIT Kerberos.
//
// A DirectoryConnection is one bound LDAP handle. Binds: the process's own credentials are a
// SASL GSSAPI bind from the Kerberos credential cache, without host name canonicalisation
// (the service ticket is for ldap/<the host as written in the URI>); explicit credentials are
// a simple bind that is made only after TLS is up (StartTLS on ldap://, or ldaps://), with
// the server's certificate verified against the configured CA file (or libldap's default
// trust store when none is configured).
//
// Reuse: connections live in a per-thread pool while a DirectorySession is open on the
// thread, keyed by URI, user and password; the password part of a key is wiped when the
// pool is emptied. Every object keeps a shared reference to its connection.
//
// Each object is read with one base-scope search when it is opened (its "name", "memberOf"
// and "objectClass"), like ADSI's property cache; other attributes are fetched on demand.
// A multi-valued attribute the server hands out in chunks ("memberOf;range=0-1499") is read
// to its last chunk with further base-scope searches on the same connection.
#include "orvo/platform/kxdirectory.h"

#include <arpa/nameser.h>
#include <krb5.h>
#include <lber.h>
#include <ldap.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sasl/sasl.h>
#include <string.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

namespace orvo::platform {

namespace {

std::atomic<uint64_t> gConnectionCount{0};
std::atomic<uint64_t> gBindCount{0};
std::atomic<uint64_t> gOperationCount{0};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(const std::string& inA, const std::string& inB) {
  if (inA.size() != inB.size()) return false;
  for (size_t i = 0; i < inA.size(); ++i)
    if (upper(inA[i]) != upper(inB[i])) return false;
  return true;
}

std::string lowerText(std::string inText) {
  for (char& c : inText) c = lower(c);
  return inText;
}

std::string trim(const std::string& inText) {
  const size_t first = inText.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = inText.find_last_not_of(" \t\r\n");
  return inText.substr(first, last - first + 1);
}

void wipe(std::string& ioText) {
  if (!ioText.empty()) explicit_bzero(ioText.data(), ioText.size());
  ioText.clear();
}

// Attribute names compare without regard to case.
struct NoCaseLess {
  bool operator()(const std::string& inA, const std::string& inB) const {
    return lowerText(inA) < lowerText(inB);
  }
};
using Attributes = std::map<std::string, std::vector<std::string>, NoCaseLess>;

struct Entry {
  std::string dn;
  Attributes attributes;
};

// LDAP result codes as the HRESULTs ADSI reports for them.
uint32_t statusOfLdapResult(int inResult, const std::string& inDiagnostic) {
  switch (inResult) {
    case LDAP_SUCCESS: return kDirOk;
    case LDAP_INVALID_CREDENTIALS: {
      const uint32_t code = adDiagnosticCode(inDiagnostic);
      return hresultFromWin32(code != 0 ? code : 1326);
    }
    case LDAP_NO_SUCH_OBJECT: return 0x80072030;
    case LDAP_OPERATIONS_ERROR: return 0x80072020;
    case LDAP_PROTOCOL_ERROR: return 0x80072021;
    case LDAP_TIMELIMIT_EXCEEDED: return 0x80072022;
    case LDAP_SIZELIMIT_EXCEEDED: return 0x80072023;
    case LDAP_STRONG_AUTH_REQUIRED: return 0x80072028;
    case LDAP_INSUFFICIENT_ACCESS: return 0x80070005;
    case LDAP_BUSY: return 0x80072033;
    case LDAP_UNAVAILABLE: return 0x80072034;
    case LDAP_UNWILLING_TO_PERFORM: return 0x80072035;
    case LDAP_INVALID_DN_SYNTAX: return 0x80072032;
    case LDAP_FILTER_ERROR: return 0x80072037;
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
    case LDAP_TIMEOUT: return 0x8007203A;
    case LDAP_AUTH_UNKNOWN:
    case LDAP_LOCAL_ERROR: return 0x80072020;
    case LDAP_NO_MEMORY: return 0x8007000E;
    default: return 0x80004005;
  }
}

std::string diagnosticOf(LDAP* inLdap) {
  char* text = nullptr;
  std::string result;
  if (ldap_get_option(inLdap, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) == LDAP_OPT_SUCCESS && text) {
    result = text;
    ldap_memfree(text);
  }
  return result;
}

// Owners of libldap results.
struct MessageFree {
  void operator()(LDAPMessage* inMessage) const { ldap_msgfree(inMessage); }
};
using MessagePtr = std::unique_ptr<LDAPMessage, MessageFree>;

struct LdapUnbind {
  void operator()(LDAP* inLdap) const { ldap_unbind_ext_s(inLdap, nullptr, nullptr); }
};
using LdapPtr = std::unique_ptr<LDAP, LdapUnbind>;

// SASL GSSAPI needs no answers from us: the credential cache says who we are.
int saslInteract(LDAP*, unsigned, void*, void* inInteract) {
  for (auto* item = static_cast<sasl_interact_t*>(inInteract); item->id != SASL_CB_LIST_END; ++item) {
    item->result = item->defresult != nullptr ? item->defresult : "";
    item->len = static_cast<unsigned>(strlen(static_cast<const char*>(item->result)));
  }
  return LDAP_SUCCESS;
}

// The first record of a SRV lookup, as "ldap://host:port"; "" when there is none. One try
// per name server, waiting at most inTimeoutSeconds for each.
std::string lookupSrv(const std::string& inName, int inTimeoutSeconds) {
  struct __res_state state;
  memset(&state, 0, sizeof state);
  if (res_ninit(&state) != 0) return std::string();
  state.retry = 1;
  state.retrans = inTimeoutSeconds;
  unsigned char answer[4096];
  const int length = res_nquery(&state, inName.c_str(), ns_c_in, ns_t_srv, answer, sizeof answer);
  std::string best;
  int bestPriority = 1 << 30;
  ns_msg message;
  if (length > 0 && ns_initparse(answer, length, &message) == 0) {
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
      ns_rr record;
      if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv) continue;
      const unsigned char* data = ns_rr_rdata(record);
      if (ns_rr_rdlen(record) < 7) continue;
      const int priority = ns_get16(data);
      const int port = ns_get16(data + 4);
      char target[NS_MAXDNAME];
      if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0)
        continue;
      if (priority < bestPriority) {
        bestPriority = priority;
        best = "ldap://" + std::string(target) + ":" + std::to_string(port);
      }
    }
  }
  res_nclose(&state);
  return best;
}

std::string kerberosDefaultRealm() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return std::string();
  std::string realm;
  char* name = nullptr;
  if (krb5_get_default_realm(context, &name) == 0 && name != nullptr) {
    realm = name;
    krb5_free_default_realm(context, name);
  }
  krb5_free_context(context);
  return realm;
}

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

// ---------------------------------------------------------------------------------------
// Configuration

DirectoryConfig DirectoryConfig::load() {
  DirectoryConfig config;
  std::map<std::string, std::string> values;
  const char* file = std::getenv("ADCHECK_CONFIG");
  std::ifstream in(file != nullptr && *file != '\0' ? file : "/etc/adcheck.conf");
  std::string line;
  while (std::getline(in, line)) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    values[lowerText(trim(line.substr(0, equals)))] = trim(line.substr(equals + 1));
  }
  const std::pair<const char*, const char*> keys[] = {
      {"domain", "ADCHECK_DOMAIN"},   {"netbios_domain", "ADCHECK_NETBIOS_DOMAIN"},
      {"ldap_uri", "ADCHECK_LDAP_URI"}, {"gc_uri", "ADCHECK_GC_URI"},
      {"ca_file", "ADCHECK_CA_FILE"}, {"timeout", "ADCHECK_TIMEOUT"}};
  for (const auto& [key, variable] : keys) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') values[key] = value;
  }
  config.domain = values["domain"];
  config.netbiosDomain = values["netbios_domain"];
  config.ldapUri = values["ldap_uri"];
  config.gcUri = values["gc_uri"];
  config.caFile = values["ca_file"];
  if (!values["timeout"].empty()) {
    const int seconds = std::atoi(values["timeout"].c_str());
    if (seconds > 0) config.timeoutSeconds = seconds;
  }
  if (config.domain.empty()) config.domain = lowerText(kerberosDefaultRealm());
  if (!config.domain.empty()) {
    if (config.ldapUri.empty())
      config.ldapUri = lookupSrv("_ldap._tcp." + config.domain, config.timeoutSeconds);
    if (config.gcUri.empty())
      config.gcUri = lookupSrv("_gc._tcp." + config.domain, config.timeoutSeconds);
  }
  return config;
}

const DirectoryConfig& DirectoryConfig::current() {
  static const DirectoryConfig config = load();
  return config;
}

DirectoryStatistics directoryStatistics() {
  DirectoryStatistics statistics;
  statistics.connections = gConnectionCount.load();
  statistics.binds = gBindCount.load();
  statistics.operations = gOperationCount.load();
  return statistics;
}

// ---------------------------------------------------------------------------------------
// Connections

class DirectoryConnection {
 public:
  // Connects to inUri and binds: GSSAPI with the credential cache when inUser is null,
  // otherwise a simple bind over TLS.
  static uint32_t open(const std::string& inUri, const std::string* inUser,
                       const std::string* inPassword, std::shared_ptr<DirectoryConnection>& outConnection);

  // One base-scope read of an object.
  uint32_t readObject(const std::string& inDN, const std::vector<std::string>& inAttributes,
                      Entry& outEntry);
  // Entries below inBase matching inFilter (at most inLimit of them).
  uint32_t search(const std::string& inBase, int inScope, const std::string& inFilter,
                  const std::vector<std::string>& inAttributes, int inLimit,
                  std::vector<Entry>& outEntries);

  // The domain's naming context and NetBIOS name as the server tells them (read once).
  uint32_t defaultNamingContext(std::string& outDN);
  // The NetBIOS name of the domain whose DNS name is inDnsDomain ("" when unknown).
  std::string netbiosName(const std::string& inDnsDomain);

 private:
  LdapPtr itsLdap;
  std::string itsDefaultNC;
  std::string itsConfigNC;
  std::map<std::string, std::string> itsNetbiosNames;  // lower-case DNS name -> NetBIOS name
};

uint32_t DirectoryConnection::open(const std::string& inUri, const std::string* inUser,
                                   const std::string* inPassword,
                                   std::shared_ptr<DirectoryConnection>& outConnection) {
  const DirectoryConfig& config = DirectoryConfig::current();
  if (inUri.empty()) return kNoSuchDomain;
  LDAP* raw = nullptr;
  if (ldap_initialize(&raw, inUri.c_str()) != LDAP_SUCCESS || raw == nullptr) return kBadPathName;
  LdapPtr ldap(raw);
  ++gConnectionCount;

  const int version = LDAP_VERSION3;
  ldap_set_option(ldap.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ldap.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  timeval timeout{config.timeoutSeconds, 0};
  ldap_set_option(ldap.get(), LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(ldap.get(), LDAP_OPT_TIMEOUT, &timeout);
  ldap_set_option(ldap.get(), LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  const int demand = LDAP_OPT_X_TLS_DEMAND;
  ldap_set_option(ldap.get(), LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
  if (!config.caFile.empty()) ldap_set_option(ldap.get(), LDAP_OPT_X_TLS_CACERTFILE, config.caFile.c_str());
  const int newContext = 0;
  ldap_set_option(ldap.get(), LDAP_OPT_X_TLS_NEWCTX, &newContext);

  int result;
  ++gBindCount;
  ++gOperationCount;
  if (inUser == nullptr) {
    result = ldap_sasl_interactive_bind_s(ldap.get(), nullptr, "GSSAPI", nullptr, nullptr,
                                          LDAP_SASL_QUIET, saslInteract, nullptr);
  } else {
    // Never a password in clear text: TLS first.
    result = ldap_connect(ldap.get());
    if (result != LDAP_SUCCESS) return statusOfLdapResult(result, diagnosticOf(ldap.get()));
    if (inUri.compare(0, 8, "ldaps://") != 0) {
      ++gOperationCount;
      result = ldap_start_tls_s(ldap.get(), nullptr, nullptr);
      // The server agreed to TLS but the handshake failed: with certificates always
      // verified, that is a server whose certificate we do not trust (SEC_E_UNTRUSTED_ROOT).
      if (result == LDAP_CONNECT_ERROR) return 0x80090325;
      if (result != LDAP_SUCCESS) return statusOfLdapResult(result, diagnosticOf(ldap.get()));
    }
    std::string secret = inPassword != nullptr ? *inPassword : std::string();
    berval credential{static_cast<ber_len_t>(secret.size()), secret.data()};
    result = ldap_sasl_bind_s(ldap.get(), inUser->c_str(), LDAP_SASL_SIMPLE, &credential, nullptr,
                              nullptr, nullptr);
    wipe(secret);
  }
  if (result != LDAP_SUCCESS) return statusOfLdapResult(result, diagnosticOf(ldap.get()));
  auto connection = std::make_shared<DirectoryConnection>();
  connection->itsLdap = std::move(ldap);
  outConnection = std::move(connection);
  return kDirOk;
}

uint32_t DirectoryConnection::search(const std::string& inBase, int inScope,
                                     const std::string& inFilter,
                                     const std::vector<std::string>& inAttributes, int inLimit,
                                     std::vector<Entry>& outEntries) {
  std::vector<char*> names;
  for (const std::string& name : inAttributes) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  LDAPMessage* raw = nullptr;
  ++gOperationCount;
  const int result = ldap_search_ext_s(itsLdap.get(), inBase.c_str(), inScope, inFilter.c_str(),
                                       names.data(), 0, nullptr, nullptr, nullptr, inLimit, &raw);
  MessagePtr message(raw);
  if (result != LDAP_SUCCESS && !(result == LDAP_SIZELIMIT_EXCEEDED && message))
    return statusOfLdapResult(result, diagnosticOf(itsLdap.get()));
  for (LDAPMessage* item = ldap_first_entry(itsLdap.get(), message.get()); item != nullptr;
       item = ldap_next_entry(itsLdap.get(), item)) {
    Entry entry;
    if (char* dn = ldap_get_dn(itsLdap.get(), item)) {
      entry.dn = dn;
      ldap_memfree(dn);
    }
    BerElement* ber = nullptr;
    for (char* attribute = ldap_first_attribute(itsLdap.get(), item, &ber); attribute != nullptr;
         attribute = ldap_next_attribute(itsLdap.get(), item, ber)) {
      std::vector<std::string>& values = entry.attributes[attribute];
      if (berval** list = ldap_get_values_len(itsLdap.get(), item, attribute)) {
        for (berval** value = list; *value != nullptr; ++value)
          values.emplace_back((*value)->bv_val, (*value)->bv_len);
        ldap_value_free_len(list);
      }
      ldap_memfree(attribute);
    }
    if (ber != nullptr) ber_free(ber, 0);
    outEntries.push_back(std::move(entry));
  }
  return result == LDAP_SIZELIMIT_EXCEEDED ? kNameNotUnique : kDirOk;
}

uint32_t DirectoryConnection::readObject(const std::string& inDN,
                                         const std::vector<std::string>& inAttributes,
                                         Entry& outEntry) {
  std::vector<Entry> entries;
  const uint32_t status = search(inDN, LDAP_SCOPE_BASE, "(objectClass=*)", inAttributes, 0, entries);
  if (dirFailed(status)) return status;
  if (entries.empty()) return 0x80072030;
  outEntry = std::move(entries.front());
  // An attribute handed out in chunks is read to its end here, on this connection, and
  // kept under its plain name as if it had come in one piece.
  std::vector<std::string> ranged;
  for (const auto& [description, values] : outEntry.attributes) {
    AttributeRange range;
    if (parseAttributeRange(description, range)) ranged.push_back(description);
  }
  for (const std::string& description : ranged) {
    AttributeRange range;
    parseAttributeRange(description, range);
    std::vector<std::string> values = std::move(outEntry.attributes[description]);
    outEntry.attributes.erase(description);
    const uint32_t chunkStatus = completeRangedValues(
        description, values,
        [&](const std::string& inRequest, std::string& outDescription, std::vector<std::string>& outValues) {
          std::vector<Entry> chunk;
          const uint32_t readStatus =
              search(outEntry.dn, LDAP_SCOPE_BASE, "(objectClass=*)", {inRequest}, 0, chunk);
          if (dirFailed(readStatus)) return readStatus;
          outDescription.clear();
          if (chunk.empty()) return kDirOk;
          for (auto& [name, chunkValues] : chunk.front().attributes) {
            AttributeRange next;
            if (parseAttributeRange(name, next) && equalsNoCase(next.attribute, range.attribute)) {
              outDescription = name;
              outValues = std::move(chunkValues);
              break;
            }
          }
          return kDirOk;
        });
    if (dirFailed(chunkStatus)) return chunkStatus;
    std::vector<std::string>& whole = outEntry.attributes[range.attribute];
    whole.insert(whole.end(), std::make_move_iterator(values.begin()), std::make_move_iterator(values.end()));
  }
  return kDirOk;
}

uint32_t DirectoryConnection::defaultNamingContext(std::string& outDN) {
  if (itsDefaultNC.empty()) {
    Entry root;
    const uint32_t status =
        readObject("", {"defaultNamingContext", "configurationNamingContext"}, root);
    if (dirFailed(status)) return status;
    const auto& nc = root.attributes["defaultNamingContext"];
    const auto& config = root.attributes["configurationNamingContext"];
    if (nc.empty()) return kNoSuchDomain;
    itsDefaultNC = nc.front();
    if (!config.empty()) itsConfigNC = config.front();
  }
  outDN = itsDefaultNC;
  return kDirOk;
}

std::string DirectoryConnection::netbiosName(const std::string& inDnsDomain) {
  const std::string key = lowerText(inDnsDomain);
  const auto known = itsNetbiosNames.find(key);
  if (known != itsNetbiosNames.end()) return known->second;
  const DirectoryConfig& config = DirectoryConfig::current();
  std::string name;
  if (!config.netbiosDomain.empty() && equalsNoCase(inDnsDomain, config.domain)) {
    name = config.netbiosDomain;
  } else {
    std::string ignored;
    if (itsConfigNC.empty()) defaultNamingContext(ignored);
    std::vector<Entry> entries;
    if (!itsConfigNC.empty() &&
        !dirFailed(search("CN=Partitions," + itsConfigNC, LDAP_SCOPE_ONELEVEL,
                          "(&(objectClass=crossRef)(dnsRoot=" + escapeFilterValue(inDnsDomain) +
                              ")(nETBIOSName=*))",
                          {"nETBIOSName"}, 1, entries)) &&
        !entries.empty()) {
      const auto& values = entries.front().attributes["nETBIOSName"];
      if (!values.empty()) name = values.front();
    }
  }
  if (!name.empty()) itsNetbiosNames[key] = name;
  return name;
}

// ---------------------------------------------------------------------------------------
// Sessions: the per-thread pool of connections

namespace {

struct ConnectionPool {
  int depth = 0;
  std::map<std::string, std::shared_ptr<DirectoryConnection>> connections;

  void clear() {
    while (!connections.empty()) {
      auto node = connections.extract(connections.begin());
      wipe(node.key());
    }
  }
  ~ConnectionPool() { clear(); }
};

thread_local ConnectionPool tPool;

uint32_t connect(const std::string& inUri, const std::string* inUser, const std::string* inPassword,
                 std::shared_ptr<DirectoryConnection>& outConnection) {
  std::string key;
  if (tPool.depth > 0) {
    key = inUri;
    key += '\0';
    if (inUser != nullptr) {
      key += *inUser;
      key += '\0';
      if (inPassword != nullptr) key += *inPassword;
    }
    const auto found = tPool.connections.find(key);
    if (found != tPool.connections.end()) {
      outConnection = found->second;
      wipe(key);
      return kDirOk;
    }
  }
  const uint32_t status = DirectoryConnection::open(inUri, inUser, inPassword, outConnection);
  if (!dirFailed(status) && tPool.depth > 0) tPool.connections.emplace(std::move(key), outConnection);
  wipe(key);
  return status;
}

// The LDAP URI for a domain given by DNS or NetBIOS name ("" = the machine's domain).
std::string domainUri(const std::string& inDomain) {
  const DirectoryConfig& config = DirectoryConfig::current();
  if (inDomain.empty() || equalsNoCase(inDomain, config.domain) ||
      equalsNoCase(inDomain, config.netbiosDomain))
    return config.ldapUri;
  if (inDomain.find('.') != std::string::npos)
    return lookupSrv("_ldap._tcp." + inDomain, config.timeoutSeconds);
  // A NetBIOS name we were not told about: the machine's own controller says whether it
  // is its domain (checked by the caller).
  return config.netbiosDomain.empty() ? config.ldapUri : std::string();
}

}  // namespace

DirectorySession::DirectorySession() { ++tPool.depth; }

DirectorySession::~DirectorySession() {
  if (--tPool.depth == 0) tPool.clear();
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
    uri = DirectoryConfig::current().gcUri;
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
        !equalsNoCase(connection->netbiosName(dnsDomainOfDN(itsBase)), inPath))
      return kNoSuchDomain;
  }
  itsConnection = std::move(connection);
  return kDirOk;
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
      if (!equalsNoCase(itsConnection->netbiosName(dnsDomainOfDN(nc)), domain)) return kNameNotFound;
      filter = "(sAMAccountName=" + escapeFilterValue(account) + ")";
      status = itsConnection->search(itsBase.empty() ? nc : itsBase, LDAP_SCOPE_SUBTREE, filter,
                                     attributes, 2, entries);
    } else if (inFormat == kFormatAny && at != std::string::npos) {
      filter = "(userPrincipalName=" + escapeFilterValue(inName) + ")";
      status = itsConnection->search(itsBase, LDAP_SCOPE_SUBTREE, filter, attributes, 2, entries);
      // Without an explicit principal name the account is still known as name@dnsdomain.
      if (!dirFailed(status) && entries.empty()) {
        std::string nc;
        const std::string domain = inName.substr(at + 1);
        if (!dirFailed(itsConnection->defaultNamingContext(nc)) &&
            equalsNoCase(dnsDomainOfDN(nc), domain)) {
          filter = "(sAMAccountName=" + escapeFilterValue(inName.substr(0, at)) + ")";
          status = itsConnection->search(nc, LDAP_SCOPE_SUBTREE, filter, attributes, 2, entries);
        }
      }
    } else if (inFormat == kFormatAny) {
      filter = "(sAMAccountName=" + escapeFilterValue(inName) + ")";
      status = itsConnection->search(itsBase, LDAP_SCOPE_SUBTREE, filter, attributes, 2, entries);
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

bool currentUser(std::string& outAccount, std::string& outDomain, std::vector<uint8_t>& outSid,
                 uint32_t& outError) {
  const std::string principal = cachePrincipal();
  const size_t at = principal.rfind('@');
  if (principal.empty() || at == std::string::npos) {
    outError = kErrNoToken;
    return false;
  }
  // The realm is the domain's DNS name in capitals; the account its sAMAccountName.
  const std::string name = principal.substr(0, at) + "@" + lowerText(principal.substr(at + 1));
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

std::string serverUri(const std::string& inServer) { return "ldap://" + inServer; }

uint32_t DirectoryObject::open(const std::string& inPath, const std::string* inUser,
                               const std::string* inPassword, uint32_t /*inFlags*/,
                               DirectoryObject& outObject) {
  DirectoryPath path;
  if (!parseDirectoryPath(inPath, path)) return kBadPathName;
  const std::string uri = path.server.empty() ? domainUri(dnsDomainOfDN(path.dn)) : serverUri(path.server);
  if (uri.empty()) return kNoSuchDomain;
  auto data = std::make_unique<Data>();
  uint32_t status = connect(uri, inUser, inPassword, data->connection);
  if (dirFailed(status)) return status;
  data->fetched = {"name", "memberOf", "objectClass"};
  status = data->connection->readObject(path.dn, data->fetched, data->entry);
  if (dirFailed(status)) return status;
  outObject.itsData = std::move(data);
  return kDirOk;
}

namespace {

// The values of an attribute of an open object, reading it when it was not read yet.
uint32_t attributeValues(DirectoryConnection& inConnection, Entry& ioEntry,
                         std::vector<std::string>& ioFetched, const std::string& inName,
                         const std::vector<std::string>*& outValues) {
  bool known = false;
  for (const std::string& name : ioFetched) known = known || equalsNoCase(name, inName);
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

uint32_t DirectoryObject::groups(std::vector<std::string>& outNames) {
  if (!itsData) return kNotInitialised;
  std::vector<std::string> memberOf;
  const uint32_t status = getEx("memberOf", memberOf);
  if (dirFailed(status) && status != kPropertyNotFound) return status;
  outNames.clear();
  for (const std::string& dn : memberOf) outNames.push_back(firstRelativeName(dn));
  return kDirOk;
}

// ---------------------------------------------------------------------------------------
// Text pieces

std::string escapeFilterValue(const std::string& inValue) {
  static const char kHex[] = "0123456789abcdef";
  std::string result;
  result.reserve(inValue.size());
  for (const char c : inValue) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '*' || c == '(' || c == ')' || c == '\\' || byte == 0) {
      result += '\\';
      result += kHex[byte >> 4];
      result += kHex[byte & 0xF];
    } else {
      result += c;
    }
  }
  return result;
}

bool parseDirectoryPath(const std::string& inPath, DirectoryPath& outPath) {
  const std::string scheme = "LDAP://";
  if (inPath.size() < scheme.size() || !equalsNoCase(inPath.substr(0, scheme.size()), scheme))
    return false;
  const std::string rest = inPath.substr(scheme.size());
  if (rest.empty()) return false;
  // A server part ends at the first "/" that comes before any "=" (a DN's "/" is escaped
  // as \2f, and a server name holds no "=").
  const size_t slash = rest.find('/');
  const size_t equals = rest.find('=');
  DirectoryPath path;
  if (slash != std::string::npos && (equals == std::string::npos || slash < equals)) {
    path.server = rest.substr(0, slash);
    path.dn = rest.substr(slash + 1);
    if (path.server.empty()) return false;
  } else {
    path.dn = rest;
  }
  if (path.dn.empty()) return false;
  outPath = std::move(path);
  return true;
}

std::string firstRelativeName(const std::string& inDN) {
  for (size_t i = 0; i < inDN.size(); ++i) {
    if (inDN[i] == '\\') {
      ++i;
    } else if (inDN[i] == ',') {
      return inDN.substr(0, i);
    }
  }
  return inDN;
}

std::string dnsDomainOfDN(const std::string& inDN) {
  std::string domain;
  size_t start = 0;
  while (start < inDN.size()) {
    size_t end = start;
    while (end < inDN.size() && inDN[end] != ',') end += inDN[end] == '\\' ? 2 : 1;
    const std::string part = trim(inDN.substr(start, std::min(end, inDN.size()) - start));
    if (part.size() > 3 && equalsNoCase(part.substr(0, 3), "DC=")) {
      if (!domain.empty()) domain += '.';
      domain += part.substr(3);
    }
    start = end + 1;
  }
  return domain;
}

bool parseAttributeRange(const std::string& inDescription, AttributeRange& outRange) {
  const std::string option = ";range=";
  const size_t at = lowerText(inDescription).find(option);
  if (at == std::string::npos || at == 0) return false;
  const std::string bounds = inDescription.substr(at + option.size());
  const size_t dash = bounds.find('-');
  if (dash == std::string::npos) return false;
  // Decimal numbers only, each within 32 bits.
  const auto number = [](const std::string& inText, uint32_t& outValue) {
    if (inText.empty() || inText.size() > 10) return false;
    uint64_t value = 0;
    for (const char c : inText) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    outValue = static_cast<uint32_t>(value);
    return true;
  };
  AttributeRange range;
  range.attribute = inDescription.substr(0, at);
  if (!number(bounds.substr(0, dash), range.low)) return false;
  const std::string high = bounds.substr(dash + 1);
  if (high == "*") {
    range.last = true;
  } else if (!number(high, range.high) || range.high < range.low) {
    return false;
  }
  outRange = std::move(range);
  return true;
}

uint32_t completeRangedValues(const std::string& inDescription, std::vector<std::string>& ioValues,
                              const RangeFetch& inFetch) {
  AttributeRange range;
  if (!parseAttributeRange(inDescription, range)) return kDirOk;
  // Each chunk must start right after the previous one, so the reading always moves on.
  while (!range.last && range.high < UINT32_MAX) {
    const uint32_t expected = range.high + 1;
    std::string description;
    std::vector<std::string> values;
    const uint32_t status =
        inFetch(range.attribute + ";range=" + std::to_string(expected) + "-*", description, values);
    if (dirFailed(status)) return status;
    AttributeRange next;
    if (!parseAttributeRange(description, next) || next.low != expected) break;
    ioValues.insert(ioValues.end(), std::make_move_iterator(values.begin()),
                    std::make_move_iterator(values.end()));
    range = next;
  }
  return kDirOk;
}

uint32_t adDiagnosticCode(const std::string& inText) {
  const size_t at = inText.find("data ");
  if (at == std::string::npos) return 0;
  char* end = nullptr;
  const unsigned long code = std::strtoul(inText.c_str() + at + 5, &end, 16);
  return end != inText.c_str() + at + 5 ? static_cast<uint32_t>(code) : 0;
}

}  // namespace orvo::platform
