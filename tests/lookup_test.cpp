// Name resolution and connect by host name, against a DNS stub this test runs.
//
// Nothing leaves the machine: as root, main() moves the process into network and mount
// namespaces of its own, brings loopback up there and bind-mounts /etc/resolv.conf (pointing
// at the stub on 127.0.0.1), /etc/hosts and /etc/nsswitch.conf over the system's. The stub
// answers, refuses, answers late or never answers, as each test sets it. Without root the
// tests are skipped.
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "orvo/net/kxconnectlookupthread.h"
#include "orvo/net/kxipendpoint.h"
#include "orvo/threads/kxsingleevent.h"
#include "support/kxplainsocket.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::test::Fd;
using orvo::test::PeerThread;
using Clock = std::chrono::steady_clock;

bool gIsolated = false;

// What the resolver is given; timeout:1 attempts:2 lets a dropped query be asked again.
const char* const kResolvConf = "nameserver 127.0.0.1\noptions timeout:1 attempts:2\n";
const char* const kHosts =
    "127.0.0.1 localhost\n"
    "::1 localhost6\n"
    "::1 both.hosts.test\n"
    "127.0.0.1 both.hosts.test\n";

bool bindOver(const std::string& inSource, const char* inTarget) {
  return ::mount(inSource.c_str(), inTarget, nullptr, MS_BIND, nullptr) == 0;
}

// Must run before any thread starts.
bool isolate(const orvo::test::TempDir& inDir) {
  if (::geteuid() != 0) return false;
  if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) return false;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  Fd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ifreq loopback{};
  std::strcpy(loopback.ifr_name, "lo");
  if (::ioctl(probe.get(), SIOCGIFFLAGS, &loopback) != 0) return false;
  loopback.ifr_flags |= IFF_UP;
  if (::ioctl(probe.get(), SIOCSIFFLAGS, &loopback) != 0) return false;
  const auto write = [&](const char* inName, const char* inText) {
    std::ofstream(inDir.file(inName)) << inText;
    return inDir.file(inName);
  };
  return bindOver(write("resolv.conf", kResolvConf), "/etc/resolv.conf") &&
         bindOver(write("hosts", kHosts), "/etc/hosts") &&
         bindOver(write("nsswitch.conf", "hosts: files dns\n"), "/etc/nsswitch.conf");
}

// A DNS server on 127.0.0.1:53 (UDP) for the names *.test.
class DnsStub {
 public:
  enum class Mode { answer, refuse, never };

  DnsStub() : itsSocket(orvo::test::boundLoopback(AF_INET, SOCK_DGRAM, 53)) {
    if (itsSocket.get() >= 0) itsThread = std::thread([this] { serve(); });
  }
  ~DnsStub() {
    itsStopping = true;
    if (itsThread.joinable()) itsThread.join();
  }
  bool ok() const { return itsSocket.get() >= 0; }
  void setMode(Mode inMode, int inDelay = 0) {
    itsDelay = inDelay;
    itsMode = inMode;
  }
  int queries() const { return itsQueries; }

 private:
  void serve() {
    while (!itsStopping) {
      if (!orvo::test::readable(itsSocket.get(), 20)) continue;
      unsigned char query[512];
      sockaddr_storage from{};
      socklen_t length = sizeof from;
      const ssize_t size =
          ::recvfrom(itsSocket.get(), query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (size < 12) continue;
      ++itsQueries;
      const Mode mode = itsMode;
      if (mode == Mode::never) continue;
      if (itsDelay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(itsDelay));
      const std::string reply = answer(query, static_cast<size_t>(size), mode);
      if (!reply.empty())
        ::sendto(itsSocket.get(), reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  }

  static std::string answer(const unsigned char* inQuery, size_t inSize, Mode inMode) {
    // The question: labels, then type and class.
    size_t at = 12;
    std::string name;
    while (at < inSize && inQuery[at] != 0) {
      const size_t label = inQuery[at];
      if (label > 63 || at + 1 + label > inSize) return "";
      if (!name.empty()) name += '.';
      name.append(reinterpret_cast<const char*>(inQuery + at + 1), label);
      at += 1 + label;
    }
    if (at + 5 > inSize) return "";
    const uint16_t type = static_cast<uint16_t>(inQuery[at + 1] << 8 | inQuery[at + 2]);
    const size_t questionEnd = at + 5;

    std::vector<std::string> rdata;
    int rcode = 0;
    if (inMode == Mode::refuse) {
      rcode = 5;
    } else if (name == "dual.test" || name == "late.test") {
      if (type == 1) rdata.push_back(std::string("\x7f\x00\x00\x01", 4));
      if (type == 28) rdata.push_back(std::string(15, '\0') + '\x01');
    } else if (name == "v4.test") {
      if (type == 1) rdata.push_back(std::string("\x7f\x00\x00\x01", 4));
    } else {
      rcode = 3;  // no such name
    }
    std::string reply(reinterpret_cast<const char*>(inQuery), questionEnd);
    reply[2] = static_cast<char>(0x80 | (inQuery[2] & 0x01));  // a response; RD as asked
    reply[3] = static_cast<char>(0x80 | rcode);                // RA
    reply[4] = 0, reply[5] = 1;                                // one question
    reply[6] = 0, reply[7] = static_cast<char>(rdata.size());
    for (int i = 8; i < 12; ++i) reply[i] = 0;
    for (const std::string& data : rdata) {
      reply += std::string("\xC0\x0C", 2);  // the question's name
      reply += static_cast<char>(type >> 8);
      reply += static_cast<char>(type);
      reply += std::string("\x00\x01\x00\x00\x00\x3C", 6);  // IN, 60 s
      reply += static_cast<char>(data.size() >> 8);
      reply += static_cast<char>(data.size());
      reply += data;
    }
    return reply;
  }

  Fd itsSocket;
  std::thread itsThread;
  std::atomic<bool> itsStopping{false};
  std::atomic<Mode> itsMode{Mode::answer};
  std::atomic<int> itsDelay{0};
  std::atomic<int> itsQueries{0};
};

class Resolver : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gIsolated) GTEST_SKIP() << "needs root for its own network and mount namespaces";
    stub = std::make_unique<DnsStub>();
    ASSERT_TRUE(stub->ok());
  }
  void TearDown() override {
    // Lookups given up on end once the resolver gives up or the stub answers.
    if (stub) stub->setMode(DnsStub::Mode::answer);
    EXPECT_TRUE(kxThread::waitForAbandonedThreads(10000));
  }
  std::unique_ptr<kxIPEndpoint> endpoint(int32_t inTimeout, kxEvent* inCancel = nullptr) {
    auto result = std::make_unique<kxIPEndpoint>(inCancel, inTimeout);
    result->setProtocol(kxNetEndpoint::kProtocolStream);
    return result;
  }
  std::unique_ptr<DnsStub> stub;
};

TEST_F(Resolver, NamesFromTheServerAndFromHosts) {
  std::list<kxIPv6> addresses;
  ASSERT_EQ(lookupHost("dual.test", addresses), kxErr_noError);
  EXPECT_EQ(addresses.size(), 2u);
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), kxIPv6("127.0.0.1")), addresses.end());
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), kxIPv6("::1")), addresses.end());
  EXPECT_GT(stub->queries(), 0);

  ASSERT_EQ(lookupHost("both.hosts.test", addresses), kxErr_noError);
  EXPECT_EQ(addresses.size(), 2u);

  std::list<std::string> names;
  ASSERT_EQ(lookupNames(kxIPv6("127.0.0.1"), names), kxErr_noError);
  EXPECT_NE(std::find(names.begin(), names.end(), "localhost"), names.end());
}

TEST_F(Resolver, FailedLookupsAndTheirTrace) {
  std::list<kxIPv6> addresses;
  orvo::test::TraceCollector trace;
  EXPECT_EQ(lookupHost("unknown.test", addresses), kxErr_resolveFailed);
  EXPECT_TRUE(addresses.empty());
  EXPECT_TRUE(trace.contains("kxIPEndpoint::getAddressInfo: error getting address info (0x")) << trace.text();
  stub->setMode(DnsStub::Mode::refuse);
  EXPECT_EQ(lookupHost("dual.test", addresses), kxErr_resolveFailed);

  orvo::platform::AddressInfo placeholder{};
  orvo::platform::AddressInfo* list = &placeholder;
  EXPECT_EQ(getAddressInfo("", &list), kxErr_noConnect);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(getAddressInfo(static_cast<const char*>(nullptr), &list), kxErr_noConnect);
  EXPECT_EQ(getAddressInfo(kxIPv6(), &list), kxErr_noConnect);
  ASSERT_EQ(getAddressInfo(kxIPv6("::1"), &list), kxErr_noError);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->ai_family, AF_INET6);
  orvo::platform::freeAddressInfo(list);

  auto client = endpoint(3000);
  EXPECT_EQ(client->connect("unknown.test", 80), kxErr_resolveFailed);
  EXPECT_EQ(client->connect("", 80), kxErr_noConnect);
  EXPECT_EQ(client->connect("dual.test", 0), kxErr_noConnect);
}

TEST_F(Resolver, ConnectByNameAfterALateAnswer) {
  stub->setMode(DnsStub::Mode::answer, 300);
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto client = endpoint(5000);
  ASSERT_EQ(client->connect("v4.test", orvo::test::boundPort(listener.get())), kxErr_noError);
  EXPECT_EQ(client->getRemoteAddress(), kxIPv6("127.0.0.1"));
}

TEST_F(Resolver, ConnectFallsThroughARefusedFirstAddress) {
  std::list<kxIPv6> addresses;
  ASSERT_EQ(lookupHost("both.hosts.test", addresses), kxErr_noError);
  ASSERT_EQ(addresses.size(), 2u);
  // Listen on the family of the second address only, so the first is refused.
  const int second = addresses.back().isIPv4() ? AF_INET : AF_INET6;
  Fd listener = orvo::test::boundLoopback(second, SOCK_STREAM);
  orvo::test::TraceCollector trace;
  auto client = endpoint(3000);
  ASSERT_EQ(client->connect("both.hosts.test", orvo::test::boundPort(listener.get())), kxErr_noError);
  EXPECT_EQ(client->getRemoteAddress(), addresses.back());
  EXPECT_TRUE(trace.contains("kxIPEndpoint::connect unable to bind endpoint")) << trace.text();
}

TEST_F(Resolver, NumericHostConnectsWithoutALookupThread) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  orvo::test::TraceCollector trace;
  auto client = endpoint(3000);
  ASSERT_EQ(client->connect("127.0.0.1", orvo::test::boundPort(listener.get())), kxErr_noError);
  EXPECT_FALSE(trace.contains("kxThread::start")) << trace.text();
  EXPECT_EQ(stub->queries(), 0);
}

TEST_F(Resolver, BlockedLookupTimesOut) {
  stub->setMode(DnsStub::Mode::never);
  auto client = endpoint(200);
  const auto started = Clock::now();
  EXPECT_EQ(client->connect("dual.test", 80), kxErr_timeout);
  // The time-out only: the lookup has let go of its object, so it is given up on at once.
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(200 + 150));
  EXPECT_FALSE(client->isOpen());

  auto immediate = endpoint(0);
  EXPECT_EQ(immediate->connect("late.test", 80), kxErr_timeout);
}

TEST_F(Resolver, CancelWhileTheLookupBlocks) {
  stub->setMode(DnsStub::Mode::never);
  const size_t threadsBefore = orvo::test::countProcEntries("task");
  const size_t descriptorsBefore = orvo::test::countProcEntries("fd");
  kxSingleEvent cancel;
  auto client = endpoint(-1, &cancel);
  Clock::time_point setAt;
  PeerThread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    setAt = Clock::now();
    cancel.set();
  });
  const kxErr result = client->connect("dual.test", 80);
  const auto endedAt = Clock::now();
  canceller.join();
  EXPECT_EQ(result, kxErr_userCancelled);
  EXPECT_LT(endedAt - setAt, std::chrono::milliseconds(250 + 150));
  stub->setMode(DnsStub::Mode::answer);
  ASSERT_TRUE(kxThread::waitForAbandonedThreads(10000));
  // A thread that has finished its work is gone from the system a moment later.
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (orvo::test::countProcEntries("task") != threadsBefore && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(orvo::test::countProcEntries("task"), threadsBefore);
  EXPECT_EQ(orvo::test::countProcEntries("fd"), descriptorsBefore);
}

// The lookup object, the endpoint and the connect's own variables are all gone while the
// lookups still run; when the answers come the lookups write only into what they share.
// AddressSanitizer reports any write into the freed objects.
TEST_F(Resolver, GivenUpLookupOutlivesItsCallersObjects) {
  stub->setMode(DnsStub::Mode::never);
  {
    auto lookup = std::make_unique<kxConnectLookupThread>("dual.test");
    lookup->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lookup->kill();
    EXPECT_TRUE(lookup->isStopped());
  }
  {
    auto client = endpoint(100);
    EXPECT_EQ(client->connect("late.test", 80), kxErr_timeout);
  }
  stub->setMode(DnsStub::Mode::answer);
  EXPECT_TRUE(kxThread::waitForAbandonedThreads(10000));
}

TEST_F(Resolver, LookupThreadHandsOverItsResultOnce) {
  kxConnectLookupThread lookup("dual.test");
  lookup.start();
  lookup.join();
  orvo::platform::AddressInfo* list = lookup.takeResult();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(lookup.takeResult(), nullptr);
  orvo::platform::freeAddressInfo(list);
  EXPECT_EQ(lookup.getErrorMessage().getErrorValue(), kxErr_noError);

  kxConnectLookupThread failing("unknown.test");
  failing.start();
  failing.join();
  EXPECT_EQ(failing.takeResult(), nullptr);
  EXPECT_EQ(failing.getErrorMessage().getErrorValue(), kxErr_resolveFailed);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const orvo::test::TempDir files;
  gIsolated = isolate(files);
  return RUN_ALL_TESTS();
}
