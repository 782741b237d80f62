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
#include <krb5.h>

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
  boundKerberosExchanges(context.handle, config.timeoutSeconds);
  krb5_principal client = nullptr;
  // The account is one name component, whatever characters it holds.
  if (krb5_build_principal(context.handle, &client, static_cast<unsigned>(realm.size()), realm.c_str(),
                           inAccount.c_str(), static_cast<char*>(nullptr)) != 0)
    return kLogonNoSuchUser;
  if (inEnterprise) client->type = KRB5_NT_ENTERPRISE_PRINCIPAL;
  krb5_get_init_creds_opt* options = nullptr;
  if (krb5_get_init_creds_opt_alloc(context.handle, &options) != 0) {
    krb5_free_principal(context.handle, client);
    return kLogonNoServers;
  }
  krb5_get_init_creds_opt_set_forwardable(options, 0);
  krb5_get_init_creds_opt_set_proxiable(options, 0);
  if (inEnterprise) krb5_get_init_creds_opt_set_canonicalize(options, 1);
  krb5_init_creds_context request = nullptr;
  krb5_error_code code = krb5_init_creds_init(context.handle, client, nullptr, nullptr, 0, options, &request);
  if (code == 0) code = krb5_init_creds_set_password(context.handle, request, inPassword.c_str());
  if (code == 0) code = krb5_init_creds_get(context.handle, request);
  uint32_t windowsCode = 0;
  if (code != 0 && request != nullptr) {
    krb5_error* error = nullptr;
    if (krb5_init_creds_get_error(context.handle, request, &error) == 0 && error != nullptr) {
      windowsCode = windowsCodeOfErrorData(error->e_data);
      krb5_free_error(context.handle, error);
    }
  }
  if (code == 0 && outCacheName != nullptr) {
    krb5_creds creds{};
    if (krb5_init_creds_get_creds(context.handle, request, &creds) == 0) {
      *outCacheName = keepInMemory(context.handle, creds);
      krb5_free_cred_contents(context.handle, &creds);
    }
    if (outCacheName->empty()) code = KRB5_CC_NOMEM;
  }
  if (request != nullptr) krb5_init_creds_free(context.handle, request);
  krb5_get_init_creds_opt_free(context.handle, options);
  krb5_free_principal(context.handle, client);
  if (code == 0) return 0;
  if (windowsCode == 0) windowsCode = windowsCodeOfKrb5(code);
  if (windowsCode == kLogonDisabled && lockedOut(dnsDomain, inAccount, inEnterprise)) windowsCode = kLogonLockedOut;
  return windowsCode;
}

namespace detail {

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
