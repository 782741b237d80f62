// libkxSSPI.so, the credential library: checks an account's password against the domain.
//
// The default (and the "Kerberos" or "Negotiate" package) is a Kerberos AS exchange with the
// domain's KDC for account@REALM, made in memory by the directory client: no ticket is stored.
// The realm is the DNS name of the domain given: the machine's own domain by its DNS or
// NetBIOS name, or a domain of the forest as the directory names it. A domain the directory
// does not know is refused with the code Windows gives for it (0x54b); it is never checked
// against another domain. The KDC's refusal is the Windows code Active Directory gives for it.
//
// Results: 0 valid; 9 no such account; 10 the account may not log on now (disabled,
// expired, locked out, password expired or to be changed); 1 any other failure (a wrong
// password among them); 2 an unknown security package.
#include <strings.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "orvo/platform/kxdirectory.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUnknownPackage = 2;

std::mutex gPackageLock;
std::string gPackage;  // guarded by gPackageLock

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
    error = orvo::platform::kLogonWrongPassword;
  } else if (package.empty() || strcasecmp(package.c_str(), "Kerberos") == 0 ||
             strcasecmp(package.c_str(), "Negotiate") == 0) {
    error = orvo::platform::kerberosLogon(inDomain != nullptr ? inDomain : "", inAccount, false, inPassword, nullptr);
    result = orvo::platform::logonResultOfCode(error);
    if (result < 0) result = kFailed;
  } else {
    result = kUnknownPackage;
    error = 0x80090305;  // the security package does not exist
  }
  if (outError != nullptr) *outError = error;
  return result;
}

}  // extern "C"
