// Connections to the directory: one bound libldap handle each, the reads made on it, and the
// per-thread pool that lets a call reuse one connection per server and credentials.
//
// Binds. The process's own credentials are a SASL GSSAPI bind from its Kerberos credential
// cache; explicit credentials are a GSSAPI bind from a ticket obtained for them in memory
// (directorycredentials.cpp), so a password never reaches a directory server, genuine or not,
// and no certificate is needed. Every GSSAPI bind outside TLS must give a security layer of
// at least kMinimumSsf (signed and sealed traffic); inside TLS it asks for none, as Windows
// clients do over LDAPS. A simple bind is made only when the operator configures it, only
// against the CA file configured for it, and only once the connection itself says TLS is in
// place. Whether a connection is in TLS is asked of the connection, never read from a URI.
// libldap reads no ldap.conf, ./ldaprc or LDAP* variables (LDAPNOINIT), and every option that
// bears on trust is checked: a failed one ends the connection before anything is sent.
//
// Controllers. A list of URIs is tried one URI at a time, each with a handle of its own, so
// each connection's binding follows what that connection is. A controller that does not
// answer (no connection, or no answer to the bind within the time-out) is remembered for the
// rest of the run and not tried again; one that answers, even with a refusal, ends the trying.
//
// Limits. A server may be hostile or broken, so what one can make us do is bounded: one
// answer message holds at most kMaxAnswerBytes, one attribute at most kMaxValues values, and
// a ranged attribute is read in at most kMaxRangeChunks chunks, each of which must move on.
// A limit reached gives kLimitExceeded.
//
// Reuse: connections live in a per-thread pool while a DirectorySession is open on the
// thread, keyed by URI, user and password; the password part of a key is wiped when the
// pool is emptied. Every object keeps a shared reference to its connection.
#include <gssapi/gssapi_krb5.h>
#include <lber.h>
#include <sasl/sasl.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <future>
#include <iterator>
#include <mutex>

#include "directoryinternal.h"
#include "orvo/debug/kxinfolog.h"

namespace orvo::platform {

namespace {

std::atomic<uint64_t> gConnectionCount{0};
std::atomic<uint64_t> gBindCount{0};
std::atomic<uint64_t> gOperationCount{0};

constexpr ber_len_t kMinimumSsf = 56;
constexpr ber_len_t kMaxAnswerBytes = 16 * 1024 * 1024;
constexpr uint32_t kOptionFailed = 0x80004005;  // E_FAIL: a setting libldap refused
constexpr uint32_t kConfidentialityRequired = 0x8007202D;

struct MessageFree {
  void operator()(LDAPMessage* inMessage) const { ldap_msgfree(inMessage); }
};
using MessagePtr = std::unique_ptr<LDAPMessage, MessageFree>;

std::string diagnosticOf(LDAP* inLdap) {
  char* text = nullptr;
  std::string result;
  if (ldap_get_option(inLdap, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) == LDAP_OPT_SUCCESS && text) {
    result = text;
    ldap_memfree(text);
  }
  return result;
}

// SASL GSSAPI needs no answers from us: the credential cache says who we are.
int saslInteract(LDAP*, unsigned, void*, void* inInteract) {
  for (auto* item = static_cast<sasl_interact_t*>(inInteract); item->id != SASL_CB_LIST_END; ++item) {
    item->result = item->defresult != nullptr ? item->defresult : "";
    item->len = static_cast<unsigned>(strlen(static_cast<const char*>(item->result)));
  }
  return LDAP_SUCCESS;
}

// Before libldap's first use: its configuration files and variables stay unread, so a file
// in the working folder cannot change whom we trust.
void keepLibldapFromLocalSettings() {
  static std::once_flag once;
  std::call_once(once, [] { setenv("LDAPNOINIT", "1", 1); });
}

// Points GSSAPI on this thread at a credential cache for the length of a bind, then back.
class ThreadCredentialCache {
 public:
  explicit ThreadCredentialCache(const std::string& inName) {
    OM_uint32 minor = 0;
    const char* previous = nullptr;
    itsOk = gss_krb5_ccache_name(&minor, inName.c_str(), &previous) == GSS_S_COMPLETE;
    if (itsOk && previous != nullptr) itsPrevious = previous;
    itsHadPrevious = itsOk && previous != nullptr;
  }
  ~ThreadCredentialCache() {
    if (!itsOk) return;
    OM_uint32 minor = 0;
    gss_krb5_ccache_name(&minor, itsHadPrevious ? itsPrevious.c_str() : nullptr, nullptr);
  }
  ThreadCredentialCache(const ThreadCredentialCache&) = delete;
  ThreadCredentialCache& operator=(const ThreadCredentialCache&) = delete;
  bool ok() const { return itsOk; }

 private:
  bool itsOk = false;
  bool itsHadPrevious = false;
  std::string itsPrevious;
};

// The controllers that did not answer in this run. Shared by every thread: a controller that
// is down for one call is down for the next.
class UnansweringControllers {
 public:
  bool contains(const std::string& inUri) {
    std::lock_guard<std::mutex> guard(itsLock);
    return itsUris.count(inUri) != 0;
  }
  void add(const std::string& inUri) {
    std::lock_guard<std::mutex> guard(itsLock);
    itsUris.insert(inUri);
  }

 private:
  std::mutex itsLock;
  std::set<std::string> itsUris;  // guarded by itsLock
};

UnansweringControllers& unansweringControllers() {
  static UnansweringControllers controllers;
  return controllers;
}

// The URIs of a blank-separated list.
std::vector<std::string> splitUris(const std::string& inUris) {
  std::vector<std::string> uris;
  size_t start = inUris.find_first_not_of(" \t");
  while (start != std::string::npos) {
    const size_t end = inUris.find_first_of(" \t", start);
    uris.push_back(inUris.substr(start, end - start));
    start = end == std::string::npos ? end : inUris.find_first_not_of(" \t", end);
  }
  return uris;
}

// libldap reports an answer over the size limit as a lost connection; liblber left the reason
// in errno (read right after the call).
uint32_t statusOfRead(int inResult, int inErrno, LDAP* inLdap) {
  if (inResult == LDAP_SERVER_DOWN && inErrno == ERANGE) return kLimitExceeded;
  return detail::statusOfLdapResult(inResult, diagnosticOf(inLdap));
}

// The search for the crossRef of the forest's domain inDnsDomain with its NetBIOS name.
std::string crossRefFilter(const std::string& inDnsDomain) {
  return "(&(objectClass=crossRef)(dnsRoot=" + escapeFilterValue(inDnsDomain) + ")(nETBIOSName=*))";
}

// The NetBIOS name the settings give inDnsDomain (the configured domain's only); "" otherwise.
std::string configuredNetbiosName(const std::string& inDnsDomain) {
  const DirectoryConfig& config = DirectoryConfig::current();
  return equalsText(inDnsDomain, config.domain, false) ? config.netbiosDomain : std::string();
}

}  // namespace

DirectoryStatistics directoryStatistics() {
  DirectoryStatistics statistics;
  statistics.connections = gConnectionCount.load();
  statistics.binds = gBindCount.load();
  statistics.operations = gOperationCount.load();
  return statistics;
}

namespace detail {

void wipe(std::string& ioText) {
  if (!ioText.empty()) explicit_bzero(ioText.data(), ioText.size());
  ioText.clear();
}

uint32_t statusOfLdapResult(int inResult, const std::string& inDiagnostic) {
  switch (inResult) {
    case LDAP_SUCCESS: return kDirOk;
    case LDAP_INVALID_CREDENTIALS: {
      const uint32_t code = adDiagnosticCode(inDiagnostic);
      return hresultFromWin32(code != 0 ? code : 1326);
    }
    case LDAP_OPERATIONS_ERROR: return 0x80072020;
    case LDAP_PROTOCOL_ERROR: return 0x80072021;
    case LDAP_TIMELIMIT_EXCEEDED: return 0x80072022;
    case LDAP_SIZELIMIT_EXCEEDED: return 0x80072023;
    case LDAP_ADMINLIMIT_EXCEEDED: return kLimitExceeded;
    case LDAP_AUTH_METHOD_NOT_SUPPORTED: return 0x80072027;
    case LDAP_STRONG_AUTH_REQUIRED: return 0x80072028;
    case LDAP_INAPPROPRIATE_AUTH: return 0x80072029;
    case LDAP_REFERRAL: return 0x8007202B;
    case LDAP_UNAVAILABLE_CRITICAL_EXTENSION: return 0x8007202C;
    case LDAP_CONFIDENTIALITY_REQUIRED: return 0x8007202D;
    case LDAP_NO_SUCH_ATTRIBUTE: return 0x8007200A;
    case LDAP_NO_SUCH_OBJECT: return 0x80072030;
    case LDAP_INVALID_DN_SYNTAX: return 0x80072032;
    case LDAP_INSUFFICIENT_ACCESS: return 0x80070005;
    case LDAP_BUSY: return 0x8007200E;
    case LDAP_UNAVAILABLE: return 0x8007200F;
    case LDAP_UNWILLING_TO_PERFORM: return 0x80072035;
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR: return 0x8007203A;
    case LDAP_LOCAL_ERROR: return 0x8007203B;
    case LDAP_ENCODING_ERROR: return 0x8007203C;
    case LDAP_DECODING_ERROR: return 0x8007203D;
    case LDAP_TIMEOUT: return 0x800705B4;
    case LDAP_AUTH_UNKNOWN: return 0x8007203E;
    case LDAP_FILTER_ERROR: return 0x8007203F;
    case LDAP_USER_CANCELLED: return 0x800704C7;
    case LDAP_PARAM_ERROR: return 0x80070057;
    case LDAP_NO_MEMORY: return 0x80070008;
    default: return 0x80004005;
  }
}

}  // namespace detail

using namespace detail;

uint32_t DirectoryConnection::open(const std::string& inUri, const std::string* inUser,
                                   const std::string* inPassword,
                                   std::shared_ptr<DirectoryConnection>& outConnection) {
  const DirectoryConfig& config = DirectoryConfig::current();
  const std::vector<std::string> uris = splitUris(inUri);
  if (uris.empty()) return kNoSuchDomain;
  const bool simpleTls = inUser != nullptr && config.simpleBindOverTls;
  // The simple bind trusts only the CA the operator named for it.
  if (simpleTls && config.caFile.empty()) return kUntrustedRoot;

  // Explicit credentials: the ticket first, so a wrong password costs no connection.
  MemoryCredentials credentials;
  if (inUser != nullptr && !simpleTls) {
    const uint32_t status = credentials.obtain(*inUser, inPassword != nullptr ? *inPassword : std::string());
    if (dirFailed(status)) return status;
  }

  uint32_t status = statusOfLdapResult(LDAP_SERVER_DOWN, "");
  for (const std::string& uri : uris) {
    if (unansweringControllers().contains(uri)) continue;
    bool answered = true;
    status = simpleTls ? openSimple(uri, *inUser, inPassword, answered, outConnection)
                       : openKerberos(uri, inUser != nullptr ? &credentials.cacheName() : nullptr, answered,
                                      outConnection);
    if (!dirFailed(status) || answered) return status;
    unansweringControllers().add(uri);
  }
  return status;
}

uint32_t DirectoryConnection::connectHandle(const std::string& inUri, bool inTls, bool& outAnswered,
                                            std::unique_ptr<LDAP, LdapUnbind>& outLdap) {
  const DirectoryConfig& config = DirectoryConfig::current();
  keepLibldapFromLocalSettings();
  LDAP* raw = nullptr;
  if (ldap_initialize(&raw, inUri.c_str()) != LDAP_SUCCESS || raw == nullptr) return kBadPathName;
  std::unique_ptr<LDAP, LdapUnbind> ldap(raw);
  ++gConnectionCount;

  const int version = LDAP_VERSION3;
  timeval timeout{config.timeoutSeconds, 0};
  bool ok = ldap_set_option(ldap.get(), LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_OPT_SUCCESS &&
            ldap_set_option(ldap.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF) == LDAP_OPT_SUCCESS &&
            ldap_set_option(ldap.get(), LDAP_OPT_NETWORK_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
            ldap_set_option(ldap.get(), LDAP_OPT_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
            ldap_set_option(ldap.get(), LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON) == LDAP_OPT_SUCCESS;
  if (ok && inTls) {
    const int demand = LDAP_OPT_X_TLS_DEMAND;
    const int newContext = 0;
    ok = ldap_set_option(ldap.get(), LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) == LDAP_OPT_SUCCESS &&
         (config.caFile.empty() ||
          ldap_set_option(ldap.get(), LDAP_OPT_X_TLS_CACERTFILE, config.caFile.c_str()) == LDAP_OPT_SUCCESS) &&
         ldap_set_option(ldap.get(), LDAP_OPT_X_TLS_NEWCTX, &newContext) == LDAP_OPT_SUCCESS;
  }
  if (ok) {
    Sockbuf* socket = nullptr;
    ber_len_t maximum = kMaxAnswerBytes;
    ok = ldap_get_option(ldap.get(), LDAP_OPT_SOCKBUF, &socket) == LDAP_OPT_SUCCESS && socket != nullptr &&
         ber_sockbuf_ctrl(socket, LBER_SB_OPT_SET_MAX_INCOMING, &maximum) == 1;
  }
  if (!ok) return kOptionFailed;
  // The connection (and for ldaps:// its TLS handshake) now, so that a controller that does
  // not answer is told apart from one that refuses.
  const int result = ldap_connect(ldap.get());
  if (result != LDAP_SUCCESS) {
    outAnswered = false;
    return statusOfLdapResult(result, diagnosticOf(ldap.get()));
  }
  outLdap = std::move(ldap);
  return kDirOk;
}

uint32_t DirectoryConnection::openKerberos(const std::string& inUri, const std::string* inCacheName,
                                           bool& outAnswered, std::shared_ptr<DirectoryConnection>& outConnection) {
  std::unique_ptr<LDAP, LdapUnbind> ldap;
  uint32_t status = connectHandle(inUri, inUri.compare(0, 8, "ldaps://") == 0, outAnswered, ldap);
  if (dirFailed(status)) return status;
  // Outside TLS Kerberos must sign and seal; inside, TLS protects the traffic and a second
  // layer is refused by Active Directory.
  const bool tls = ldap_tls_inplace(ldap.get()) != 0;
  const ber_len_t layer = tls ? 0 : kMinimumSsf;
  if (ldap_set_option(ldap.get(), tls ? LDAP_OPT_X_SASL_SSF_MAX : LDAP_OPT_X_SASL_SSF_MIN, &layer) != LDAP_OPT_SUCCESS)
    return kOptionFailed;
  // Kerberos inside SPNEGO, as Windows binds (one round trip; the security layer comes with the
  // context), else plain GSSAPI (three: the layer is agreed on in SASL messages of its own) for a
  // server or a SASL library that does not offer the first.
  const auto bind = [&](const char* inMechanism) {
    ++gBindCount;
    ++gOperationCount;
    return ldap_sasl_interactive_bind_s(ldap.get(), nullptr, inMechanism, nullptr, nullptr, LDAP_SASL_QUIET,
                                        saslInteract, nullptr);
  };
  const auto bindEither = [&] {
    const int spnego = bind("GSS-SPNEGO");
    return spnego == LDAP_AUTH_METHOD_NOT_SUPPORTED || spnego == LDAP_NOT_SUPPORTED ? bind("GSSAPI") : spnego;
  };
  int result;
  if (inCacheName != nullptr) {
    ThreadCredentialCache cache(*inCacheName);
    if (!cache.ok()) return kOptionFailed;
    result = bindEither();
  } else {
    result = bindEither();
  }
  if (result != LDAP_SUCCESS) {
    outAnswered = result != LDAP_TIMEOUT && result != LDAP_SERVER_DOWN;
    status = statusOfLdapResult(result, diagnosticOf(ldap.get()));
    if (tls && (result == LDAP_STRONG_AUTH_REQUIRED || result == LDAP_UNWILLING_TO_PERFORM)) {
      kxInfoLogWrite(kxInfoLogError,
                     "the directory server refuses Kerberos binds inside TLS (ldaps://); use an ldap:// URI "
                     "instead, whose traffic Kerberos signs and seals");
    } else if (result == LDAP_LOCAL_ERROR && inCacheName == nullptr && cachePrincipal().empty()) {
      status = kNoCredentials;
    }
    return status;
  }
  if (!tls) {
    // A security layer was asked for; make sure one is there.
    ber_len_t ssf = 0;
    if (ldap_get_option(ldap.get(), LDAP_OPT_X_SASL_SSF, &ssf) != LDAP_OPT_SUCCESS || ssf < kMinimumSsf)
      return 0x80072028;  // strong authentication required
  }
  auto connection = std::make_shared<DirectoryConnection>();
  connection->itsLdap = std::move(ldap);
  outConnection = std::move(connection);
  return kDirOk;
}

uint32_t DirectoryConnection::openSimple(const std::string& inUri, const std::string& inUser,
                                         const std::string* inPassword, bool& outAnswered,
                                         std::shared_ptr<DirectoryConnection>& outConnection) {
  std::unique_ptr<LDAP, LdapUnbind> ldap;
  const uint32_t status = connectHandle(inUri, true, outAnswered, ldap);
  if (dirFailed(status)) return status;
  // Never a password in clear text: TLS first, and the connection must say it is in TLS.
  int result;
  if (ldap_tls_inplace(ldap.get()) == 0) {
    ++gOperationCount;
    result = ldap_start_tls_s(ldap.get(), nullptr, nullptr);
    // The server agreed to TLS but the handshake failed: with certificates always
    // verified, that is a server whose certificate we do not trust.
    if (result == LDAP_CONNECT_ERROR) return kUntrustedRoot;
    if (result != LDAP_SUCCESS) {
      outAnswered = result != LDAP_TIMEOUT && result != LDAP_SERVER_DOWN;
      return statusOfLdapResult(result, diagnosticOf(ldap.get()));
    }
  }
  if (ldap_tls_inplace(ldap.get()) == 0) return kConfidentialityRequired;
  ++gBindCount;
  ++gOperationCount;
  std::string secret = inPassword != nullptr ? *inPassword : std::string();
  berval credential{static_cast<ber_len_t>(secret.size()), secret.data()};
  result = ldap_sasl_bind_s(ldap.get(), inUser.c_str(), LDAP_SASL_SIMPLE, &credential, nullptr, nullptr, nullptr);
  wipe(secret);
  if (result != LDAP_SUCCESS) {
    outAnswered = result != LDAP_TIMEOUT && result != LDAP_SERVER_DOWN;
    return statusOfLdapResult(result, diagnosticOf(ldap.get()));
  }
  auto connection = std::make_shared<DirectoryConnection>();
  connection->itsLdap = std::move(ldap);
  outConnection = std::move(connection);
  return kDirOk;
}

uint32_t DirectoryConnection::readEntries(LDAPMessage* inMessage, std::vector<Entry>& outEntries) {
  LDAP* ldap = itsLdap.get();
  for (LDAPMessage* item = ldap_first_entry(ldap, inMessage); item != nullptr; item = ldap_next_entry(ldap, item)) {
    Entry entry;
    if (char* dn = ldap_get_dn(ldap, item)) {
      entry.dn = dn;
      ldap_memfree(dn);
    }
    BerElement* ber = nullptr;
    uint32_t status = kDirOk;
    for (char* attribute = ldap_first_attribute(ldap, item, &ber); attribute != nullptr;
         attribute = ldap_next_attribute(ldap, item, ber)) {
      std::vector<std::string>& values = entry.attributes[attribute];
      if (berval** list = ldap_get_values_len(ldap, item, attribute)) {
        for (berval** value = list; *value != nullptr; ++value) {
          if (values.size() == kMaxValues) {
            status = kLimitExceeded;
            break;
          }
          values.emplace_back((*value)->bv_val, (*value)->bv_len);
        }
        ldap_value_free_len(list);
      }
      ldap_memfree(attribute);
      if (dirFailed(status)) break;
    }
    if (ber != nullptr) ber_free(ber, 0);
    if (dirFailed(status)) return status;
    outEntries.push_back(std::move(entry));
  }
  return kDirOk;
}

uint32_t DirectoryConnection::search(const std::string& inBase, int inScope, const std::string& inFilter,
                                     const std::vector<std::string>& inAttributes, int inLimit,
                                     std::vector<Entry>& outEntries) {
  std::vector<char*> names;
  for (const std::string& name : inAttributes) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  LDAPMessage* raw = nullptr;
  ++gOperationCount;
  errno = 0;
  const int result = ldap_search_ext_s(itsLdap.get(), inBase.c_str(), inScope, inFilter.c_str(), names.data(), 0,
                                       nullptr, nullptr, nullptr, inLimit, &raw);
  const int error = errno;
  MessagePtr message(raw);
  if (result != LDAP_SUCCESS && !(result == LDAP_SIZELIMIT_EXCEEDED && message))
    return statusOfRead(result, error, itsLdap.get());
  const uint32_t status = readEntries(message.get(), outEntries);
  if (dirFailed(status)) return status;
  return result == LDAP_SIZELIMIT_EXCEEDED ? kNameNotUnique : kDirOk;
}

uint32_t DirectoryConnection::searchOnce(const std::string& inBase, const std::string& inFilter,
                                         const std::vector<std::string>& inAttributes, int inLimit,
                                         std::vector<Entry>& outEntries) {
  std::string key = inBase + '\0' + inFilter + '\0' + std::to_string(inLimit);
  for (const std::string& name : inAttributes) key += '\0' + name;
  const auto known = itsSearches.find(key);
  if (known != itsSearches.end()) {
    outEntries.insert(outEntries.end(), known->second.second.begin(), known->second.second.end());
    return known->second.first;
  }
  std::vector<Entry> entries;
  const uint32_t status = search(inBase, LDAP_SCOPE_SUBTREE, inFilter, inAttributes, inLimit, entries);
  // Only answers are kept: a failure (a time-out among them) is tried again next time.
  if (!dirFailed(status) || status == kNameNotUnique) itsSearches[key] = {status, entries};
  outEntries.insert(outEntries.end(), entries.begin(), entries.end());
  return status;
}

// An attribute handed out in chunks is read to its end on this connection and kept under its
// plain name as if it had come in one piece.
uint32_t DirectoryConnection::completeEntry(Entry& ioEntry) {
  std::vector<std::string> ranged;
  for (const auto& [description, values] : ioEntry.attributes) {
    AttributeRange range;
    if (parseAttributeRange(description, range)) ranged.push_back(description);
  }
  for (const std::string& description : ranged) {
    AttributeRange range;
    parseAttributeRange(description, range);
    std::vector<std::string> values = std::move(ioEntry.attributes[description]);
    ioEntry.attributes.erase(description);
    const uint32_t status = completeRangedValues(
        description, values,
        [&](const std::string& inRequest, std::string& outDescription, std::vector<std::string>& outValues) {
          std::vector<Entry> chunk;
          const uint32_t readStatus = search(ioEntry.dn, LDAP_SCOPE_BASE, "(objectClass=*)", {inRequest}, 0, chunk);
          if (dirFailed(readStatus)) return readStatus;
          outDescription.clear();
          if (chunk.empty()) return kDirOk;
          for (auto& [name, chunkValues] : chunk.front().attributes) {
            AttributeRange next;
            if (parseAttributeRange(name, next) && equalsText(next.attribute, range.attribute, false)) {
              outDescription = name;
              outValues = std::move(chunkValues);
              break;
            }
          }
          return kDirOk;
        });
    if (dirFailed(status)) return status;
    std::vector<std::string>& whole = ioEntry.attributes[range.attribute];
    if (whole.size() + values.size() > kMaxValues) return kLimitExceeded;
    whole.insert(whole.end(), std::make_move_iterator(values.begin()), std::make_move_iterator(values.end()));
  }
  return kDirOk;
}

uint32_t DirectoryConnection::readObject(const std::string& inDN, const std::vector<std::string>& inAttributes,
                                         Entry& outEntry) {
  std::vector<Entry> entries;
  const uint32_t status = search(inDN, LDAP_SCOPE_BASE, "(objectClass=*)", inAttributes, 0, entries);
  if (dirFailed(status)) return status;
  if (entries.empty()) return 0x80072030;
  outEntry = std::move(entries.front());
  return completeEntry(outEntry);
}

uint32_t DirectoryConnection::readRoot() {
  if (!itsDefaultNC.empty()) return kDirOk;
  Entry root;
  const uint32_t status =
      readObject("", {"defaultNamingContext", "configurationNamingContext", "rootDomainNamingContext"}, root);
  if (dirFailed(status)) return status;
  return keepRoot(root);
}

uint32_t DirectoryConnection::keepRoot(Entry& ioRoot) {
  const auto& nc = ioRoot.attributes["defaultNamingContext"];
  if (nc.empty()) return kNoSuchDomain;
  itsDefaultNC = nc.front();
  const auto& config = ioRoot.attributes["configurationNamingContext"];
  if (!config.empty()) itsConfigNC = config.front();
  const auto& forest = ioRoot.attributes["rootDomainNamingContext"];
  if (!forest.empty()) itsRootNC = forest.front();
  return kDirOk;
}

DirectoryConnection::RootGuess DirectoryConnection::assumeRootDuring(const std::string& inDefaultNC,
                                                                     const std::string& inConfigNC,
                                                                     const std::function<void()>& inWork) {
  if (!itsDefaultNC.empty()) {
    inWork();
    return RootGuess::held;
  }
  char defaultNC[] = "defaultNamingContext";
  char configNC[] = "configurationNamingContext";
  char rootNC[] = "rootDomainNamingContext";
  char* attributes[] = {defaultNC, configNC, rootNC, nullptr};
  int id = 0;
  ++gOperationCount;
  if (ldap_search_ext(itsLdap.get(), "", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0, nullptr, nullptr,
                      nullptr, 0, &id) != LDAP_SUCCESS)
    return RootGuess::unanswered;
  // The root DSE is waited for no longer than if it had been read alone.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(DirectoryConfig::current().timeoutSeconds);
  const auto searches = itsSearches;
  const auto names = itsNetbiosNames;
  itsDefaultNC = inDefaultNC;
  itsConfigNC = inConfigNC;
  itsRootNC = inDefaultNC;
  inWork();
  itsDefaultNC.clear();
  itsConfigNC.clear();
  itsRootNC.clear();
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
  timeval timeout{0, 0};
  if (left.count() > 0) {
    timeout.tv_sec = static_cast<time_t>(left.count() / 1000000);
    timeout.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
  }
  LDAPMessage* raw = nullptr;
  const int type = ldap_result(itsLdap.get(), id, LDAP_MSG_ALL, &timeout, &raw);
  MessagePtr message(raw);
  if (type == 0) ldap_abandon_ext(itsLdap.get(), id, nullptr, nullptr);
  int code = LDAP_OTHER;
  if (type > 0 && message) {
    for (LDAPMessage* item = ldap_first_message(itsLdap.get(), message.get()); item != nullptr;
         item = ldap_next_message(itsLdap.get(), item)) {
      if (ldap_msgtype(item) == LDAP_RES_SEARCH_RESULT)
        ldap_parse_result(itsLdap.get(), item, &code, nullptr, nullptr, nullptr, nullptr, 0);
    }
  }
  std::vector<Entry> entries;
  // Without a whole answer readRoot asks again when the contexts are next wanted.
  const bool read = code == LDAP_SUCCESS && !dirFailed(readEntries(message.get(), entries)) && !entries.empty() &&
                    !dirFailed(keepRoot(entries.front()));
  const bool held = read && equalsText(itsDefaultNC, inDefaultNC, false) && equalsText(itsConfigNC, inConfigNC, false) &&
                    equalsText(itsRootNC.empty() ? itsDefaultNC : itsRootNC, inDefaultNC, false);
  if (held) return RootGuess::held;
  // What was read below contexts the server does not have serves nothing.
  itsSearches = searches;
  itsNetbiosNames = names;
  return read ? RootGuess::differs : RootGuess::unanswered;
}

uint32_t DirectoryConnection::defaultNamingContext(std::string& outDN) {
  const uint32_t status = readRoot();
  if (dirFailed(status)) return status;
  outDN = itsDefaultNC;
  return kDirOk;
}

std::string DirectoryConnection::forestRoot() {
  if (dirFailed(readRoot())) return std::string();
  return dnsDomainOfDN(itsRootNC.empty() ? itsDefaultNC : itsRootNC);
}

std::string DirectoryConnection::netbiosName(const std::string& inDnsDomain) {
  // A domain's NetBIOS name is the same whichever connection asks: the session keeps what
  // any of its connections learned.
  std::map<std::string, std::string>* const session = sessionNetbiosNames();
  std::map<std::string, std::string>& names = session != nullptr ? *session : itsNetbiosNames;
  const std::string key = toLowerText(inDnsDomain);
  const auto known = names.find(key);
  if (known != names.end()) return known->second;
  // Learned by this connection before the session had it (read ahead on a thread of its own).
  if (const auto learned = itsNetbiosNames.find(key); session != nullptr && learned != itsNetbiosNames.end())
    return names[key] = learned->second;
  std::string name = configuredNetbiosName(inDnsDomain);
  if (name.empty()) {
    std::vector<Entry> entries;
    if (!dirFailed(readRoot()) && !itsConfigNC.empty() &&
        !dirFailed(search("CN=Partitions," + itsConfigNC, LDAP_SCOPE_ONELEVEL, crossRefFilter(inDnsDomain),
                          {"nETBIOSName"}, 1, entries)) &&
        !entries.empty()) {
      const auto& values = entries.front().attributes["nETBIOSName"];
      if (!values.empty()) name = values.front();
    }
  }
  if (!name.empty()) names[key] = name;
  return name;
}

uint32_t DirectoryConnection::learnNetbiosNameDuring(const std::string& inDnsDomain,
                                                     const std::function<uint32_t()>& inWork) {
  const std::string key = toLowerText(inDnsDomain);
  int id = 0;
  if (!inDnsDomain.empty() && itsNetbiosNames.count(key) == 0 && configuredNetbiosName(inDnsDomain).empty() &&
      !dirFailed(readRoot()) && !itsConfigNC.empty()) {
    char attribute[] = "nETBIOSName";
    char* attributes[] = {attribute, nullptr};
    ++gOperationCount;
    if (ldap_search_ext(itsLdap.get(), ("CN=Partitions," + itsConfigNC).c_str(), LDAP_SCOPE_ONELEVEL,
                        crossRefFilter(inDnsDomain).c_str(), attributes, 0, nullptr, nullptr, nullptr, 1,
                        &id) != LDAP_SUCCESS)
      id = 0;
  }
  const uint32_t status = inWork();
  if (id == 0) return status;
  // A lookup that failed (a server that stopped answering among the reasons) is not waited on
  // twice: the name is then not needed.
  if (dirFailed(status)) {
    ldap_abandon_ext(itsLdap.get(), id, nullptr, nullptr);
    return status;
  }
  // Only a whole, successful answer is kept; otherwise netbiosName searches when asked.
  timeval timeout{DirectoryConfig::current().timeoutSeconds, 0};
  LDAPMessage* raw = nullptr;
  const int type = ldap_result(itsLdap.get(), id, LDAP_MSG_ALL, &timeout, &raw);
  MessagePtr message(raw);
  if (type <= 0 || !message) {
    if (type == 0) ldap_abandon_ext(itsLdap.get(), id, nullptr, nullptr);
    return status;
  }
  int code = LDAP_OTHER;
  for (LDAPMessage* item = ldap_first_message(itsLdap.get(), message.get()); item != nullptr;
       item = ldap_next_message(itsLdap.get(), item)) {
    if (ldap_msgtype(item) == LDAP_RES_SEARCH_RESULT)
      ldap_parse_result(itsLdap.get(), item, &code, nullptr, nullptr, nullptr, nullptr, 0);
  }
  std::vector<Entry> entries;
  if (code != LDAP_SUCCESS || dirFailed(readEntries(message.get(), entries)) || entries.empty()) return status;
  const auto& values = entries.front().attributes["nETBIOSName"];
  if (!values.empty() && !values.front().empty()) itsNetbiosNames[key] = values.front();
  return status;
}

uint32_t DirectoryConnection::domainOfName(const std::string& inName, std::string& outDnsDomain) {
  uint32_t status = readRoot();
  if (dirFailed(status)) return status;
  if (itsConfigNC.empty()) return kNoSuchDomain;
  const std::string value = escapeFilterValue(inName);
  std::vector<Entry> entries;
  // The domains of the forest are the crossRef objects that carry a NetBIOS name.
  status = search("CN=Partitions," + itsConfigNC, LDAP_SCOPE_ONELEVEL,
                  "(&(objectClass=crossRef)(nETBIOSName=*)(|(nETBIOSName=" + value + ")(dnsRoot=" + value + ")))",
                  {"dnsRoot"}, 2, entries);
  if (dirFailed(status) && status != kNameNotUnique) return status;
  if (entries.size() != 1) return kNoSuchDomain;
  const auto& root = entries.front().attributes["dnsRoot"];
  if (root.empty() || root.front().empty()) return kNoSuchDomain;
  outDnsDomain = root.front();
  return kDirOk;
}

bool DirectoryConnection::isUpnSuffix(const std::string& inSuffix) {
  if (dirFailed(readRoot()) || itsConfigNC.empty()) return false;
  Entry partitions;
  if (dirFailed(readObject("CN=Partitions," + itsConfigNC, {"uPNSuffixes"}, partitions))) return false;
  for (const std::string& suffix : partitions.attributes["uPNSuffixes"])
    if (equalsText(suffix, inSuffix, false)) return true;
  return false;
}

std::string DirectoryConnection::pingNetbiosName(const std::string& inUris, const std::string& inDnsDomain) {
  // NtVer 6 asks for the extended answer; the values are binary, written escaped.
  const std::string filter = "(&(DnsDomain=" + escapeFilterValue(inDnsDomain) + ")(NtVer=\\06\\00\\00\\00))";
  char attribute[] = "netlogon";
  char* attributes[] = {attribute, nullptr};
  for (const std::string& uri : splitUris(inUris)) {
    if (unansweringControllers().contains(uri)) continue;
    bool answered = true;
    std::unique_ptr<LDAP, LdapUnbind> ldap;
    if (dirFailed(connectHandle(uri, uri.compare(0, 8, "ldaps://") == 0, answered, ldap))) {
      if (!answered) unansweringControllers().add(uri);
      continue;
    }
    LDAPMessage* raw = nullptr;
    ++gOperationCount;
    const int result = ldap_search_ext_s(ldap.get(), "", LDAP_SCOPE_BASE, filter.c_str(), attributes, 0, nullptr,
                                         nullptr, nullptr, 1, &raw);
    MessagePtr message(raw);
    if (result == LDAP_TIMEOUT || result == LDAP_SERVER_DOWN) unansweringControllers().add(uri);
    if (result != LDAP_SUCCESS || !message) continue;
    LDAPMessage* entry = ldap_first_entry(ldap.get(), message.get());
    if (entry == nullptr) continue;
    std::string name;
    if (berval** values = ldap_get_values_len(ldap.get(), entry, attribute)) {
      if (values[0] != nullptr) name = netbiosNameOfPing(std::string(values[0]->bv_val, values[0]->bv_len), inDnsDomain);
      ldap_value_free_len(values);
    }
    return name;
  }
  return std::string();
}

// ---------------------------------------------------------------------------------------
// Reading ahead: the groups of one depth are asked for together, so a walk over them costs a
// round trip per depth rather than one per group. Answers are kept for the session, and each
// object is asked for once however often it is opened.

namespace {

// A DN as a directory path writes it.
std::string pathDN(const std::string& inDN) {
  std::string out;
  out.reserve(inDN.size());
  for (const char c : inDN) {
    if (c == '/') out += "\\2f";
    else out += c;
  }
  return out;
}

}  // namespace

void DirectoryConnection::readAhead(const std::vector<std::string>& inDNs, const std::vector<std::string>& inAttributes,
                                    const std::string& inFollow) {
  if (itsAhead.attributes.empty()) {
    itsAhead.attributes = inAttributes;
    itsAhead.follow = inFollow;
  }
  std::vector<char*> names;
  for (const std::string& name : itsAhead.attributes) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  for (const std::string& value : inDNs) {
    if (itsAhead.full || itsAhead.requested.size() >= kMaxReadAhead) return;
    const std::string dn = pathDN(value);
    if (!itsAhead.requested.insert(dn).second) continue;
    int id = 0;
    ++gOperationCount;
    const int result = ldap_search_ext(itsLdap.get(), dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", names.data(), 0,
                                       nullptr, nullptr, nullptr, 0, &id);
    if (result == LDAP_SUCCESS) {
      itsAhead.inFlight[id] = dn;
      itsAhead.waiting.insert(dn);
    } else {
      itsAhead.done[dn] = {statusOfLdapResult(result, diagnosticOf(itsLdap.get())), Entry()};
    }
  }
}

void DirectoryConnection::readAheadMemberships(const std::string& inDN, const std::vector<std::string>& inAttributes,
                                               const std::string& inFollow) {
  if (itsAhead.attributes.empty()) {
    itsAhead.attributes = inAttributes;
    itsAhead.follow = inFollow;
  }
  if (itsAhead.full || itsAhead.requested.size() >= kMaxReadAhead || itsAhead.membershipsOf != 0 ||
      !itsAhead.requested.insert(inDN).second)
    return;
  std::vector<char*> names;
  for (const std::string& name : itsAhead.attributes) names.push_back(const_cast<char*>(name.c_str()));
  char tokenGroups[] = "tokenGroups";
  names.push_back(tokenGroups);
  names.push_back(nullptr);
  int id = 0;
  ++gOperationCount;
  if (ldap_search_ext(itsLdap.get(), inDN.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", names.data(), 0, nullptr,
                      nullptr, nullptr, 0, &id) != LDAP_SUCCESS) {
    // Not asked for after all: the object is read when it is opened.
    itsAhead.requested.erase(inDN);
    return;
  }
  itsAhead.inFlight[id] = inDN;
  itsAhead.waiting.insert(inDN);
  itsAhead.membershipsOf = id;
}

// The groups of the SIDs of an account's tokenGroups, searched in the account's domain
// (builtin groups included) by objectSid; a SID of another domain finds nothing there, and
// its group is read when a memberOf value names it.
void DirectoryConnection::sendMembershipSearches(const std::string& inAccountDN, const std::vector<std::string>& inSids) {
  std::string base;
  const std::string domain = dnsDomainOfDN(inAccountDN);
  for (size_t start = 0; start < domain.size();) {
    const size_t dot = std::min(domain.find('.', start), domain.size());
    base += (base.empty() ? "DC=" : ",DC=") + domain.substr(start, dot - start);
    start = dot + 1;
  }
  std::vector<char*> names;
  for (const std::string& name : itsAhead.attributes) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  static const char kHex[] = "0123456789abcdef";
  const size_t room = kMaxReadAhead - std::min(kMaxReadAhead, itsAhead.requested.size());
  const size_t count = std::min(inSids.size(), room);
  for (size_t first = 0; first < count && !base.empty(); first += kSidsPerSearch) {
    const size_t last = std::min(count, first + kSidsPerSearch);
    std::string filter = "(|";
    for (size_t i = first; i < last; ++i) {
      // Only what is a SID goes into the filter, every byte escaped.
      std::string text;
      if (!sidToText(std::vector<uint8_t>(inSids[i].begin(), inSids[i].end()), text)) continue;
      filter += "(objectSid=";
      for (const char c : inSids[i]) {
        filter += '\\';
        filter += kHex[static_cast<unsigned char>(c) >> 4];
        filter += kHex[static_cast<unsigned char>(c) & 0xF];
      }
      filter += ')';
    }
    filter += ')';
    int id = 0;
    ++gOperationCount;
    if (ldap_search_ext(itsLdap.get(), base.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(), names.data(), 0, nullptr,
                        nullptr, nullptr, static_cast<int>(last - first), &id) == LDAP_SUCCESS)
      itsAhead.membershipSearches.insert(id);
  }
}

// Keeps an answer read ahead, within the budget; false when it did not fit.
bool DirectoryConnection::keepReadAhead(const std::string& inDN, uint32_t inStatus, Entry&& inEntry) {
  size_t bytes = inEntry.dn.size();
  for (const auto& [name, values] : inEntry.attributes) {
    bytes += name.size();
    for (const std::string& value : values) bytes += value.size();
  }
  // What is kept for later is bounded too: past the budget an answer is dropped, reading
  // ahead ends, and the object is read again when it is opened.
  if (itsAhead.bytes + bytes > kMaxReadAheadBytes) {
    itsAhead.full = true;
    return false;
  }
  itsAhead.bytes += bytes;
  itsAhead.done[inDN] = {inStatus, std::move(inEntry)};
  return true;
}

// The groups one search of readAheadMemberships found. Once the last search has answered,
// the memberOf values none of them answered for are read ahead.
void DirectoryConnection::receiveMemberships(LDAPMessage* inMessage) {
  std::vector<Entry> entries;
  // A failed search, or an entry over the limits, leaves what it could not give to the
  // reading that follows memberOf.
  readEntries(inMessage, entries);
  for (Entry& entry : entries) {
    const std::string dn = pathDN(entry.dn);
    if (itsAhead.full || itsAhead.requested.size() >= kMaxReadAhead) break;
    if (itsAhead.requested.count(dn) != 0) continue;
    const uint32_t status = completeEntry(entry);
    if (dirFailed(status)) continue;
    const auto follow = entry.attributes.find(itsAhead.follow);
    std::vector<std::string> parents;
    if (follow != entry.attributes.end()) parents = follow->second;
    if (!keepReadAhead(dn, status, std::move(entry))) break;
    itsAhead.requested.insert(dn);
    itsAhead.followLater.insert(itsAhead.followLater.end(), parents.begin(), parents.end());
  }
  if (itsAhead.membershipSearches.empty()) {
    const std::vector<std::string> follow = std::move(itsAhead.followLater);
    itsAhead.followLater.clear();
    readAhead(follow, itsAhead.attributes, itsAhead.follow);
  }
}

// Waits for one answer to a request read ahead and keeps it; false when none came in time,
// and then every request still out has failed.
bool DirectoryConnection::receiveReadAhead() {
  timeval timeout{DirectoryConfig::current().timeoutSeconds, 0};
  LDAPMessage* raw = nullptr;
  errno = 0;
  const int type = ldap_result(itsLdap.get(), LDAP_RES_ANY, LDAP_MSG_ALL, &timeout, &raw);
  const int error = errno;
  MessagePtr message(raw);
  if (type <= 0 || !message) {
    const uint32_t status = type == 0 ? statusOfLdapResult(LDAP_TIMEOUT, "")
                                      : statusOfRead(LDAP_SERVER_DOWN, error, itsLdap.get());
    for (auto& [id, dn] : itsAhead.inFlight) {
      ldap_abandon_ext(itsLdap.get(), id, nullptr, nullptr);
      itsAhead.done[dn] = {status, Entry()};
    }
    for (const int id : itsAhead.membershipSearches) ldap_abandon_ext(itsLdap.get(), id, nullptr, nullptr);
    itsAhead.inFlight.clear();
    itsAhead.waiting.clear();
    itsAhead.membershipSearches.clear();
    itsAhead.followLater.clear();
    return false;
  }
  const int id = ldap_msgid(message.get());
  if (itsAhead.membershipSearches.erase(id) != 0) {
    receiveMemberships(message.get());
    return true;
  }
  const auto request = itsAhead.inFlight.find(id);
  if (request == itsAhead.inFlight.end()) return true;
  const std::string dn = request->second;
  itsAhead.inFlight.erase(request);
  itsAhead.waiting.erase(dn);
  const bool memberships = id == itsAhead.membershipsOf;
  int code = LDAP_OTHER;
  std::string diagnostic;
  for (LDAPMessage* item = ldap_first_message(itsLdap.get(), message.get()); item != nullptr;
       item = ldap_next_message(itsLdap.get(), item)) {
    char* text = nullptr;
    if (ldap_msgtype(item) == LDAP_RES_SEARCH_RESULT &&
        ldap_parse_result(itsLdap.get(), item, &code, nullptr, &text, nullptr, nullptr, 0) == LDAP_SUCCESS &&
        text != nullptr) {
      diagnostic = text;
    }
    if (text != nullptr) ldap_memfree(text);
  }
  std::vector<Entry> entries;
  uint32_t status = code == LDAP_SUCCESS ? readEntries(message.get(), entries) : statusOfLdapResult(code, diagnostic);
  if (!dirFailed(status) && entries.empty()) status = 0x80072030;
  Entry entry;
  if (!dirFailed(status)) {
    entry = std::move(entries.front());
    status = completeEntry(entry);
  }
  std::vector<std::string> sids;
  if (memberships) {
    // The account as an open would read it, without its tokenGroups; one that did not come
    // whole is read again when it is opened, as without reading ahead.
    itsAhead.membershipsOf = 0;
    if (dirFailed(status)) {
      itsAhead.requested.erase(dn);
      return true;
    }
    const auto tokenGroups = entry.attributes.find("tokenGroups");
    if (tokenGroups != entry.attributes.end()) {
      sids = std::move(tokenGroups->second);
      entry.attributes.erase(tokenGroups);
    }
  }
  const std::string accountDN = entry.dn;
  std::vector<std::string> parents;
  if (!dirFailed(status)) {
    const auto follow = entry.attributes.find(itsAhead.follow);
    if (follow != entry.attributes.end()) parents = follow->second;
  }
  if (!keepReadAhead(dn, status, std::move(entry))) return true;
  if (!sids.empty()) sendMembershipSearches(accountDN, sids);
  if (itsAhead.membershipSearches.empty()) {
    // The groups this one is in are most likely wanted next: ask for them now.
    readAhead(parents, itsAhead.attributes, itsAhead.follow);
  } else {
    itsAhead.followLater.insert(itsAhead.followLater.end(), parents.begin(), parents.end());
  }
  return true;
}

void DirectoryConnection::finishMemberships() {
  while (!itsAhead.membershipSearches.empty() || itsAhead.membershipsOf != 0) {
    if (!receiveReadAhead()) break;
  }
}

bool DirectoryConnection::takeReadAhead(const std::string& inDN, Entry& outEntry, uint32_t& outStatus) {
  for (;;) {
    const auto found = itsAhead.done.find(inDN);
    if (found != itsAhead.done.end()) {
      outStatus = found->second.first;
      outEntry = found->second.second;
      return true;
    }
    // A group may yet come with the groups of an account's tokenGroups.
    if (itsAhead.waiting.count(inDN) == 0 && itsAhead.membershipSearches.empty()) return false;
    if (!receiveReadAhead() && itsAhead.waiting.count(inDN) == 0 && itsAhead.done.count(inDN) == 0) return false;
  }
}

namespace detail {

// ---------------------------------------------------------------------------------------
// Sessions: the per-thread pool of connections

namespace {

// A connection opened on a thread of its own, handed to the pool's thread when it asks.
struct Opened {
  uint32_t status = kDirOk;
  std::shared_ptr<DirectoryConnection> connection;
};

struct ConnectionPool {
  int depth = 0;
  std::map<std::string, std::shared_ptr<DirectoryConnection>> connections;
  // Connections with the process's own credentials being opened ahead; nothing else of the
  // pool is touched by their threads.
  std::map<std::string, std::future<Opened>> opening;
  // Connections lent to a thread that reads ahead on them: theirs until it is done.
  std::map<std::string, std::future<void>> lent;
  std::map<std::string, std::string> netbiosNames;  // lower-case DNS name -> NetBIOS name
  std::future<void> kdcAhead;  // the KDC's first answer for the run's credential check

  void clear() {
    // Waits for the threads still opening or reading.
    opening.clear();
    lent.clear();
    if (kdcAhead.valid()) {
      kdcAhead.wait();
      kdcAhead = std::future<void>();
      // An answer the run's check did not take serves nothing after it.
      forgetKdcAnswerAhead();
    }
    while (!connections.empty()) {
      auto node = connections.extract(connections.begin());
      wipe(node.key());
    }
    netbiosNames.clear();
  }
  ~ConnectionPool() { clear(); }
};

thread_local ConnectionPool tPool;

}  // namespace

bool sessionOpen() { return tPool.depth > 0; }

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
      const auto lent = tPool.lent.find(key);
      if (lent != tPool.lent.end()) {
        // What the reading could not finish, the connection's own reading does later.
        try {
          lent->second.get();
        } catch (const std::exception&) {
        }
        tPool.lent.erase(lent);
      }
      outConnection = found->second;
      wipe(key);
      return kDirOk;
    }
    // Being opened ahead: its outcome is this call's, failure included (trying again would
    // wait for an unanswering server twice).
    const auto opening = tPool.opening.find(key);
    if (opening != tPool.opening.end()) {
      Opened opened = opening->second.get();
      tPool.opening.erase(opening);
      if (!dirFailed(opened.status)) tPool.connections.emplace(key, opened.connection);
      outConnection = std::move(opened.connection);
      return opened.status;
    }
  }
  const uint32_t status = DirectoryConnection::open(inUri, inUser, inPassword, outConnection);
  if (!dirFailed(status) && tPool.depth > 0) tPool.connections.emplace(std::move(key), outConnection);
  wipe(key);
  return status;
}

std::map<std::string, std::string>* sessionNetbiosNames() { return tPool.depth > 0 ? &tPool.netbiosNames : nullptr; }

void openAhead(const std::string& inUri, const std::string& inAccountName, bool inCatalog) {
  if (tPool.depth == 0 || inUri.empty()) return;
  // The key connect() gives the process's own credentials.
  std::string key = inUri;
  key += '\0';
  if (tPool.connections.count(key) != 0 || tPool.opening.count(key) != 0) return;
  // What the opening thread reads of the process's settings and environment is settled here,
  // before it runs: nothing is written to the environment while it does.
  DirectoryConfig::current();
  keepLibldapFromLocalSettings();
  try {
    const std::string& domain = DirectoryConfig::current().domain;
    const std::string domainNC = domain.empty() ? std::string() : dnOfDnsDomain(domain);
    tPool.opening.emplace(key, std::async(std::launch::async, [inUri, inAccountName, inCatalog, inDomainNC = domainNC] {
      Opened opened;
      opened.status = DirectoryConnection::open(inUri, nullptr, nullptr, opened.connection);
      if (dirFailed(opened.status)) return opened;
      // Every use of a connection starts with its root DSE (the naming contexts) and, in a
      // run, with the account's name: read them here too, while the caller is busy elsewhere.
      // The lookup goes out with the root DSE, below the configured domain's naming contexts
      // as they are in a forest's root domain; where the root DSE names others, again below those.
      // A server that gave no root DSE is not asked again here: the first use asks for it.
      const std::shared_ptr<DirectoryConnection>& connection = opened.connection;
      if (!inAccountName.empty() && !inDomainNC.empty() &&
          connection->assumeRootDuring(inDomainNC, "CN=Configuration," + inDomainNC, [&] {
            translateAhead(connection, inCatalog ? std::string() : inDomainNC, inAccountName);
          }) != DirectoryConnection::RootGuess::differs)
        return opened;
      std::string context;
      if (!dirFailed(connection->defaultNamingContext(context)) && !inAccountName.empty())
        translateAhead(connection, inCatalog ? std::string() : context, inAccountName);
      return opened;
    }));
  } catch (const std::system_error&) {
    // No thread to be had: the connection is opened when it is first wanted.
  }
}

void readAheadMembershipsAside(const std::string& inUri, const std::string& inDN,
                               const std::vector<std::string>& inAttributes, const std::string& inFollow) {
  std::shared_ptr<DirectoryConnection> connection;
  if (tPool.depth == 0 || dirFailed(connect(inUri, nullptr, nullptr, connection))) return;
  std::string key = inUri;
  key += '\0';
  try {
    tPool.lent.emplace(key, std::async(std::launch::async, [connection, dn = pathDN(inDN), inAttributes, inFollow] {
      connection->readAheadMemberships(dn, inAttributes, inFollow);
      connection->finishMemberships();
    }));
  } catch (const std::system_error&) {
    // No thread to be had: the groups are read when they are wanted.
  }
}

}  // namespace detail

bool learnedDomainDnsName(const std::string& inNetbiosName, std::string& outDnsName) {
  const std::map<std::string, std::string>* const names = detail::sessionNetbiosNames();
  if (names == nullptr || inNetbiosName.empty()) return false;
  std::string found;
  for (const auto& [dnsName, netbiosName] : *names) {
    if (!equalsText(netbiosName, inNetbiosName, false)) continue;
    // A directory that gives two domains one NetBIOS name settles nothing.
    if (!found.empty()) return false;
    found = dnsName;
  }
  if (found.empty()) return false;
  outDnsName = found;
  return true;
}

DirectorySession::DirectorySession() { ++detail::tPool.depth; }

void DirectorySession::openAhead(const std::string& inAccountName, bool inCatalog) {
  const DirectoryConfig& config = DirectoryConfig::current();
  // The account lookup refuses a distinguished name; the catalog's translator reads one
  // directly, which nothing ahead of it would save.
  const std::string name = inAccountName.find('=') == std::string::npos ? inAccountName : std::string();
  detail::openAhead(config.ldapUri, name, false);
  if (inCatalog) detail::openAhead(config.gcUri, name, true);
}

void DirectorySession::askKdcAhead(const std::string& inAccountName) {
  if (detail::tPool.depth == 0 || detail::tPool.kdcAhead.valid() || inAccountName.empty()) return;
  // The settings are read here, before the thread runs.
  DirectoryConfig::current();
  try {
    detail::tPool.kdcAhead = std::async(std::launch::async, [inAccountName] { detail::askKdcAhead(inAccountName); });
  } catch (const std::system_error&) {
    // No thread to be had: the check asks the KDC itself.
  }
}

void awaitKdcAnswerAhead() {
  if (detail::tPool.kdcAhead.valid()) detail::tPool.kdcAhead.wait();
}

DirectorySession::~DirectorySession() {
  if (--detail::tPool.depth == 0) detail::tPool.clear();
}

}  // namespace orvo::platform
