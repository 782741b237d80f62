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
  pollfd fds[3 * SocketSet::kCapacity];
  nfds_t count = 0;
  const auto ask = [&](SocketSet* inSet, short inEvents) {
    if (inSet == nullptr) return;
    for (size_t i = 0; i < inSet->size(); ++i) {
      pollfd* const end = fds + count;
      pollfd* found = std::find_if(fds, end, [&](const pollfd& fd) { return fd.fd == inSet->at(i); });
      if (found == end) {
        fds[count] = pollfd{inSet->at(i), 0, 0};
        found = &fds[count++];
      }
      found->events |= inEvents;
    }
  };
  ask(ioRead, POLLIN);
  ask(ioWrite, POLLOUT);
  ask(ioExcept, POLLPRI);

  const int result = ::poll(fds, count, inTimeout < 0 ? -1 : inTimeout);
  if (result < 0) return errno == EINTR ? SelectStatus::interrupted : SelectStatus::failed;
  for (nfds_t i = 0; i < count; ++i)
    if ((fds[i].revents & POLLNVAL) != 0) return SelectStatus::failed;  // select: EBADF

  const auto keepReady = [&](SocketSet* ioSet, short inReady) {
    if (ioSet == nullptr) return;
    ioSet->retain([&](SocketHandle inSocket) {
      const pollfd* found = std::find_if(fds, fds + count, [&](const pollfd& fd) { return fd.fd == inSocket; });
      return (found->revents & inReady) != 0;
    });
  };
  keepReady(ioRead, kReadReady);
  keepReady(ioWrite, kWriteReady);
  keepReady(ioExcept, kExceptReady);
  return result == 0 ? SelectStatus::timedOut : SelectStatus::ready;
}

}  // namespace orvo::platform
