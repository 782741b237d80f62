// Where the directory is: the settings of DirectoryConfig and the discovery of domain
// controllers through DNS SRV records, as other Linux directory clients find them.
//
// SRV answers come from whatever the resolver reaches, so they are read as untrusted input:
// the answer buffer is the largest a DNS message can be, every record is bounds-checked by
// the resolver's parser, and the records are ordered as RFC 2782 says (priority, then a
// weighted random choice) so that a controller that does not answer gives way to the next.
#include <arpa/nameser.h>
#include <krb5.h>
#include <netinet/in.h>
#include <resolv.h>
#include <string.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "directoryinternal.h"

namespace orvo::platform {

namespace detail {

namespace {

std::string trim(const std::string& inText) {
  const size_t first = inText.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = inText.find_last_not_of(" \t\r\n");
  return inText.substr(first, last - first + 1);
}

bool isHostName(const char* inName) {
  for (const char* c = inName; *c != '\0'; ++c) {
    if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '-' ||
          *c == '.' || *c == '_'))
      return false;
  }
  return true;
}

// More controllers than anyone waits for.
constexpr size_t kMaxControllers = 64;

struct SrvRecord {
  int priority = 0;
  int weight = 0;
  std::string uri;
};

// RFC 2782: lowest priority first; within one priority, records are picked one by one at
// random, each with a chance in proportion to its weight (weight 0 only when nothing else is
// left to pick from its running sum).
std::vector<SrvRecord> orderSrv(std::vector<SrvRecord> inRecords) {
  std::stable_sort(inRecords.begin(), inRecords.end(),
                   [](const SrvRecord& a, const SrvRecord& b) { return a.priority < b.priority; });
  std::random_device seed;
  std::mt19937 random(seed());
  std::vector<SrvRecord> ordered;
  for (size_t start = 0; start < inRecords.size();) {
    size_t end = start;
    while (end < inRecords.size() && inRecords[end].priority == inRecords[start].priority) ++end;
    std::vector<SrvRecord> left(inRecords.begin() + static_cast<long>(start), inRecords.begin() + static_cast<long>(end));
    std::stable_partition(left.begin(), left.end(), [](const SrvRecord& r) { return r.weight == 0; });
    while (!left.empty()) {
      long sum = 0;
      for (const SrvRecord& r : left) sum += r.weight;
      const long pick = std::uniform_int_distribution<long>(0, sum)(random);
      long running = 0;
      size_t chosen = left.size() - 1;
      for (size_t i = 0; i < left.size(); ++i) {
        running += left[i].weight;
        if (running >= pick) {
          chosen = i;
          break;
        }
      }
      ordered.push_back(std::move(left[chosen]));
      left.erase(left.begin() + static_cast<long>(chosen));
    }
    start = end;
  }
  return ordered;
}

}  // namespace

std::string lookupSrv(const std::string& inName, int inTimeoutSeconds) {
  struct __res_state state;
  memset(&state, 0, sizeof state);
  if (res_ninit(&state) != 0) return std::string();
  state.retry = 1;
  state.retrans = inTimeoutSeconds;
  // The largest DNS message there is: a longer answer than the buffer would be cut, and the
  // length res_nquery reports is then that of the whole answer, not of what it wrote.
  std::vector<unsigned char> answer(65536);
  const int length = res_nquery(&state, inName.c_str(), ns_c_in, ns_t_srv, answer.data(),
                                static_cast<int>(answer.size()));
  res_nclose(&state);
  std::vector<SrvRecord> records;
  ns_msg message;
  if (length > 0 && ns_initparse(answer.data(), std::min(length, static_cast<int>(answer.size())), &message) == 0) {
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
      ns_rr record;
      if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv) continue;
      const unsigned char* data = ns_rr_rdata(record);
      if (ns_rr_rdlen(record) < 7) continue;
      char target[NS_MAXDNAME];
      if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0) continue;
      // "." says the service is not offered there. A target becomes part of a URI, so it
      // must be a host name and nothing else.
      if (target[0] == '\0' || strcmp(target, ".") == 0 || !isHostName(target)) continue;
      SrvRecord srv;
      srv.priority = ns_get16(data);
      srv.weight = ns_get16(data + 2);
      srv.uri = "ldap://" + std::string(target) + ":" + std::to_string(ns_get16(data + 4));
      records.push_back(std::move(srv));
    }
  }
  // Ordered first, then cut: the records a 64 KiB answer can hold are few enough to order,
  // and the best controllers may come last in it.
  std::vector<SrvRecord> ordered = orderSrv(std::move(records));
  if (ordered.size() > kMaxControllers) ordered.resize(kMaxControllers);
  std::string uris;
  for (const SrvRecord& srv : ordered) {
    if (!uris.empty()) uris += ' ';
    uris += srv.uri;
  }
  return uris;
}

std::string kerberosDefaultRealm() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return std::string();
  std::string realm;
  char* name = nullptr;
  if (krb5_get_default_realm(context, &name) == 0 && name != nullptr) {
    realm = name;
    krb5_free_default_realm(context, name);
  }
  krb5_free_context(context);
  return realm;
}

}  // namespace detail

namespace {

// The settings file's keys, each with the variable that overrides it.
constexpr std::pair<const char*, const char*> kSettings[] = {
    {"domain", "ADCHECK_DOMAIN"},     {"netbios_domain", "ADCHECK_NETBIOS_DOMAIN"},
    {"ldap_uri", "ADCHECK_LDAP_URI"}, {"gc_uri", "ADCHECK_GC_URI"},
    {"ca_file", "ADCHECK_CA_FILE"},   {"timeout", "ADCHECK_TIMEOUT"},
    {"explicit_bind", "ADCHECK_EXPLICIT_BIND"}};
constexpr int kMaxSettingLines = 1000;
constexpr int kMaxTimeoutSeconds = 3600;

// A value as a problem report shows it: quoted, control characters as "?", long ones cut.
std::string shown(const std::string& inValue) {
  std::string out = "\"";
  for (size_t i = 0; i < inValue.size() && i < 80; ++i)
    out += static_cast<unsigned char>(inValue[i]) < 0x20 || inValue[i] == 0x7F ? '?' : inValue[i];
  return out + (inValue.size() > 80 ? "...\"" : "\"");
}

// The timeout setting's seconds, 0 when the text is not a whole number from 1 to 3600.
int timeoutOf(const std::string& inValue) {
  if (inValue.empty() || inValue.size() > 9 || inValue.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int seconds = std::atoi(inValue.c_str());
  return seconds <= kMaxTimeoutSeconds ? seconds : 0;
}

// What is wrong with a value of a known key; "" when nothing is.
std::string valueProblem(const std::string& inKey, const std::string& inValue) {
  if (inKey == "timeout") {
    if (inValue.empty() || inValue.find_first_not_of("0123456789") != std::string::npos)
      return shown(inValue) + " is not a number of seconds";
    if (timeoutOf(inValue) == 0)
      return shown(inValue) + " is out of range (1 to " + std::to_string(kMaxTimeoutSeconds) + " seconds)";
  } else if (inKey == "explicit_bind") {
    if (!equalsText(inValue, "kerberos", false) && !equalsText(inValue, "simple-tls", false))
      return shown(inValue) + " is neither \"kerberos\" nor \"simple-tls\"";
  } else if (inKey == "ldap_uri" || inKey == "gc_uri") {
    size_t start = 0;
    while ((start = inValue.find_first_not_of(" \t", start)) != std::string::npos) {
      const size_t end = std::min(inValue.find_first_of(" \t", start), inValue.size());
      const std::string uri = inValue.substr(start, end - start);
      LDAPURLDesc* parsed = nullptr;
      const bool ok = ldap_url_parse(uri.c_str(), &parsed) == LDAP_URL_SUCCESS &&
                      (equalsText(parsed->lud_scheme, "ldap", false) || equalsText(parsed->lud_scheme, "ldaps", false));
      if (parsed != nullptr) ldap_free_urldesc(parsed);
      if (!ok) return shown(uri) + " is not an ldap:// or ldaps:// URI";
      start = end;
    }
  } else if (inKey == "domain") {
    if (!detail::isHostName(inValue.c_str())) return shown(inValue) + " is not a DNS domain name";
  } else if (inKey == "netbios_domain") {
    if (inValue.size() > 15 || inValue.find_first_of("\\/:*?\"<>|.") != std::string::npos)
      return shown(inValue) + " is not a NetBIOS domain name (at most 15 characters, no \\/:*?\"<>|.)";
  } else if (inKey == "ca_file") {
    if (!std::ifstream(inValue)) return shown(inValue) + " cannot be read: " + std::strerror(errno);
  }
  return std::string();
}

// The settings as the file and the environment give them, and what is wrong with them.
struct Settings {
  std::map<std::string, std::string> values;
  std::vector<std::string> problems;
};

Settings readSettings() {
  Settings settings;
  const char* named = std::getenv("ADCHECK_CONFIG");
  const bool chosen = named != nullptr && *named != '\0';
  const std::string file = chosen ? named : "/etc/adcheck.conf";
  std::ifstream in(file);
  // The default file may be absent; one the operator named must be there.
  if (!in && chosen) settings.problems.push_back(file + ": cannot be read: " + std::strerror(errno));
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = file + ":" + std::to_string(number) + ": ";
    if (number > kMaxSettingLines) {
      settings.problems.push_back(where + "more than " + std::to_string(kMaxSettingLines) + " lines; the rest is not read");
      break;
    }
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    if (detail::trim(line).empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      settings.problems.push_back(where + "not a \"key = value\" line");
      continue;
    }
    const std::string key = toLowerText(detail::trim(line.substr(0, equals)));
    const std::string value = detail::trim(line.substr(equals + 1));
    bool known = false;
    for (const auto& setting : kSettings) known = known || key == setting.first;
    if (!known) {
      settings.problems.push_back(where + "unknown key " + shown(key));
      continue;
    }
    if (!value.empty()) {
      if (const std::string problem = valueProblem(key, value); !problem.empty())
        settings.problems.push_back(where + key + ": " + problem);
    }
    settings.values[key] = value;
  }
  for (const auto& [key, variable] : kSettings) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    if (const std::string problem = valueProblem(key, value); !problem.empty())
      settings.problems.push_back(std::string(variable) + ": " + problem);
    settings.values[key] = value;
  }
  return settings;
}

}  // namespace

std::vector<std::string> DirectoryConfig::settingsProblems() { return readSettings().problems; }

DirectoryConfig DirectoryConfig::load() {
  DirectoryConfig config;
  std::map<std::string, std::string> values = readSettings().values;
  config.domain = values["domain"];
  config.netbiosDomain = values["netbios_domain"];
  config.ldapUri = values["ldap_uri"];
  config.gcUri = values["gc_uri"];
  config.caFile = values["ca_file"];
  if (const int seconds = timeoutOf(values["timeout"]); seconds > 0) config.timeoutSeconds = seconds;
  // Anything but the one other value keeps the default: a typo never weakens the bind.
  config.simpleBindOverTls = equalsText(values["explicit_bind"], "simple-tls", false);
  if (config.domain.empty()) config.domain = toLowerText(detail::kerberosDefaultRealm());
  if (!config.domain.empty() && config.ldapUri.empty())
    config.ldapUri = detail::lookupSrv("_ldap._tcp." + config.domain, config.timeoutSeconds);
  return config;
}

const DirectoryConfig& DirectoryConfig::current() {
  static const DirectoryConfig config = load();
  return config;
}

}  // namespace orvo::platform
