// Files and directories through the narrow-character Windows file API. Paths are handed to
// the system as they are: it takes both "\\" and "/" as separators.
#include <vector>

#include "orvo/platform/kxfilesystem.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {
namespace {

class HandleGuard {
 public:
  explicit HandleGuard(HANDLE inHandle) : itsHandle(inHandle) {}
  ~HandleGuard() {
    if (isOpen()) CloseHandle(itsHandle);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
  bool isOpen() const { return itsHandle != INVALID_HANDLE_VALUE && itsHandle != nullptr; }
  HANDLE get() const { return itsHandle; }

 private:
  HANDLE itsHandle;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isSeparator(char inChar) { return inChar == '\\' || inChar == '/'; }

// A real directory: the directory bit without the reparse-point bit of links and junctions.
bool isPlainDirectory(DWORD inAttributes) {
  return inAttributes != INVALID_FILE_ATTRIBUTES && (inAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (inAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& inA, const BY_HANDLE_FILE_INFORMATION& inB) {
  return inA.dwVolumeSerialNumber == inB.dwVolumeSerialNumber && inA.nFileIndexHigh == inB.nFileIndexHigh &&
         inA.nFileIndexLow == inB.nFileIndexLow;
}

bool toLocalTime(const FILETIME& inTime, LocalTime& outTime) {
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&inTime, &local) || !FileTimeToSystemTime(&local, &parts)) return false;
  outTime = LocalTime{parts.wYear, parts.wMonth, parts.wDay, parts.wDayOfWeek, parts.wHour, parts.wMinute,
                      parts.wSecond, parts.wMilliseconds};
  return true;
}

}  // namespace

std::string executablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool currentDirectory(std::string& outPath) {
  const DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return false;
  std::vector<char> buffer(needed);
  const DWORD length = GetCurrentDirectoryA(needed, buffer.data());
  if (length == 0 || length >= needed) return false;
  outPath.assign(buffer.data(), length);
  return true;
}

bool changeDirectory(const std::string& inPath) { return SetCurrentDirectoryA(inPath.c_str()) != FALSE; }

bool makeDirectory(const std::string& inPath) { return CreateDirectoryA(inPath.c_str(), nullptr) != FALSE; }

bool removeDirectory(const std::string& inPath) { return RemoveDirectoryA(inPath.c_str()) != FALSE; }

bool isDirectory(const std::string& inPath) {
  const DWORD attributes = GetFileAttributesA(inPath.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool canReadFile(const std::string& inPath) {
  HandleGuard file(CreateFileA(inPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.isOpen()) return false;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(file.get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool removeFile(const std::string& inPath) { return DeleteFileA(inPath.c_str()) != FALSE; }

bool renameReplacing(const std::string& inFrom, const std::string& inTo) {
  return MoveFileExA(inFrom.c_str(), inTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool setReplacementPermissions(const std::string&, const std::string&) { return true; }

bool copyReplacing(const std::string& inFrom, const std::string& inTo) {
  // CopyFileA onto the source itself would fail on the sharing rules; say so without asking.
  HandleGuard from(CreateFileA(inFrom.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                               nullptr));
  BY_HANDLE_FILE_INFORMATION source;
  if (!from.isOpen() || !GetFileInformationByHandle(from.get(), &source) ||
      (source.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  HandleGuard to(CreateFileA(inTo.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION target;
  if (to.isOpen() && GetFileInformationByHandle(to.get(), &target) && sameFile(source, target)) return false;
  // CopyFileA copies contents, attributes and times, and leaves no partial target behind.
  return CopyFileA(inFrom.c_str(), inTo.c_str(), FALSE) != FALSE;
}

std::string temporaryDirectory() {
  char buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length > MAX_PATH) return ".";
  std::string path(buffer, length);
  if (path.size() > 3 && isSeparator(path.back())) path.pop_back();
  return path;
}

std::string createUniqueFile(const std::string& inPathPrefix) {
  // GetTempFileNameA's way, with a wider name: a counter from a random start, and a file
  // created only where none exists.
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  uint32_t next = static_cast<uint32_t>(now.QuadPart) ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 1000; ++attempt, next = next * 1664525u + 1013904223u) {
    char suffix[16];
    wsprintfA(suffix, "%08lX.tmp", static_cast<unsigned long>(next));
    const std::string path = inPathPrefix + suffix;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return path;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
  return std::string();
}

bool modificationTime(const std::string& inPath, LocalTime& outTime) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(inPath.c_str(), GetFileExInfoStandard, &data)) return false;
  return toLocalTime(data.ftLastWriteTime, outTime);
}

Directory::~Directory() { close(); }

void Directory::close() {
  if (itsHandle != nullptr) CloseHandle(itsHandle);
  itsHandle = nullptr;
  itsPath.clear();
}

bool Directory::open(const std::string& inPath) {
  close();
  std::string path = inPath;
  while (path.size() > 1 && isSeparator(path.back()) && path[path.size() - 2] != ':') path.pop_back();
  // The entry itself, not what a link or junction points to; without FILE_SHARE_DELETE so
  // that it stays where it is while open.
  const HANDLE handle = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info) || !isPlainDirectory(info.dwFileAttributes)) {
    CloseHandle(handle);
    return false;
  }
  itsHandle = handle;
  itsPath = path;
  return true;
}

bool Directory::openChild(const Directory& inParent, const std::string& inName) {
  close();
  if (inParent.itsHandle == nullptr || inName.empty() || inName == "." || inName == "..") return false;
  for (char c : inName)
    if (isSeparator(c) || c == ':') return false;
  return open(inParent.itsPath + (isSeparator(inParent.itsPath.back()) ? "" : "\\") + inName);
}

bool Directory::list(std::vector<Entry>& outEntries) const {
  outEntries.clear();
  if (itsHandle == nullptr) return false;
  const std::string pattern = itsPath + (isSeparator(itsPath.back()) ? "*.*" : "\\*.*");
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    // A link to a directory is listed as no directory: it is removed, never entered.
    outEntries.push_back(Entry{found.cFileName, isPlainDirectory(found.dwFileAttributes)});
  } while (FindNextFileA(search, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

bool Directory::removeFile(const std::string& inName) const {
  if (itsHandle == nullptr) return false;
  const std::string path = itsPath + (isSeparator(itsPath.back()) ? "" : "\\") + inName;
  if (DeleteFileA(path.c_str())) return true;
  // A symbolic link or junction to a directory goes with RemoveDirectoryA, which removes the
  // link and leaves its target alone.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && RemoveDirectoryA(path.c_str());
}

bool Directory::removeDirectory(const std::string& inName) const {
  if (itsHandle == nullptr) return false;
  const std::string path = itsPath + (isSeparator(itsPath.back()) ? "" : "\\") + inName;
  return RemoveDirectoryA(path.c_str()) != FALSE;
}

}  // namespace orvo::platform
