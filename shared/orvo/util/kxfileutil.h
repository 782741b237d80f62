// Paths, files and directories.
//
// Free functions without state: none raises, a failure is answered by false or an empty
// text. Path arithmetic is plain text work under one of two rule sets:
//   - POSIX: "/" separates components and is the separator written; a path is absolute when
//     it begins with "/".
//   - Windows: "\" and "/" both separate, "\" is written; a path is absolute when it begins
//     with a separator or with a drive prefix such as "C:\", and "C:" also ends a directory
//     part ("C:prog" is the name "prog" in the directory "C:").
// Both rule sets are always available; the operations that touch the file system use the
// platform's own, kxNativePathStyle, which is also every default.
#pragma once

#include <string>

#include "orvo/util/kxdate.h"

enum class kxPathStyle { posix, windows };

#ifdef _WIN32
inline constexpr kxPathStyle kxNativePathStyle = kxPathStyle::windows;
#else
inline constexpr kxPathStyle kxNativePathStyle = kxPathStyle::posix;
#endif

namespace orvo {

// Paths.
bool isPathSeparator(char inChar, kxPathStyle inStyle = kxNativePathStyle);
bool isAbsolutePath(const std::string& inPath, kxPathStyle inStyle = kxNativePathStyle);
// inB when inA is empty, inA when inB is empty, else inA and inB with one separator between
// them unless inA already ends or inB already begins with one.
std::string joinPath(const std::string& inA, const std::string& inB, kxPathStyle inStyle = kxNativePathStyle);
// Splits after the last separator (or drive colon): outDirectory keeps that character,
// outName is what follows. A path without one is all name; an empty path gives two empty texts.
void splitPath(const std::string& inPath, std::string& outDirectory, std::string& outName,
               kxPathStyle inStyle = kxNativePathStyle);

// The running program's full path, directory part (with its final separator) and file name,
// found on the first call of any of the three and kept for the life of the process.
const std::string& getApplicationPath();
const std::string& getApplicationDirectory();
const std::string& getApplicationName();

// Directories.
// The current directory; on failure an assertion is reported and the result is empty.
std::string getCurrentDirectory();
bool setCurrentDirectory(const std::string& inPath);
// Creates the directory (one final separator is ignored); parents are not created.
bool createDirectory(const std::string& inPath);
// True when the path (one final separator ignored) names an existing directory.
bool directoryExists(const std::string& inPath);
// Removes the directory with everything in it. Symbolic links inside are removed as links;
// what they point to is never touched, and a path that is itself a link is refused. False
// when a file cannot be deleted or the directory cannot be removed at the end.
bool removeDirectoryTree(const std::string& inPath);

// Files.
// True when the path names a file (not a directory) that can be opened for reading.
bool fileExists(const std::string& inPath);
bool deleteFile(const std::string& inPath);
// Moves or renames, replacing an existing target.
bool moveFile(const std::string& inFrom, const std::string& inTo);
// Copies contents, permissions and modification time, replacing an existing target.
bool copyFile(const std::string& inFrom, const std::string& inTo);
// Creates a new empty file named "tmp..." in inDirectory, or in the user's temporary
// directory when inDirectory is empty, and gives its path; "" when no file could be created.
std::string makeTempFileName(const std::string& inDirectory);
// The file's last-write time in local time.
bool getFileModificationTime(const std::string& inPath, kxDate& outDate, kxTime& outTime);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::isPathSeparator;
using orvo::isAbsolutePath;
using orvo::joinPath;
using orvo::splitPath;
using orvo::getApplicationPath;
using orvo::getApplicationDirectory;
using orvo::getApplicationName;
using orvo::getCurrentDirectory;
using orvo::setCurrentDirectory;
using orvo::createDirectory;
using orvo::directoryExists;
using orvo::removeDirectoryTree;
using orvo::fileExists;
using orvo::deleteFile;
using orvo::moveFile;
using orvo::copyFile;
using orvo::makeTempFileName;
using orvo::getFileModificationTime;
#endif
