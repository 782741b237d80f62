#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "orvo/platform/kxsocket.h"
#include "orvo/platform/posix/waitable.h"

namespace orvo::platform {

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

// select()'s classes of readiness in poll() terms, as Linux defines them for select; a
// hang-up also counts as writable (the write then fails and says why), since poll() reports
// it whatever was asked and a wait that ignored it would wake again at once.
constexpr short kReadReady = POLLIN | POLLRDNORM | POLLRDBAND | POLLHUP | POLLERR;
constexpr short kWriteReady = POLLOUT | POLLWRNORM | POLLWRBAND | POLLERR | POLLHUP;
constexpr short kExceptReady = POLLPRI;

}  // namespace

SelectStatus selectSockets(SocketSet* ioRead, SocketSet* ioWrite, SocketSet* ioExcept, int32_t inTimeout) {
  const posix::SuspensionPoint park;
  // One entry per distinct socket; sockets[i] stays what fds[i] watched.
  pollfd fds[3 * SocketSet::kCapacity];
  SocketHandle sockets[3 * SocketSet::kCapacity];
  nfds_t count = 0;
  const auto ask = [&](SocketSet* inSet, short inEvents) {
    if (inSet == nullptr) return;
    for (size_t i = 0; i < inSet->size(); ++i) {
      SocketHandle* const end = sockets + count;
      const SocketHandle* found = std::find(sockets, end, inSet->at(i));
      if (found == end) {
        sockets[count] = inSet->at(i);
        fds[count++] = pollfd{inSet->at(i), 0, 0};
        found = end;
      }
      fds[found - sockets].events |= inEvents;
    }
  };
  ask(ioRead, POLLIN);
  ask(ioWrite, POLLOUT);
  ask(ioExcept, POLLPRI);
  // What counts as ready for an entry, by the classes it was asked for.
  const auto counted = [](const pollfd& inFd) {
    return static_cast<short>(((inFd.events & POLLIN) != 0 ? kReadReady : 0) |
                              ((inFd.events & POLLOUT) != 0 ? kWriteReady : 0) |
                              ((inFd.events & POLLPRI) != 0 ? kExceptReady : 0));
  };

  const auto deadline = posix::deadlineAfter(inTimeout);
  for (;;) {
    const int result = ::poll(fds, count, posix::millisecondsLeft(deadline));
    if (result < 0) return errno == EINTR ? SelectStatus::interrupted : SelectStatus::failed;
    if (result == 0) break;
    bool any = false;
    for (nfds_t i = 0; i < count; ++i) {
      if ((fds[i].revents & POLLNVAL) != 0) return SelectStatus::failed;  // select: EBADF
      if ((fds[i].revents & counted(fds[i])) != 0)
        any = true;
      else if (fds[i].revents != 0)
        fds[i].fd = -1;  // poll reports a hang-up whatever was asked; select would not count it here
    }
    if (any) break;
  }

  const auto keepReady = [&](SocketSet* ioSet, short inReady) {
    if (ioSet == nullptr) return;
    ioSet->retain([&](SocketHandle inSocket) {
      const pollfd& fd = fds[std::find(sockets, sockets + count, inSocket) - sockets];
      return fd.fd >= 0 && (fd.revents & inReady) != 0;
    });
  };
  keepReady(ioRead, kReadReady);
  keepReady(ioWrite, kWriteReady);
  keepReady(ioExcept, kExceptReady);
  const bool ready = (ioRead != nullptr && ioRead->size() > 0) || (ioWrite != nullptr && ioWrite->size() > 0) ||
                     (ioExcept != nullptr && ioExcept->size() > 0);
  return ready ? SelectStatus::ready : SelectStatus::timedOut;
}

}  // namespace orvo::platform
