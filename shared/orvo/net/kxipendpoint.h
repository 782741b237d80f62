// kxIPEndpoint: the socket transport of kxNetEndpoint: raw ICMP, UDP and TCP over IPv4 and
// IPv6. A client socket is opened to an address (trying each result of the address lookup
// in turn) or to a host name, whose lookup runs on a kxConnectLookupThread
// (kxconnectlookupthread.h); a server listens on every matching local address and accepts
// one connection per call.
//
// All waiting is event-driven: the endpoint owns one socket event that its sockets signal
// on network activity (kxnetwork.h), and every wait covers that event together with the
// cancel event's handles and the endpoint's own cancel signal, so setting the cancel event,
// or calling cancelIO(), from another thread ends any wait with kxErr_userCancelled. A read
// receives until the socket says it would block before it waits, so nothing that has come
// (data, or the end of the stream) waits on a report. Each step is traced (kxtrace.h) at
// level 1 for failures and state changes, 2 for detail.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "orvo/net/kxnetendpoint.h"
#include "orvo/platform/kxnetwork.h"
#include "orvo/threads/kxsingleevent.h"

class kxIPEndpoint : public kxNetEndpoint {
 public:
  // Network-event bits of the per-socket results beyond the platform's kNet* bits.
  static constexpr uint32_t kEventError = 0x100;      // an event carried an error code
  static constexpr uint32_t kEventEnumFailed = 0x200; // reading the socket's events failed

  // Throws kxException with kxErr_resFull when the socket event cannot be made.
  kxIPEndpoint(kxEvent* inCancelEvent, int32_t inTimeout);
  ~kxIPEndpoint() override;

  kxErr connect(const kxIPv6& inAddress, uint16_t inPort) override;
  // By host name; kxconnectlookupthread.cpp.
  kxErr connect(const char* inHostName, uint16_t inPort) override;
  kxErr connectLocal(const char* inLocalName) override;
  kxErr startListen(uint16_t inPort, const kxIPv6& inLocalAddress) override;
  kxErr startListenLocal(const char* inLocalName) override;
  kxNetEndpoint* accept() override;
  // Flushes (ignoring the result) and closes every socket.
  kxErr close() override;
  bool setRemoteAddress(const kxIPv6& inAddress) override;
  void getLocalAddress(kxIPv6& outAddress) override;
  bool isOpen() override;
  bool setCancelEvent(kxEvent* inCancelEvent) override;
  void getLocalAddresses(std::list<kxIPv6>& outAddresses) override;
  kxNetEndpoint* newEndpoint(kxEvent* inCancelEvent, int32_t inTimeout) override;
  // Callable from any thread: the wait the endpoint is in, or else its next one, ends with
  // kxErr_userCancelled (the operation returns it); later operations go on as usual.
  kxErr cancelIO() override;
  kxErr netWrite(const char* inData, uint32_t inSize) override;
  kxErr netRead(char* outData, uint32_t* ioSize) override;
  // The unicast hop limit of the open socket.
  virtual kxErr setTTL(int32_t inTTL);
  virtual kxErr getTTL(int16_t* outTTL);

  // 0 for any, else AF_INET or AF_INET6; set before opening.
  void setFamily(int32_t inFamily) { itsFamily = inFamily; }
  int32_t getFamily() const { return itsFamily; }
  orvo::platform::SocketHandle getSocket() const { return itsSocket; }
  const std::vector<orvo::platform::SocketHandle>& getListenSockets() const { return itsListenSockets; }
  int32_t getLastError() const { return itsLastError; }
  uint32_t getEventMask() const { return itsEventMask; }

  // Asks for the socket event to be signalled for inMask's events on inSocket (which also
  // makes the socket non-blocking).
  bool selectEvents(orvo::platform::SocketHandle inSocket, uint32_t inMask);
  // Waits for network events on the sockets or the cancel event, at most inTimeout ms.
  kxErr checkNetworkEvents(const std::vector<orvo::platform::SocketHandle>& inSocketVec, int32_t inTimeout);
  // checkNetworkEvents for one socket; the socket's selected mask decides what counts.
  kxErr waitOnSocketEvents(orvo::platform::SocketHandle inSocket, uint32_t inEvents, int32_t inTimeout);

 protected:
  orvo::platform::SocketHandle itsSocket = orvo::platform::kNoSocket;
  int32_t itsFamily = 0;
  std::vector<orvo::platform::SocketHandle> itsListenSockets;
  orvo::platform::SocketAddress itsRemoteSockAddr{};
  orvo::platform::SocketAddress itsBindSockAddr{};
  int32_t itsLastError = 0;
  uint32_t itsEventMask = 0;
  std::vector<uint32_t> itsSocketEvents;
  orvo::platform::NetworkEvents itsNetworkEvents;
  orvo::platform::Waitable* itsSocketEvent = nullptr;
  // Set by cancelIO() until a wait reports it.
  kxSingleEvent itsCancelIOEvent;
  kxEvent::HandleList itsWaitHandles;

 private:
  // Takes itsLastError from the platform and traces inFormat with the socket, the code and
  // its text.
  void noteSocketError(orvo::platform::SocketHandle inSocket, const char* inFormat);
  // Whether the cancel event is set, or cancelIO() was called (which this takes back).
  bool isCancelled();
  // Whether itsSocket carries a byte stream (a stream endpoint's or an accepted socket).
  bool itsStreamSocket = false;
};

// Module operations of the socket transport.

namespace orvo {

// Starts the platform's socket library on the first call; false, without counting, when it
// does not start. stopNetworking() counts down and leaves the library running.
bool startNetworking();
bool stopNetworking();
// The platform's last socket error, cleared to 0.
int32_t getLastSocketError();
// The platform's message for inCode on one line, in a buffer of the calling thread.
const char* getSocketErrorText(int32_t inCode);
// Shuts the sending side down, then closes; kNoSocket is ignored.
void closeSocket(orvo::platform::SocketHandle inSocket);
bool setNonBlocking(orvo::platform::SocketHandle inSocket, bool inOn);
// Address-lookup hints for a protocol kind, an address and a family preference; the host
// text is never looked up by name.
orvo::platform::AddressInfo makeHints(int32_t inProtocol, const kxIPv6& inAddress, int32_t inFamily);
// The socket address of an address and port; all zero for an address that is not legal.
void makeSockAddr(const kxIPv6& inAddress, uint16_t inPort, orvo::platform::SocketAddress& outStorage);
void fromSockAddr(const orvo::platform::SocketAddress& inStorage, kxIPv6& outAddress, uint16_t& outPort);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::startNetworking;
using orvo::stopNetworking;
using orvo::getLastSocketError;
using orvo::getSocketErrorText;
using orvo::closeSocket;
using orvo::setNonBlocking;
using orvo::makeHints;
using orvo::makeSockAddr;
using orvo::fromSockAddr;
#endif
