#include "orvo/net/kxipendpoint.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/messages/kxexception.h"
#include "orvo/threads/kxtimer.h"

namespace platform = orvo::platform;
using platform::SocketHandle;

namespace {

std::atomic<int32_t> gNetworkingStarts{0};

// A socket as the trace lines print it (%lld): WinSock's SOCKET is 64 bits wide on 64-bit
// Windows, and kNoSocket prints as -1 on every system.
long long socketNumber(SocketHandle inSocket) { return static_cast<intptr_t>(inSocket); }

const char* familyText(int inFamily) { return inFamily == AF_INET ? "PF_INET" : "PF_INET6"; }
const char* socketTypeText(int inType) { return inType == SOCK_STREAM ? "TCP" : "UDP"; }

platform::SocketLength sockAddrLength(const platform::SocketAddress& inStorage) {
  return inStorage.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
}

const sockaddr* asSockAddr(const platform::SocketAddress& inStorage) {
  return reinterpret_cast<const sockaddr*>(&inStorage);
}

// The event kinds in the order they are reported, with their trace texts.
struct EventKind {
  uint32_t bit;
  size_t index;
  const char* text;
};
constexpr EventKind kEventKinds[] = {
    {platform::kNetRead, platform::kNetReadIndex, "FD_READ error 0x%04X <%s>"},
    {platform::kNetWrite, platform::kNetWriteIndex, "FD_WRITE error 0x%04X <%s>"},
    {platform::kNetOutOfBand, platform::kNetOutOfBandIndex, "FD_OOB error 0x%04X <%s>"},
    {platform::kNetAccept, platform::kNetAcceptIndex, "FD_ACCEPT error 0x%04X <%s>"},
    {platform::kNetConnect, platform::kNetConnectIndex, "FD_CONNECT error 0x%04X <%s>"},
    {platform::kNetClose, platform::kNetCloseIndex, "FD_CLOSE error 0x%04X <%s>"},
};

}  // namespace

namespace orvo {

bool startNetworking() {
  if (gNetworkingStarts.load() == 0 && !platform::startSocketLibrary()) return false;
  ++gNetworkingStarts;
  return true;
}

bool stopNetworking() {
  --gNetworkingStarts;
  return true;
}

int32_t getLastSocketError() {
  const int code = platform::lastSocketError();
  platform::setLastSocketError(0);
  return code;
}

const char* getSocketErrorText(int32_t inCode) {
  // One buffer per thread: the text of one thread's error is never overwritten by another's.
  thread_local char tText[1024];
  std::snprintf(tText, sizeof tText, "%s", platform::socketErrorText(inCode).c_str());
  for (char* c = tText; *c != '\0'; ++c)
    if (*c == '\r' || *c == '\n') *c = ' ';
  return tText;
}

void closeSocket(SocketHandle inSocket) {
  if (inSocket == platform::kNoSocket) return;
  platform::shutdownSending(inSocket);
  platform::closeSocketHandle(inSocket);
}

bool setNonBlocking(SocketHandle inSocket, bool inOn) { return platform::setNonBlocking(inSocket, inOn); }

platform::AddressInfo makeHints(int32_t inProtocol, const kxIPv6& inAddress, int32_t inFamily) {
  platform::AddressInfo hints{};
  switch (inProtocol) {
    case kxNetEndpoint::kProtocolRaw:
      kxAssert(inAddress.isLegal());
      hints.ai_socktype = SOCK_RAW;
      hints.ai_protocol = inAddress.isIPv4() ? int{IPPROTO_ICMP} : int{IPPROTO_ICMPV6};
      break;
    case kxNetEndpoint::kProtocolDatagram:
      hints.ai_socktype = SOCK_DGRAM;
      hints.ai_protocol = IPPROTO_UDP;
      break;
    default:
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_protocol = IPPROTO_TCP;
      break;
  }
  hints.ai_flags = AI_NUMERICHOST;
  if (inFamily != 0)
    hints.ai_family = inFamily;
  else if (inAddress.isIPv4())
    hints.ai_family = AF_INET;
  else if (inAddress.isLegal())
    hints.ai_family = AF_INET6;
  else
    hints.ai_family = AF_UNSPEC;
  return hints;
}

void makeSockAddr(const kxIPv6& inAddress, uint16_t inPort, platform::SocketAddress& outStorage) {
  std::memset(&outStorage, 0, sizeof outStorage);
  if (inAddress.isIPv4()) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(inPort);
    std::memcpy(&address.sin_addr, inAddress.getBytes() + 12, 4);
    std::memcpy(&outStorage, &address, sizeof address);
  } else if (inAddress.isLegal()) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(inPort);
    std::memcpy(&address.sin6_addr, inAddress.getBytes(), 16);
    std::memcpy(&outStorage, &address, sizeof address);
  }
}

void fromSockAddr(const platform::SocketAddress& inStorage, kxIPv6& outAddress, uint16_t& outPort) {
  if (inStorage.ss_family == AF_INET) {
    sockaddr_in address;
    std::memcpy(&address, &inStorage, sizeof address);
    uint8_t bytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(bytes + 12, &address.sin_addr, 4);
    outAddress = kxIPv6(bytes);
    outPort = ntohs(address.sin_port);
  } else if (inStorage.ss_family == AF_INET6) {
    sockaddr_in6 address;
    std::memcpy(&address, &inStorage, sizeof address);
    outAddress = kxIPv6(reinterpret_cast<const uint8_t*>(&address.sin6_addr));
    outPort = ntohs(address.sin6_port);
  } else {
    kxAssert(false);
    outAddress = kxIPv6();
    outPort = 0;
  }
}

}  // namespace orvo

kxIPEndpoint::kxIPEndpoint(kxEvent* inCancelEvent, int32_t inTimeout) : kxNetEndpoint(inCancelEvent, inTimeout) {
  itsSocketEvent = platform::createSocketEvent();
  if (itsSocketEvent == nullptr) throw kxException(kxErr_resFull);
  kxIPEndpoint::setCancelEvent(inCancelEvent);
}

kxIPEndpoint::~kxIPEndpoint() {
  kxIPEndpoint::close();
  platform::destroySocketEvent(itsSocketEvent);
}

void kxIPEndpoint::noteSocketError(SocketHandle inSocket, const char* inFormat) {
  itsLastError = getLastSocketError();
  kxTrace(1, __FILE__, __LINE__, inFormat, socketNumber(inSocket), static_cast<unsigned>(itsLastError),
          getSocketErrorText(itsLastError));
}

bool kxIPEndpoint::isCancelled() {
  if (itsCancelIOEvent.isSet()) {
    itsCancelIOEvent.reset();
    return true;
  }
  return itsCancelEvent != nullptr && itsCancelEvent->isSet();
}

kxErr kxIPEndpoint::cancelIO() {
  itsCancelIOEvent.set();
  return kxErr_noError;
}

bool kxIPEndpoint::setCancelEvent(kxEvent* inCancelEvent) {
  itsCancelEvent = inCancelEvent;
  itsWaitHandles.clear();
  itsWaitHandles.push_back(itsSocketEvent);
  itsCancelIOEvent.getHandles(itsWaitHandles);
  if (inCancelEvent != nullptr) inCancelEvent->getHandles(itsWaitHandles);
  return true;
}

kxErr kxIPEndpoint::connectLocal(const char*) {
  kxAssert(!isOpen());
  kxAssert(false);
  return kxErr_noSupport;
}

kxErr kxIPEndpoint::startListenLocal(const char* inLocalName) {
  kxAssert(!isOpen() && inLocalName && *inLocalName);
  kxAssert(false);
  return kxErr_noSupport;
}

bool kxIPEndpoint::isOpen() { return itsSocket != platform::kNoSocket; }

kxErr kxIPEndpoint::close() {
  flush();
  closeSocket(itsSocket);
  itsSocket = platform::kNoSocket;
  itsStreamSocket = false;
  for (SocketHandle socket : itsListenSockets) closeSocket(socket);
  itsListenSockets.clear();
  return kxErr_noError;
}

bool kxIPEndpoint::setRemoteAddress(const kxIPv6& inAddress) {
  if (itsProtocol == kProtocolStream) return false;
  itsRemoteAddress = inAddress;
  makeSockAddr(inAddress, itsRemotePort, itsRemoteSockAddr);
  return true;
}

void kxIPEndpoint::getLocalAddress(kxIPv6& outAddress) {
  if (isOpen()) {
    platform::SocketAddress local{};
    platform::SocketLength length = sizeof local;
    if (platform::getSocketName(itsSocket, &local, &length) == 0 &&
        (local.ss_family == AF_INET || local.ss_family == AF_INET6)) {
      kxIPv6 address;
      uint16_t port;
      fromSockAddr(local, address, port);
      if (address.isLegal()) {
        outAddress = address;
        return;
      }
    }
  }
  outAddress = itsLocalAddress;
}

void kxIPEndpoint::getLocalAddresses(std::list<kxIPv6>& outAddresses) {
  outAddresses.clear();
  uint32_t addresses[16];
  size_t count = 0;
  if (!platform::ipv4InterfaceAddresses(addresses, 16, &count)) return;
  for (size_t i = 0; i < count; ++i) {
    uint8_t bytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(bytes + 12, &addresses[i], 4);
    const kxIPv6 address(bytes);
    if (address.isLegal()) outAddresses.push_back(address);
  }
}

kxNetEndpoint* kxIPEndpoint::newEndpoint(kxEvent* inCancelEvent, int32_t inTimeout) {
  try {
    return new kxIPEndpoint(inCancelEvent, inTimeout);
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const kxException&) {
    return nullptr;
  }
}

kxErr kxIPEndpoint::setTTL(int32_t inTTL) {
  if (!isOpen()) return kxErr_noConnect;
  const int value = inTTL;
  const bool v4 = itsRemoteSockAddr.ss_family == AF_INET;
  if (platform::setSocketOption(itsSocket, v4 ? IPPROTO_IP : IPPROTO_IPV6, v4 ? IP_TTL : IPV6_UNICAST_HOPS, &value,
                                sizeof value) != 0) {
    itsLastError = getLastSocketError();
    KX_TRACE(1, "kxIPEndpoint::setTTL: error setting socket option; error 0x%04X <%s>",
             static_cast<unsigned>(itsLastError), getSocketErrorText(itsLastError));
    return kxErr_netMiscErr;
  }
  return kxErr_noError;
}

kxErr kxIPEndpoint::getTTL(int16_t* outTTL) {
  if (!isOpen()) return kxErr_noConnect;
  int value = 0;
  platform::SocketLength length = sizeof value;
  const bool v4 = itsRemoteSockAddr.ss_family == AF_INET;
  if (platform::getSocketOption(itsSocket, v4 ? IPPROTO_IP : IPPROTO_IPV6, v4 ? IP_TTL : IPV6_UNICAST_HOPS, &value,
                                &length) != 0) {
    itsLastError = getLastSocketError();
    KX_TRACE(1, "kxIPEndpoint::setTTL: error setting socket option; error 0x%04X <%s>",
             static_cast<unsigned>(itsLastError), getSocketErrorText(itsLastError));
    return kxErr_netMiscErr;
  }
  *outTTL = static_cast<int16_t>(value);
  return kxErr_noError;
}

bool kxIPEndpoint::selectEvents(SocketHandle inSocket, uint32_t inMask) {
  if (platform::selectSocketEvents(inSocket, itsSocketEvent, inMask)) return true;
  noteSocketError(inSocket, "kxIPEndpoint::selectEvents(%lld) failed; error 0x%04X <%s>");
  kxAssert(false);
  return false;
}

kxErr kxIPEndpoint::checkNetworkEvents(const std::vector<SocketHandle>& inSocketVec, int32_t inTimeout) {
  kxAssert(!inSocketVec.empty());
  itsSocketEvents.assign(inSocketVec.size(), 0);
  itsEventMask = 0;
  // WinSock may signal a socket event for an event that a later call took back before it
  // was handed over (a send that would block takes back the FD_WRITE the event shows): a wake
  // with nothing to hand over is waited out, not taken for the end of the time.
  const kxTimer timer;
  int32_t remaining = inTimeout;
  for (;;) {
    const int woken = platform::waitForAny(itsWaitHandles.data(), itsWaitHandles.size(), remaining);
    if (woken == platform::kWaitFailed) return kxErr_netMiscErr;
    if (woken != platform::kWaitTimedOut) {
      if (isCancelled()) return kxErr_userCancelled;
      for (size_t i = 0; i < inSocketVec.size(); ++i) {
        const SocketHandle socket = inSocketVec[i];
        uint32_t bits = 0;
        if (!platform::enumNetworkEvents(socket, itsSocketEvent, itsNetworkEvents)) {
          bits |= kEventEnumFailed;
          noteSocketError(socket, "kxIPEndpoint::checkNetworkEvents(%lld) failed; error 0x%04X <%s>");
          kxAssert(false);
        }
        bits |= itsNetworkEvents.events;
        KX_TRACE(2, "kxIPEndpoint::checkNetworkEvents(%lld) *** ", socketNumber(socket));
        for (const EventKind& kind : kEventKinds) {
          if ((itsNetworkEvents.events & kind.bit) == 0) continue;
          const int code = itsNetworkEvents.errors[kind.index];
          if (code != 0) {
            bits |= kEventError;
            itsLastError = code;
          }
          KX_TRACE(2, kind.text, static_cast<unsigned>(code), code != 0 ? getSocketErrorText(code) : "");
        }
        itsSocketEvents[i] = bits;
        itsEventMask |= bits;
      }
    }
    if (woken == platform::kWaitTimedOut || itsEventMask != 0) break;
    if (inTimeout != -1) {
      const uint32_t elapsed = timer.elapsed();
      if (elapsed >= static_cast<uint32_t>(inTimeout)) break;
      remaining = inTimeout - static_cast<int32_t>(elapsed);
    }
  }
  if ((itsEventMask & platform::kNetClose) != 0) return kxErr_disconnect;
  if ((itsEventMask & (kEventError | kEventEnumFailed)) != 0) return kxErr_netMiscErr;
  if (itsEventMask != 0) return kxErr_noError;
  return kxErr_timeout;
}

kxErr kxIPEndpoint::waitOnSocketEvents(SocketHandle inSocket, uint32_t, int32_t inTimeout) {
  const std::vector<SocketHandle> sockets{inSocket};
  return checkNetworkEvents(sockets, inTimeout);
}

kxErr kxIPEndpoint::connect(const kxIPv6& inAddress, uint16_t inPort) {
  kxAssert(!isOpen());
  itsRemoteAddress = inAddress;
  itsRemotePort = inPort;
  char port[8];
  std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(inPort));
  const std::string host = inAddress.toString(true);
  KX_TRACE(1, "kxIPEndpoint::connect: host %s port %u opening...", host.c_str(), static_cast<unsigned>(inPort));

  platform::AddressInfo hints = makeHints(itsProtocol, inAddress, itsFamily);
  if (itsProtocol == kProtocolRaw) hints.ai_flags |= AI_PASSIVE;
  platform::AddressInfo* results = nullptr;
  if (platform::getAddressInfo(host.c_str(), inPort != 0 ? port : nullptr, &hints, &results) != 0) {
    itsLastError = getLastSocketError();
    KX_TRACE(1, "kxIPEndpoint::connect: error getting address info (0x%04X, <%s>)",
             static_cast<unsigned>(itsLastError), platform::addressInfoErrorText(itsLastError).c_str());
    return kxErr_noConnect;
  }

  for (const platform::AddressInfo* result = results; result != nullptr && !isOpen(); result = result->ai_next) {
    KX_TRACE(1, "kxIPEndpoint::connect testing the waters for port %s, family %s, socket type %s.", port,
             familyText(result->ai_family), socketTypeText(result->ai_socktype));
    if (result->ai_family != AF_INET && result->ai_family != AF_INET6) continue;
    if (itsFamily != 0 && result->ai_family != itsFamily) continue;
    const SocketHandle socket = platform::openSocket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (socket == platform::kNoSocket) {
      itsLastError = getLastSocketError();
      KX_TRACE(1, "kxIPEndpoint::connect: error creating socket (0x%04X, <%s>)", static_cast<unsigned>(itsLastError),
               getSocketErrorText(itsLastError));
      continue;
    }
    if (result->ai_socktype == SOCK_STREAM) {
      selectEvents(socket, platform::kNetConnect);
      if (platform::connectSocket(socket, result->ai_addr, result->ai_addrlen) != 0 &&
          !platform::isConnectPending(platform::lastSocketError())) {
        noteSocketError(socket, "kxIPEndpoint::connect(%lld) failed waiting for connect; error 0x%04X <%s>");
        closeSocket(socket);
        continue;
      }
      KX_TRACE(2, "kxIPEndpoint::connect(%lld) done waiting for connect", socketNumber(socket));
      if (waitOnSocketEvents(socket, platform::kNetConnect, itsTimeout) != kxErr_noError) {
        KX_TRACE(1, "kxIPEndpoint::connect: error waiting on socket (0x%04X, <%s>)",
                 static_cast<unsigned>(itsLastError), getSocketErrorText(itsLastError));
        closeSocket(socket);
        if (isCancelled()) {
          platform::freeAddressInfo(results);
          return kxErr_userCancelled;
        }
        continue;
      }
      KX_TRACE(2, "kxIPEndpoint::connect(%lld) success", socketNumber(socket));
    } else if (result->ai_socktype == SOCK_RAW) {
      makeSockAddr(kxIPv6(), 0, itsBindSockAddr);
      itsBindSockAddr.ss_family = static_cast<decltype(itsBindSockAddr.ss_family)>(result->ai_family);
      if (platform::bindSocket(socket, asSockAddr(itsBindSockAddr), sockAddrLength(itsBindSockAddr)) != 0) {
        noteSocketError(socket, "kxIPEndpoint::connect(%lld) failed binding socket; error 0x%04X <%s>");
        closeSocket(socket);
        continue;
      }
    }
    itsSocket = socket;
    itsStreamSocket = result->ai_socktype == SOCK_STREAM;
    std::memset(&itsRemoteSockAddr, 0, sizeof itsRemoteSockAddr);
    std::memcpy(&itsRemoteSockAddr, result->ai_addr,
                result->ai_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
    selectEvents(socket, platform::kNetRead | platform::kNetWrite | platform::kNetClose);
    KX_TRACE(1, "kxIPEndpoint::connect(%lld) Create succesful on port %s, protocol %s, protocol family %s\n",
             socketNumber(socket), port, socketTypeText(result->ai_socktype), familyText(result->ai_family));
  }
  platform::freeAddressInfo(results);
  if (!isOpen()) {
    KX_TRACE(1, "kxIPEndpoint::connect unable to bind endpoint");
    return kxErr_noConnect;
  }
  return kxErr_noError;
}

kxErr kxIPEndpoint::startListen(uint16_t inPort, const kxIPv6& inLocalAddress) {
  kxAssert(!isOpen());
  itsLocalPort = inPort;
  char port[8];
  std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(inPort));
  const std::string local = inLocalAddress.toString(true);

  platform::AddressInfo hints = makeHints(itsProtocol, inLocalAddress, itsFamily);
  hints.ai_flags |= AI_PASSIVE;
  const char* host = hints.ai_family != AF_UNSPEC && inLocalAddress.isLegal() ? local.c_str() : nullptr;
  platform::AddressInfo* results = nullptr;
  if (platform::getAddressInfo(host, port, &hints, &results) != 0) {
    itsLastError = getLastSocketError();
    KX_TRACE(1, "kxIPEndpoint::startListen: error getting address info (0x%04X, <%s>)",
             static_cast<unsigned>(itsLastError), platform::addressInfoErrorText(itsLastError).c_str());
    return kxErr_noConnect;
  }

  kxErr result = kxErr_netMiscErr;
  for (const platform::AddressInfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    KX_TRACE(1, "kxIPEndpoint::startListen testing the waters for port %s, family %s, socket type %s.", port,
             familyText(entry->ai_family), socketTypeText(entry->ai_socktype));
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    if (itsFamily != 0 && entry->ai_family != itsFamily) continue;
    const SocketHandle socket = platform::openSocket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
    if (socket == platform::kNoSocket) {
      itsLastError = getLastSocketError();
      KX_TRACE(1, "kxIPEndpoint::startListen: error creating socket (0x%04X, <%s>)",
               static_cast<unsigned>(itsLastError), getSocketErrorText(itsLastError));
      result = kxErr_noConnect;
      continue;
    }
    const int on = 1;
    // An IPv6 socket takes only IPv6, as on Windows, so that the IPv4 wildcard on the same
    // port gets a socket of its own.
    if (entry->ai_family == AF_INET6) platform::setSocketOption(socket, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    const bool stream = entry->ai_socktype == SOCK_STREAM;
    if (stream && platform::setSocketOption(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
      noteSocketError(socket, "kxIPEndpoint::startListen(%lld) error setsockopt (0x%04X, <%s>)");
      closeSocket(socket);
      continue;
    }
    if (platform::bindSocket(socket, entry->ai_addr, entry->ai_addrlen) != 0) {
      noteSocketError(socket, "kxIPEndpoint::startListen(%lld) error binding socket (0x%04X, <%s>)");
      closeSocket(socket);
      continue;
    }
    if (stream && platform::listenSocket(socket, 16) != 0) {
      noteSocketError(socket, "kxIPEndpoint::startListen(%lld) error listening (0x%04X, <%s>)");
      closeSocket(socket);
      continue;
    }
    KX_TRACE(1, "kxIPEndpoint::startListen(%lld) Listening started on port %s, protocol %s, protocol family %s\n",
             socketNumber(socket), port, socketTypeText(entry->ai_socktype), familyText(entry->ai_family));
    selectEvents(socket, platform::kNetAccept);
    itsListenSockets.push_back(socket);
  }
  platform::freeAddressInfo(results);
  if (itsListenSockets.empty()) {
    KX_TRACE(1, "kxIPEndpoint::startListen unable to bind endpoint");
    return result;
  }
  return kxErr_noError;
}

kxNetEndpoint* kxIPEndpoint::accept() {
  if (itsListenSockets.empty()) {
    KX_TRACE(1, "kxIPEndpoint::accept error no sockets to listen to...");
    return nullptr;
  }
  const kxErr waited = checkNetworkEvents(itsListenSockets, itsTimeout);
  if (waited != kxErr_noError) {
    KX_TRACE(1, "kxIPEndpoint::accept we had an error while waiting 0x%04X", static_cast<unsigned>(waited));
    return nullptr;
  }
  kxIPEndpoint* accepted = nullptr;
  SocketHandle socket = platform::kNoSocket;
  platform::SocketAddress peer{};
  for (size_t i = 0; i < itsListenSockets.size() && accepted == nullptr; ++i) {
    const uint32_t events = itsSocketEvents[i];
    KX_TRACE(2, "kxIPEndpoint::accept socket[%i] = %lld, events = 0x%04X", static_cast<int>(i),
             socketNumber(itsListenSockets[i]), static_cast<unsigned>(events));
    if ((events & platform::kNetAccept) == 0) {
      if (events != 0)
        KX_TRACE(1, "kxIPEndpoint::accept(%lld) event reported!!!! 0x%04X", socketNumber(itsListenSockets[i]),
                 static_cast<unsigned>(events));
      continue;
    }
    peer = platform::SocketAddress{};
    platform::SocketLength length = sizeof peer;
    socket = platform::acceptSocket(itsListenSockets[i], &peer, &length);
    if (socket == platform::kNoSocket) continue;
    if (itsFamily != 0 && peer.ss_family != itsFamily) {
      KX_TRACE(1, "kxIPEndpoint::accept rejecting connection from protocol %s, incorrect protocol family %s.", "TCP",
               familyText(peer.ss_family));
      closeSocket(socket);
      socket = platform::kNoSocket;
      continue;
    }
    accepted = static_cast<kxIPEndpoint*>(newEndpoint(itsCancelEvent, itsTimeout));
    if (accepted == nullptr) {
      KX_TRACE(1, "kxIPEndpoint::accept(%lld) error creating new socket", socketNumber(itsListenSockets[i]));
      closeSocket(socket);
      socket = platform::kNoSocket;
    }
  }
  if (accepted == nullptr) return nullptr;
  accepted->itsSocket = socket;
  accepted->itsStreamSocket = true;
  accepted->itsRemoteSockAddr = peer;
  fromSockAddr(peer, accepted->itsRemoteAddress, accepted->itsRemotePort);
  accepted->selectEvents(socket, platform::kNetRead | platform::kNetWrite | platform::kNetClose);
  KX_TRACE(1, "kxIPEndpoint::accept(%lld) Accepted connection from port %i, protocol %s, protocol family %s",
           socketNumber(socket), static_cast<int>(accepted->itsRemotePort), "TCP", familyText(peer.ss_family));
  return accepted;
}

kxErr kxIPEndpoint::netRead(char* outData, uint32_t* ioSize) {
  if (!isOpen()) return kxErr_noConnect;
  // Nothing asked for: a receive of 0 bytes would look like the end of a stream.
  if (*ioSize == 0) return kxErr_noError;
  const kxTimer timer;
  // Every round receives first and waits only when the socket would block: what is there
  // (data, the end of the stream, an error) is never left waiting for a network event that
  // was already reported.
  for (;;) {
    long count;
    if (itsProtocol == kProtocolStream) {
      count = platform::receiveSocket(itsSocket, outData, *ioSize);
    } else {
      platform::SocketAddress from{};
      if (itsProtocol == kProtocolRaw) from = itsRemoteSockAddr;
      platform::SocketLength length = sizeof from;
      count = platform::receiveFromSocket(itsSocket, outData, *ioSize, &from, &length);
      if (count > 0 && (from.ss_family == AF_INET || from.ss_family == AF_INET6)) {
        uint16_t port;
        fromSockAddr(from, itsRemoteAddress, port);
      }
    }
    if (count > 0) {
      *ioSize = static_cast<uint32_t>(count);
      KX_TRACE(2, "kxIPEndpoint::netRead(%lld) read %li bytes from %s", socketNumber(itsSocket), count,
               itsRemoteAddress.toString(true).c_str());
      return kxErr_noError;
    }
    if (count < 0 && !platform::isWouldBlock(platform::lastSocketError())) {
      noteSocketError(itsSocket, "kxIPEndpoint::netRead(%lld) failed reading; error 0x%04X <%s>");
      *ioSize = 0;
      return kxErr_disconnect;
    }
    // No byte from a byte stream means the peer has closed it: no more will come.
    if (count == 0 && itsStreamSocket) {
      *ioSize = 0;
      return kxErr_disconnect;
    }
    if (isCancelled()) {
      *ioSize = 0;
      return kxErr_userCancelled;
    }
    int32_t remaining = -1;
    if (itsTimeout != -1) {
      const uint32_t elapsed = timer.elapsed();
      if (elapsed >= static_cast<uint32_t>(itsTimeout)) {
        *ioSize = 0;
        return kxErr_timeout;
      }
      remaining = itsTimeout - static_cast<int32_t>(elapsed);
    }
    KX_TRACE(2, "kxIPEndpoint::netRead(%lld) waiting for; %ld ms", socketNumber(itsSocket),
             static_cast<long>(remaining));
    const kxErr waited = waitOnSocketEvents(itsSocket, platform::kNetRead, remaining);
    if (waited != kxErr_noError) {
      if ((itsEventMask & platform::kNetClose) == 0) {
        *ioSize = 0;
        return waited;
      }
      if ((itsEventMask & platform::kNetRead) == 0) {
        *ioSize = 0;
        return kxErr_disconnect;
      }
    }
  }
}

kxErr kxIPEndpoint::netWrite(const char* inData, uint32_t inSize) {
  if (!isOpen()) return kxErr_noConnect;
  KX_TRACE(2, "kxIPEndpoint::netWrite(%lld) writing %li bytes", socketNumber(itsSocket), static_cast<long>(inSize));
  const kxTimer timer;
  const char* data = inData;
  uint32_t left = inSize;
  while (left > 0) {
    long count = itsProtocol == kProtocolStream
                     ? platform::sendSocket(itsSocket, data, left)
                     : platform::sendToSocket(itsSocket, data, left, asSockAddr(itsRemoteSockAddr),
                                              sockAddrLength(itsRemoteSockAddr));
    if (count < 0) {
      if (!platform::isWouldBlock(platform::lastSocketError())) {
        noteSocketError(itsSocket, "kxIPEndpoint::netWrite(%lld) failed writing; error 0x%04X <%s>");
        return kxErr_disconnect;
      }
      count = 0;
    }
    KX_TRACE(2, "kxIPEndpoint::netWrite Wrote %u bytes", static_cast<unsigned>(count));
    if (static_cast<uint32_t>(count) == left) return kxErr_noError;
    data += count;
    left -= static_cast<uint32_t>(count);
    if (isCancelled()) return kxErr_userCancelled;
    int32_t remaining = -1;
    if (itsTimeout != -1) {
      const uint32_t elapsed = timer.elapsed();
      if (elapsed >= static_cast<uint32_t>(itsTimeout)) return kxErr_timeout;
      remaining = itsTimeout - static_cast<int32_t>(elapsed);
    }
    // Part of it went: the socket took what it could, so send the rest at once (it waits
    // when the socket says it would block).
    if (count > 0) continue;
    const kxErr waited = waitOnSocketEvents(itsSocket, platform::kNetWrite, remaining);
    if (waited != kxErr_noError) return waited;
  }
  return kxErr_noError;
}
