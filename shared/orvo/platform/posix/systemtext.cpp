#include "orvo/platform/kxsystemtext.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace orvo::platform {
namespace {

// Texts for the Windows codes that cross the library's interfaces, in our own words.
struct CodeText {
  uint32_t code;
  const char* text;
};

constexpr CodeText kCodeTexts[] = {
    {0, "The operation succeeded."},
    {2, "The file was not found."},
    {3, "The path was not found."},
    {5, "Access is denied."},
    {8, "Not enough memory is available for this operation."},
    {87, "A parameter is not valid."},
    {122, "The buffer given is too small for the data."},
    {126, "The module could not be found."},
    {127, "The procedure could not be found in the module."},
    {259, "No more data is available."},
    {1008, "The thread or process has no access token."},
    {1311, "No logon servers are available to service the logon request."},
    {1317, "The user does not exist."},
    {1326, "The user name or password is incorrect."},
    {1327, "The account's restrictions prevent this logon."},
    {1328, "The account is not allowed to log on at this time."},
    {1329, "The account is not allowed to log on from this computer."},
    {1330, "The password of this account has expired."},
    {1331, "The account is disabled."},
    {1332, "No mapping between account names and security IDs was done."},
    {1355, "The domain does not exist or could not be contacted."},
    {1396, "The target account name is not correct."},
    {1793, "The account has expired."},
    {1907, "The password must be changed before the first logon."},
    {1909, "The account is locked out."},
    {0x80004005, "Unspecified failure."},
    {0x8000500D, "The directory property is not in the cache."},
    {0x80005000, "The directory path is not valid."},
    {0x80072020, "An operations error occurred in the directory."},
    {0x8007052E, "The user name or password is incorrect."},
    {0x80072030, "The directory object does not exist."},
    {0x8007203A, "The directory server is not reachable."},
    {0x8009030E, "No credentials are available: the process holds no Kerberos ticket (run kinit first)."},
};

}  // namespace

std::string systemErrorText(uint32_t inCode) {
  for (const CodeText& entry : kCodeTexts) {
    if (entry.code == inCode) return entry.text;
  }
  return std::string();
}

bool osVersion(OSVersion& outVersion) {
  utsname names;
  if (uname(&names) != 0) return false;
  outVersion.kernelName = names.sysname;
  outVersion.major = outVersion.minor = outVersion.patch = 0;
  std::sscanf(names.release, "%u.%u.%u", &outVersion.major, &outVersion.minor, &outVersion.patch);

  outVersion.distribution.clear();
  std::ifstream release("/etc/os-release");
  std::string line;
  const std::string key = "PRETTY_NAME=";
  while (std::getline(release, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    outVersion.distribution = value;
    break;
  }
  return true;
}

}  // namespace orvo::platform
