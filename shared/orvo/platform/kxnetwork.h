// The socket service of the network endpoints: Berkeley socket calls with one error
// convention, address lookup, the IPv4 interface list, and socket event selection.
//
// WinSock 2 on Windows: every call here is its WS2_32 namesake (socket, connect, send with
// flags 0, ...), lastSocketError() is WSAGetLastError(), a socket event is a WSACreateEvent()
// event given to WSAEventSelect(), and enumNetworkEvents() is WSAEnumNetworkEvents(). POSIX
// here: the calls are the system's, sends never raise SIGPIPE, new sockets do not leak into
// child processes, and socket events are emulated (see below).
//
// Socket events. selectSocketEvents() ties a socket to a socket event for a mask of network
// events (the kNet* bits) and puts it in non-blocking mode. When one of them happens the
// event is recorded for the socket and the socket event is signalled; waitForAny()
// (kxwait.h) takes socket events beside manual-reset events and thread ends.
// enumNetworkEvents() hands over and clears what was recorded for one socket and clears the
// socket event. As with WinSock, each kind is recorded once and then again only after the
// call that re-enables it:
//   read, out-of-band: receiveSocket() / receiveFromSocket();
//   write:             a send that would have blocked;
//   accept:            reported again as long as connections wait (WinSock: acceptSocket());
//   connect, close:    once per connection.
// So a wait for one kind is not woken again and again by another kind that is still ready.
// On POSIX the events are found by the waits themselves, with poll(): a socket event is
// signalled only while some thread waits on it (or once that wait has found something);
// connect completion comes from SO_ERROR, a close from POLLRDHUP, POLLHUP or a zero-byte
// peek. Only one thread waits on a socket event at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "orvo/platform/kxsocket.h"
#include "orvo/platform/kxwait.h"

namespace orvo::platform {

#ifdef _WIN32
using SocketLength = int;
#else
using SocketLength = socklen_t;
#endif
using AddressInfo = addrinfo;
using SocketAddress = sockaddr_storage;  // 128 bytes on both systems

// WSAStartup (version 2.0) on Windows; nothing to do here. Both report success with true.
bool startSocketLibrary();

// The calling thread's last socket error (errno, WSAGetLastError), and setting it.
int lastSocketError();
void setLastSocketError(int inCode);
// The system's message for a socket error code, on one line.
std::string socketErrorText(int inCode);
// The error of a non-blocking call that would have blocked (EAGAIN, WSAEWOULDBLOCK).
bool isWouldBlock(int inCode);
// The error of a non-blocking connect that is under way (EINPROGRESS, WSAEWOULDBLOCK).
bool isConnectPending(int inCode);

// Each returns kNoSocket or -1 on failure, with the error in lastSocketError().
SocketHandle openSocket(int inFamily, int inType, int inProtocol);
// Closes the socket; it also leaves its socket event. kNoSocket is ignored.
void closeSocketHandle(SocketHandle inSocket);
int shutdownSending(SocketHandle inSocket);
bool setNonBlocking(SocketHandle inSocket, bool inOn);
int setSocketOption(SocketHandle inSocket, int inLevel, int inName, const void* inValue, SocketLength inLength);
int getSocketOption(SocketHandle inSocket, int inLevel, int inName, void* outValue, SocketLength* ioLength);
int bindSocket(SocketHandle inSocket, const sockaddr* inAddress, SocketLength inLength);
int listenSocket(SocketHandle inSocket, int inBacklog);
int connectSocket(SocketHandle inSocket, const sockaddr* inAddress, SocketLength inLength);
SocketHandle acceptSocket(SocketHandle inSocket, SocketAddress* outPeer, SocketLength* ioLength);
int getSocketName(SocketHandle inSocket, SocketAddress* outAddress, SocketLength* ioLength);
// Counts of bytes, or -1.
long sendSocket(SocketHandle inSocket, const void* inData, size_t inSize);
long sendToSocket(SocketHandle inSocket, const void* inData, size_t inSize, const sockaddr* inTo, SocketLength inLength);
long receiveSocket(SocketHandle inSocket, void* outData, size_t inSize);
// ioFrom keeps what it held when the system gives no address (a connected stream socket). A
// datagram longer than inSize is an error (EMSGSIZE, WSAEMSGSIZE), not a shortened datagram.
long receiveFromSocket(SocketHandle inSocket, void* outData, size_t inSize, SocketAddress* ioFrom,
                       SocketLength* ioLength);

// getaddrinfo, freeaddrinfo, getnameinfo. The lookup's result code (0 for success) is
// returned and becomes the last socket error; addressInfoErrorText() gives its text.
int getAddressInfo(const char* inHost, const char* inService, const AddressInfo* inHints, AddressInfo** outList);
void freeAddressInfo(AddressInfo* inList);
int getNameInfo(const sockaddr* inAddress, SocketLength inLength, char* outHost, size_t inHostSize, char* outService,
                size_t inServiceSize, int inFlags);
std::string addressInfoErrorText(int inCode);

// The IPv4 addresses (network byte order) of at most inMax interfaces that are up, asked
// through a temporary IPv4 socket (SIOCGIFCONF, SIO_GET_INTERFACE_LIST); false on failure.
bool ipv4InterfaceAddresses(uint32_t* outAddresses, size_t inMax, size_t* outCount);

// Network events (the FD_* values) and the index of each kind's error code.
inline constexpr uint32_t kNetRead = 0x01;
inline constexpr uint32_t kNetWrite = 0x02;
inline constexpr uint32_t kNetOutOfBand = 0x04;
inline constexpr uint32_t kNetAccept = 0x08;
inline constexpr uint32_t kNetConnect = 0x10;
inline constexpr uint32_t kNetClose = 0x20;
inline constexpr size_t kNetReadIndex = 0, kNetWriteIndex = 1, kNetOutOfBandIndex = 2, kNetAcceptIndex = 3,
                        kNetConnectIndex = 4, kNetCloseIndex = 5, kNetEventKinds = 6;

// WSANETWORKEVENTS.
struct NetworkEvents {
  uint32_t events = 0;
  int errors[kNetEventKinds] = {};
};

// A new socket event, clear; null when the system has no room for one.
Waitable* createSocketEvent();
// Releases a socket event; its sockets leave it. Null is ignored.
void destroySocketEvent(Waitable* inEvent);
// Records inMask's events of inSocket on inEvent from now on, in place of whatever the
// socket was selected for before (a mask of 0 ends the selection); non-blocking mode on.
bool selectSocketEvents(SocketHandle inSocket, Waitable* inEvent, uint32_t inMask);
// Hands over the events recorded for inSocket since the last call and clears the event.
bool enumNetworkEvents(SocketHandle inSocket, Waitable* inEvent, NetworkEvents& outEvents);

}  // namespace orvo::platform
