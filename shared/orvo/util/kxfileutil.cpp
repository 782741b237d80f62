#include "orvo/util/kxfileutil.h"

#include <mutex>
#include <vector>

#include "orvo/debug/kxassert.h"
#include "orvo/internal/kxglobals.h"
#include "orvo/platform/kxfilesystem.h"

namespace {

char writtenSeparator(kxPathStyle inStyle) { return inStyle == kxPathStyle::windows ? '\\' : '/'; }

// What ends a directory part when a path is split: a separator, and on Windows a drive colon.
bool endsDirectoryPart(char inChar, kxPathStyle inStyle) {
  return isPathSeparator(inChar, inStyle) || (inStyle == kxPathStyle::windows && inChar == ':');
}

bool isAsciiLetter(char inChar) { return (inChar >= 'a' && inChar <= 'z') || (inChar >= 'A' && inChar <= 'Z'); }

// One final separator dropped, unless it is all there is ("/" stays the root).
std::string withoutFinalSeparator(const std::string& inPath) {
  if (inPath.size() > 1 && isPathSeparator(inPath.back())) return inPath.substr(0, inPath.size() - 1);
  return inPath;
}

const kxApplicationPaths& applicationPaths() {
  using orvo::globals::gApplicationPaths;
  std::call_once(gApplicationPaths.itsFilled, [] {
    gApplicationPaths.itsPath = orvo::platform::executablePath();
    splitPath(gApplicationPaths.itsPath, gApplicationPaths.itsDirectory, gApplicationPaths.itsName);
  });
  return gApplicationPaths;
}

// Deletes what the open directory holds. False when a file in it cannot be deleted; a
// subdirectory that stays behind is left for the caller's final removal to fail on.
bool emptyDirectory(const orvo::platform::Directory& inDirectory) {
  std::vector<orvo::platform::Directory::Entry> entries;
  if (!inDirectory.list(entries)) return false;
  for (const auto& entry : entries) {
    if (!entry.isDirectory) {
      if (!inDirectory.removeFile(entry.name)) return false;
    } else if (entry.name != "." && entry.name != "..") {
      // Closed before its removal: an open directory is not removed on Windows.
      {
        orvo::platform::Directory child;
        if (child.openChild(inDirectory, entry.name)) emptyDirectory(child);
      }
      inDirectory.removeDirectory(entry.name);
    }
  }
  return true;
}

}  // namespace

namespace orvo {

bool isPathSeparator(char inChar, kxPathStyle inStyle) {
  return inChar == '/' || (inStyle == kxPathStyle::windows && inChar == '\\');
}

bool isAbsolutePath(const std::string& inPath, kxPathStyle inStyle) {
  if (inPath.empty()) return false;
  if (isPathSeparator(inPath[0], inStyle)) return true;
  return inStyle == kxPathStyle::windows && inPath.size() > 2 && isAsciiLetter(inPath[0]) && inPath[1] == ':' &&
         inPath[2] == '\\';
}

std::string joinPath(const std::string& inA, const std::string& inB, kxPathStyle inStyle) {
  if (inA.empty()) return inB;
  if (inB.empty()) return inA;
  std::string joined = inA;
  if (!isPathSeparator(inA.back(), inStyle) && !isPathSeparator(inB.front(), inStyle))
    joined += writtenSeparator(inStyle);
  return joined + inB;
}

void splitPath(const std::string& inPath, std::string& outDirectory, std::string& outName, kxPathStyle inStyle) {
  size_t nameStart = 0;
  for (size_t i = inPath.size(); i > 0; --i) {
    if (endsDirectoryPart(inPath[i - 1], inStyle)) {
      nameStart = i;
      break;
    }
  }
  // Assign through temporaries: the caller may pass inPath itself as an output.
  std::string directory = inPath.substr(0, nameStart);
  std::string name = inPath.substr(nameStart);
  outDirectory = std::move(directory);
  outName = std::move(name);
}

const std::string& getApplicationPath() { return applicationPaths().itsPath; }
const std::string& getApplicationDirectory() { return applicationPaths().itsDirectory; }
const std::string& getApplicationName() { return applicationPaths().itsName; }

std::string getCurrentDirectory() {
  std::string path;
  if (orvo::platform::currentDirectory(path)) return path;
  kxAssert(false);
  return std::string();
}

bool setCurrentDirectory(const std::string& inPath) { return orvo::platform::changeDirectory(inPath); }

bool createDirectory(const std::string& inPath) { return orvo::platform::makeDirectory(withoutFinalSeparator(inPath)); }

bool directoryExists(const std::string& inPath) { return orvo::platform::isDirectory(withoutFinalSeparator(inPath)); }

bool removeDirectoryTree(const std::string& inPath) {
  {
    orvo::platform::Directory directory;
    if (!directory.open(inPath)) return false;
    if (!emptyDirectory(directory)) return false;
  }
  return orvo::platform::removeDirectory(inPath);
}

bool fileExists(const std::string& inPath) { return orvo::platform::canReadFile(inPath); }

bool deleteFile(const std::string& inPath) { return orvo::platform::removeFile(inPath); }

bool moveFile(const std::string& inFrom, const std::string& inTo) {
  return orvo::platform::renameReplacing(inFrom, inTo);
}

bool copyFile(const std::string& inFrom, const std::string& inTo) { return orvo::platform::copyReplacing(inFrom, inTo); }

std::string makeTempFileName(const std::string& inDirectory) {
  const std::string directory = inDirectory.empty() ? orvo::platform::temporaryDirectory() : inDirectory;
  return orvo::platform::createUniqueFile(joinPath(directory, "tmp"));
}

bool getFileModificationTime(const std::string& inPath, kxDate& outDate, kxTime& outTime) {
  orvo::platform::LocalTime modified;
  if (!orvo::platform::modificationTime(inPath, modified)) return false;
  outDate = kxDate(static_cast<uint16_t>(modified.day), static_cast<uint16_t>(modified.month),
                   static_cast<uint16_t>(modified.year));
  outTime.set(static_cast<int16_t>(modified.hour), static_cast<int16_t>(modified.minute),
              static_cast<int16_t>(modified.second), static_cast<int16_t>(modified.millisecond));
  return true;
}

}  // namespace orvo
