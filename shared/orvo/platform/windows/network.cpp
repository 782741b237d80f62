// The socket service on WinSock 2: the calls are their WS2_32 namesakes, a socket event is a
// WSACreateEvent() event tied to sockets by WSAEventSelect(), and enumNetworkEvents() is
// WSAEnumNetworkEvents(). WinSock records, re-enables and reports the network events itself.
//
// A table of the sockets tied to each socket event lets destroySocketEvent() take its
// sockets off it first: WinSock would otherwise go on signalling the closed handle, or
// whatever object is given that handle value next.
//
// Accept is reported for as long as connections wait, as on the other systems: WinSock
// records FD_ACCEPT again only after an accept() on the same socket, so a connection on the
// second of two listening sockets, whose report went unanswered while the first one's
// connection was taken, would never be reported again.
#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "orvo/platform/kxnetwork.h"
#include "orvo/platform/windows/win32.h"

static_assert(orvo::platform::kNetRead == FD_READ && orvo::platform::kNetWrite == FD_WRITE &&
              orvo::platform::kNetOutOfBand == FD_OOB && orvo::platform::kNetAccept == FD_ACCEPT &&
              orvo::platform::kNetConnect == FD_CONNECT && orvo::platform::kNetClose == FD_CLOSE);
static_assert(orvo::platform::kNetReadIndex == FD_READ_BIT && orvo::platform::kNetWriteIndex == FD_WRITE_BIT &&
              orvo::platform::kNetOutOfBandIndex == FD_OOB_BIT && orvo::platform::kNetAcceptIndex == FD_ACCEPT_BIT &&
              orvo::platform::kNetConnectIndex == FD_CONNECT_BIT && orvo::platform::kNetCloseIndex == FD_CLOSE_BIT);
static_assert(sizeof(orvo::platform::SocketHandle) == sizeof(SOCKET));

namespace orvo::platform {
namespace {

HANDLE handleOf(Waitable* inWaitable) { return reinterpret_cast<HANDLE>(inWaitable); }

// One call's byte count as WinSock takes it (an int).
int chunk(size_t inSize) { return static_cast<int>(std::min<size_t>(inSize, INT_MAX)); }

struct SelectionTable {
  std::mutex itsLock;
  struct Selection {
    HANDLE event;
    uint32_t mask;
  };
  std::unordered_map<SocketHandle, Selection> itsEvents;  // guarded by itsLock
};

SelectionTable& selectionTable() {
  static SelectionTable* const table = new SelectionTable;  // lives to process exit
  return *table;
}

void forgetSocket(SocketHandle inSocket) {
  SelectionTable& table = selectionTable();
  std::lock_guard<std::mutex> hold(table.itsLock);
  table.itsEvents.erase(inSocket);
}

// True when a connection waits on the listening socket inSocket.
bool connectionWaits(SocketHandle inSocket) {
  BOOL listening = FALSE;
  int length = sizeof listening;
  if (::getsockopt(inSocket, SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening), &length) != 0 ||
      !listening)
    return false;
  fd_set waiting;
  FD_ZERO(&waiting);
  FD_SET(inSocket, &waiting);
  timeval now{0, 0};
  return ::select(0, &waiting, nullptr, nullptr, &now) == 1;
}

}  // namespace

bool startSocketLibrary() { return windows::startWinsock(); }

int lastSocketError() { return WSAGetLastError(); }
void setLastSocketError(int inCode) { WSASetLastError(inCode); }

std::string socketErrorText(int inCode) {
  std::string text = windows::formatSystemMessage(static_cast<DWORD>(inCode));
  // Some of the system's texts run over several lines.
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

bool isWouldBlock(int inCode) { return inCode == WSAEWOULDBLOCK; }
bool isConnectPending(int inCode) { return inCode == WSAEWOULDBLOCK; }

// The calls that come first on a socket, a lookup or the interface list start WinSock
// themselves, so that callers need not (it fails them with WSANOTINITIALISED otherwise).
// Sockets are made uninheritable as they are made: a process that another thread starts in
// between must not get them.
SocketHandle openSocket(int inFamily, int inType, int inProtocol) {
  windows::startWinsock();
  const SOCKET socket =
      ::WSASocketW(inFamily, inType, inProtocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  return socket == INVALID_SOCKET ? kNoSocket : socket;
}

void closeSocketHandle(SocketHandle inSocket) {
  if (inSocket == kNoSocket) return;
  forgetSocket(inSocket);
  ::closesocket(inSocket);
}

int shutdownSending(SocketHandle inSocket) { return ::shutdown(inSocket, SD_SEND); }

bool setNonBlocking(SocketHandle inSocket, bool inOn) {
  u_long on = inOn ? 1 : 0;
  return ::ioctlsocket(inSocket, FIONBIO, &on) == 0;
}

int setSocketOption(SocketHandle inSocket, int inLevel, int inName, const void* inValue, SocketLength inLength) {
  // SO_REUSEADDR asks for a port whose old connections linger, which WinSock grants anyway;
  // on WinSock it would also let another socket bind the same port and take its connections.
  // Such a socket takes the port for itself instead.
  if (inLevel == SOL_SOCKET && inName == SO_REUSEADDR && inValue != nullptr &&
      inLength >= static_cast<SocketLength>(sizeof(int))) {
    int asked;
    std::memcpy(&asked, inValue, sizeof asked);
    if (asked != 0) {
      const int exclusive = 1;
      return ::setsockopt(inSocket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                          sizeof exclusive);
    }
  }
  return ::setsockopt(inSocket, inLevel, inName, static_cast<const char*>(inValue), inLength);
}

int getSocketOption(SocketHandle inSocket, int inLevel, int inName, void* outValue, SocketLength* ioLength) {
  return ::getsockopt(inSocket, inLevel, inName, static_cast<char*>(outValue), ioLength);
}

int bindSocket(SocketHandle inSocket, const sockaddr* inAddress, SocketLength inLength) {
  return ::bind(inSocket, inAddress, inLength);
}

int listenSocket(SocketHandle inSocket, int inBacklog) { return ::listen(inSocket, inBacklog); }

int connectSocket(SocketHandle inSocket, const sockaddr* inAddress, SocketLength inLength) {
  return ::connect(inSocket, inAddress, inLength);
}

// accept() offers no flag: the socket it gives is not inheritable here (as its listener is not)
// on the systems we know, and is made so once more where a provider would do otherwise.
SocketHandle acceptSocket(SocketHandle inSocket, SocketAddress* outPeer, SocketLength* ioLength) {
  const SOCKET accepted = ::accept(inSocket, reinterpret_cast<sockaddr*>(outPeer), ioLength);
  if (accepted == INVALID_SOCKET) return kNoSocket;
  const int saved = WSAGetLastError();
  SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
  WSASetLastError(saved);
  return accepted;
}

int getSocketName(SocketHandle inSocket, SocketAddress* outAddress, SocketLength* ioLength) {
  return ::getsockname(inSocket, reinterpret_cast<sockaddr*>(outAddress), ioLength);
}

long sendSocket(SocketHandle inSocket, const void* inData, size_t inSize) {
  return ::send(inSocket, static_cast<const char*>(inData), chunk(inSize), 0);
}

long sendToSocket(SocketHandle inSocket, const void* inData, size_t inSize, const sockaddr* inTo,
                  SocketLength inLength) {
  return ::sendto(inSocket, static_cast<const char*>(inData), chunk(inSize), 0, inTo, inLength);
}

long receiveSocket(SocketHandle inSocket, void* outData, size_t inSize) {
  return ::recv(inSocket, static_cast<char*>(outData), chunk(inSize), 0);
}

long receiveFromSocket(SocketHandle inSocket, void* outData, size_t inSize, SocketAddress* ioFrom,
                       SocketLength* ioLength) {
  // WinSock fails a datagram longer than the buffer with WSAEMSGSIZE itself. On a connected
  // stream socket it leaves the address alone: the family stays unspecified then.
  SocketAddress from{};
  from.ss_family = AF_UNSPEC;
  int length = sizeof from;
  const int count =
      ::recvfrom(inSocket, static_cast<char*>(outData), chunk(inSize), 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (count >= 0 && from.ss_family != AF_UNSPEC && length > 0 && ioFrom != nullptr) {
    std::memset(ioFrom, 0, sizeof *ioFrom);
    std::memcpy(ioFrom, &from, std::min<size_t>(static_cast<size_t>(length), sizeof *ioFrom));
    if (ioLength != nullptr) *ioLength = length;
  }
  return count;
}

int getAddressInfo(const char* inHost, const char* inService, const AddressInfo* inHints, AddressInfo** outList) {
  *outList = nullptr;
  windows::startWinsock();
  const int code = ::getaddrinfo(inHost, inService, inHints, outList);
  WSASetLastError(code);
  return code;
}

void freeAddressInfo(AddressInfo* inList) {
  if (inList != nullptr) ::freeaddrinfo(inList);
}

int getNameInfo(const sockaddr* inAddress, SocketLength inLength, char* outHost, size_t inHostSize, char* outService,
                size_t inServiceSize, int inFlags) {
  windows::startWinsock();
  const int code = ::getnameinfo(inAddress, inLength, outHost, static_cast<DWORD>(inHostSize), outService,
                                 static_cast<DWORD>(inServiceSize), inFlags);
  WSASetLastError(code);
  return code;
}

// getaddrinfo's codes are WinSock error codes (EAI_NONAME is WSAHOST_NOT_FOUND, ...).
std::string addressInfoErrorText(int inCode) { return socketErrorText(inCode); }

bool ipv4InterfaceAddresses(uint32_t* outAddresses, size_t inMax, size_t* outCount) {
  *outCount = 0;
  windows::startWinsock();
  const SOCKET probe = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (probe == INVALID_SOCKET) return false;
  INTERFACE_INFO interfaces[16];
  DWORD returned = 0;
  const int result =
      ::WSAIoctl(probe, SIO_GET_INTERFACE_LIST, nullptr, 0, interfaces, sizeof interfaces, &returned, nullptr, nullptr);
  const int saved = WSAGetLastError();
  ::closesocket(probe);
  if (result != 0) {
    WSASetLastError(saved);
    return false;
  }
  const size_t listed = std::min<size_t>(returned / sizeof(INTERFACE_INFO), 16);
  for (size_t i = 0; i < listed && *outCount < inMax; ++i) {
    if ((interfaces[i].iiFlags & IFF_UP) == 0 || interfaces[i].iiAddress.Address.sa_family != AF_INET) continue;
    outAddresses[(*outCount)++] = interfaces[i].iiAddress.AddressIn.sin_addr.s_addr;
  }
  return true;
}

Waitable* createSocketEvent() {
  const WSAEVENT event = WSACreateEvent();
  return event == WSA_INVALID_EVENT ? nullptr : reinterpret_cast<Waitable*>(event);
}

void destroySocketEvent(Waitable* inEvent) {
  if (inEvent == nullptr) return;
  {
    SelectionTable& table = selectionTable();
    std::lock_guard<std::mutex> hold(table.itsLock);
    for (auto entry = table.itsEvents.begin(); entry != table.itsEvents.end();) {
      if (entry->second.event == handleOf(inEvent)) {
        ::WSAEventSelect(entry->first, nullptr, 0);
        entry = table.itsEvents.erase(entry);
      } else {
        ++entry;
      }
    }
  }
  WSACloseEvent(handleOf(inEvent));
}

bool selectSocketEvents(SocketHandle inSocket, Waitable* inEvent, uint32_t inMask) {
  if (inEvent == nullptr || inSocket == kNoSocket) {
    WSASetLastError(WSAEINVAL);
    return false;
  }
  SelectionTable& table = selectionTable();
  std::lock_guard<std::mutex> hold(table.itsLock);
  // A mask of 0 ends the selection; the socket stays non-blocking, as WinSock leaves it.
  if (::WSAEventSelect(inSocket, handleOf(inEvent), static_cast<long>(inMask)) != 0) return false;
  if (inMask == 0 && !setNonBlocking(inSocket, true)) return false;
  if (inMask == 0)
    table.itsEvents.erase(inSocket);
  else
    table.itsEvents[inSocket] = SelectionTable::Selection{handleOf(inEvent), inMask};
  return true;
}

bool enumNetworkEvents(SocketHandle inSocket, Waitable* inEvent, NetworkEvents& outEvents) {
  outEvents = NetworkEvents{};
  if (inEvent == nullptr) {
    WSASetLastError(WSAEINVAL);
    return false;
  }
  WSANETWORKEVENTS events{};
  if (::WSAEnumNetworkEvents(inSocket, handleOf(inEvent), &events) != 0) return false;
  outEvents.events = static_cast<uint32_t>(events.lNetworkEvents) &
                     (kNetRead | kNetWrite | kNetOutOfBand | kNetAccept | kNetConnect | kNetClose);
  for (size_t i = 0; i < kNetEventKinds; ++i) outEvents.errors[i] = events.iErrorCode[i];
  uint32_t mask = 0;
  {
    SelectionTable& table = selectionTable();
    std::lock_guard<std::mutex> hold(table.itsLock);
    const auto found = table.itsEvents.find(inSocket);
    if (found != table.itsEvents.end() && found->second.event == handleOf(inEvent)) mask = found->second.mask;
  }
  if ((mask & kNetAccept) != 0 && connectionWaits(inSocket)) {
    if ((outEvents.events & kNetAccept) == 0) {
      outEvents.events |= kNetAccept;
      outEvents.errors[kNetAcceptIndex] = 0;
    }
    // Still there after this report: the next wait is woken for it.
    WSASetEvent(handleOf(inEvent));
  }
  return true;
}

}  // namespace orvo::platform
