// adcheck against the test domain controller, side by side with the server's own transitive
// query. Two kinds of measurement, each named for what it times:
//   - one step: kxAuthenticator::getADUserGroups (nested mode) for an account in a hierarchy
//     of 200 groups (and, for comparison, one in 6), with the LDAP operations, binds and
//     connections each retrieval costs;
//   - whole runs: the adcheck program as an operator's script starts it, the four answers
//     piped in (benchuser, the password, no server, nested groups: SID, credential check,
//     nested groups), with the domain's NetBIOS name read from the directory or configured
//     (ADCHECK_NETBIOS_DOMAIN); the dialogue, so that any build of adcheck can be timed
//     (ADCHECK_PROGRAM);
// and one `ldapsearch` LDAP_MATCHING_RULE_IN_CHAIN query for the same account, a whole run of
// a program too, binding with GSSAPI (three round trips) and, for benchuser, with GSS-SPNEGO
// (one, as adcheck binds). Run through bench/adcheck_groups, which starts the controller, builds the
// hierarchy and works out the whole-run ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

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

// Runs inArgs with inInput on standard input; its standard output, "" when it failed.
// Standard error goes nowhere.
std::string runProgram(const std::vector<std::string>& inArgs, const std::string& inInput,
                       const std::vector<std::string>& inEnv) {
  int in[2];
  int out[2];
  if (pipe(in) != 0) return std::string();
  if (pipe(out) != 0) {
    close(in[0]);
    close(in[1]);
    return std::string();
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    if (const int null = open("/dev/null", O_WRONLY); null >= 0) dup2(null, 2);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    for (const std::string& item : inEnv) {
      const size_t eq = item.find('=');
      if (eq == std::string::npos) unsetenv(item.c_str());
      else setenv(item.substr(0, eq).c_str(), item.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    for (const std::string& arg : inArgs) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (pid > 0 && !inInput.empty()) {
    // One line of input: it fits in the pipe whatever the program does.
    [[maybe_unused]] const ssize_t written = write(in[1], inInput.data(), inInput.size());
  }
  close(in[1]);
  std::string output;
  char buffer[65536];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::string();
  return output;
}

void BM_AdcheckWholeRun(benchmark::State& state) {
  const std::string program = env("ADCHECK_PROGRAM");
  if (env("TESTDC_URI").empty() || program.empty()) {
    state.SkipWithError("no test domain controller or adcheck; run bench/adcheck_groups");
    return;
  }
  const std::vector<std::string> settings = {state.range(0) != 0 ? "ADCHECK_NETBIOS_DOMAIN=" + env("TESTDC_DOMAIN")
                                                                 : "ADCHECK_NETBIOS_DOMAIN"};
  const std::regex count("Succesfully retrieved ([0-9]+) groups:");
  size_t groups = 0;
  for (auto _ : state) {
    const std::string out = runProgram({program}, "benchuser\n" + env("TESTDC_USER_PASSWORD") + "\n\n\n", settings);
    std::smatch found;
    if (out.find("User authenticated...") == std::string::npos || !std::regex_search(out, found, count)) {
      state.SkipWithError("adcheck failed");
      break;
    }
    groups = std::stoul(found[1].str());
  }
  state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(BM_AdcheckWholeRun)->Arg(0)->Arg(1)->ArgName("netbios_configured")->Unit(benchmark::kMillisecond)->UseRealTime();

// One in-chain query: ldapsearch binding with inMechanism (GSSAPI, or GSS-SPNEGO as adcheck binds).
void inChainQueries(benchmark::State& state, const char* inMechanism, int64_t inAccount) {
  if (env("TESTDC_URI").empty()) {
    state.SkipWithError("no test domain controller; run bench/adcheck_groups");
    return;
  }
  const std::string filter =
      "(member:1.2.840.113556.1.4.1941:=" + std::string(rdnOf(inAccount)) + "," + env("TESTDC_BASE_DN") + ")";
  const std::vector<std::string> command = {"ldapsearch", "-o", "ldif-wrap=no", "-LLL", "-Q", "-Y", inMechanism, "-N",
                                            "-H", env("TESTDC_URI"), "-b", env("TESTDC_BASE_DN"), filter, "name"};
  size_t groups = 0;
  for (auto _ : state) {
    const std::string out = runProgram(command, "", {});
    if (out.empty()) {
      state.SkipWithError("ldapsearch failed");
      break;
    }
    groups = 0;
    for (size_t at = out.find("\nname: "); at != std::string::npos; at = out.find("\nname: ", at + 1)) ++groups;
  }
  state.counters["groups"] = static_cast<double>(groups);
}

void BM_LdapsearchInChain(benchmark::State& state) { inChainQueries(state, "GSSAPI", state.range(0)); }
BENCHMARK(BM_LdapsearchInChain)->Arg(0)->Arg(1)->ArgName("small")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LdapsearchInChainSpnego(benchmark::State& state) { inChainQueries(state, "GSS-SPNEGO", 0); }
BENCHMARK(BM_LdapsearchInChainSpnego)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
