// kxSSPI.dll, the credential library on Windows: checks an account's password with the
// system's own logon (LogonUserA, a network logon whose token is closed at once), through
// the security package that kxSetSSP names: "Negotiate" (the default, also for an empty
// name), "Kerberos" or "NTLM". The system's error code for a refused logon is written as it
// is (0x52e wrong name or password, 0x533 disabled, 0x701 account expired, ...).
//
// Results: 0 valid; 9 no such account; 10 the account may not log on now (disabled,
// expired, locked out, password expired or to be changed); 1 any other failure (a wrong
// password among them); 2 an unknown security package.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace {

constexpr int kValid = 0;
constexpr int kFailed = 1;
constexpr int kUnknownPackage = 2;
constexpr int kUnknownUser = 9;
constexpr int kRefused = 10;

constexpr uint32_t kUnknownPackageError = 0x80090305;  // the security package does not exist

std::mutex gPackageLock;
std::string gPackage;  // guarded by gPackageLock

int resultOfCode(DWORD inCode) {
  switch (inCode) {
    case ERROR_NO_SUCH_USER: return kUnknownUser;
    case ERROR_ACCOUNT_RESTRICTION:
    case ERROR_INVALID_LOGON_HOURS:
    case ERROR_INVALID_WORKSTATION:
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_ACCOUNT_DISABLED:
    case ERROR_ACCOUNT_EXPIRED:
    case ERROR_PASSWORD_MUST_CHANGE:
    case ERROR_ACCOUNT_LOCKED_OUT: return kRefused;
    default: return kFailed;
  }
}

// The logon provider of a package name (compared without regard to ASCII case); false when
// the name is none of them.
bool providerOf(const std::string& inPackage, DWORD& outProvider) {
  std::string name = inPackage;
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (name.empty() || name == "NEGOTIATE") outProvider = LOGON32_PROVIDER_DEFAULT;
  else if (name == "KERBEROS") outProvider = LOGON32_PROVIDER_WINNT50;
  else if (name == "NTLM") outProvider = LOGON32_PROVIDER_WINNT40;
  else return false;
  return true;
}

}  // namespace

extern "C" {

__declspec(dllexport) void kxSetSSP(const char* inPackage) {
  std::lock_guard<std::mutex> guard(gPackageLock);
  gPackage = inPackage != nullptr ? inPackage : "";
}

__declspec(dllexport) int kxUserLogon(const char* inDomain, const char* inAccount, const char* inPassword,
                                      uint32_t* outError) {
  uint32_t error = 0;
  int result = kFailed;
  std::string package;
  {
    std::lock_guard<std::mutex> guard(gPackageLock);
    package = gPackage;
  }
  DWORD provider = LOGON32_PROVIDER_DEFAULT;
  if (inAccount == nullptr || inPassword == nullptr) {
    error = ERROR_LOGON_FAILURE;
  } else if (!providerOf(package, provider)) {
    result = kUnknownPackage;
    error = kUnknownPackageError;
  } else {
    HANDLE token = nullptr;
    // The domain may be empty: the system then takes the name as it stands.
    const char* domain = inDomain != nullptr && *inDomain != '\0' ? inDomain : nullptr;
    if (LogonUserA(inAccount, domain, inPassword, LOGON32_LOGON_NETWORK, provider, &token)) {
      CloseHandle(token);
      result = kValid;
    } else {
      error = GetLastError();
      result = resultOfCode(error);
    }
  }
  if (outError != nullptr) *outError = error;
  return result;
}

}  // extern "C"
