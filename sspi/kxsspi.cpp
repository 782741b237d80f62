// libkxSSPI.so, the credential library: checks an account's password against the domain.
//
// The default (and the "Kerberos" or "Negotiate" package) is a Kerberos AS exchange with the
// domain's KDC for account@REALM, made in memory: no ticket is stored. The realm is the DNS
// name of the domain given: the machine's own domain by its DNS or configured NetBIOS name,
// or a domain of the forest as the directory names it. A domain the directory does not know
// is refused with the code Windows gives for it (0x54b); it is never checked against
// another domain. The KDC's refusal is turned into the Windows code
// Active Directory gives for it, read from the NTSTATUS the KDC puts into the error's data
// where there is one.
//
// Results: 0 valid; 9 no such account; 10 the account may not log on now (disabled,
// expired, locked out, password expired or to be changed); 1 any other failure (a wrong
// password among them); 2 an unknown security package.
#include <krb5.h>
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "orvo/platform/kxdirectory.h"

namespace {

constexpr uint32_t kWrongPassword = 0x52e;
constexpr uint32_t kNoSuchUser = 0x525;
constexpr uint32_t kAccountRestriction = 0x52f;
constexpr uint32_t kInvalidLogonHours = 0x530;
constexpr uint32_t kInvalidWorkstation = 0x531;
constexpr uint32_t kPasswordExpired = 0x532;
constexpr uint32_t kAccountDisabled = 0x533;
constexpr uint32_t kAccountExpired = 0x701;
constexpr uint32_t kMustChangePassword = 0x773;
constexpr uint32_t kLockedOut = 0x775;
constexpr uint32_t kNoLogonServers = 0x51f;
constexpr uint32_t kNoSuchDomain = 0x54b;
constexpr uint32_t kTimeSkew = 0x576;

constexpr int kValid = 0;
constexpr int kFailed = 1;
constexpr int kUnknownPackage = 2;
constexpr int kUnknownUser = 9;
constexpr int kRefused = 10;

std::mutex gPackageLock;
std::string gPackage;  // guarded by gPackageLock

struct StatusCode {
  uint32_t ntStatus;
  uint32_t windowsCode;
};
constexpr StatusCode kStatusCodes[] = {
    {0xC000006A, kWrongPassword},     {0xC0000064, kNoSuchUser},
    {0xC000006E, kAccountRestriction}, {0xC000006F, kInvalidLogonHours},
    {0xC0000070, kInvalidWorkstation}, {0xC0000071, kPasswordExpired},
    {0xC0000072, kAccountDisabled},   {0xC0000193, kAccountExpired},
    {0xC0000224, kMustChangePassword}, {0xC0000234, kLockedOut},
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
    case KRB5KRB_AP_ERR_BAD_INTEGRITY: return kWrongPassword;
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN: return kNoSuchUser;
    case KRB5KDC_ERR_CLIENT_REVOKED: return kAccountDisabled;
    case KRB5KDC_ERR_KEY_EXP: return kPasswordExpired;
    case KRB5KRB_AP_ERR_SKEW: return kTimeSkew;
    case KRB5KDC_ERR_WRONG_REALM:
    case KRB5_REALM_UNKNOWN: return kNoSuchDomain;
    default: return kNoLogonServers;
  }
}

int resultOfCode(uint32_t inCode) {
  switch (inCode) {
    case kNoSuchUser: return kUnknownUser;
    case kAccountRestriction:
    case kInvalidLogonHours:
    case kInvalidWorkstation:
    case kPasswordExpired:
    case kAccountDisabled:
    case kAccountExpired:
    case kMustChangePassword:
    case kLockedOut: return kRefused;
    default: return kFailed;
  }
}

// The realm of a domain named by its DNS or NetBIOS name; 0 or the Windows code of the failure.
uint32_t realmOf(const std::string& inDomain, std::string& outRealm) {
  std::string dnsName;
  const uint32_t status = orvo::platform::domainDnsName(inDomain, dnsName);
  if (status == orvo::platform::kNoSuchDomain) return kNoSuchDomain;
  if (orvo::platform::dirFailed(status)) return kNoLogonServers;
  outRealm.clear();
  for (const char c : dnsName) outRealm += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return 0;
}

struct Context {
  krb5_context handle = nullptr;
  ~Context() {
    if (handle != nullptr) krb5_free_context(handle);
  }
};

int kerberosLogon(const char* inDomain, const char* inAccount, const char* inPassword, uint32_t& outError) {
  Context context;
  if (krb5_init_context(&context.handle) != 0) {
    outError = kNoLogonServers;
    return kFailed;
  }
  orvo::platform::boundKerberosExchanges(context.handle, orvo::platform::DirectoryConfig::current().timeoutSeconds);
  std::string realm;
  if (const uint32_t code = realmOf(inDomain != nullptr ? inDomain : "", realm); code != 0) {
    outError = code;
    return kFailed;
  }
  krb5_principal client = nullptr;
  // The account is one name component, whatever characters it holds.
  if (krb5_build_principal(context.handle, &client, static_cast<unsigned>(realm.size()), realm.c_str(),
                           inAccount, static_cast<char*>(nullptr)) != 0) {
    outError = kNoSuchUser;
    return kUnknownUser;
  }
  krb5_get_init_creds_opt* options = nullptr;
  krb5_get_init_creds_opt_alloc(context.handle, &options);
  krb5_get_init_creds_opt_set_forwardable(options, 0);
  krb5_get_init_creds_opt_set_proxiable(options, 0);
  krb5_init_creds_context request = nullptr;
  krb5_error_code code = krb5_init_creds_init(context.handle, client, nullptr, nullptr, 0, options, &request);
  if (code == 0) code = krb5_init_creds_set_password(context.handle, request, inPassword);
  if (code == 0) code = krb5_init_creds_get(context.handle, request);
  uint32_t windowsCode = 0;
  if (code != 0 && request != nullptr) {
    krb5_error* error = nullptr;
    if (krb5_init_creds_get_error(context.handle, request, &error) == 0 && error != nullptr) {
      windowsCode = windowsCodeOfErrorData(error->e_data);
      krb5_free_error(context.handle, error);
    }
  }
  if (request != nullptr) krb5_init_creds_free(context.handle, request);
  krb5_get_init_creds_opt_free(context.handle, options);
  krb5_free_principal(context.handle, client);
  if (code == 0) {
    outError = 0;
    return kValid;
  }
  outError = windowsCode != 0 ? windowsCode : windowsCodeOfKrb5(code);
  return resultOfCode(outError);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void kxSetSSP(const char* inPackage) {
  std::lock_guard<std::mutex> guard(gPackageLock);
  gPackage = inPackage != nullptr ? inPackage : "";
}

__attribute__((visibility("default"))) int kxUserLogon(const char* inDomain, const char* inAccount,
                                                       const char* inPassword, uint32_t* outError) {
  uint32_t error = 0;
  int result = kFailed;
  std::string package;
  {
    std::lock_guard<std::mutex> guard(gPackageLock);
    package = gPackage;
  }
  if (inAccount == nullptr || inPassword == nullptr) {
    error = kWrongPassword;
  } else if (package.empty() || strcasecmp(package.c_str(), "Kerberos") == 0 ||
             strcasecmp(package.c_str(), "Negotiate") == 0) {
    result = kerberosLogon(inDomain, inAccount, inPassword, error);
  } else {
    result = kUnknownPackage;
    error = 0x80090305;  // the security package does not exist
  }
  if (outError != nullptr) *outError = error;
  return result;
}

}  // extern "C"
