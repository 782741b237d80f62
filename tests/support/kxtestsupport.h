// Helpers for the tests: temporary folders and capturing what a process writes to a
// descriptor.
#pragma once

#include <string>

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

}  // namespace orvo::test
