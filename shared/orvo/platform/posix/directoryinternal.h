// What the units of the POSIX directory client share: entries as read, the connection with
// its binds and reads, the per-thread pool, the Kerberos credentials for explicit binds,
// DNS SRV discovery and the limits that keep a hostile or broken server from holding us.
//
// Units: directoryconfig.cpp (settings and controller discovery), directorycredentials.cpp
// (Kerberos tickets for explicit credentials, kept in memory), directoryconnection.cpp
// (connections, binds, reads and their pool), directorytext.cpp (filters, paths, DNs and
// ranged attribute texts), directory.cpp (account lookups, the name translator and
// directory objects). A Windows client mirrors them over ADSI.
#pragma once

#include <ldap.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "orvo/platform/kxdirectory.h"
#include "orvo/util/kxtexthelpers.h"

namespace orvo::platform::detail {

// Attribute names compare without regard to case.
struct NoCaseLess {
  bool operator()(const std::string& inA, const std::string& inB) const {
    return compareText(inA, inB, false) < 0;
  }
};
using Attributes = std::map<std::string, std::vector<std::string>, NoCaseLess>;

struct Entry {
  std::string dn;
  Attributes attributes;
};

void wipe(std::string& ioText);

// LDAP result codes as the HRESULTs ADSI reports for them (Windows' LDAP to Win32 table).
uint32_t statusOfLdapResult(int inResult, const std::string& inDiagnostic);

// The SRV records of inName in the order RFC 2782 gives (lowest priority first, and within
// a priority a random order weighted by the records' weights), as "ldap://host:port" URIs
// separated by blanks, which libldap tries one after another; "" when there are none.
std::string lookupSrv(const std::string& inName, int inTimeoutSeconds);

std::string kerberosDefaultRealm();

// The principal of the process's own Kerberos credential cache, "" when there is none.
std::string cachePrincipal();

// What a Kerberos context's KDC exchanges go by (boundKerberosExchanges below): the time-out,
// and the KDC's answer to the context's first request where it was asked ahead.
struct KdcExchanges {
  int timeoutSeconds = 0;
  std::string firstReply;  // "" = the first request goes to the KDC too
  int requests = 0;        // requests the context has made so far
};
// Installs the bounded transport on inContext with ioExchanges, which must outlive its use.
void boundKerberosExchanges(_krb5_context* inContext, KdcExchanges& ioExchanges);
// One request to the KDCs of inRealm, one after another, within inTimeoutSeconds: 0 and the
// reply, KRB5_KDC_UNREACH when none answered, KRB5_REALM_UNKNOWN when none is known.
int32_t exchangeWithKdc(_krb5_context* inContext, const std::string& inRealm, const std::string& inMessage,
                        int inTimeoutSeconds, std::string& outReply);

// The KDC's first answer for an account's credential check, asked ahead (askKdcAhead) and
// kept in this process for the check that comes after it; see directorycredentials.cpp.
void askKdcAhead(const std::string& inAccount);
void forgetKdcAnswerAhead();

// A Kerberos principal's ticket obtained with a password into a MEMORY: credential cache of
// its own (nothing reaches the disk); the cache is destroyed with the object.
class MemoryCredentials {
 public:
  MemoryCredentials() = default;
  ~MemoryCredentials();
  MemoryCredentials(const MemoryCredentials&) = delete;
  MemoryCredentials& operator=(const MemoryCredentials&) = delete;

  // inUser: "DOMAIN\account", "name@suffix" (an enterprise name) or a bare account of the
  // machine's domain. Gives the HRESULT of the logon code of kerberosLogon.
  uint32_t obtain(const std::string& inUser, const std::string& inPassword);
  const std::string& cacheName() const { return itsCacheName; }

 private:
  std::string itsCacheName;  // "MEMORY:..."; empty until obtained
};

}  // namespace orvo::platform::detail

namespace orvo::platform {

// A name translator's lookup of inName (any form) below inBase ("" = the catalog) made on a
// connection of its own, before any translator uses it: the connection keeps the searches'
// answers (searchOnce) for the translator that asks next.
void translateAhead(const std::shared_ptr<DirectoryConnection>& inConnection, const std::string& inBase,
                    const std::string& inName);

class DirectoryConnection {
 public:
  // Connects to inUri and binds: GSSAPI with the credential cache when inUser is null;
  // otherwise GSSAPI with a ticket obtained for the explicit credentials, or, when the
  // operator configured it, a simple bind inside verified TLS.
  static uint32_t open(const std::string& inUri, const std::string* inUser, const std::string* inPassword,
                       std::shared_ptr<DirectoryConnection>& outConnection);

  // A subtree search whose answer the connection keeps: asked again (a name translated for
  // the credential check and again for the groups), it costs no round trip.
  uint32_t searchOnce(const std::string& inBase, const std::string& inFilter,
                      const std::vector<std::string>& inAttributes, int inLimit, std::vector<detail::Entry>& outEntries);
  // One base-scope read of an object.
  uint32_t readObject(const std::string& inDN, const std::vector<std::string>& inAttributes, detail::Entry& outEntry);
  // Entries below inBase matching inFilter (at most inLimit of them).
  uint32_t search(const std::string& inBase, int inScope, const std::string& inFilter,
                  const std::vector<std::string>& inAttributes, int inLimit, std::vector<detail::Entry>& outEntries);

  // Reading ahead: base-scope reads of inDNs (each as a directory path writes it, "/" as
  // "\2f") sent at once without waiting; each answer, as it arrives, sends reads for the
  // values of its inFollow attribute in turn. At most kMaxReadAhead objects per connection.
  void readAhead(const std::vector<std::string>& inDNs, const std::vector<std::string>& inAttributes,
                 const std::string& inFollow);
  // Reading ahead an account with all its groups: a base read of inDN (written as for
  // readAhead) that also asks for the account's tokenGroups, the SIDs of every group it is in,
  // directly or nested. When that answer comes, the groups of those SIDs are read with one
  // search (in batches of kSidsPerSearch, sent together) and kept as read ahead; memberOf
  // values that none of them answers for (groups without a SID in tokenGroups: distribution
  // groups, another domain's) are then read ahead as readAhead does. A server without
  // tokenGroups, or one whose answer fails, costs nothing more: the reading goes on as
  // readAhead's, depth by depth.
  void readAheadMemberships(const std::string& inDN, const std::vector<std::string>& inAttributes,
                            const std::string& inFollow);
  // Waits until the group search of readAheadMemberships has answered.
  void finishMemberships();
  // The object read ahead under inDN, waiting for its answer; false when it was not asked for.
  bool takeReadAhead(const std::string& inDN, detail::Entry& outEntry, uint32_t& outStatus);

  // The domain's naming context as the server tells it (read once).
  uint32_t defaultNamingContext(std::string& outDN);
  // Runs inWork with the naming contexts taken to be inDefaultNC and inConfigNC (the forest root
  // inDefaultNC) while the root DSE, asked first, is out, so that both are answered in the same
  // round trip. held: the root DSE says the same (at once when it was read before); differs: the
  // connection takes what it says and forgets what inWork learned, for the caller to do the work
  // again; unanswered: no root DSE within the time-out (counted from its request), and what
  // inWork learned is forgotten too.
  enum class RootGuess { held, differs, unanswered };
  RootGuess assumeRootDuring(const std::string& inDefaultNC, const std::string& inConfigNC,
                             const std::function<void()>& inWork);
  // The forest root's DNS name, from the root DSE (read once); "" when unknown.
  std::string forestRoot();
  // The NetBIOS name of the domain whose DNS name is inDnsDomain ("" when unknown).
  std::string netbiosName(const std::string& inDnsDomain);
  // Runs inWork (reads of its own on this connection) while the search netbiosName makes for
  // inDnsDomain is out, so that both are answered in the same round trip; netbiosName then
  // knows the name. Nothing more is sent for a name known or configured, nor waited for when
  // inWork fails. Gives inWork's status.
  uint32_t learnNetbiosNameDuring(const std::string& inDnsDomain, const std::function<uint32_t()>& inWork);
  // The DNS name of the forest's domain whose NetBIOS or DNS name is inName ("" when none).
  uint32_t domainOfName(const std::string& inName, std::string& outDnsDomain);
  // Whether inSuffix is one of the forest's alternate UPN suffixes.
  bool isUpnSuffix(const std::string& inSuffix);
  // The NetBIOS name of inDnsDomain as a controller of inUris tells it without a bind (the
  // LDAP ping of the domain controller locator); "" when none tells it.
  static std::string pingNetbiosName(const std::string& inUris, const std::string& inDnsDomain);

 private:
  struct LdapUnbind {
    void operator()(LDAP* inLdap) const { ldap_unbind_ext_s(inLdap, nullptr, nullptr); }
  };
  // One controller of a list. outAnswered false: it did not answer in time (or at all).
  static uint32_t connectHandle(const std::string& inUri, bool inTls, bool& outAnswered,
                                std::unique_ptr<LDAP, LdapUnbind>& outLdap);
  // inCacheName: the explicit credentials' ticket; null for the process's own.
  static uint32_t openKerberos(const std::string& inUri, const std::string* inCacheName, bool& outAnswered,
                               std::shared_ptr<DirectoryConnection>& outConnection);
  static uint32_t openSimple(const std::string& inUri, const std::string& inUser, const std::string* inPassword,
                             bool& outAnswered, std::shared_ptr<DirectoryConnection>& outConnection);
  bool receiveReadAhead();
  void sendMembershipSearches(const std::string& inAccountDN, const std::vector<std::string>& inSids);
  void receiveMemberships(LDAPMessage* inMessage);
  bool keepReadAhead(const std::string& inDN, uint32_t inStatus, detail::Entry&& inEntry);
  uint32_t readRoot();
  uint32_t keepRoot(detail::Entry& ioRoot);
  uint32_t completeEntry(detail::Entry& ioEntry);
  uint32_t readEntries(LDAPMessage* inMessage, std::vector<detail::Entry>& outEntries);

  std::unique_ptr<LDAP, LdapUnbind> itsLdap;
  std::string itsDefaultNC;
  std::string itsConfigNC;
  std::string itsRootNC;
  std::map<std::string, std::string> itsNetbiosNames;  // lower-case DNS name -> NetBIOS name, outside a session
  std::map<std::string, std::pair<uint32_t, std::vector<detail::Entry>>> itsSearches;  // of searchOnce
  struct ReadAhead {
    std::vector<std::string> attributes;
    std::string follow;
    std::set<std::string> requested;                                 // every DN asked for
    std::map<int, std::string> inFlight;                             // message id -> DN
    std::set<std::string> waiting;                                   // the DNs of inFlight
    std::map<std::string, std::pair<uint32_t, detail::Entry>> done;  // DN -> status, entry
    size_t bytes = 0;                                                // kept in done
    bool full = false;                                               // no more reading ahead
    int membershipsOf = 0;               // message id of the account read with tokenGroups
    std::set<int> membershipSearches;    // message ids of its group searches
    std::vector<std::string> followLater;  // memberOf values to read once those have answered
  } itsAhead;
};

}  // namespace orvo::platform

namespace orvo::platform::detail {

// A connection for inUri and the credentials: the pooled one while a DirectorySession lives on
// this thread, a new one otherwise.
uint32_t connect(const std::string& inUri, const std::string* inUser, const std::string* inPassword,
                 std::shared_ptr<DirectoryConnection>& outConnection);

// Whether a DirectorySession is open on this thread (connections are shared).
bool sessionOpen();

// The NetBIOS names of domains learned in this thread's session; null without a session.
std::map<std::string, std::string>* sessionNetbiosNames();

// Starts opening, on a thread of its own, a connection to inUri with the process's own
// credentials for this thread's session, reading its root DSE and looking inAccountName up
// (inCatalog: as the global catalog's translator does; otherwise as the domain's); the first
// connect() that asks for it takes it.
void openAhead(const std::string& inUri, const std::string& inAccountName, bool inCatalog);

// Lends this session's connection to inUri with the process's own credentials to a thread of
// its own that reads the account inDN with its groups (readAheadMemberships) until the groups
// have answered; the next connect() for that connection waits for it.
void readAheadMembershipsAside(const std::string& inUri, const std::string& inDN,
                               const std::vector<std::string>& inAttributes, const std::string& inFollow);

// Objects read ahead on one connection, at most.
inline constexpr size_t kMaxReadAhead = 10000;
// Bytes of answers read ahead kept on one connection, at most.
inline constexpr size_t kMaxReadAheadBytes = 64 * 1024 * 1024;
// Group SIDs asked for in one search of readAheadMemberships.
inline constexpr size_t kSidsPerSearch = 500;

// The DNS name of the domain named inName (its NetBIOS or DNS name, "" = the machine's domain)
// as the directory knows it: the configured names, else a crossRef of the forest read with
// the process's own credentials (without them, the configured domain's NetBIOS name as its
// controller tells it to anyone). outUpnSuffix: inName is no domain but a UPN suffix of the
// forest. kNoSuchDomain for a name the directory does not know.
uint32_t resolveDomain(const std::string& inName, std::string& outDnsName, bool& outUpnSuffix);
// The LDAP URI of the controllers of a domain named as for resolveDomain.
uint32_t domainUri(const std::string& inDomain, std::string& outUri);

}  // namespace orvo::platform::detail
