#include "support/kxtestsupport.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvo::test {

#ifdef _WIN32
TempDir::TempDir() {
  char base[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string path = std::string(base, length) + "orvo-test-" +
                             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(now.QuadPart + attempt);
    if (CreateDirectoryA(path.c_str(), nullptr)) {
      itsPath = path;
      return;
    }
  }
  throw std::runtime_error("no temporary folder");
}
#else
TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvo-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  itsPath = pattern;
}
#endif

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(itsPath, ignored);
}

#ifdef _WIN32
CaptureFd::CaptureFd(int inFd) : itsFd(inFd) {
  std::fflush(nullptr);
  itsSaved = _dup(inFd);
  const int target = _open(itsDir.file("captured").c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY,
                           _S_IREAD | _S_IWRITE);
  if (itsSaved < 0 || target < 0) throw std::runtime_error("cannot redirect descriptor");
  _dup2(target, inFd);
  _close(target);
}

CaptureFd::~CaptureFd() {
  std::fflush(nullptr);
  _dup2(itsSaved, itsFd);
  _close(itsSaved);
}
#else
CaptureFd::CaptureFd(int inFd) : itsFd(inFd) {
  std::fflush(nullptr);
  itsSaved = dup(inFd);
  const int target = open(itsDir.file("captured").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (itsSaved < 0 || target < 0) throw std::runtime_error("cannot redirect descriptor");
  dup2(target, inFd);
  close(target);
}

CaptureFd::~CaptureFd() {
  std::fflush(nullptr);
  dup2(itsSaved, itsFd);
  close(itsSaved);
}
#endif

std::string CaptureFd::text() const {
  std::fflush(nullptr);
  return readFile(itsDir.file("captured"));
}

std::string readFile(const std::string& inPath) {
  std::ifstream in(inPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

#ifdef _WIN32
namespace {
// WinSock for the test's own sockets, started once.
bool startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}
}  // namespace

bool makeSocketPair(platform::SocketHandle outPair[2]) {
  if (!startWinsock()) return false;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  SOCKET client = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener, 1) == 0 &&
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (client != INVALID_SOCKET && connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      server = accept(listener, nullptr, nullptr);
  }
  closesocket(listener);
  if (server == INVALID_SOCKET) {
    if (client != INVALID_SOCKET) closesocket(client);
    return false;
  }
  outPair[0] = server;
  outPair[1] = client;
  return true;
}

platform::SocketHandle duplicateSocket(platform::SocketHandle inSocket) {
  WSAPROTOCOL_INFOA info;
  if (WSADuplicateSocketA(inSocket, GetCurrentProcessId(), &info) != 0) return platform::kNoSocket;
  return WSASocketA(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, 0);
}

void closeSocket(platform::SocketHandle inSocket) { closesocket(inSocket); }

bool sendBytes(platform::SocketHandle inSocket, const std::string& inBytes) {
  return send(inSocket, inBytes.data(), static_cast<int>(inBytes.size()), 0) == static_cast<int>(inBytes.size());
}
#else
bool makeSocketPair(platform::SocketHandle outPair[2]) { return socketpair(AF_UNIX, SOCK_STREAM, 0, outPair) == 0; }

platform::SocketHandle duplicateSocket(platform::SocketHandle inSocket) { return dup(inSocket); }

void closeSocket(platform::SocketHandle inSocket) { close(inSocket); }

bool sendBytes(platform::SocketHandle inSocket, const std::string& inBytes) {
  return write(inSocket, inBytes.data(), inBytes.size()) == static_cast<ssize_t>(inBytes.size());
}
#endif

std::chrono::microseconds threadCpuTime() {
#ifdef _WIN32
  FILETIME created, ended, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) return {};
  const auto ticks = [](const FILETIME& inTime) {
    return (static_cast<uint64_t>(inTime.dwHighDateTime) << 32) | inTime.dwLowDateTime;
  };
  return std::chrono::microseconds((ticks(kernel) + ticks(user)) / 10);  // 100 ns ticks
#else
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
#endif
}

}  // namespace orvo::test
