// The IP socket endpoint against plain-socket peers on loopback: TCP and UDP over both
// families, raw ICMP echo (as root), listening and accepting, time-outs, cancel and
// cancelIO, and the faults a peer or the system can cause (stalling, trickling, resetting,
// never reading, closing with data in flight, a refused wait).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <netinet/icmp6.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "orvo/net/kxipendpoint.h"
#include "orvo/threads/kxsingleevent.h"
#include "support/kxplainsocket.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::test::Fd;
using orvo::test::PeerThread;
using Clock = std::chrono::steady_clock;

// How much earlier than its time a time-out may end: the library measures time in ticks of
// the system's tick count, which on Windows advances 10 to 16 ms at a time.
#ifdef _WIN32
constexpr std::chrono::milliseconds kTickSlack{16};
#else
constexpr std::chrono::milliseconds kTickSlack{0};
#endif

const char* loopbackText(int inFamily) { return inFamily == AF_INET ? "127.0.0.1" : "::1"; }

std::unique_ptr<kxIPEndpoint> streamEndpoint(int32_t inTimeout, kxEvent* inCancel = nullptr) {
  auto endpoint = std::make_unique<kxIPEndpoint>(inCancel, inTimeout);
  endpoint->setProtocol(kxNetEndpoint::kProtocolStream);
  return endpoint;
}

std::string pattern(size_t inSize, unsigned inSeed) {
  std::string data(inSize, '\0');
  uint32_t state = inSeed;
  for (char& c : data) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return data;
}

class TcpFamilies : public ::testing::TestWithParam<int> {};

TEST_P(TcpFamilies, EchoOfLinesThroughAPlainPeer) {
  const int family = GetParam();
  Fd listener = orvo::test::boundLoopback(family, SOCK_STREAM);
  ASSERT_GE(listener.get(), 0);
  PeerThread echo([&] {
    Fd peer = orvo::test::acceptWithin(listener.get());
    char buffer[256];
    ssize_t got;
    while ((got = ::recv(peer.get(), buffer, sizeof buffer, 0)) > 0) orvo::test::sendAll(peer.get(), buffer, got);
  });
  auto endpoint = streamEndpoint(3000);
  ASSERT_EQ(endpoint->connect(kxIPv6(loopbackText(family)), orvo::test::boundPort(listener.get())), kxErr_noError);
  EXPECT_TRUE(endpoint->isOpen());
  EXPECT_EQ(endpoint->getRemoteAddress(), kxIPv6(loopbackText(family)));
  kxIPv6 local;
  endpoint->getLocalAddress(local);
  EXPECT_EQ(local, kxIPv6(loopbackText(family)));
  for (const char* line : {"first line", "", "third, a longer line with , and \t tabs"}) {
    ASSERT_EQ(endpoint->writeLine(line), kxErr_noError);
    ASSERT_EQ(endpoint->flush(), kxErr_noError);
    char got[128];
    uint32_t size = sizeof got;
    ASSERT_EQ(endpoint->readLine(got, &size), kxErr_noError);
    EXPECT_STREQ(got, line);
  }
  endpoint->close();
  EXPECT_FALSE(endpoint->isOpen());
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, TcpFamilies, ::testing::Values(AF_INET, AF_INET6),
                         [](const auto& inInfo) { return inInfo.param == AF_INET ? "IPv4" : "IPv6"; });

TEST(IPEndpointTcp, MegabytesBothWaysAroundTheBuffers) {
  constexpr size_t kSize = 8 << 20;
  const std::string out = pattern(kSize, 1);
  const std::string back = pattern(kSize, 2);
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  std::string received;
  PeerThread peer([&] {
    Fd fd = orvo::test::acceptWithin(listener.get());
    received = orvo::test::receiveUpTo(fd.get(), kSize);
    orvo::test::sendAll(fd.get(), back);
  });
  auto endpoint = streamEndpoint(10000);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  for (size_t at = 0; at < kSize; at += 1 << 20)
    ASSERT_EQ(endpoint->write(out.data() + at, 1 << 20), kxErr_noError);
  std::string in(kSize, '\0');
  for (size_t at = 0; at < kSize; at += 1 << 20) ASSERT_EQ(endpoint->readExactly(in.data() + at, 1 << 20), kxErr_noError);
  peer.join();
  EXPECT_TRUE(received == out);
  EXPECT_TRUE(in == back);
  EXPECT_EQ(endpoint->getTotalBytes(), 2ull * kSize);
}

TEST(IPEndpointTcp, PeerClosingMidStreamGivesTheDataFirstThenDisconnect) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto endpoint = streamEndpoint(2000);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  {
    Fd peer = orvo::test::acceptWithin(listener.get());
    ASSERT_TRUE(orvo::test::sendAll(peer.get(), "last words"));
  }
  char data[32];
  ASSERT_EQ(endpoint->readExactly(data, 10), kxErr_noError);
  EXPECT_EQ(std::string(data, 10), "last words");
  uint32_t size = sizeof data;
  const auto started = Clock::now();
  EXPECT_EQ(endpoint->read(data, &size), kxErr_disconnect);
  EXPECT_EQ(size, 0u);
  size = sizeof data;
  EXPECT_EQ(endpoint->read(data, &size), kxErr_disconnect);
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000));
}

TEST(IPEndpointTcp, ResetByThePeerEndsReadsAndWritesWithDisconnect) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto endpoint = streamEndpoint(2000);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  Fd peer = orvo::test::acceptWithin(listener.get());
  orvo::test::resetClose(peer);
  char data[8];
  uint32_t size = sizeof data;
  EXPECT_EQ(endpoint->read(data, &size), kxErr_disconnect);
  // Writing to a connection that is gone fails; it does not end the process with SIGPIPE.
  const std::string block(64 << 10, 'p');
  kxErr error = kxErr_noError;
  for (int i = 0; i < 4 && error == kxErr_noError; ++i) error = endpoint->write(block.data(), 64 << 10);
  EXPECT_EQ(error, kxErr_disconnect);
}

TEST(IPEndpointTcp, WritingToAClosedPeerFailsWithoutSigpipe) {
  Fd listener = orvo::test::boundLoopback(AF_INET6, SOCK_STREAM);
  auto endpoint = streamEndpoint(2000);
  ASSERT_EQ(endpoint->connect(kxIPv6("::1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  orvo::test::acceptWithin(listener.get()).reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::string block(64 << 10, 's');
  kxErr error = kxErr_noError;
  for (int i = 0; i < 16 && error == kxErr_noError; ++i) error = endpoint->write(block.data(), 64 << 10);
  EXPECT_EQ(error, kxErr_disconnect);
  EXPECT_NE(endpoint->getLastError(), 0);
}

TEST(IPEndpointTcp, PeerThatNeverReadsMakesALargeWriteTimeOut) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto endpoint = streamEndpoint(300);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  Fd peer = orvo::test::acceptWithin(listener.get());
  const std::string block(64 << 20, 'm');
  const auto started = Clock::now();
  EXPECT_EQ(endpoint->write(block.data(), static_cast<uint32_t>(block.size())), kxErr_timeout);
  const auto took = Clock::now() - started;
  EXPECT_GE(took, std::chrono::milliseconds(290) - kTickSlack);
  EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST(IPEndpointTcp, WriteWaitingWhileUnreadDataWaitsSleepsInsteadOfSpinning) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto endpoint = streamEndpoint(600);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  Fd peer = orvo::test::acceptWithin(listener.get());
  // A short read first: the read that follows the write must still find what came meanwhile.
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), "<"));
  char first[8];
  uint32_t firstSize = sizeof first;
  ASSERT_EQ(endpoint->netRead(first, &firstSize), kxErr_noError);
  ASSERT_EQ(firstSize, 1u);
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), "data nobody reads"));
  const std::string block(64 << 20, 'n');
  const auto cpuBefore = orvo::test::threadCpuTime();
  EXPECT_EQ(endpoint->write(block.data(), static_cast<uint32_t>(block.size())), kxErr_timeout);
  const auto cpuUsed = orvo::test::threadCpuTime() - cpuBefore;
  // A wait that spins burns a good part of the 600 ms even on a loaded machine; one that
  // sleeps uses a few system calls.
  EXPECT_LT(cpuUsed, std::chrono::milliseconds(50)) << cpuUsed.count() << " us";
  char data[32];
  uint32_t size = sizeof data;
  const auto readStarted = Clock::now();
  ASSERT_EQ(endpoint->read(data, &size), kxErr_noError);
  EXPECT_EQ(std::string(data, size), "data nobody reads");
  EXPECT_LT(Clock::now() - readStarted, std::chrono::milliseconds(300));
}

TEST(IPEndpointTcp, CancelFromAnotherThreadEndsAReadAndAWrite) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  kxSingleEvent cancel;
  auto endpoint = streamEndpoint(-1, &cancel);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  Fd peer = orvo::test::acceptWithin(listener.get());
  const std::string block(64 << 20, 'c');

  for (bool reading : {true, false}) {
    cancel.reset();
    Clock::time_point setAt;
    PeerThread canceller([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      setAt = Clock::now();
      cancel.set();
    });
    kxErr error;
    if (reading) {
      char data[8];
      uint32_t size = sizeof data;
      error = endpoint->read(data, &size);
    } else {
      error = endpoint->write(block.data(), static_cast<uint32_t>(block.size()));
    }
    const auto endedAt = Clock::now();
    canceller.join();
    EXPECT_EQ(error, kxErr_userCancelled) << (reading ? "read" : "write");
    EXPECT_LT(endedAt - setAt, std::chrono::milliseconds(250 + 100));
  }
}

TEST(IPEndpointTcp, CancelIOEndsAReadAndAWriteOfAnotherThread) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto endpoint = streamEndpoint(5000);  // no cancel event of its own
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  Fd peer = orvo::test::acceptWithin(listener.get());
  const std::string block(64 << 20, 'c');

  for (bool reading : {true, false}) {
    // The operation ends whether the cancel comes while it waits or just before.
    kxErr error = kxErr_noError;
    const auto started = Clock::now();
    PeerThread blocked([&] {
      if (reading) {
        char data[8];
        uint32_t size = sizeof data;
        error = endpoint->read(data, &size);
      } else {
        error = endpoint->write(block.data(), static_cast<uint32_t>(block.size()));
      }
    });
    EXPECT_EQ(endpoint->cancelIO(), kxErr_noError);
    blocked.join();
    EXPECT_EQ(error, kxErr_userCancelled) << (reading ? "read" : "write");
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2500)) << "not the 5 s time-out";
  }
  // Each cancel ended one operation; the next goes on as usual.
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), "after"));
  char data[8];
  uint32_t size = sizeof data;
  ASSERT_EQ(endpoint->read(data, &size), kxErr_noError);
  EXPECT_EQ(std::string(data, size), "after");
}

TEST(IPEndpointTcp, DataAndTheEndThatCameTogetherAreReadWithoutAWait) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto endpoint = streamEndpoint(5000);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  Fd peer = orvo::test::acceptWithin(listener.get());
  char data[1024];
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), "<"));
  uint32_t size = sizeof data;
  ASSERT_EQ(endpoint->netRead(data, &size), kxErr_noError);
  ASSERT_EQ(size, 1u);  // less than asked
  // More data and the end of the stream arrive while the endpoint does not wait.
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), std::string(100, 'x')));
  peer.reset();
#ifndef _WIN32
  pollfd end{endpoint->getSocket(), POLLRDHUP, 0};
  ASSERT_EQ(::poll(&end, 1, 5000), 1);
#endif
  const auto started = Clock::now();
  size = sizeof data;
  EXPECT_EQ(endpoint->netRead(data, &size), kxErr_noError);
  EXPECT_EQ(size, 100u);
  size = sizeof data;
  EXPECT_EQ(endpoint->netRead(data, &size), kxErr_disconnect);
  EXPECT_EQ(size, 0u);
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2500)) << "not the 5 s time-out";
}

#ifndef _WIN32
TEST(IPEndpointTcp, AWaitTheSystemRefusesIsAnErrorNotATimeOut) {
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  auto endpoint = streamEndpoint(2000);
  ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
  Fd peer = orvo::test::acceptWithin(listener.get());
  // poll() refuses more descriptors than the process may open (EINVAL); the socket wait
  // watches two (the socket and this thread's wake descriptor, made by the connect's wait).
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit one = saved;
  one.rlim_cur = 1;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &one), 0);
  char data[8];
  uint32_t size = sizeof data;
  const kxErr error = endpoint->read(data, &size);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(error, kxErr_netMiscErr);
}
#endif

TEST(IPEndpointTcp, RefusedConnectionIsNoConnectWithItsTrace) {
  uint16_t port;
  {
    Fd probe = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
    port = orvo::test::boundPort(probe.get());
  }
  orvo::test::TraceCollector trace;
  auto endpoint = streamEndpoint(2000);
  EXPECT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), port), kxErr_noConnect);
  EXPECT_FALSE(endpoint->isOpen());
  EXPECT_TRUE(trace.contains("kxIPEndpoint::connect: host 127.0.0.1 port " + std::to_string(port) + " opening..."))
      << trace.text();
  EXPECT_TRUE(trace.contains("kxIPEndpoint::connect testing the waters for port " + std::to_string(port) +
                             ", family PF_INET, socket type TCP."));
  EXPECT_NE(trace.lastLine().find("kxIPEndpoint::connect unable to bind endpoint"), std::string::npos)
      << trace.text();
}

TEST(IPEndpointTcp, FamilyPreferenceSkipsOtherFamilies) {
  Fd listener = orvo::test::boundLoopback(AF_INET6, SOCK_STREAM);
  auto endpoint = streamEndpoint(2000);
  endpoint->setFamily(AF_INET);
  EXPECT_EQ(endpoint->connect(kxIPv6("::1"), orvo::test::boundPort(listener.get())), kxErr_noConnect);
}

TEST(IPEndpointTcp, ConnectToAFullListenerTimesOut) {
  // A listener whose queue is full drops further handshakes.
  Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM, 0, 0);
  const uint16_t port = orvo::test::boundPort(listener.get());
  std::vector<Fd> fillers;
  for (int i = 0; i < 4; ++i) {
#ifdef _WIN32
    Fd filler(static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0)));
    u_long on = 1;
    ::ioctlsocket(filler.get(), FIONBIO, &on);
#else
    Fd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
#endif
    const sockaddr_storage address = orvo::test::loopbackAddress(AF_INET, port);
    ::connect(filler.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(sockaddr_in));
    fillers.push_back(std::move(filler));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto endpoint = streamEndpoint(300);
  const auto started = Clock::now();
  EXPECT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), port), kxErr_noConnect);
  const auto took = Clock::now() - started;
  EXPECT_GE(took, std::chrono::milliseconds(290) - kTickSlack);
  EXPECT_LT(took, std::chrono::milliseconds(2000));
}

class UdpFamilies : public ::testing::TestWithParam<int> {};

TEST_P(UdpFamilies, DatagramsToAPlainEchoPeer) {
  const int family = GetParam();
  Fd peer = orvo::test::boundLoopback(family, SOCK_DGRAM);
  ASSERT_GE(peer.get(), 0);
  PeerThread echo([&] {
    for (int i = 0; i < 2 && orvo::test::readable(peer.get(), 3000); ++i) {
      char buffer[2048];
      sockaddr_storage from{};
      socklen_t length = sizeof from;
      const ssize_t got = ::recvfrom(peer.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (got >= 0) ::sendto(peer.get(), buffer, got, 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  });
  kxIPEndpoint endpoint(nullptr, 3000);
  endpoint.setProtocol(kxNetEndpoint::kProtocolDatagram);
  char data[64];
  uint32_t size = sizeof data;
  EXPECT_EQ(endpoint.read(data, &size), kxErr_noData);
  ASSERT_EQ(endpoint.connect(kxIPv6(loopbackText(family)), orvo::test::boundPort(peer.get())), kxErr_noError);
  for (const char* message : {"ping one", "ping two"}) {
    ASSERT_EQ(endpoint.writeString(message, false), kxErr_noError);
    ASSERT_EQ(endpoint.flush(), kxErr_noError);
    size = sizeof data;
    ASSERT_EQ(endpoint.read(data, &size), kxErr_noError);
    EXPECT_EQ(std::string(data, size), message);
    EXPECT_EQ(endpoint.getRemoteAddress(), kxIPv6(loopbackText(family)));
  }
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, UdpFamilies, ::testing::Values(AF_INET, AF_INET6),
                         [](const auto& inInfo) { return inInfo.param == AF_INET ? "IPv4" : "IPv6"; });

TEST(IPEndpointDatagram, ReadWithNothingComingTimesOut) {
  Fd peer = orvo::test::boundLoopback(AF_INET, SOCK_DGRAM);
  kxIPEndpoint endpoint(nullptr, 150);
  endpoint.setProtocol(kxNetEndpoint::kProtocolDatagram);
  ASSERT_EQ(endpoint.connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(peer.get())), kxErr_noError);
  ASSERT_EQ(endpoint.writeString("x", false), kxErr_noError);
  ASSERT_EQ(endpoint.flush(), kxErr_noError);
  char data[16];
  uint32_t size = sizeof data;
  EXPECT_EQ(endpoint.read(data, &size), kxErr_timeout);
}

TEST(IPEndpointDatagram, DatagramLongerThanTheBufferIsAnErrorNotACutCopy) {
  Fd peer = orvo::test::boundLoopback(AF_INET, SOCK_DGRAM);
  kxIPEndpoint endpoint(nullptr, 2000);
  endpoint.setProtocol(kxNetEndpoint::kProtocolDatagram);
  ASSERT_EQ(endpoint.connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(peer.get())), kxErr_noError);
  ASSERT_EQ(endpoint.writeString("hello", false), kxErr_noError);
  ASSERT_EQ(endpoint.flush(), kxErr_noError);
  sockaddr_storage from{};
  socklen_t length = sizeof from;
  char request[16];
  ASSERT_EQ(::recvfrom(peer.get(), request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from), &length), 5);
  const std::string large(20000, 'L');
  ASSERT_EQ(::sendto(peer.get(), large.data(), large.size(), 0, reinterpret_cast<sockaddr*>(&from), length), 20000);
  ASSERT_EQ(::sendto(peer.get(), "small", 5, 0, reinterpret_cast<sockaddr*>(&from), length), 5);
  char data[64];
  uint32_t size = sizeof data;
  EXPECT_EQ(endpoint.read(data, &size), kxErr_disconnect);
  EXPECT_EQ(size, 0u);
#ifdef _WIN32
  EXPECT_EQ(endpoint.getLastError(), WSAEMSGSIZE);
#else
  EXPECT_EQ(endpoint.getLastError(), EMSGSIZE);
#endif
  size = sizeof data;
  ASSERT_EQ(endpoint.read(data, &size), kxErr_noError);
  EXPECT_EQ(std::string(data, size), "small");
}

// Raw sockets need root here and administrators on Windows, whose headers have no ICMP
// packet structures.
#ifndef _WIN32
// An ICMP or ICMPv6 echo request with identifier inId.
std::string echoRequest(int inFamily, uint16_t inId) {
  std::string packet(8 + 16, '\0');
  packet[0] = static_cast<char>(inFamily == AF_INET ? ICMP_ECHO : ICMP6_ECHO_REQUEST);
  packet[4] = static_cast<char>(inId >> 8);
  packet[5] = static_cast<char>(inId);
  packet[7] = 1;
  for (size_t i = 8; i < packet.size(); ++i) packet[i] = static_cast<char>('a' + i);
  if (inFamily == AF_INET) {
    // The kernel fills in the ICMPv6 checksum; ICMP's is ours.
    uint32_t sum = 0;
    for (size_t i = 0; i < packet.size(); i += 2)
      sum += static_cast<uint8_t>(packet[i]) << 8 | static_cast<uint8_t>(packet[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    const uint16_t check = static_cast<uint16_t>(~sum);
    packet[2] = static_cast<char>(check >> 8);
    packet[3] = static_cast<char>(check);
  }
  return packet;
}

class RawFamilies : public ::testing::TestWithParam<int> {};

TEST_P(RawFamilies, IcmpEchoToLoopback) {
  if (::geteuid() != 0) GTEST_SKIP() << "raw sockets need root";
  const int family = GetParam();
  kxIPEndpoint endpoint(nullptr, 2000);
  ASSERT_EQ(endpoint.getProtocol(), kxNetEndpoint::kProtocolRaw);
  ASSERT_EQ(endpoint.connect(kxIPv6(loopbackText(family)), 0), kxErr_noError);
  const uint16_t id = static_cast<uint16_t>(::getpid());
  const std::string request = echoRequest(family, id);
  ASSERT_EQ(endpoint.write(request.data(), static_cast<uint32_t>(request.size())), kxErr_noError);
  ASSERT_EQ(endpoint.flush(), kxErr_noError);
  // The raw socket sees every ICMP message on loopback, the request too: read to the reply.
  bool replied = false;
  for (int i = 0; i < 16 && !replied; ++i) {
    char packet[1500];
    uint32_t size = sizeof packet;
    ASSERT_EQ(endpoint.read(packet, &size), kxErr_noError);
    const size_t header = family == AF_INET ? static_cast<size_t>(packet[0] & 0x0F) * 4 : 0;
    if (size < header + 8) continue;
    const uint8_t type = static_cast<uint8_t>(packet[header]);
    const uint16_t gotId = static_cast<uint16_t>(static_cast<uint8_t>(packet[header + 4]) << 8 |
                                                 static_cast<uint8_t>(packet[header + 5]));
    replied = gotId == id && type == (family == AF_INET ? ICMP_ECHOREPLY : ICMP6_ECHO_REPLY) &&
              std::string(packet + header + 8, size - header - 8) == request.substr(8);
  }
  EXPECT_TRUE(replied);
  EXPECT_EQ(endpoint.getRemoteAddress(), kxIPv6(loopbackText(family)));
  int16_t ttl = 0;
  ASSERT_EQ(endpoint.setTTL(17), kxErr_noError);
  ASSERT_EQ(endpoint.getTTL(&ttl), kxErr_noError);
  EXPECT_EQ(ttl, 17);
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, RawFamilies, ::testing::Values(AF_INET, AF_INET6),
                         [](const auto& inInfo) { return inInfo.param == AF_INET ? "IPv4" : "IPv6"; });
#endif

TEST(IPEndpointListen, ListensOnEveryAddressOfBothFamiliesAndAccepts) {
  uint16_t port;
  {
    Fd probe4 = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
    port = orvo::test::boundPort(probe4.get());
  }
  kxIPEndpoint server(nullptr, 3000);
  server.setProtocol(kxNetEndpoint::kProtocolStream);
  ASSERT_EQ(server.startListen(port, kxIPv6()), kxErr_noError);
  EXPECT_EQ(server.getListenSockets().size(), 2u);
  EXPECT_FALSE(server.isOpen());

  // Both clients wait before the first accept: the second listening socket keeps its
  // connection for the next call.
  std::vector<Fd> clients;
  for (int family : {AF_INET6, AF_INET}) {
    Fd client(static_cast<int>(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)));
    const sockaddr_storage address = orvo::test::loopbackAddress(family, port);
    ASSERT_EQ(::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), orvo::test::addressLength(family)), 0);
    ASSERT_TRUE(orvo::test::sendAll(client.get(), "hello\r\n"));
    clients.push_back(std::move(client));
  }
  std::vector<int> families;
  for (int i = 0; i < 2; ++i) {
    std::unique_ptr<kxNetEndpoint> accepted(server.accept());
    ASSERT_NE(accepted, nullptr);
    const int family = accepted->getRemoteAddress().isIPv4() ? AF_INET : AF_INET6;
    families.push_back(family);
    Fd& client = clients[family == AF_INET6 ? 0 : 1];
    EXPECT_EQ(accepted->getRemoteAddress(), kxIPv6(loopbackText(family)));
    EXPECT_EQ(accepted->getRemotePort(), orvo::test::boundPort(client.get()));
    char line[16];
    uint32_t size = sizeof line;
    ASSERT_EQ(accepted->readLine(line, &size), kxErr_noError);
    EXPECT_STREQ(line, "hello");
    ASSERT_EQ(accepted->writeLine("welcome"), kxErr_noError);
    ASSERT_EQ(accepted->flush(), kxErr_noError);
    EXPECT_EQ(orvo::test::receiveUpTo(client.get(), 9), "welcome\r\n");
    client.reset();
    size = sizeof line;
    EXPECT_EQ(accepted->read(line, &size), kxErr_disconnect);
  }
  std::sort(families.begin(), families.end());
  EXPECT_EQ(families, (std::vector<int>{AF_INET, AF_INET6}));
}

TEST(IPEndpointListen, AcceptWithNothingPendingTimesOutWithItsTrace) {
  kxIPEndpoint server(nullptr, 100);
  server.setProtocol(kxNetEndpoint::kProtocolStream);
  ASSERT_EQ(server.startListen(0, kxIPv6("127.0.0.1")), kxErr_noError);
  ASSERT_EQ(server.getListenSockets().size(), 1u);
  orvo::test::TraceCollector trace;
  const auto started = Clock::now();
  EXPECT_EQ(server.accept(), nullptr);
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(95) - kTickSlack);
  EXPECT_TRUE(trace.contains("kxIPEndpoint::accept we had an error while waiting 0x0102")) << trace.text();

  kxIPEndpoint idle(nullptr, 100);
  EXPECT_EQ(idle.accept(), nullptr);
  EXPECT_TRUE(trace.contains("kxIPEndpoint::accept error no sockets to listen to..."));
}

TEST(IPEndpointListen, ASecondListenerOnATakenPortFails) {
  Fd taken = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
  kxIPEndpoint server(nullptr, 100);
  server.setProtocol(kxNetEndpoint::kProtocolStream);
  orvo::test::TraceCollector trace;
  EXPECT_EQ(server.startListen(orvo::test::boundPort(taken.get()), kxIPv6("127.0.0.1")), kxErr_netMiscErr);
  EXPECT_TRUE(trace.contains("kxIPEndpoint::startListen unable to bind endpoint"));
}

TEST(IPEndpoint, UnopenedEndpointRefusesWhatNeedsASocket) {
  kxIPEndpoint endpoint(nullptr, 100);
  int16_t ttl;
  EXPECT_EQ(endpoint.setTTL(5), kxErr_noConnect);
  EXPECT_EQ(endpoint.getTTL(&ttl), kxErr_noConnect);
  EXPECT_EQ(endpoint.netWrite("x", 1), kxErr_noConnect);
  char data[4];
  uint32_t size = sizeof data;
  EXPECT_EQ(endpoint.netRead(data, &size), kxErr_noConnect);
  std::list<kxIPv6> addresses;
  endpoint.getLocalAddresses(addresses);
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), kxIPv6("127.0.0.1")), addresses.end());
}

TEST(IPEndpoint, SocketAddressesRoundTrip) {
  for (const char* text : {"192.0.2.7", "2001:db8::42"}) {
    orvo::platform::SocketAddress storage;
    makeSockAddr(kxIPv6(text), 4242, storage);
    kxIPv6 address;
    uint16_t port = 0;
    fromSockAddr(storage, address, port);
    EXPECT_EQ(address, kxIPv6(text));
    EXPECT_EQ(port, 4242);
  }
  orvo::platform::SocketAddress zero;
  makeSockAddr(kxIPv6(), 80, zero);
  EXPECT_EQ(zero.ss_family, 0);
}

TEST(IPEndpoint, NothingIsLeftBehind) {
  {
    // A thread's first socket wait makes the descriptor its socket waits are woken through.
    kxIPEndpoint warm(nullptr, 0);
    warm.setProtocol(kxNetEndpoint::kProtocolStream);
    ASSERT_EQ(warm.startListen(0, kxIPv6("127.0.0.1")), kxErr_noError);
    EXPECT_EQ(warm.accept(), nullptr);
  }
  const size_t descriptors = orvo::test::countProcEntries("fd");
  const size_t threads = orvo::test::countProcEntries("task");
  {
    kxIPEndpoint server(nullptr, 2000);
    server.setProtocol(kxNetEndpoint::kProtocolStream);
    ASSERT_EQ(server.startListen(0, kxIPv6("::1")), kxErr_noError);
    kxIPEndpoint refused(nullptr, 500);
    refused.setProtocol(kxNetEndpoint::kProtocolStream);
    EXPECT_EQ(refused.connect(kxIPv6("127.0.0.1"), 1), kxErr_noConnect);

    Fd listener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
    auto client = streamEndpoint(2000);
    ASSERT_EQ(client->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(listener.get())), kxErr_noError);
    Fd peer = orvo::test::acceptWithin(listener.get());
    ASSERT_EQ(client->writeLine("bye"), kxErr_noError);
    client.reset();  // closes, flushing first
    EXPECT_EQ(orvo::test::receiveUpTo(peer.get(), 5), "bye\r\n");
  }
  EXPECT_EQ(orvo::test::countProcEntries("fd"), descriptors);
  EXPECT_EQ(orvo::test::countProcEntries("task"), threads);
}

}  // namespace
