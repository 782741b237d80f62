// Kerberos tickets for explicit credentials. A password given to adcheck is used for one
// thing only: a Kerberos AS exchange with the domain's KDC, made here. The ticket lands in a
// MEMORY: credential cache that belongs to this process alone and is destroyed as soon as the
// bind that needed it is done; the directory then sees a GSSAPI bind and never the password.
#include <krb5.h>

#include "directoryinternal.h"

namespace orvo::platform::detail {

namespace {

struct Context {
  krb5_context handle = nullptr;
  ~Context() {
    if (handle != nullptr) krb5_free_context(handle);
  }
};

// The KDC's refusal as the HRESULT a Windows bind with these credentials gives.
uint32_t statusOfKrb5(krb5_error_code inCode) {
  switch (inCode) {
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN: return hresultFromWin32(0x52e);  // logon failure
    case KRB5KDC_ERR_CLIENT_REVOKED: return hresultFromWin32(0x533);
    case KRB5KDC_ERR_KEY_EXP: return hresultFromWin32(0x532);
    case KRB5KRB_AP_ERR_SKEW: return hresultFromWin32(0x576);  // clock skew
    case KRB5KDC_ERR_WRONG_REALM:
    case KRB5_REALM_UNKNOWN: return kNoSuchDomain;
    default: return hresultFromWin32(0x51f);  // no logon servers
  }
}

}  // namespace

MemoryCredentials::~MemoryCredentials() {
  if (itsCacheName.empty()) return;
  Context context;
  krb5_ccache cache = nullptr;
  if (krb5_init_context(&context.handle) == 0 &&
      krb5_cc_resolve(context.handle, itsCacheName.c_str(), &cache) == 0)
    krb5_cc_destroy(context.handle, cache);
}

uint32_t MemoryCredentials::obtain(const std::string& inUser, const std::string& inPassword, int inTimeoutSeconds) {
  const DirectoryConfig& config = DirectoryConfig::current();
  std::string account = inUser;
  std::string domain = config.domain;
  bool enterprise = false;
  if (const size_t slash = inUser.find('\\'); slash != std::string::npos) {
    account = inUser.substr(slash + 1);
    // The domain must be one the directory knows: never a guess at another domain.
    const uint32_t status = domainDnsName(inUser.substr(0, slash), domain);
    if (dirFailed(status)) return status;
  } else if (inUser.find('@') != std::string::npos) {
    // A principal name is an enterprise name: the KDC of the machine's domain finds the
    // account it belongs to, whatever its suffix.
    enterprise = true;
  }
  if (domain.empty()) return kNoSuchDomain;
  if (account.empty()) return hresultFromWin32(0x52e);
  const std::string realm = toUpperText(domain);

  Context context;
  if (krb5_init_context(&context.handle) != 0) return hresultFromWin32(0x51f);
  boundKerberosExchanges(context.handle, inTimeoutSeconds);
  krb5_principal client = nullptr;
  // The account is one name component, whatever characters it holds.
  if (krb5_build_principal(context.handle, &client, static_cast<unsigned>(realm.size()), realm.c_str(),
                           account.c_str(), static_cast<char*>(nullptr)) != 0)
    return hresultFromWin32(0x52e);
  if (enterprise) client->type = KRB5_NT_ENTERPRISE_PRINCIPAL;
  krb5_get_init_creds_opt* options = nullptr;
  if (krb5_get_init_creds_opt_alloc(context.handle, &options) != 0) {
    krb5_free_principal(context.handle, client);
    return 0x8007000E;
  }
  krb5_get_init_creds_opt_set_forwardable(options, 0);
  krb5_get_init_creds_opt_set_proxiable(options, 0);
  if (enterprise) krb5_get_init_creds_opt_set_canonicalize(options, 1);
  krb5_creds creds{};
  krb5_error_code code = krb5_get_init_creds_password(context.handle, &creds, client, inPassword.c_str(),
                                                      nullptr, nullptr, 0, nullptr, options);
  krb5_get_init_creds_opt_free(context.handle, options);
  krb5_free_principal(context.handle, client);
  if (code != 0) return statusOfKrb5(code);

  krb5_ccache cache = nullptr;
  code = krb5_cc_new_unique(context.handle, "MEMORY", nullptr, &cache);
  if (code == 0) {
    // The client as the KDC named it (an enterprise name becomes the account's own).
    code = krb5_cc_initialize(context.handle, cache, creds.client);
    if (code == 0) code = krb5_cc_store_cred(context.handle, cache, &creds);
    char* name = nullptr;
    if (code == 0) code = krb5_cc_get_full_name(context.handle, cache, &name);
    if (code == 0) {
      itsCacheName = name;
      krb5_free_string(context.handle, name);
      krb5_cc_close(context.handle, cache);
    } else {
      krb5_cc_destroy(context.handle, cache);
    }
  }
  krb5_free_cred_contents(context.handle, &creds);
  return code == 0 ? kDirOk : hresultFromWin32(0x51f);
}

}  // namespace orvo::platform::detail
