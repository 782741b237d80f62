// Kerberos logons with a password. A password given to adcheck is used for one thing only: a
// Kerberos AS exchange with the domain's KDC, made here, for the credential check (nothing is
// kept) and for explicit credentials (the ticket lands in a MEMORY: credential cache that
// belongs to this process alone and is destroyed as soon as the bind that needed it is done;
// the directory then sees a GSSAPI bind and never the password).
//
// The KDC's refusal becomes the Windows code Active Directory gives for it, read from the
// NTSTATUS the KDC puts into the error's data where there is one. A KDC that says only
// "revoked" about a disabled or locked-out account is told apart by the account's lockout
// state in the directory, read with the process's own credentials where it has them.
//
// The first exchange of a check needs no password: the KDC answers it by asking for
// pre-authentication and naming the salt of the account's keys. A run that knows it will check
// a password asks the configured domain's KDC that first question for the account as typed,
// on a thread of its own, while the directory looks the account up (askKdcAhead); the answer
// is kept in a MEMORY: credential cache of this process, the one place the credential library
// (which carries its own copy of this code) and the program share, and the check for that same
// principal then starts from it: one round trip to the KDC less, and the KDC sees the same two
// requests. Nothing but the KDC's request for pre-authentication is kept, for one check, for a
// minute at most; any other answer leaves the check to ask for itself. A KDC that did not answer
// at all is not asked again within the run.
#include <krb5.h>
#include <time.h>

#include "directoryinternal.h"

namespace orvo::platform {

namespace {

struct Context {
  krb5_context handle = nullptr;
  ~Context() {
    if (handle != nullptr) krb5_free_context(handle);
  }
};

struct StatusCode {
  uint32_t ntStatus;
  uint32_t windowsCode;
};
constexpr StatusCode kStatusCodes[] = {
    {0xC000006A, kLogonWrongPassword},  {0xC0000064, kLogonNoSuchUser},
    {0xC000006E, kLogonRestricted},     {0xC000006F, kLogonHours},
    {0xC0000070, kLogonWorkstation},    {0xC0000071, kLogonPasswordExpired},
    {0xC0000072, kLogonDisabled},       {0xC0000193, kLogonAccountExpired},
    {0xC0000224, kLogonMustChange},     {0xC0000234, kLogonLockedOut},
};

// The KDC's error data carries the NTSTATUS as a 32-bit little-endian value (in PA-PW-SALT
// or KERB-ERROR-DATA); look for a known one anywhere in it.
uint32_t windowsCodeOfErrorData(const krb5_data& inData) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(inData.data);
  for (size_t i = 0; i + 4 <= inData.length; ++i) {
    const uint32_t value = bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) |
                           (static_cast<uint32_t>(bytes[i + 3]) << 24);
    for (const StatusCode& code : kStatusCodes)
      if (code.ntStatus == value) return code.windowsCode;
  }
  return 0;
}

// The code when the error data says nothing.
uint32_t windowsCodeOfKrb5(krb5_error_code inCode) {
  switch (inCode) {
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY: return kLogonWrongPassword;
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN: return kLogonNoSuchUser;
    case KRB5KDC_ERR_CLIENT_REVOKED: return kLogonDisabled;
    case KRB5KDC_ERR_KEY_EXP: return kLogonPasswordExpired;
    case KRB5KRB_AP_ERR_SKEW: return kLogonClockSkew;
    case KRB5KDC_ERR_WRONG_REALM:
    case KRB5_REALM_UNKNOWN: return kLogonNoSuchDomain;
    default: return kLogonNoServers;
  }
}

// Whether the account is locked out (and not disabled, which Windows reports first).
bool lockedOut(const std::string& inDnsDomain, const std::string& inAccount, bool inEnterprise) {
  constexpr uint32_t kDisabled = 0x2;   // userAccountControl
  constexpr uint32_t kLockout = 0x10;   // msDS-User-Account-Control-Computed
  std::string uri;
  std::shared_ptr<DirectoryConnection> connection;
  std::string base;
  std::vector<detail::Entry> entries;
  if (dirFailed(detail::domainUri(inDnsDomain, uri)) || dirFailed(detail::connect(uri, nullptr, nullptr, connection)) ||
      dirFailed(connection->defaultNamingContext(base)) ||
      dirFailed(connection->search(base, LDAP_SCOPE_SUBTREE,
                                   std::string(inEnterprise ? "(userPrincipalName=" : "(sAMAccountName=") +
                                       escapeFilterValue(inAccount) + ")",
                                   {"userAccountControl", "msDS-User-Account-Control-Computed"}, 2, entries)) ||
      entries.size() != 1)
    return false;
  const auto flags = [&](const char* inAttribute) {
    const auto& values = entries.front().attributes[inAttribute];
    return values.empty() ? 0u : static_cast<uint32_t>(std::strtoul(values.front().c_str(), nullptr, 10));
  };
  return (flags("msDS-User-Account-Control-Computed") & kLockout) != 0 && (flags("userAccountControl") & kDisabled) == 0;
}

// Keeps a ticket in a new MEMORY: credential cache; its full name, "" on failure.
std::string keepInMemory(krb5_context inContext, krb5_creds& inCreds) {
  krb5_ccache cache = nullptr;
  if (krb5_cc_new_unique(inContext, "MEMORY", nullptr, &cache) != 0) return std::string();
  // The client as the KDC named it (an enterprise name becomes the account's own).
  krb5_error_code code = krb5_cc_initialize(inContext, cache, inCreds.client);
  if (code == 0) code = krb5_cc_store_cred(inContext, cache, &inCreds);
  char* name = nullptr;
  if (code == 0) code = krb5_cc_get_full_name(inContext, cache, &name);
  if (code != 0) {
    krb5_cc_destroy(inContext, cache);
    return std::string();
  }
  std::string result = name;
  krb5_free_string(inContext, name);
  krb5_cc_close(inContext, cache);
  return result;
}

// Where the KDC's first answer asked ahead waits for its check: the cache's principal is the
// account it was asked for, its configuration entries the answer and when it came.
constexpr char kAheadCache[] = "MEMORY:orvo-kdc-answer-ahead";
constexpr char kAheadReply[] = "orvo-kdc-first-reply";      // the KRB-ERROR as received
constexpr char kAheadNoAnswer[] = "orvo-kdc-no-answer";     // no KDC of the realm answered
constexpr char kAheadAskedAt[] = "orvo-kdc-asked-at";       // CLOCK_MONOTONIC seconds
constexpr long kAheadLifetimeSeconds = 60;

long monotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec);
}

// The answer asked ahead for inClient, taken out of the process (it serves one check): its
// bytes, or outNoAnswer when the KDCs did not answer. false when there is none for inClient.
bool takeKdcAnswerAhead(krb5_context inContext, krb5_const_principal inClient, std::string& outReply,
                        bool& outNoAnswer) {
  outReply.clear();
  outNoAnswer = false;
  krb5_ccache cache = nullptr;
  if (krb5_cc_resolve(inContext, kAheadCache, &cache) != 0) return false;
  krb5_principal principal = nullptr;
  bool found = false;
  // Names of one account differ at most in case, as the directory compares them.
  const bool matched = krb5_cc_get_principal(inContext, cache, &principal) == 0 &&
                       krb5_principal_compare_flags(inContext, principal, inClient, KRB5_PRINCIPAL_COMPARE_CASEFOLD);
  if (matched) {
    krb5_data when{};
    if (krb5_cc_get_config(inContext, cache, nullptr, kAheadAskedAt, &when) == 0) {
      const long askedAt = std::strtol(std::string(when.data, when.length).c_str(), nullptr, 10);
      krb5_free_data_contents(inContext, &when);
      const long age = monotonicSeconds() - askedAt;
      if (age >= 0 && age <= kAheadLifetimeSeconds) {
        krb5_data data{};
        if (krb5_cc_get_config(inContext, cache, nullptr, kAheadReply, &data) == 0) {
          outReply.assign(data.data, data.length);
          krb5_free_data_contents(inContext, &data);
          found = !outReply.empty();
        } else if (krb5_cc_get_config(inContext, cache, nullptr, kAheadNoAnswer, &data) == 0) {
          krb5_free_data_contents(inContext, &data);
          outNoAnswer = found = true;
        }
      }
    }
  }
  if (principal != nullptr) krb5_free_principal(inContext, principal);
  // Used or too old, it was for this check, which is now made; another account's stays until
  // its own check or the end of the run.
  if (matched) {
    krb5_cc_destroy(inContext, cache);
  } else {
    krb5_cc_close(inContext, cache);
  }
  return found;
}

// One attempt at the ticket; the KDC's Windows code (from its error data) in ioWindowsCode.
krb5_error_code requestTicket(krb5_context inContext, krb5_principal inClient, bool inEnterprise,
                              const std::string& inPassword, detail::KdcExchanges& ioExchanges,
                              uint32_t& ioWindowsCode, std::string* outCacheName) {
  detail::boundKerberosExchanges(inContext, ioExchanges);
  krb5_get_init_creds_opt* options = nullptr;
  if (krb5_get_init_creds_opt_alloc(inContext, &options) != 0) return KRB5_CC_NOMEM;
  krb5_get_init_creds_opt_set_forwardable(options, 0);
  krb5_get_init_creds_opt_set_proxiable(options, 0);
  if (inEnterprise) krb5_get_init_creds_opt_set_canonicalize(options, 1);
  krb5_init_creds_context request = nullptr;
  krb5_error_code code = krb5_init_creds_init(inContext, inClient, nullptr, nullptr, 0, options, &request);
  if (code == 0) code = krb5_init_creds_set_password(inContext, request, inPassword.c_str());
  if (code == 0) code = krb5_init_creds_get(inContext, request);
  if (code != 0 && request != nullptr) {
    krb5_error* error = nullptr;
    if (krb5_init_creds_get_error(inContext, request, &error) == 0 && error != nullptr) {
      ioWindowsCode = windowsCodeOfErrorData(error->e_data);
      krb5_free_error(inContext, error);
    }
  }
  if (code == 0 && outCacheName != nullptr) {
    krb5_creds creds{};
    if (krb5_init_creds_get_creds(inContext, request, &creds) == 0) {
      *outCacheName = keepInMemory(inContext, creds);
      krb5_free_cred_contents(inContext, &creds);
    }
    if (outCacheName->empty()) code = KRB5_CC_NOMEM;
  }
  if (request != nullptr) krb5_init_creds_free(inContext, request);
  krb5_get_init_creds_opt_free(inContext, options);
  return code;
}

}  // namespace

uint32_t kerberosLogon(const std::string& inDomain, const std::string& inAccount, bool inEnterprise,
                       const std::string& inPassword, std::string* outCacheName) {
  const DirectoryConfig& config = DirectoryConfig::current();
  std::string dnsDomain = config.domain;
  // A principal name is an enterprise name: the KDC of the machine's domain finds the account
  // it belongs to, whatever its suffix. A domain must be one the directory knows: never a
  // guess at another domain.
  if (!inEnterprise) {
    const uint32_t status = domainDnsName(inDomain, dnsDomain);
    if (status == kNoSuchDomain) return kLogonNoSuchDomain;
    if (status == kNoCredentials) return kNoCredentials;
    if (dirFailed(status)) return kLogonNoServers;
  }
  if (dnsDomain.empty()) return kLogonNoSuchDomain;
  if (inAccount.empty()) return kLogonWrongPassword;
  const std::string realm = toUpperText(dnsDomain);

  Context context;
  if (krb5_init_context(&context.handle) != 0) return kLogonNoServers;
  krb5_principal client = nullptr;
  // The account is one name component, whatever characters it holds.
  if (krb5_build_principal(context.handle, &client, static_cast<unsigned>(realm.size()), realm.c_str(),
                           inAccount.c_str(), static_cast<char*>(nullptr)) != 0)
    return kLogonNoSuchUser;
  if (inEnterprise) client->type = KRB5_NT_ENTERPRISE_PRINCIPAL;
  detail::KdcExchanges exchanges;
  exchanges.timeoutSeconds = config.timeoutSeconds;
  bool noAnswer = false;
  if (!inEnterprise && takeKdcAnswerAhead(context.handle, client, exchanges.firstReply, noAnswer) && noAnswer) {
    krb5_free_principal(context.handle, client);
    return kLogonNoServers;
  }
  uint32_t windowsCode = 0;
  krb5_error_code code =
      requestTicket(context.handle, client, inEnterprise, inPassword, exchanges, windowsCode, outCacheName);
  if (code != 0 && !exchanges.firstReply.empty() && exchanges.requests <= 1) {
    // The answer asked ahead did not lead to a second request: ask the KDC from the start.
    detail::KdcExchanges again;
    again.timeoutSeconds = config.timeoutSeconds;
    windowsCode = 0;
    code = requestTicket(context.handle, client, inEnterprise, inPassword, again, windowsCode, outCacheName);
  }
  krb5_free_principal(context.handle, client);
  if (code == 0) return 0;
  if (windowsCode == 0) windowsCode = windowsCodeOfKrb5(code);
  if (windowsCode == kLogonDisabled && lockedOut(dnsDomain, inAccount, inEnterprise)) windowsCode = kLogonLockedOut;
  return windowsCode;
}

namespace detail {

void askKdcAhead(const std::string& inAccount) {
  const DirectoryConfig& config = DirectoryConfig::current();
  // Only the configured domain's KDC, only the account's name: no password goes with it. A
  // name the principal could not hold whole is left to the check itself.
  if (config.domain.empty() || inAccount.empty() || inAccount.find('\0') != std::string::npos) return;
  const std::string realm = toUpperText(config.domain);
  Context context;
  if (krb5_init_context(&context.handle) != 0) return;
  krb5_principal client = nullptr;
  if (krb5_build_principal(context.handle, &client, static_cast<unsigned>(realm.size()), realm.c_str(),
                           inAccount.c_str(), static_cast<char*>(nullptr)) != 0)
    return;
  // The first request exactly as the check's own would be (same options, no password).
  krb5_get_init_creds_opt* options = nullptr;
  krb5_init_creds_context request = nullptr;
  krb5_data in{};
  krb5_data out{};
  krb5_data outRealm{};
  unsigned int flags = 0;
  std::string message;
  if (krb5_get_init_creds_opt_alloc(context.handle, &options) == 0) {
    krb5_get_init_creds_opt_set_forwardable(options, 0);
    krb5_get_init_creds_opt_set_proxiable(options, 0);
    if (krb5_init_creds_init(context.handle, client, nullptr, nullptr, 0, options, &request) == 0 &&
        krb5_init_creds_step(context.handle, request, &in, &out, &outRealm, &flags) == 0 &&
        (flags & KRB5_INIT_CREDS_STEP_FLAG_CONTINUE) != 0 && out.length > 0)
      message.assign(out.data, out.length);
  }
  krb5_free_data_contents(context.handle, &out);
  krb5_free_data_contents(context.handle, &outRealm);
  if (request != nullptr) krb5_init_creds_free(context.handle, request);
  if (options != nullptr) krb5_get_init_creds_opt_free(context.handle, options);
  std::string reply;
  const krb5_error_code sent =
      message.empty() ? KRB5_REALM_UNKNOWN : exchangeWithKdc(context.handle, realm, message, config.timeoutSeconds, reply);
  // Kept: the request for pre-authentication (the salt and the methods), or no answer at all.
  bool keep = sent == KRB5_KDC_UNREACH;
  if (sent == 0) {
    krb5_data data{};
    data.length = static_cast<unsigned>(reply.size());
    data.data = reply.data();
    krb5_error* error = nullptr;
    if (krb5_rd_error(context.handle, &data, &error) == 0) {
      // The error field holds the protocol's number; the library's codes are offset from it.
      keep = static_cast<krb5_error_code>(error->error) + ERROR_TABLE_BASE_krb5 == KRB5KDC_ERR_PREAUTH_REQUIRED;
      krb5_free_error(context.handle, error);
    }
  }
  krb5_ccache cache = nullptr;
  if (keep && krb5_cc_resolve(context.handle, kAheadCache, &cache) == 0) {
    const std::string now = std::to_string(monotonicSeconds());
    krb5_data when{};
    when.length = static_cast<unsigned>(now.size());
    when.data = const_cast<char*>(now.data());
    krb5_data answer{};
    answer.length = static_cast<unsigned>(reply.size());
    answer.data = reply.data();
    static char kNone[] = "1";
    krb5_data none{};
    none.length = 1;
    none.data = kNone;
    if (krb5_cc_initialize(context.handle, cache, client) != 0 ||
        krb5_cc_set_config(context.handle, cache, nullptr, sent == 0 ? kAheadReply : kAheadNoAnswer,
                           sent == 0 ? &answer : &none) != 0 ||
        krb5_cc_set_config(context.handle, cache, nullptr, kAheadAskedAt, &when) != 0) {
      krb5_cc_destroy(context.handle, cache);
    } else {
      krb5_cc_close(context.handle, cache);
    }
  }
  krb5_free_principal(context.handle, client);
}

void forgetKdcAnswerAhead() {
  Context context;
  krb5_ccache cache = nullptr;
  if (krb5_init_context(&context.handle) != 0 || krb5_cc_resolve(context.handle, kAheadCache, &cache) != 0) return;
  krb5_principal principal = nullptr;
  // A cache never initialised holds nothing to forget.
  if (krb5_cc_get_principal(context.handle, cache, &principal) == 0) {
    krb5_free_principal(context.handle, principal);
    krb5_cc_destroy(context.handle, cache);
  } else {
    krb5_cc_close(context.handle, cache);
  }
}

std::string cachePrincipal() {
  Context context;
  if (krb5_init_context(&context.handle) != 0) return std::string();
  std::string result;
  krb5_ccache cache = nullptr;
  if (krb5_cc_default(context.handle, &cache) == 0) {
    krb5_principal principal = nullptr;
    if (krb5_cc_get_principal(context.handle, cache, &principal) == 0) {
      char* text = nullptr;
      if (krb5_unparse_name(context.handle, principal, &text) == 0) {
        result = text;
        krb5_free_unparsed_name(context.handle, text);
      }
      krb5_free_principal(context.handle, principal);
    }
    krb5_cc_close(context.handle, cache);
  }
  return result;
}

MemoryCredentials::~MemoryCredentials() {
  if (itsCacheName.empty()) return;
  Context context;
  krb5_ccache cache = nullptr;
  if (krb5_init_context(&context.handle) == 0 &&
      krb5_cc_resolve(context.handle, itsCacheName.c_str(), &cache) == 0)
    krb5_cc_destroy(context.handle, cache);
}

uint32_t MemoryCredentials::obtain(const std::string& inUser, const std::string& inPassword) {
  std::string domain;
  std::string account = inUser;
  bool enterprise = false;
  if (const size_t slash = inUser.find('\\'); slash != std::string::npos) {
    domain = inUser.substr(0, slash);
    account = inUser.substr(slash + 1);
  } else {
    enterprise = inUser.find('@') != std::string::npos;
  }
  return hresultFromWin32(kerberosLogon(domain, account, enterprise, inPassword, &itsCacheName));
}

}  // namespace detail

}  // namespace orvo::platform
