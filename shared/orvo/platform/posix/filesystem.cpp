#include "orvo/platform/kxfilesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace orvo::platform {

namespace {

// Closes a descriptor when it goes out of scope.
class FdGuard {
 public:
  explicit FdGuard(int inFd) : itsFd(inFd) {}
  ~FdGuard() {
    if (itsFd >= 0) ::close(itsFd);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return itsFd; }
  // Closes now and tells whether the close succeeded (a late write error shows here).
  bool close() {
    const int fd = itsFd;
    itsFd = -1;
    return ::close(fd) == 0;
  }

 private:
  int itsFd;
};

bool writeAll(int inFd, const char* inData, size_t inSize) {
  while (inSize > 0) {
    const ssize_t written = ::write(inFd, inData, inSize);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    inData += written;
    inSize -= static_cast<size_t>(written);
  }
  return true;
}

bool copyContents(int inFrom, int inTo) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(inFrom, buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!writeAll(inTo, buffer.data(), static_cast<size_t>(got))) return false;
  }
}

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

std::string executablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

bool currentDirectory(std::string& outPath) {
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return false;
    buffer.resize(buffer.size() * 2);
  }
  outPath = buffer.data();
  return true;
}

bool changeDirectory(const std::string& inPath) { return ::chdir(inPath.c_str()) == 0; }

bool makeDirectory(const std::string& inPath) { return ::mkdir(inPath.c_str(), 0777) == 0; }

bool removeDirectory(const std::string& inPath) { return ::rmdir(inPath.c_str()) == 0; }

bool isDirectory(const std::string& inPath) {
  struct stat info;
  return ::stat(inPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool canReadFile(const std::string& inPath) {
  // O_NONBLOCK so that a FIFO without a writer does not hold us up.
  FdGuard fd(::open(inPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat info;
  return ::fstat(fd.get(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool removeFile(const std::string& inPath) { return ::unlink(inPath.c_str()) == 0; }

bool renameReplacing(const std::string& inFrom, const std::string& inTo) {
  return ::rename(inFrom.c_str(), inTo.c_str()) == 0;
}

bool copyReplacing(const std::string& inFrom, const std::string& inTo) {
  FdGuard from(::open(inFrom.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat source;
  if (from.get() < 0 || ::fstat(from.get(), &source) != 0 || S_ISDIR(source.st_mode)) return false;
  // Opening the target with O_TRUNC would empty the source when both are the same file.
  struct stat target;
  if (::stat(inTo.c_str(), &target) == 0 && target.st_dev == source.st_dev && target.st_ino == source.st_ino)
    return false;
  FdGuard to(::open(inTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, source.st_mode & 0777));
  if (to.get() < 0) return false;
  const timespec times[2] = {{0, UTIME_NOW}, source.st_mtim};
  const bool copied = copyContents(from.get(), to.get()) && ::fchmod(to.get(), source.st_mode & 0777) == 0 &&
                      ::futimens(to.get(), times) == 0;
  if (to.close() && copied) return true;
  // Leave no truncated copy behind.
  ::unlink(inTo.c_str());
  return false;
}

std::string temporaryDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  return (tmp != nullptr && *tmp != '\0') ? std::string(tmp) : std::string("/tmp");
}

std::string createUniqueFile(const std::string& inPathPrefix) {
  std::string path = inPathPrefix + "XXXXXX";
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return std::string();
  ::close(fd);
  return path;
}

bool setReplacementPermissions(const std::string& inPath, const std::string& inModel) {
  struct stat model;
  mode_t mode;
  if (::stat(inModel.c_str(), &model) == 0) {
    mode = model.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  return ::chmod(inPath.c_str(), mode) == 0;
}

bool modificationTime(const std::string& inPath, LocalTime& outTime) {
  struct stat info;
  if (::stat(inPath.c_str(), &info) != 0) return false;
  tm parts;
  if (::localtime_r(&info.st_mtim.tv_sec, &parts) == nullptr) return false;
  outTime = LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_wday, parts.tm_hour,
                      parts.tm_min,         parts.tm_sec,     static_cast<int>(info.st_mtim.tv_nsec / 1000000)};
  return true;
}

Directory::~Directory() { close(); }

void Directory::close() {
  if (itsFd >= 0) ::close(itsFd);
  itsFd = -1;
}

bool Directory::open(const std::string& inPath) {
  close();
  // O_NOFOLLOW only looks at the last component, and a final "/" would make the system
  // resolve a link before that; drop such slashes first.
  std::string path = inPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  itsFd = ::open(path.c_str(), kDirectoryFlags);
  return itsFd >= 0;
}

bool Directory::openChild(const Directory& inParent, const std::string& inName) {
  close();
  if (inParent.itsFd < 0) return false;
  itsFd = ::openat(inParent.itsFd, inName.c_str(), kDirectoryFlags);
  return itsFd >= 0;
}

bool Directory::list(std::vector<Entry>& outEntries) const {
  outEntries.clear();
  if (itsFd < 0) return false;
  // fdopendir takes over the descriptor it is given, so give it a copy.
  const int copy = ::fcntl(itsFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  DIR* const stream = ::fdopendir(copy);
  if (stream == nullptr) {
    ::close(copy);
    return false;
  }
  ::rewinddir(stream);
  bool complete = true;
  for (;;) {
    errno = 0;
    const dirent* const entry = ::readdir(stream);
    if (entry == nullptr) {
      complete = errno == 0;
      break;
    }
    bool directory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info;
      directory = ::fstatat(itsFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    }
    outEntries.push_back(Entry{entry->d_name, directory});
  }
  ::closedir(stream);
  return complete;
}

bool Directory::removeFile(const std::string& inName) const {
  return itsFd >= 0 && ::unlinkat(itsFd, inName.c_str(), 0) == 0;
}

bool Directory::removeDirectory(const std::string& inName) const {
  return itsFd >= 0 && ::unlinkat(itsFd, inName.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace orvo::platform
