// The socket readiness wait on WinSock 2: select() over fd_sets of FD_SETSIZE 64.
#include <algorithm>

#include "orvo/platform/kxsocket.h"
#include "orvo/platform/windows/win32.h"

static_assert(FD_SETSIZE >= orvo::platform::SocketSet::kCapacity);

namespace orvo::platform {
namespace windows {

// WinSock is started on first use and never cleaned up: threads that were given up on may
// still use sockets and lookups while the process exits, which releases WinSock itself.
bool startWinsock() {
  static const bool theStarted = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return theStarted;
}

}  // namespace windows

bool SocketSet::add(SocketHandle inSocket) {
  if (contains(inSocket)) return true;
  if (itsCount == kCapacity) return false;
  itsSockets[itsCount++] = inSocket;
  return true;
}

bool SocketSet::contains(SocketHandle inSocket) const {
  return std::find(itsSockets, itsSockets + itsCount, inSocket) != itsSockets + itsCount;
}

namespace {

// Fills outSet from inSet; false when inSet is null.
bool toFdSet(const SocketSet* inSet, fd_set& outSet) {
  FD_ZERO(&outSet);
  if (inSet == nullptr) return false;
  for (size_t i = 0; i < inSet->size(); ++i) FD_SET(static_cast<SOCKET>(inSet->at(i)), &outSet);
  return true;
}

void keepReady(SocketSet* ioSet, fd_set& inReady) {
  if (ioSet == nullptr) return;
  ioSet->retain([&](SocketHandle inSocket) { return FD_ISSET(static_cast<SOCKET>(inSocket), &inReady) != 0; });
}

}  // namespace

SelectStatus selectSockets(SocketSet* ioRead, SocketSet* ioWrite, SocketSet* ioExcept, int32_t inTimeout) {
  if (!windows::startWinsock()) return SelectStatus::failed;
  fd_set read, write, except;
  const bool anyRead = toFdSet(ioRead, read) && read.fd_count > 0;
  const bool anyWrite = toFdSet(ioWrite, write) && write.fd_count > 0;
  const bool anyExcept = toFdSet(ioExcept, except) && except.fd_count > 0;
  // select() refuses three empty sets; with nothing to watch the wait is a sleep.
  if (!anyRead && !anyWrite && !anyExcept) {
    Sleep(inTimeout < 0 ? INFINITE : static_cast<DWORD>(inTimeout));
    return SelectStatus::timedOut;
  }
  timeval timeout{inTimeout / 1000, (inTimeout % 1000) * 1000};
  const int result = select(0, anyRead ? &read : nullptr, anyWrite ? &write : nullptr, anyExcept ? &except : nullptr,
                            inTimeout < 0 ? nullptr : &timeout);
  if (result == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? SelectStatus::interrupted : SelectStatus::failed;
  keepReady(ioRead, read);
  keepReady(ioWrite, write);
  keepReady(ioExcept, except);
  return result == 0 ? SelectStatus::timedOut : SelectStatus::ready;
}

}  // namespace orvo::platform
