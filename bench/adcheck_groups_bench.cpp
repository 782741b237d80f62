// Group retrieval against the test domain controller, side by side with the server's own
// transitive query: kxAuthenticator::getADUserGroups (nested mode) for an account in a
// hierarchy of 200 groups (and, for comparison, one in 6), with the LDAP operations, binds and
// connections each retrieval costs, and one `ldapsearch` LDAP_MATCHING_RULE_IN_CHAIN query for
// the same account. Run through bench/adcheck_groups, which starts the controller and builds
// the hierarchy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "orvo/debug/kxinfolog.h"
#include "orvo/platform/kxdirectory.h"
#include "orvo/util/kxauthenticator.h"

namespace {

std::string env(const char* inName) {
  const char* value = std::getenv(inName);
  return value != nullptr ? value : "";
}

const char* accountOf(int64_t inIndex) { return inIndex == 0 ? "benchuser" : "benchsmall"; }
const char* rdnOf(int64_t inIndex) { return inIndex == 0 ? "CN=benchuser,OU=Bench" : "CN=benchsmall,OU=Bench"; }

void BM_AdcheckGroupRetrieval(benchmark::State& state) {
  if (env("TESTDC_URI").empty()) {
    state.SkipWithError("no test domain controller; run bench/adcheck_groups");
    return;
  }
  kxSetInfoLogLevel(-1);  // the retrieval logs every account it opens
  const std::string user = accountOf(state.range(0));
  uint64_t operations = 0;
  uint64_t binds = 0;
  uint64_t connections = 0;
  size_t groups = 0;
  for (auto _ : state) {
    const orvo::platform::DirectoryStatistics before = orvo::platform::directoryStatistics();
    std::set<std::string> found;
    if (!kxAuthenticator::getADUserGroups("", user, "", found, true)) {
      state.SkipWithError("group retrieval failed");
      break;
    }
    const orvo::platform::DirectoryStatistics after = orvo::platform::directoryStatistics();
    operations += after.operations - before.operations;
    binds += after.binds - before.binds;
    connections += after.connections - before.connections;
    groups = found.size();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["groups"] = static_cast<double>(groups);
  state.counters["ldap_ops"] = static_cast<double>(operations) / n;
  state.counters["binds"] = static_cast<double>(binds) / n;
  state.counters["connections"] = static_cast<double>(connections) / n;
}
BENCHMARK(BM_AdcheckGroupRetrieval)->Arg(0)->Arg(1)->ArgName("small")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LdapsearchInChain(benchmark::State& state) {
  if (env("TESTDC_URI").empty()) {
    state.SkipWithError("no test domain controller; run bench/adcheck_groups");
    return;
  }
  const std::string command = "ldapsearch -o ldif-wrap=no -LLL -Q -Y GSSAPI -N -H '" + env("TESTDC_URI") + "' -b '" +
                              env("TESTDC_BASE_DN") + "' '(member:1.2.840.113556.1.4.1941:=" + rdnOf(state.range(0)) +
                              "," + env("TESTDC_BASE_DN") + ")' name 2>/dev/null";
  size_t groups = 0;
  for (auto _ : state) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
      state.SkipWithError("ldapsearch did not start");
      break;
    }
    groups = 0;
    char line[4096];
    while (fgets(line, sizeof line, pipe) != nullptr) groups += std::string(line).rfind("name: ", 0) == 0;
    if (pclose(pipe) != 0) {
      state.SkipWithError("ldapsearch failed");
      break;
    }
  }
  state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(BM_LdapsearchInChain)->Arg(0)->Arg(1)->ArgName("small")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
