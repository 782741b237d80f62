// Helpers for the tests: temporary folders and capturing what a process writes to a
// descriptor.
#pragma once

#include <chrono>
#include <string>

#include "orvo/platform/kxsocket.h"

namespace orvo::test {

// A fresh folder under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return itsPath; }
  std::string file(const std::string& inName) const { return itsPath + "/" + inName; }

 private:
  std::string itsPath;
};

// Redirects a descriptor (2 for standard error) into a file while it lives.
class CaptureFd {
 public:
  explicit CaptureFd(int inFd);
  ~CaptureFd();
  CaptureFd(const CaptureFd&) = delete;
  CaptureFd& operator=(const CaptureFd&) = delete;
  // Everything written so far.
  std::string text() const;

 private:
  int itsFd;
  int itsSaved;
  TempDir itsDir;
};

std::string readFile(const std::string& inPath);

// CPU time the calling thread has used: a wait that spins shows here, one that sleeps does not.
std::chrono::microseconds threadCpuTime();

// A connected pair of stream sockets: socketpair() on POSIX, the two ends of a loopback TCP
// connection on Windows. False when the system gives none.
bool makeSocketPair(platform::SocketHandle outPair[2]);
// A second handle of the same socket (dup, WSADuplicateSocket); kNoSocket on failure.
platform::SocketHandle duplicateSocket(platform::SocketHandle inSocket);
void closeSocket(platform::SocketHandle inSocket);
bool sendBytes(platform::SocketHandle inSocket, const std::string& inBytes);

}  // namespace orvo::test
