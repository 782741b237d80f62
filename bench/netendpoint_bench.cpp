// Loopback TCP through the endpoint's buffered layer against plain send()/recv() with the
// same sizes: large transfers (which go around the buffers), small writes gathered until
// they fill the buffer against one send() per write, and line reads. The peer on the other
// side is a plain socket on a thread of its own that reads (or writes) as fast as it can.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "orvo/net/kxipendpoint.h"

namespace {

int loopbackListener(uint16_t& outPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(fd, 4);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  outPort = ntohs(address.sin_port);
  return fd;
}

// A peer that drains (or fills, with inSource) one connection until the other side closes.
class Peer {
 public:
  Peer(std::string inSource = std::string()) : itsSource(std::move(inSource)) {
    itsListener = loopbackListener(itsPort);
    itsThread = std::thread([this] { serve(); });
  }
  ~Peer() {
    itsThread.join();
    ::close(itsListener);
  }
  uint16_t port() const { return itsPort; }

 private:
  void serve() {
    const int fd = ::accept4(itsListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (itsSource.empty()) {
      std::vector<char> buffer(1 << 20);
      while (::recv(fd, buffer.data(), buffer.size(), 0) > 0) {
      }
    } else {
      while (::send(fd, itsSource.data(), itsSource.size(), MSG_NOSIGNAL) > 0) {
      }
    }
    ::close(fd);
  }

  std::string itsSource;
  int itsListener;
  uint16_t itsPort = 0;
  std::thread itsThread;
};

std::unique_ptr<kxIPEndpoint> connectedEndpoint(const Peer& inPeer) {
  auto endpoint = std::make_unique<kxIPEndpoint>(nullptr, -1);
  endpoint->setProtocol(kxNetEndpoint::kProtocolStream);
  if (endpoint->connect(kxIPv6("127.0.0.1"), inPeer.port()) != kxErr_noError) return nullptr;
  return endpoint;
}

int connectedSocket(const Peer& inPeer) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(inPeer.port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool plainSendAll(int inFd, const char* inData, size_t inSize) {
  while (inSize > 0) {
    const ssize_t sent = ::send(inFd, inData, inSize, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    inData += sent;
    inSize -= static_cast<size_t>(sent);
  }
  return true;
}

// Writes of state.range(0) bytes each.
void BM_EndpointWrite(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const std::string block(size, 'w');
  Peer peer;
  auto endpoint = connectedEndpoint(peer);
  if (!endpoint) return state.SkipWithError("connect failed");
  for (auto _ : state)
    if (endpoint->write(block.data(), static_cast<uint32_t>(size)) != kxErr_noError)
      return state.SkipWithError("write failed");
  endpoint->flush();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_PlainSend(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const std::string block(size, 'w');
  Peer peer;
  const int fd = connectedSocket(peer);
  if (fd < 0) return state.SkipWithError("connect failed");
  for (auto _ : state)
    if (!plainSendAll(fd, block.data(), size)) return state.SkipWithError("send failed");
  ::close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK(BM_EndpointWrite)->Arg(16)->Arg(64 << 10)->Arg(1 << 20)->UseRealTime();
BENCHMARK(BM_PlainSend)->Arg(16)->Arg(64 << 10)->Arg(1 << 20)->UseRealTime();

// Reads of state.range(0) bytes each from a peer that sends without a pause.
void BM_EndpointRead(benchmark::State& state) {
  const uint32_t size = static_cast<uint32_t>(state.range(0));
  std::vector<char> data(size);
  Peer peer(std::string(1 << 20, 'r'));
  auto endpoint = connectedEndpoint(peer);
  if (!endpoint) return state.SkipWithError("connect failed");
  for (auto _ : state)
    if (endpoint->readExactly(data.data(), size) != kxErr_noError) return state.SkipWithError("read failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_PlainRecv(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  std::vector<char> data(size);
  Peer peer(std::string(1 << 20, 'r'));
  const int fd = connectedSocket(peer);
  if (fd < 0) return state.SkipWithError("connect failed");
  for (auto _ : state)
    if (::recv(fd, data.data(), size, MSG_WAITALL) != static_cast<ssize_t>(size))
      return state.SkipWithError("recv failed");
  ::close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK(BM_EndpointRead)->Arg(64 << 10)->Arg(1 << 20)->UseRealTime();
BENCHMARK(BM_PlainRecv)->Arg(10240)->Arg(64 << 10)->Arg(1 << 20)->UseRealTime();

// Lines of 78 characters and CR LF.
std::string lines() {
  std::string text;
  while (text.size() < (1 << 20) - 80) text += std::string(78, 'l') + "\r\n";
  return text;
}

void BM_EndpointReadLine(benchmark::State& state) {
  Peer peer(lines());
  auto endpoint = connectedEndpoint(peer);
  if (!endpoint) return state.SkipWithError("connect failed");
  char line[128];
  for (auto _ : state) {
    uint32_t size = sizeof line;
    if (endpoint->readLine(line, &size) != kxErr_noError || size != 78) return state.SkipWithError("readLine failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 80));
}
BENCHMARK(BM_EndpointReadLine)->UseRealTime();

}  // namespace
