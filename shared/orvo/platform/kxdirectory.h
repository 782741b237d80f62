// The directory client: account lookups, the name translator and directory objects of an
// Active Directory domain, in the shape the authenticator uses them.
//
// Statuses are the 32-bit HRESULT values the authenticator logs (negative = failure):
// kPropertyNotFound (0x8000500D) for an attribute the object does not have, LDAP results
// mapped to HRESULT_FROM_WIN32 of the matching directory or logon error (an Active Directory
// bind refusal "data 52e" gives 0x8007052E).
//
// Where the domain is: DirectoryConfig (environment, then a small file, then DNS SRV records).
// Whose credentials: "the process's own" are the Kerberos credential cache (SASL GSSAPI);
// explicit credentials are a Kerberos ticket obtained for them in memory and a GSSAPI bind,
// so the password never leaves the machine. A simple bind inside TLS (ldaps:// or StartTLS,
// the server's certificate verified against a configured CA file) is an operator's option.
//
// On Windows (platform/windows/directory.cpp) these are the system's own: the security
// functions for the account lookups and SID texts, COM's name translator and the directory
// objects of the Active Directory services (ADsOpenObject). DirectoryConfig,
// directoryStatistics and the pieces at the end belong to the LDAP client of the other
// systems and exist there only.
//
// Connections: a DirectorySession (the counterpart of COM's initialise/uninitialise around a
// directory call) keeps one connection per server and credentials for its lifetime, and every
// object or translator opened on the thread while it lives reuses it. Without a session each
// opener gets a connection of its own. Objects share their connection, so an object stays
// usable after the session ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct _krb5_context;

namespace orvo::platform {

// HRESULT values.
inline constexpr uint32_t kDirOk = 0;
inline constexpr uint32_t kPropertyNotFound = 0x8000500D;     // attribute not present
inline constexpr uint32_t kBadPathName = 0x80005000;          // not an LDAP:// path
inline constexpr uint32_t kInvalidArgument = 0x80070057;
inline constexpr uint32_t kNameNotFound = 0x80072116;         // translator: no such name
inline constexpr uint32_t kNameNotUnique = 0x80072117;        // translator: several objects
inline constexpr uint32_t kNoInterface = 0x80004002;          // not an object of that kind
inline constexpr uint32_t kUntrustedRoot = 0x80090325;        // TLS: certificate not trusted
inline constexpr uint32_t kNoCredentials = 0x8009030E;        // no Kerberos ticket of our own
// A hostile or broken server: more than the limits below allow (ERROR_DS_ADMIN_LIMIT_EXCEEDED),
// or a ranged attribute whose chunks do not move on (ERROR_DS_PROTOCOL_ERROR).
inline constexpr uint32_t kLimitExceeded = 0x80072024;
inline constexpr uint32_t kNoProgress = 0x80072021;

// What one server may make the client do.
inline constexpr size_t kMaxValues = 100000;      // values of one attribute, all chunks together
inline constexpr int kMaxRangeChunks = 1000;      // chunks of one ranged attribute
inline constexpr uint32_t kNoSuchDomain = 0x8007054B;         // domain not located
inline constexpr uint32_t kNotInitialised = 0x8007139F;       // translator used before Init/Set

constexpr uint32_t hresultFromWin32(uint32_t inCode) {
  return inCode == 0 || (inCode & 0x80000000u) ? inCode : (inCode & 0xFFFFu) | 0x80070000u;
}
constexpr bool dirFailed(uint32_t inStatus) { return (inStatus & 0x80000000u) != 0; }

// Windows error codes of account lookups.
inline constexpr uint32_t kErrNoneMapped = 1332;   // no such account
inline constexpr uint32_t kErrNoToken = 1008;      // no credentials to act as

// Windows codes of a refused logon, as Active Directory gives them.
inline constexpr uint32_t kLogonWrongPassword = 0x52e;
inline constexpr uint32_t kLogonNoSuchUser = 0x525;
inline constexpr uint32_t kLogonRestricted = 0x52f;
inline constexpr uint32_t kLogonHours = 0x530;
inline constexpr uint32_t kLogonWorkstation = 0x531;
inline constexpr uint32_t kLogonPasswordExpired = 0x532;
inline constexpr uint32_t kLogonDisabled = 0x533;
inline constexpr uint32_t kLogonAccountExpired = 0x701;
inline constexpr uint32_t kLogonMustChange = 0x773;
inline constexpr uint32_t kLogonLockedOut = 0x775;
inline constexpr uint32_t kLogonNoServers = 0x51f;
inline constexpr uint32_t kLogonNoSuchDomain = 0x54b;
inline constexpr uint32_t kLogonClockSkew = 0x576;

// What the credential library answers for a logon code: 0 valid, 9 no such account, 10 the
// account may not log on now (restricted, disabled, locked out, expired, password expired or
// to be changed), 1 any other refusal of the codes above; -1 for a code that is none of them.
constexpr int logonResultOfCode(uint32_t inCode) {
  switch (inCode) {
    case 0: return 0;
    case kLogonNoSuchUser: return 9;
    case kLogonRestricted:
    case kLogonHours:
    case kLogonWorkstation:
    case kLogonPasswordExpired:
    case kLogonDisabled:
    case kLogonAccountExpired:
    case kLogonMustChange:
    case kLogonLockedOut: return 10;
    case kLogonWrongPassword:
    case kLogonNoServers:
    case kLogonNoSuchDomain:
    case kLogonClockSkew: return 1;
    default: return -1;
  }
}

// Name translator bind kinds and name formats (the directory's own numbering).
inline constexpr int kTranslatorDomain = 1;
inline constexpr int kTranslatorGlobalCatalog = 3;
inline constexpr int kFormatDistinguishedName = 1;
inline constexpr int kFormatNT4 = 3;
inline constexpr int kFormatAny = 8;

// Where the directory is. Read from the environment (ADCHECK_DOMAIN, ADCHECK_NETBIOS_DOMAIN,
// ADCHECK_LDAP_URI, ADCHECK_GC_URI, ADCHECK_CA_FILE, ADCHECK_TIMEOUT, ADCHECK_EXPLICIT_BIND),
// then from the file named by ADCHECK_CONFIG or /etc/adcheck.conf ("key = value" lines with
// the keys domain, netbios_domain, ldap_uri, gc_uri, ca_file, timeout, explicit_bind; "#"
// starts a comment). Without a domain, the Kerberos default realm names it; without URIs,
// DNS SRV records locate the controllers (_ldap._tcp.<domain>; _gc._tcp.<forest root>, the
// forest root read from the controller's root DSE), each look-up waiting at most the time-out.
struct DirectoryConfig {
  std::string domain;          // DNS domain name, e.g. example.com
  std::string netbiosDomain;   // optional; read from the directory when empty
  std::string ldapUri;         // e.g. ldaps://dc1.example.com
  std::string gcUri;           // e.g. ldap://dc1.example.com:3268
  std::string caFile;          // CA certificates for TLS; libldap's own trust settings
                               // (ldap.conf TLS_CACERT, LDAPTLS_CACERT) when empty
  int timeoutSeconds = 10;     // connect and per-operation network time-out
  bool simpleBindOverTls = false;  // explicit_bind = simple-tls: explicit credentials are a
                                   // simple bind inside TLS verified against caFile

  static const DirectoryConfig& current();  // read once per process
  static DirectoryConfig load();
  // What is wrong with the settings, one text each, naming the file and line (or the
  // variable) and the key: an unknown key, a line that is not "key = value", a value that
  // does not parse or is out of range, a file named by ADCHECK_CONFIG that cannot be read.
  // load() goes on without them: a bad timeout or bind kind keeps its default.
  static std::vector<std::string> settingsProblems();
};

// Keeps connections for reuse on this thread while it lives; may nest.
class DirectorySession {
 public:
  DirectorySession();
  ~DirectorySession();
  DirectorySession(const DirectorySession&) = delete;
  DirectorySession& operator=(const DirectorySession&) = delete;
  // Starts opening the connections to the domain's controllers (and with inCatalog the
  // global catalog) with the process's own credentials, each on a thread of its own, while
  // the caller goes on, and looks inAccountName up on each as the account lookup and the name
  // translator will; the first directory call on this thread that needs one takes it with
  // what it read. Nothing to do where the system keeps its own connections (Windows).
  void openAhead(const std::string& inAccountName, bool inCatalog);
  // Starts reading, on a thread of its own, the groups (with their memberOf) of the account of
  // the machine's domain named inAccountName (as lookupAccountName takes it), with the
  // process's own credentials, for a group retrieval later in this session; until it is done,
  // a call on this thread that wants that connection waits for it. A guess: when the
  // retrieval opens another account or uses other credentials, the answers go unused.
  void readAheadGroupsOf(const std::string& inAccountName);
  // Before a credential check of the account inAccountName (one name component) of the
  // configured domain: starts asking that domain's KDC, on a thread of its own, the first
  // question of the check, which needs no password (the KDC answers with what it requires
  // before it takes one), so that the check, when it comes, starts from the answer. Nothing
  // else is sent; an answer for another account or domain goes unused. Nothing to do on Windows.
  void askKdcAhead(const std::string& inAccountName);
#ifdef _WIN32
 private:
  bool itsInitialised = false;  // COM initialised on this thread by this session
#endif
};

// Counters of the directory traffic of this process (for measurements).
struct DirectoryStatistics {
  uint64_t connections = 0;
  uint64_t binds = 0;
  uint64_t operations = 0;  // searches and binds
};
DirectoryStatistics directoryStatistics();

// Account lookups with the process's own credentials against the machine's domain. Names:
// bare, DOMAIN\name or name@domain. The domain given back is the domain's NetBIOS name.
bool lookupAccountName(const std::string& inName, std::vector<uint8_t>& outSid,
                       std::string& outDomain, uint32_t& outError);
// The account of the Kerberos credential cache: its NT4 parts and SID. outError 1008 when
// the process holds no credentials.
bool currentUser(std::string& outAccount, std::string& outDomain, std::vector<uint8_t>& outSid,
                 uint32_t& outError);
// The DNS name of the domain whose NetBIOS or DNS name is inName ("" = the machine's domain):
// the configured names, else a domain of the forest as its crossRef names it, read with the
// process's own credentials; without them, the machine's domain by the NetBIOS name its
// controller tells anyone. kNoSuchDomain for a name the directory does not know (a UPN suffix
// of the forest among them), kNoCredentials when only a ticket of the process's own could tell.
uint32_t domainDnsName(const std::string& inName, std::string& outDnsName);
// The DNS name of the domain whose NetBIOS name is inNetbiosName, as the directory told it to
// this thread's DirectorySession (or the settings name it); asks no server. false when no
// session is open, when it has not learned that name, or when it was told of two domains by it.
bool learnedDomainDnsName(const std::string& inNetbiosName, std::string& outDnsName);

// Waits until what this thread's DirectorySession asked the KDC ahead (askKdcAhead) has its
// answer, so that a credential check started now finds it. Returns at once when nothing was
// asked.
void awaitKdcAnswerAhead();

// A Kerberos AS exchange with a password: the credential check, and the ticket of explicit
// credentials. The account inAccount (one name component) of the domain inDomain (its NetBIOS
// or DNS name as for domainDnsName, "" = the machine's domain); or, with inEnterprise, the
// principal name inAccount ("name@suffix"), which the KDC of the machine's domain finds
// whatever its suffix. Every exchange waits at most the configured time-out. Gives 0 or a
// logon code above (kLogonNoSuchDomain for a domain the directory does not know, before any
// KDC is asked), or kNoCredentials when only a ticket of the process's own could tell the
// domain. outCacheName given: the ticket is kept in a new MEMORY: credential cache named
// there, which the caller destroys.
uint32_t kerberosLogon(const std::string& inDomain, const std::string& inAccount, bool inEnterprise,
                       const std::string& inPassword, std::string* outCacheName);

// Makes every KDC exchange of a Kerberos context wait at most inTimeoutSeconds for the network
// (TCP to the realm's KDCs one after another); host name resolution keeps the resolver's own.
void boundKerberosExchanges(_krb5_context* inContext, int inTimeoutSeconds);

// "S-1-5-21-..."; false when the bytes are not a SID.
bool sidToText(const std::vector<uint8_t>& inSid, std::string& outText);

class DirectoryConnection;

class NameTranslator {
 public:
  NameTranslator();
  ~NameTranslator();
  NameTranslator(const NameTranslator&) = delete;
  NameTranslator& operator=(const NameTranslator&) = delete;

  // Binds to a domain (kind 1, path = its DNS or NetBIOS name) or the global catalog
  // (kind 3, empty path) with the process's own credentials, or with explicit ones.
  uint32_t init(int inKind, const std::string& inPath);
  uint32_t initEx(int inKind, const std::string& inPath, const std::string& inUser,
                  const std::string& inDomain, const std::string& inPassword);
  // Names the object (format 8 detects the form; 1 and 3 say it).
  uint32_t set(int inFormat, const std::string& inName);
  // The named object's name in format 1 or 3.
  uint32_t get(int inFormat, std::string& outName);
  // The named object's SID (binary), after a successful set() (the LDAP client; empty on Windows).
  const std::vector<uint8_t>& sid() const { return itsSid; }
  // Whether the translator could be made (COM's CoCreateInstance on Windows; always kDirOk
  // elsewhere). A translator that was not made answers every call with this status.
  uint32_t creationStatus() const { return itsCreationStatus; }

 private:
  uint32_t bind(int inKind, const std::string& inPath, const std::string* inUser,
                const std::string* inPassword);
  // Looks a name up ahead on a connection being opened (the LDAP client's).
  friend void translateAhead(const std::shared_ptr<DirectoryConnection>& inConnection, const std::string& inBase,
                             const std::string& inName);

  std::shared_ptr<DirectoryConnection> itsConnection;
  std::string itsBase;       // search base: the domain's naming context, "" for the catalog
  std::string itsDN;         // the object named by set()
  std::string itsAccount;    // its sAMAccountName
  std::vector<uint8_t> itsSid;
  uint32_t itsCreationStatus = kDirOk;
#ifdef _WIN32
  void* itsTranslator = nullptr;  // IADsNameTranslate
#endif
};

// Which interface an object is opened for: any object, or a user (anything else then gives
// kNoInterface).
enum class DirectoryInterface { object, user };

class DirectoryObject {
 public:
  DirectoryObject();
  ~DirectoryObject();
  DirectoryObject(DirectoryObject&&) noexcept;
  DirectoryObject& operator=(DirectoryObject&&) noexcept;

  // Opens "LDAP://[server/]DN". inUser/inPassword null: the process's own credentials.
  // inFlags: the bind flags (secure authentication 0x1 and delegation 0x100 are the ones
  // used; every bind is authenticated by Kerberos unless the operator chose simple-tls).
  static uint32_t open(const std::string& inPath, const std::string* inUser, const std::string* inPassword,
                       uint32_t inFlags, DirectoryObject& outObject,
                       DirectoryInterface inInterface = DirectoryInterface::object);

  // Starts reading the objects inDNs name, and as their answers come those their inFollow
  // attribute names in turn, on the connections of this thread's session, all requests of
  // one depth sent together; a later open of any of them takes the answer instead of a round
  // trip of its own. Does nothing without a session.
  static void readAhead(const std::vector<std::string>& inDNs, const std::string* inUser,
                        const std::string* inPassword, const std::string& inFollow);
  // Starts reading the object of "LDAP://[server/]DN" together with every group it is a
  // member of, directly or nested, with their "memberOf": where the server offers the
  // account's tokenGroups, in two round trips whatever the depth. A later open of the object
  // or of any of those groups takes the answer; readAhead then asks only for what is left.
  // Does nothing without a session.
  static void readAheadMemberships(const std::string& inPath, const std::string* inUser,
                                   const std::string* inPassword);

  uint32_t get(const std::string& inAttribute, std::string& outValue);
  uint32_t getEx(const std::string& inAttribute, std::vector<std::string>& outValues);
  // The user's direct groups, each as its relative name ("CN=Staff"); outDNs given: their
  // distinguished names, one for each name.
  uint32_t groups(std::vector<std::string>& outNames, std::vector<std::string>* outDNs = nullptr);

 private:
  struct Data;
  std::unique_ptr<Data> itsData;
};

// Pieces of the above that stand on their own.

// The LDAP URI of a server named in a directory path: "ldap://" + server.
std::string serverUri(const std::string& inServer);

// RFC 4515 escaping of a value placed in a search filter.
std::string escapeFilterValue(const std::string& inValue);

struct DirectoryPath {
  std::string server;  // "" when absent
  std::string dn;
};
// Splits "LDAP://[server/]DN"; false when the text is not such a path.
bool parseDirectoryPath(const std::string& inPath, DirectoryPath& outPath);

// The first relative name of a DN, as written ("CN=Smith\, J" of "CN=Smith\, J,OU=x").
std::string firstRelativeName(const std::string& inDN);
// "example.com" of "CN=x,DC=example,DC=com"; "" without DC components.
std::string dnsDomainOfDN(const std::string& inDN);
// "DC=example,DC=com" of "example.com".
std::string dnOfDnsDomain(const std::string& inDnsDomain);
// Ranged retrieval. Active Directory hands out at most MaxValRange values (1500 by default)
// of a multi-valued attribute in one answer; the rest comes in chunks, each announced as
// "<attribute>;range=<low>-<high>", the last one with "*" as its high end.
struct AttributeRange {
  std::string attribute;  // the description without its range option
  uint32_t low = 0;
  uint32_t high = 0;      // unused on the last chunk
  bool last = false;      // "<low>-*"
};
// false when the description carries no well-formed range option (which must come last).
bool parseAttributeRange(const std::string& inDescription, AttributeRange& outRange);

// One more chunk: reads inRequest ("memberOf;range=1500-*") from the same object and gives
// back the ranged description the answer carried ("" when it carried none) and its values.
using RangeFetch = std::function<uint32_t(const std::string& inRequest, std::string& outDescription,
                                          std::vector<std::string>& outValues)>;
// Completes a ranged attribute: inDescription and ioValues are the first chunk as answered;
// the following chunks are fetched with inFetch and appended in order until the last one.
// A chunk that does not start where the previous one ended, or an answer without the
// attribute, ends the reading with the values gathered so far; a failed read gives its status;
// a chunk without values that is not the last gives kNoProgress, and more than kMaxRangeChunks
// chunks or kMaxValues values give kLimitExceeded.
uint32_t completeRangedValues(const std::string& inDescription, std::vector<std::string>& ioValues,
                              const RangeFetch& inFetch);

// The Windows code in an Active Directory diagnostic text ("... data 52e, v1db1"), or 0.
uint32_t adDiagnosticCode(const std::string& inText);

// The NetBIOS domain name in the answer to an LDAP ping (the "netlogon" value of the root DSE, a
// NETLOGON_SAM_LOGON_RESPONSE_EX: opcode, flags and domain GUID, then the compressed names
// DnsForestName, DnsDomainName, DnsHostName, NetbiosDomainName, ...); "" unless the answer is
// of that kind, well-formed up to that name and about inDnsDomain.
std::string netbiosNameOfPing(const std::string& inAnswer, const std::string& inDnsDomain);

}  // namespace orvo::platform
