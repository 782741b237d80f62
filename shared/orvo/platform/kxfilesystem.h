// Files and directories as the library needs them: plain operations that answer false (or an
// empty text) on failure and keep no state, and a directory handle for taking a tree apart
// without ever following a symbolic link out of it.
#pragma once

#include <string>
#include <vector>

#include "orvo/platform/kxclock.h"

namespace orvo::platform {

// The full path of the running program's executable file, or "" when the system does not
// tell.
std::string executablePath();

bool currentDirectory(std::string& outPath);
bool changeDirectory(const std::string& inPath);
// Creates one directory with the default permissions; parents are not created.
bool makeDirectory(const std::string& inPath);
bool removeDirectory(const std::string& inPath);
// True when the path names a directory (a symbolic link to one counts).
bool isDirectory(const std::string& inPath);

// True when the path names a file other than a directory that can be opened for reading.
bool canReadFile(const std::string& inPath);
bool removeFile(const std::string& inPath);
// Renames inFrom to inTo, replacing an existing inTo.
bool renameReplacing(const std::string& inFrom, const std::string& inTo);
// Copies inFrom's contents, permissions and modification time to inTo, replacing an existing
// inTo. Copying a file onto itself fails and leaves it intact.
bool copyReplacing(const std::string& inFrom, const std::string& inTo);

// The user's directory for temporary files: $TMPDIR, else /tmp (on Windows the system's
// GetTempPathA, without its final separator).
std::string temporaryDirectory();
// Creates a new empty file whose path is inPathPrefix followed by characters the system picks
// so that no existing file is replaced; the new path, or "" on failure.
std::string createUniqueFile(const std::string& inPathPrefix);

// Gives inPath, a file made by createUniqueFile (which only its owner may read), the
// permissions of inModel when that exists, otherwise those of a file made new (the default
// less the process's umask); so a file that replaces another, or appears, is readable by
// whoever could read it before. On Windows files inherit their folder's access rules: true.
// On POSIX the umask is read by setting it and back, so a file another thread creates at
// that moment may get no umask: call it where no other thread makes files.
bool setReplacementPermissions(const std::string& inPath, const std::string& inModel);

// The last-write time of the file (or directory) in local time.
bool modificationTime(const std::string& inPath, LocalTime& outTime);

// An open directory. Entries are named relative to it, so removing a tree through handles
// stays inside the tree even when entries are renamed or replaced meanwhile; a symbolic link
// is never opened as a directory.
class Directory {
 public:
  struct Entry {
    std::string name;
    bool isDirectory;  // a real directory, not a link to one
  };

  Directory() = default;
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // Opens the directory at inPath; false when it is missing, not a directory, or a
  // symbolic link.
  bool open(const std::string& inPath);
  // Opens the subdirectory inName of inParent, on the same terms.
  bool openChild(const Directory& inParent, const std::string& inName);

  // Every entry, "." and ".." included.
  bool list(std::vector<Entry>& outEntries) const;
  bool removeFile(const std::string& inName) const;
  bool removeDirectory(const std::string& inName) const;

 private:
  void close();

#ifdef _WIN32
  // The directory's path and a handle held on it without delete sharing while open: while
  // it is held, neither the directory nor a folder above it can be renamed, removed or
  // replaced by a link, so its path keeps naming it.
  std::string itsPath;
  void* itsHandle = nullptr;
#else
  int itsFd = -1;
#endif
};

}  // namespace orvo::platform
