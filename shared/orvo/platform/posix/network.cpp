// The socket service on POSIX, and the emulation of WinSock's socket events.
//
// A socket event keeps one Selection per socket tied to it: the mask asked for, the kinds
// that may be recorded now ("armed"), what was recorded and not yet handed over, and where
// the connection stands (connect under way, end of stream seen, hung up). A process-wide
// table maps each selected socket to its socket event, so that the socket calls can re-arm
// the kinds they re-enable.
//
// Locks: the table's lock before a socket event's own (Waitable::mutex()); a socket event's
// selections are read and written under its lock. Recording happens on the waiting thread,
// in waitWithSockets(): it polls every selected socket for its armed kinds, and for what it
// finds records the events under the socket event's lock and signals it.
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "orvo/platform/kxnetwork.h"
#include "orvo/platform/posix/waitable.h"

namespace orvo::platform {
namespace {

struct Selection {
  SocketHandle socket = kNoSocket;
  int type = 0;                // SOCK_STREAM, SOCK_DGRAM, SOCK_RAW
  uint32_t mask = 0;
  uint32_t armed = 0;
  bool connecting = false;     // a connect is under way
  bool endOfStream = false;    // the peer sent its last byte
  bool hungUp = false;         // nothing more will happen on the socket
  NetworkEvents recorded;
};

class SocketEvent : public Waitable {
 public:
  SocketEvent() : Waitable(Kind::socketEvent) {}
  // Called with mutex() held.
  std::vector<Selection> itsSelections;
  Selection* find(SocketHandle inSocket) {
    for (Selection& selection : itsSelections)
      if (selection.socket == inSocket) return &selection;
    return nullptr;
  }
};

struct SelectionTable {
  std::mutex itsLock;
  std::unordered_map<SocketHandle, SocketEvent*> itsEvents;  // guarded by itsLock
};

SelectionTable& selectionTable() {
  static SelectionTable* const table = new SelectionTable;  // lives to process exit
  return *table;
}

SocketEvent* asSocketEvent(Waitable* inWaitable) {
  if (inWaitable == nullptr || inWaitable->kind() != Waitable::Kind::socketEvent) return nullptr;
  return static_cast<SocketEvent*>(inWaitable);
}

// Applies inChange to inSocket's selection, if it has one.
template <typename Change>
void changeSelection(SocketHandle inSocket, Change inChange) {
  SelectionTable& table = selectionTable();
  std::lock_guard<std::mutex> holdTable(table.itsLock);
  const auto found = table.itsEvents.find(inSocket);
  if (found == table.itsEvents.end()) return;
  std::lock_guard<std::mutex> holdEvent(found->second->mutex());
  if (Selection* selection = found->second->find(inSocket)) inChange(*selection);
}

// Removes inSocket from its socket event; called with the table's lock held.
void unselectLocked(SelectionTable& inTable, SocketHandle inSocket) {
  const auto found = inTable.itsEvents.find(inSocket);
  if (found == inTable.itsEvents.end()) return;
  SocketEvent* const event = found->second;
  inTable.itsEvents.erase(found);
  bool anyRecorded = false;
  {
    std::lock_guard<std::mutex> hold(event->mutex());
    auto& selections = event->itsSelections;
    selections.erase(std::remove_if(selections.begin(), selections.end(),
                                    [&](const Selection& inSelection) { return inSelection.socket == inSocket; }),
                     selections.end());
    for (const Selection& selection : selections) anyRecorded = anyRecorded || selection.recorded.events != 0;
  }
  // What the socket had recorded goes with it and must not wake a later wait.
  if (!anyRecorded) event->reset();
}

int pendingSocketError(SocketHandle inSocket) {
  int code = 0;
  socklen_t length = sizeof code;
  if (::getsockopt(inSocket, SOL_SOCKET, SO_ERROR, &code, &length) != 0) return errno;
  return code;
}

void record(Selection& ioSelection, uint32_t inKind, size_t inIndex, int inError) {
  if ((ioSelection.mask & ioSelection.armed & inKind) == 0) return;
  ioSelection.armed &= ~inKind;
  ioSelection.recorded.events |= inKind;
  ioSelection.recorded.errors[inIndex] = inError;
}

// What poll() is to watch for a selection; 0 leaves the socket out.
short pollInterest(const Selection& inSelection) {
  if (inSelection.hungUp) return 0;
  const uint32_t wanted = inSelection.mask & inSelection.armed;
  short events = 0;
  if (inSelection.connecting) return (wanted & kNetConnect) != 0 ? POLLOUT : 0;
  if (!inSelection.endOfStream) {
    // Data that was reported and not yet received must not wake the wait again: POLLIN only
    // while a read may be reported, and the end of the stream alone through POLLRDHUP.
    if ((wanted & (kNetRead | kNetAccept)) != 0) events |= POLLIN;
    if ((wanted & kNetClose) != 0 && inSelection.type == SOCK_STREAM) events |= POLLRDHUP;
  }
  if ((wanted & kNetOutOfBand) != 0) events |= POLLPRI;
  if ((wanted & kNetWrite) != 0) events |= POLLOUT;
  return events;
}

// Turns what poll() reported for a selection into recorded events. Called with the socket
// event's lock held.
void recordReadiness(Selection& ioSelection, short inReady) {
  if (ioSelection.connecting) {
    const int code = pendingSocketError(ioSelection.socket);
    ioSelection.connecting = false;
    record(ioSelection, kNetConnect, kNetConnectIndex, code);
    if (code != 0) ioSelection.hungUp = true;
    return;
  }
  if ((ioSelection.mask & kNetAccept) != 0) {
    if ((inReady & (POLLIN | POLLERR)) != 0) record(ioSelection, kNetAccept, kNetAcceptIndex, 0);
    // Reported for as long as connections wait: one accept call takes one connection, and
    // a listening socket whose report went unanswered must not lose the ones it holds.
    ioSelection.armed |= kNetAccept;
    return;
  }
  if (ioSelection.type != SOCK_STREAM) {
    if ((inReady & POLLERR) != 0)
      record(ioSelection, kNetRead, kNetReadIndex, pendingSocketError(ioSelection.socket));
    else if ((inReady & POLLIN) != 0)
      record(ioSelection, kNetRead, kNetReadIndex, 0);
    if ((inReady & POLLOUT) != 0) record(ioSelection, kNetWrite, kNetWriteIndex, 0);
    return;
  }
  if ((inReady & POLLERR) != 0) {
    const int code = pendingSocketError(ioSelection.socket);
    ioSelection.hungUp = true;
    record(ioSelection, kNetClose, kNetCloseIndex, code != 0 ? code : ECONNRESET);
    return;
  }
  if ((inReady & POLLIN) != 0 && (inReady & (POLLRDHUP | POLLHUP)) == 0) {
    // Readable and not at the end: there is data.
    record(ioSelection, kNetRead, kNetReadIndex, 0);
  } else if ((inReady & (POLLIN | POLLRDHUP | POLLHUP)) != 0 && !ioSelection.endOfStream) {
    // At the end of the stream; a peek tells whether data is left before it.
    char byte;
    const ssize_t count = ::recv(ioSelection.socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (count > 0) record(ioSelection, kNetRead, kNetReadIndex, 0);
    if (count == 0 || (count > 0 && (inReady & (POLLRDHUP | POLLHUP)) != 0)) {
      ioSelection.endOfStream = true;
      record(ioSelection, kNetClose, kNetCloseIndex, 0);
    } else if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      ioSelection.hungUp = true;
      record(ioSelection, kNetClose, kNetCloseIndex, errno);
    }
  }
  if ((inReady & POLLHUP) != 0) {
    ioSelection.hungUp = true;
    record(ioSelection, kNetClose, kNetCloseIndex, 0);
  }
  if ((inReady & POLLPRI) != 0) record(ioSelection, kNetOutOfBand, kNetOutOfBandIndex, 0);
  if ((inReady & POLLOUT) != 0 && !ioSelection.hungUp) record(ioSelection, kNetWrite, kNetWriteIndex, 0);
}

// Closes the calling thread's wake descriptor when the thread ends.
struct WakeDescriptor {
  int itsDescriptor = -1;
  ~WakeDescriptor() {
    if (itsDescriptor >= 0) ::close(itsDescriptor);
  }
};

}  // namespace

namespace posix {

int socketWaitWakeDescriptor() {
  thread_local WakeDescriptor tWake;
  if (tWake.itsDescriptor < 0) tWake.itsDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return tWake.itsDescriptor;
}

bool waitWithSockets(Waiter& inWaiter, int inWakeDescriptor, Waitable* const* inWaitables, size_t inCount,
                     const std::optional<Clock::time_point>& inDeadline) {
  std::vector<pollfd> fds;
  std::vector<SocketEvent*> owners;
  for (;;) {
    fds.assign(1, pollfd{inWakeDescriptor, POLLIN, 0});
    owners.assign(1, nullptr);
    for (size_t i = 0; i < inCount; ++i) {
      SocketEvent* const event = asSocketEvent(inWaitables[i]);
      if (event == nullptr || std::find(owners.begin(), owners.end(), event) != owners.end()) continue;
      std::lock_guard<std::mutex> hold(event->mutex());
      for (const Selection& selection : event->itsSelections) {
        const short interest = pollInterest(selection);
        fds.push_back(pollfd{interest != 0 ? selection.socket : -1, interest, 0});
        owners.push_back(event);
      }
    }
    const int ready = ::poll(fds.data(), fds.size(), millisecondsLeft(inDeadline));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && fds[0].revents != 0) {
      // Emptied only when it has something: a wake may be left over from an earlier wait
      // whose source fired just as that wait ended.
      uint64_t count;
      [[maybe_unused]] const ssize_t got = ::read(inWakeDescriptor, &count, sizeof count);
    }
    if (inWaiter.firedBy() != nullptr) return true;
    bool signalled = false;
    for (size_t i = 1; ready > 0 && i < fds.size(); ++i) {
      if (fds[i].revents == 0 || fds[i].fd < 0) continue;
      SocketEvent* const event = owners[i];
      bool found = false;
      {
        std::lock_guard<std::mutex> hold(event->mutex());
        if (Selection* selection = event->find(fds[i].fd)) {
          recordReadiness(*selection, fds[i].revents);
          found = selection->recorded.events != 0;
        }
      }
      if (found) {
        event->set();
        signalled = true;
      }
    }
    if (signalled || (inDeadline && millisecondsLeft(inDeadline) == 0)) return true;
  }
}

}  // namespace posix

bool startSocketLibrary() { return true; }

int lastSocketError() { return errno; }
void setLastSocketError(int inCode) { errno = inCode; }

std::string socketErrorText(int inCode) {
  char buffer[256];
  // The GNU strerror_r gives a text that may or may not be in buffer.
  const char* text = ::strerror_r(inCode, buffer, sizeof buffer);
  return text != nullptr ? text : "";
}

bool isWouldBlock(int inCode) { return inCode == EAGAIN || inCode == EWOULDBLOCK; }
bool isConnectPending(int inCode) { return inCode == EINPROGRESS; }

SocketHandle openSocket(int inFamily, int inType, int inProtocol) {
  return ::socket(inFamily, inType | SOCK_CLOEXEC, inProtocol);
}

void closeSocketHandle(SocketHandle inSocket) {
  if (inSocket == kNoSocket) return;
  {
    SelectionTable& table = selectionTable();
    std::lock_guard<std::mutex> hold(table.itsLock);
    unselectLocked(table, inSocket);
  }
  ::close(inSocket);
}

int shutdownSending(SocketHandle inSocket) { return ::shutdown(inSocket, SHUT_WR); }

bool setNonBlocking(SocketHandle inSocket, bool inOn) {
  const int flags = ::fcntl(inSocket, F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(inSocket, F_SETFL, inOn ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

int setSocketOption(SocketHandle inSocket, int inLevel, int inName, const void* inValue, SocketLength inLength) {
  return ::setsockopt(inSocket, inLevel, inName, inValue, inLength);
}

int getSocketOption(SocketHandle inSocket, int inLevel, int inName, void* outValue, SocketLength* ioLength) {
  return ::getsockopt(inSocket, inLevel, inName, outValue, ioLength);
}

int bindSocket(SocketHandle inSocket, const sockaddr* inAddress, SocketLength inLength) {
  return ::bind(inSocket, inAddress, inLength);
}

int listenSocket(SocketHandle inSocket, int inBacklog) { return ::listen(inSocket, inBacklog); }

int connectSocket(SocketHandle inSocket, const sockaddr* inAddress, SocketLength inLength) {
  changeSelection(inSocket, [](Selection& ioSelection) {
    ioSelection.connecting = true;
    ioSelection.armed |= kNetConnect;
  });
  int result;
  do {
    result = ::connect(inSocket, inAddress, inLength);
  } while (result != 0 && errno == EINTR);
  if (result == 0 || errno != EINPROGRESS) {
    const int saved = errno;
    // Done at once: the connect event is recorded by the next wait all the same.
    changeSelection(inSocket, [](Selection& ioSelection) { ioSelection.armed |= kNetConnect; });
    errno = saved;
  }
  return result;
}

SocketHandle acceptSocket(SocketHandle inSocket, SocketAddress* outPeer, SocketLength* ioLength) {
  const SocketHandle accepted = ::accept4(inSocket, reinterpret_cast<sockaddr*>(outPeer), ioLength, SOCK_CLOEXEC);
  const int saved = errno;
  changeSelection(inSocket, [](Selection& ioSelection) { ioSelection.armed |= kNetAccept; });
  errno = saved;
  return accepted;
}

int getSocketName(SocketHandle inSocket, SocketAddress* outAddress, SocketLength* ioLength) {
  return ::getsockname(inSocket, reinterpret_cast<sockaddr*>(outAddress), ioLength);
}

namespace {

long afterSend(SocketHandle inSocket, ssize_t inCount) {
  if (inCount < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    changeSelection(inSocket, [](Selection& ioSelection) { ioSelection.armed |= kNetWrite; });
    errno = EWOULDBLOCK;
  }
  return static_cast<long>(inCount);
}

long afterReceive(SocketHandle inSocket, ssize_t inCount) {
  const int saved = errno;
  changeSelection(inSocket, [](Selection& ioSelection) { ioSelection.armed |= kNetRead | kNetOutOfBand; });
  errno = saved;
  return static_cast<long>(inCount);
}

}  // namespace

long sendSocket(SocketHandle inSocket, const void* inData, size_t inSize) {
  ssize_t count;
  do {
    count = ::send(inSocket, inData, inSize, MSG_NOSIGNAL);
  } while (count < 0 && errno == EINTR);
  return afterSend(inSocket, count);
}

long sendToSocket(SocketHandle inSocket, const void* inData, size_t inSize, const sockaddr* inTo,
                  SocketLength inLength) {
  ssize_t count;
  do {
    count = ::sendto(inSocket, inData, inSize, MSG_NOSIGNAL, inTo, inLength);
  } while (count < 0 && errno == EINTR);
  // A connected stream socket refuses an address on Linux; WinSock ignores it.
  if (count < 0 && errno == EISCONN) {
    do {
      count = ::send(inSocket, inData, inSize, MSG_NOSIGNAL);
    } while (count < 0 && errno == EINTR);
  }
  return afterSend(inSocket, count);
}

long receiveSocket(SocketHandle inSocket, void* outData, size_t inSize) {
  ssize_t count;
  do {
    count = ::recv(inSocket, outData, inSize, 0);
  } while (count < 0 && errno == EINTR);
  return afterReceive(inSocket, count);
}

long receiveFromSocket(SocketHandle inSocket, void* outData, size_t inSize, SocketAddress* ioFrom,
                       SocketLength* ioLength) {
  // A datagram longer than the buffer fails (as with WinSock) instead of arriving cut short;
  // MSG_TRUNC asks for its real length. On a byte stream MSG_TRUNC would discard data.
  int type = 0;
  socklen_t typeLength = sizeof type;
  const bool datagrams = ::getsockopt(inSocket, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type != SOCK_STREAM;
  SocketAddress from{};
  socklen_t length = sizeof from;
  ssize_t count;
  do {
    count = ::recvfrom(inSocket, outData, inSize, datagrams ? MSG_TRUNC : 0, reinterpret_cast<sockaddr*>(&from),
                       &length);
  } while (count < 0 && errno == EINTR);
  if (count > static_cast<ssize_t>(inSize)) {
    errno = EMSGSIZE;
    count = -1;
  }
  if (count >= 0 && length > 0 && ioFrom != nullptr) {
    std::memset(ioFrom, 0, sizeof *ioFrom);
    std::memcpy(ioFrom, &from, std::min<size_t>(length, sizeof *ioFrom));
    if (ioLength != nullptr) *ioLength = length;
  }
  return afterReceive(inSocket, count);
}

int getAddressInfo(const char* inHost, const char* inService, const AddressInfo* inHints, AddressInfo** outList) {
  *outList = nullptr;
  int code = ::getaddrinfo(inHost, inService, inHints, outList);
  if (code == EAI_SYSTEM) code = errno != 0 ? errno : EAI_SYSTEM;
  errno = code;
  return code;
}

void freeAddressInfo(AddressInfo* inList) {
  if (inList != nullptr) ::freeaddrinfo(inList);
}

int getNameInfo(const sockaddr* inAddress, SocketLength inLength, char* outHost, size_t inHostSize, char* outService,
                size_t inServiceSize, int inFlags) {
  const int code = ::getnameinfo(inAddress, inLength, outHost, static_cast<socklen_t>(inHostSize), outService,
                                 static_cast<socklen_t>(inServiceSize), inFlags);
  errno = code;
  return code;
}

std::string addressInfoErrorText(int inCode) {
  // getaddrinfo's codes are negative here; a positive code came from the system.
  if (inCode < 0) return ::gai_strerror(inCode);
  return socketErrorText(inCode);
}

bool ipv4InterfaceAddresses(uint32_t* outAddresses, size_t inMax, size_t* outCount) {
  *outCount = 0;
  const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  ifreq requests[16];
  ifconf config{};
  config.ifc_len = sizeof requests;
  config.ifc_req = requests;
  if (::ioctl(probe, SIOCGIFCONF, &config) != 0) {
    ::close(probe);
    return false;
  }
  const size_t listed = static_cast<size_t>(config.ifc_len) / sizeof(ifreq);
  for (size_t i = 0; i < listed && *outCount < inMax; ++i) {
    ifreq flags = requests[i];
    if (::ioctl(probe, SIOCGIFFLAGS, &flags) != 0 || (flags.ifr_flags & IFF_UP) == 0) continue;
    if (requests[i].ifr_addr.sa_family != AF_INET) continue;
    sockaddr_in address;
    std::memcpy(&address, &requests[i].ifr_addr, sizeof address);
    outAddresses[(*outCount)++] = address.sin_addr.s_addr;
  }
  ::close(probe);
  return true;
}

Waitable* createSocketEvent() { return new (std::nothrow) SocketEvent; }

void destroySocketEvent(Waitable* inEvent) {
  SocketEvent* const event = asSocketEvent(inEvent);
  if (event == nullptr) return;
  {
    SelectionTable& table = selectionTable();
    std::lock_guard<std::mutex> hold(table.itsLock);
    std::vector<SocketHandle> sockets;
    {
      std::lock_guard<std::mutex> holdEvent(event->mutex());
      for (const Selection& selection : event->itsSelections) sockets.push_back(selection.socket);
    }
    for (SocketHandle socket : sockets) unselectLocked(table, socket);
  }
  event->release();
}

bool selectSocketEvents(SocketHandle inSocket, Waitable* inEvent, uint32_t inMask) {
  SocketEvent* const event = asSocketEvent(inEvent);
  if (event == nullptr || inSocket == kNoSocket) {
    errno = EINVAL;
    return false;
  }
  int type = 0;
  socklen_t length = sizeof type;
  if (::getsockopt(inSocket, SOL_SOCKET, SO_TYPE, &type, &length) != 0) return false;
  if (!setNonBlocking(inSocket, true)) return false;
  SelectionTable& table = selectionTable();
  std::lock_guard<std::mutex> hold(table.itsLock);
  bool connecting = false;
  const auto found = table.itsEvents.find(inSocket);
  if (found != table.itsEvents.end()) {
    {
      std::lock_guard<std::mutex> holdEvent(found->second->mutex());
      if (const Selection* selection = found->second->find(inSocket)) connecting = selection->connecting;
    }
    unselectLocked(table, inSocket);
  }
  if (inMask == 0) return true;
  Selection selection;
  selection.socket = inSocket;
  selection.type = type;
  selection.mask = inMask;
  selection.armed = inMask;
  selection.connecting = connecting && (inMask & kNetConnect) != 0;
  table.itsEvents[inSocket] = event;
  std::lock_guard<std::mutex> holdEvent(event->mutex());
  event->itsSelections.push_back(selection);
  return true;
}

bool enumNetworkEvents(SocketHandle inSocket, Waitable* inEvent, NetworkEvents& outEvents) {
  outEvents = NetworkEvents{};
  SocketEvent* const event = asSocketEvent(inEvent);
  if (event == nullptr) {
    errno = EINVAL;
    return false;
  }
  bool anyLeft = false;
  bool found = false;
  {
    std::lock_guard<std::mutex> hold(event->mutex());
    for (Selection& selection : event->itsSelections) {
      if (selection.socket == inSocket) {
        outEvents = selection.recorded;
        selection.recorded = NetworkEvents{};
        found = true;
      } else if (selection.recorded.events != 0) {
        anyLeft = true;
      }
    }
  }
  if (!anyLeft) event->reset();
  if (!found) errno = ENOTSOCK;
  return found;
}

}  // namespace orvo::platform
