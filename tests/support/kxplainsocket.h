// Peers for the network tests: plain sockets (POSIX, or WinSock 2 on Windows), written without
// the library, so that a fault of the library cannot hide behind the same fault on the other
// side. And a sink that
// collects the trace lines the library writes while it lives.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <tlhelp32.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orvo/debug/kxinfolog.h"
#include "orvo/debug/kxtrace.h"

#ifdef _WIN32
// WinSock has no SIGPIPE to suppress and no close-on-exec flag for socket().
#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif
#ifndef SOCK_CLOEXEC
#define SOCK_CLOEXEC 0
#endif
#else
#include <dirent.h>
#endif

namespace orvo::test {

#ifdef _WIN32
// The peers' own hold on WinSock, taken before their first socket and let go at exit.
inline bool startWinsock() {
  struct Winsock {
    Winsock() {
      WSADATA data;
      started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
      if (started) ::WSACleanup();
    }
    bool started = false;
  };
  static const Winsock theWinsock;
  return theWinsock.started;
}
// A SOCKET kept as an int: INVALID_SOCKET becomes -1, the handles WinSock gives fit.
inline void closeDescriptor(int inFd) { ::closesocket(static_cast<SOCKET>(inFd)); }
#else
inline void closeDescriptor(int inFd) { ::close(inFd); }
#endif

// A descriptor that closes itself.
class Fd {
 public:
  explicit Fd(int inFd = -1) : itsFd(inFd) {}
  Fd(Fd&& inOther) noexcept : itsFd(inOther.release()) {}
  Fd& operator=(Fd&& inOther) noexcept {
    if (this != &inOther) reset(inOther.release());
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return itsFd; }
  int release() {
    const int fd = itsFd;
    itsFd = -1;
    return fd;
  }
  void reset(int inFd = -1) {
    if (itsFd >= 0) closeDescriptor(itsFd);
    itsFd = inFd;
  }

 private:
  int itsFd;
};

inline sockaddr_storage loopbackAddress(int inFamily, uint16_t inPort) {
  sockaddr_storage storage{};
  if (inFamily == AF_INET) {
    auto* address = reinterpret_cast<sockaddr_in*>(&storage);
    address->sin_family = AF_INET;
    address->sin_port = htons(inPort);
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  } else {
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(inPort);
    address->sin6_addr = in6addr_loopback;
  }
  return storage;
}

inline socklen_t addressLength(int inFamily) {
  return inFamily == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
}

inline uint16_t boundPort(int inFd) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  ::getsockname(inFd, reinterpret_cast<sockaddr*>(&storage), &length);
  return ntohs(storage.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&storage)->sin_port
                                            : reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
}

// A socket of inType bound to the loopback address of inFamily on an ephemeral port (or
// inPort); stream sockets listen.
inline Fd boundLoopback(int inFamily, int inType, uint16_t inPort = 0, int inBacklog = 16) {
#ifdef _WIN32
  if (!startWinsock()) return Fd();
  // SO_REUSEADDR would let a second socket take the port on Windows.
  Fd fd(static_cast<int>(::socket(inFamily, inType, 0)));
#else
  Fd fd(::socket(inFamily, inType | SOCK_CLOEXEC, 0));
  const int on = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
  const sockaddr_storage address = loopbackAddress(inFamily, inPort);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), addressLength(inFamily)) != 0) return Fd();
  if (inType == SOCK_STREAM && ::listen(fd.get(), inBacklog) != 0) return Fd();
  return fd;
}

// Waits up to inTimeout ms for inFd to be readable.
inline bool readable(int inFd, int inTimeout) {
#ifdef _WIN32
  WSAPOLLFD p{static_cast<SOCKET>(inFd), POLLIN, 0};
  return ::WSAPoll(&p, 1, inTimeout) == 1;
#else
  pollfd p{inFd, POLLIN, 0};
  return ::poll(&p, 1, inTimeout) == 1;
#endif
}

inline Fd acceptWithin(int inListener, int inTimeout = 5000) {
  if (!readable(inListener, inTimeout)) return Fd();
#ifdef _WIN32
  return Fd(static_cast<int>(::accept(static_cast<SOCKET>(inListener), nullptr, nullptr)));
#else
  return Fd(::accept4(inListener, nullptr, nullptr, SOCK_CLOEXEC));
#endif
}

inline bool sendAll(int inFd, const void* inData, size_t inSize) {
  const char* data = static_cast<const char*>(inData);
  while (inSize > 0) {
    const ssize_t sent = ::send(inFd, data, static_cast<int>(std::min<size_t>(inSize, 1 << 30)), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    inSize -= static_cast<size_t>(sent);
  }
  return true;
}

inline bool sendAll(int inFd, const std::string& inText) { return sendAll(inFd, inText.data(), inText.size()); }

// Reads until inSize bytes came, the peer closed, or inTimeout ms passed without a byte.
inline std::string receiveUpTo(int inFd, size_t inSize, int inTimeout = 5000) {
  std::string data;
  std::vector<char> chunk(1 << 16);
  while (data.size() < inSize && readable(inFd, inTimeout)) {
    const ssize_t got = ::recv(inFd, chunk.data(), std::min(chunk.size(), inSize - data.size()), 0);
    if (got <= 0) break;
    data.append(chunk.data(), static_cast<size_t>(got));
  }
  return data;
}

// Closes with a reset (RST) instead of an orderly end.
inline void resetClose(Fd& ioFd) {
  const linger abort{1, 0};
  ::setsockopt(ioFd.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
  ioFd.reset();
}

// A peer that runs on a thread of its own and is joined when it goes.
class PeerThread {
 public:
  explicit PeerThread(std::function<void()> inBody) : itsThread(std::move(inBody)) {}
  ~PeerThread() { join(); }
  void join() {
    if (itsThread.joinable()) itsThread.join();
  }

 private:
  std::thread itsThread;
};

#ifdef _WIN32
// The process's open handles ("fd") or its threads ("task"), as /proc/self would list them.
inline size_t countProcEntries(const char* inFolder) {
  if (std::strcmp(inFolder, "fd") == 0) {
    DWORD handles = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &handles) ? handles : 0;
  }
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}
#else
// Counts the entries of a /proc/self folder: descriptors ("fd") or threads ("task").
inline size_t countProcEntries(const char* inFolder) {
  const std::string path = std::string("/proc/self/") + inFolder;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return 0;
  size_t count = 0;
  while (const dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.') ++count;
  ::closedir(dir);
  return count - (std::strcmp(inFolder, "fd") == 0 ? 1 : 0);  // the folder's own descriptor
}
#endif

// Collects every trace line (trace level 2, log threshold 5) while it lives.
class TraceCollector {
 public:
  TraceCollector() {
    {
      std::lock_guard<std::mutex> hold(lock());
      lines().clear();
    }
    itsSavedLevel = kxGetTraceLevel();
    kxSetTraceLevel(2);
    kxInfoLogAddSink(&collect, kxInfoLogDebug);
  }
  ~TraceCollector() {
    kxInfoLogRemoveSink(&collect);
    kxSetTraceLevel(itsSavedLevel);
  }
  TraceCollector(const TraceCollector&) = delete;
  TraceCollector& operator=(const TraceCollector&) = delete;

  std::string text() const {
    std::lock_guard<std::mutex> hold(lock());
    std::string all;
    for (const std::string& line : lines()) all += line + "\n";
    return all;
  }
  bool contains(const std::string& inText) const { return text().find(inText) != std::string::npos; }
  std::string lastLine() const {
    std::lock_guard<std::mutex> hold(lock());
    return lines().empty() ? std::string() : lines().back();
  }

 private:
  static bool collect(kxInfoLogLevel, const char* inText) {
    std::lock_guard<std::mutex> hold(lock());
    lines().emplace_back(inText);
    return true;
  }
  static std::mutex& lock() {
    static std::mutex theLock;
    return theLock;
  }
  static std::vector<std::string>& lines() {
    static std::vector<std::string> theLines;
    return theLines;
  }
  uint8_t itsSavedLevel;
};

}  // namespace orvo::test
