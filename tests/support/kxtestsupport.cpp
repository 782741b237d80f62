#include "support/kxtestsupport.h"

#include <unistd.h>
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvo::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvo-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  itsPath = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(itsPath, ignored);
}

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

}  // namespace orvo::test
