// Sockets: the handle type and the readiness wait over three socket sets (select). WinSock 2
// on Windows, where a SocketSet is an fd_set of FD_SETSIZE 64 and selectSockets() is
// select(); poll() here, with select's meaning of ready: readable also at end of stream or
// on an error, writable also on an error, exceptional for out-of-band data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::platform {

#ifdef _WIN32
using SocketHandle = uintptr_t;  // SOCKET
#else
using SocketHandle = int;
#endif
inline constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

// At most kCapacity distinct sockets.
class SocketSet {
 public:
  static constexpr size_t kCapacity = 64;

  // Adds inSocket unless it is present; false when it was not present and the set is full.
  bool add(SocketHandle inSocket);
  bool contains(SocketHandle inSocket) const;
  size_t size() const { return itsCount; }
  SocketHandle at(size_t inIndex) const { return itsSockets[inIndex]; }
  void clear() { itsCount = 0; }
  // Keeps only the sockets for which inKeep(socket) is true, in their order.
  template <typename Keep>
  void retain(Keep inKeep) {
    size_t kept = 0;
    for (size_t i = 0; i < itsCount; ++i)
      if (inKeep(itsSockets[i])) itsSockets[kept++] = itsSockets[i];
    itsCount = kept;
  }

 private:
  SocketHandle itsSockets[kCapacity];
  size_t itsCount = 0;
};

enum class SelectStatus { ready, timedOut, interrupted, failed };

// Waits until a socket of ioRead is readable, one of ioWrite writable or one of ioExcept has
// out-of-band data, or inTimeout milliseconds pass (-1: no limit); each set given (any may
// be null) is then reduced to its ready sockets. interrupted: a signal ended the wait early.
SelectStatus selectSockets(SocketSet* ioRead, SocketSet* ioWrite, SocketSet* ioExcept, int32_t inTimeout);

}  // namespace orvo::platform
