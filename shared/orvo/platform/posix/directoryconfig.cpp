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
#include <cstdlib>
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

DirectoryConfig DirectoryConfig::load() {
  DirectoryConfig config;
  std::map<std::string, std::string> values;
  const char* file = std::getenv("ADCHECK_CONFIG");
  std::ifstream in(file != nullptr && *file != '\0' ? file : "/etc/adcheck.conf");
  std::string line;
  for (int count = 0; count < 1000 && std::getline(in, line); ++count) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    values[toLowerText(detail::trim(line.substr(0, equals)))] = detail::trim(line.substr(equals + 1));
  }
  const std::pair<const char*, const char*> keys[] = {
      {"domain", "ADCHECK_DOMAIN"},     {"netbios_domain", "ADCHECK_NETBIOS_DOMAIN"},
      {"ldap_uri", "ADCHECK_LDAP_URI"}, {"gc_uri", "ADCHECK_GC_URI"},
      {"ca_file", "ADCHECK_CA_FILE"},   {"timeout", "ADCHECK_TIMEOUT"},
      {"explicit_bind", "ADCHECK_EXPLICIT_BIND"}};
  for (const auto& [key, variable] : keys) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') values[key] = value;
  }
  config.domain = values["domain"];
  config.netbiosDomain = values["netbios_domain"];
  config.ldapUri = values["ldap_uri"];
  config.gcUri = values["gc_uri"];
  config.caFile = values["ca_file"];
  if (!values["timeout"].empty()) {
    const int seconds = std::atoi(values["timeout"].c_str());
    if (seconds > 0 && seconds <= 3600) config.timeoutSeconds = seconds;
  }
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
