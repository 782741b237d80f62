// Path arithmetic under both rule sets, and the file and directory operations in a
// temporary folder.
#include <gtest/gtest.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "orvo/debug/kxinfolog.h"
#include "orvo/util/kxfileutil.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::test::readFile;
using orvo::test::TempDir;

constexpr kxPathStyle kPosix = kxPathStyle::posix;
constexpr kxPathStyle kWindows = kxPathStyle::windows;

void writeFile(const std::string& inPath, const std::string& inText) { std::ofstream(inPath, std::ios::binary) << inText; }

#ifdef _WIN32
// The full path with "\\" separators and long names (the temporary folder may be given in
// its short form).
std::string realPath(const std::string& inPath) {
  char full[MAX_PATH];
  char longForm[MAX_PATH];
  const DWORD length = GetFullPathNameA(inPath.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return std::string();
  const DWORD longLength = GetLongPathNameA(full, longForm, MAX_PATH);
  return longLength == 0 || longLength >= MAX_PATH ? std::string(full) : std::string(longForm);
}

bool exists(const std::string& inPath) { return GetFileAttributesA(inPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The user's temporary directory is named by TMP (GetTempPathA).
constexpr const char* kTempVariable = "TMP";
void setVariable(const char* inName, const char* inValue) { _putenv_s(inName, inValue != nullptr ? inValue : ""); }
constexpr char kSeparator = '\\';
#else
std::string realPath(const std::string& inPath) {
  char resolved[PATH_MAX];
  return realpath(inPath.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool exists(const std::string& inPath) {
  struct stat info;
  return lstat(inPath.c_str(), &info) == 0;
}

constexpr const char* kTempVariable = "TMPDIR";
void setVariable(const char* inName, const char* inValue) {
  if (inValue != nullptr)
    setenv(inName, inValue, 1);
  else
    unsetenv(inName);
}
constexpr char kSeparator = '/';
#endif

TEST(PathText, SeparatorsAndAbsolutePaths) {
  struct Case {
    kxPathStyle style;
    const char* path;
    bool absolute;
  };
  const Case cases[] = {
      {kWindows, "\\share", true}, {kWindows, "/x", true},   {kWindows, "D:\\x", true}, {kWindows, "D:\\", true},
      {kWindows, "D:x", false},    {kWindows, "D:/x", false}, {kWindows, "1:\\x", false}, {kWindows, "x", false},
      {kWindows, "", false},       {kPosix, "/x", true},      {kPosix, "/", true},        {kPosix, "\\share", false},
      {kPosix, "D:\\x", false},    {kPosix, "x", false},      {kPosix, "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(isAbsolutePath(c.path, c.style), c.absolute) << c.path << (c.style == kWindows ? " (windows)" : " (posix)");

  EXPECT_TRUE(isPathSeparator('\\', kWindows));
  EXPECT_TRUE(isPathSeparator('/', kWindows));
  EXPECT_FALSE(isPathSeparator(':', kWindows));
  EXPECT_TRUE(isPathSeparator('/', kPosix));
  EXPECT_FALSE(isPathSeparator('\\', kPosix));
  // The defaults are the native rules.
  EXPECT_TRUE(isAbsolutePath("/x"));
#ifdef _WIN32
  EXPECT_TRUE(isAbsolutePath("D:\\x"));
  EXPECT_TRUE(isPathSeparator('\\'));
#else
  EXPECT_FALSE(isAbsolutePath("D:\\x"));
  EXPECT_FALSE(isPathSeparator('\\'));
#endif
}

TEST(PathText, Join) {
  struct Case {
    kxPathStyle style;
    const char* a;
    const char* b;
    const char* joined;
  };
  const Case cases[] = {
      {kWindows, "C:\\a", "b", "C:\\a\\b"}, {kWindows, "C:\\a\\", "b", "C:\\a\\b"}, {kWindows, "", "b", "b"},
      {kWindows, "a", "", "a"},             {kWindows, "a/", "b", "a/b"},           {kWindows, "a", "\\b", "a\\b"},
      {kPosix, "/a", "b", "/a/b"},          {kPosix, "/a/", "b", "/a/b"},           {kPosix, "a", "/b", "a/b"},
      {kPosix, "a\\", "b", "a\\/b"},        {kPosix, "", "b", "b"},                 {kPosix, "a", "", "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(joinPath(c.a, c.b, c.style), c.joined) << c.a << " + " << c.b;
#ifdef _WIN32
  EXPECT_EQ(joinPath("/a", "b"), "/a\\b");
#else
  EXPECT_EQ(joinPath("/a", "b"), "/a/b");
#endif
}

TEST(PathText, Split) {
  struct Case {
    kxPathStyle style;
    const char* path;
    const char* directory;
    const char* name;
  };
  const Case cases[] = {
      {kWindows, "C:\\dir\\prog.exe", "C:\\dir\\", "prog.exe"},
      {kWindows, "C:prog", "C:", "prog"},
      {kWindows, "a/b\\c", "a/b\\", "c"},
      {kWindows, "\\x", "\\", "x"},
      {kWindows, "dir\\", "dir\\", ""},
      {kWindows, "prog", "", "prog"},
      {kWindows, "", "", ""},
      {kPosix, "/usr/bin/ls", "/usr/bin/", "ls"},
      {kPosix, "/x", "/", "x"},
      {kPosix, "C:prog", "", "C:prog"},
      {kPosix, "a\\b", "", "a\\b"},
      {kPosix, "ls", "", "ls"},
      {kPosix, "", "", ""},
  };
  for (const Case& c : cases) {
    std::string directory = "stale", name = "stale";
    splitPath(c.path, directory, name, c.style);
    EXPECT_EQ(directory, c.directory) << c.path;
    EXPECT_EQ(name, c.name) << c.path;
  }
  // The path may be one of the outputs.
  std::string path = "/usr/bin/ls", name;
  splitPath(path, path, name);
  EXPECT_EQ(path, "/usr/bin/");
  EXPECT_EQ(name, "ls");
}

TEST(ApplicationPath, NamesThisProgram) {
  const std::string& path = getApplicationPath();
#ifdef _WIN32
  EXPECT_EQ(path.substr(1, 2), ":\\") << path;
  EXPECT_EQ(getApplicationName(), "fileutil_test.exe");
  EXPECT_EQ(getApplicationDirectory().back(), '\\');
#else
  EXPECT_EQ(realPath(path), realPath("/proc/self/exe"));
  EXPECT_EQ(getApplicationName(), "fileutil_test");
#endif
  EXPECT_TRUE(isAbsolutePath(path));
  EXPECT_EQ(getApplicationDirectory() + getApplicationName(), path);
  EXPECT_EQ(&getApplicationPath(), &path);
}

TEST(Directories, CreateCheckAndCurrent) {
  TempDir dir;
  EXPECT_TRUE(createDirectory(dir.file("new/")));
  EXPECT_TRUE(directoryExists(dir.file("new")));
  EXPECT_TRUE(directoryExists(dir.file("new/")));
  EXPECT_FALSE(createDirectory(dir.file("new")));  // already there
  EXPECT_FALSE(createDirectory(dir.file("missing/child")));
  EXPECT_FALSE(directoryExists(dir.file("missing")));
  writeFile(dir.file("plain"), "x");
  EXPECT_FALSE(directoryExists(dir.file("plain")));
  EXPECT_TRUE(directoryExists("/"));

  const std::string saved = getCurrentDirectory();
  ASSERT_FALSE(saved.empty());
  ASSERT_TRUE(setCurrentDirectory(dir.file("new")));
  EXPECT_EQ(getCurrentDirectory(), realPath(dir.file("new")));
  EXPECT_FALSE(setCurrentDirectory(dir.file("missing")));
#ifdef _WIN32
  EXPECT_TRUE(setCurrentDirectory(saved));
}
#else
  // A current directory that was removed has no path: the call reports and answers "".
  // (Windows does not remove a directory that a process has as its current one.)
  ASSERT_EQ(rmdir(dir.file("new").c_str()), 0);
  orvo::test::CaptureFd capture(2);
  const kxInfoLogLevel level = kxGetInfoLogLevel();
  kxSetInfoLogLevel(5);
  EXPECT_EQ(getCurrentDirectory(), "");
  kxSetInfoLogLevel(level);
  EXPECT_TRUE(setCurrentDirectory(saved));
  const std::string log = capture.text();
  EXPECT_NE(log.find("File: kxfileutil.cpp"), std::string::npos) << log;
  EXPECT_NE(log.find("Offending command: \"false\""), std::string::npos) << log;
}
#endif

TEST(Files, ExistDeleteMoveCopy) {
  TempDir dir;
  const std::string a = dir.file("a"), b = dir.file("b"), c = dir.file("c");
  writeFile(a, "alpha");
  writeFile(b, "old contents of b");

  EXPECT_TRUE(fileExists(a));
  EXPECT_FALSE(fileExists(dir.path()));  // a directory is not a file
  EXPECT_FALSE(fileExists(dir.file("none")));

  EXPECT_TRUE(copyFile(a, b));  // replaces b
  EXPECT_EQ(readFile(b), "alpha");
  EXPECT_EQ(readFile(a), "alpha");
  EXPECT_FALSE(copyFile(a, a));  // onto itself: refused, and nothing lost
  EXPECT_EQ(readFile(a), "alpha");
  EXPECT_FALSE(copyFile(dir.file("none"), c));
  EXPECT_FALSE(fileExists(c));

  writeFile(c, "gamma");
  EXPECT_TRUE(moveFile(c, a));  // replaces a
  EXPECT_EQ(readFile(a), "gamma");
  EXPECT_FALSE(fileExists(c));
  EXPECT_FALSE(moveFile(c, b));

  EXPECT_TRUE(deleteFile(a));
  EXPECT_FALSE(fileExists(a));
  EXPECT_FALSE(deleteFile(a));
  EXPECT_FALSE(deleteFile(dir.path()));
}

TEST(Files, ModificationTimeInLocalTimeAndKeptByCopy) {
  TempDir dir;
  const std::string file = dir.file("stamped");
  writeFile(file, "x");
  tm when{};
  when.tm_year = 2021 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 4;
  when.tm_hour = 5;
  when.tm_min = 6;
  when.tm_sec = 7;
  when.tm_isdst = -1;
#ifdef _WIN32
  // FILETIME counts 100 ns from 1601; time_t seconds from 1970.
  const uint64_t ticks = (static_cast<uint64_t>(mktime(&when)) * 1000 + 890) * 10000 + 116444736000000000ull;
  const FILETIME stamp{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const HANDLE handle = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  const bool stamped = SetFileTime(handle, nullptr, nullptr, &stamp) != FALSE;
  CloseHandle(handle);
  ASSERT_TRUE(stamped);
#else
  const timespec times[2] = {{0, UTIME_NOW}, {mktime(&when), 890000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
#endif
  ASSERT_TRUE(copyFile(file, dir.file("copy")));

  for (const std::string& path : {file, dir.file("copy")}) {
    kxDate date;
    kxTime time;
    ASSERT_TRUE(getFileModificationTime(path, date, time)) << path;
    EXPECT_EQ(date, kxDate(4, 3, 2021)) << path;
    EXPECT_EQ(time.getHours(), 5);
    EXPECT_EQ(time.getMinutes(), 6);
    EXPECT_EQ(time.getSeconds(), 7);
    EXPECT_EQ(time.getMillisecondField(), 890);
  }
  kxDate date;
  kxTime time;
  EXPECT_FALSE(getFileModificationTime(dir.file("none"), date, time));
}

TEST(Files, TempFileNames) {
  TempDir dir;
  const std::string first = makeTempFileName(dir.path());
  const std::string second = makeTempFileName(dir.path() + "/");
  EXPECT_EQ(first.rfind(dir.path() + kSeparator + "tmp", 0), 0u) << first;
  EXPECT_EQ(second.rfind(dir.path() + "/tmp", 0), 0u) << second;
  EXPECT_NE(first, second);
  EXPECT_TRUE(fileExists(first));  // created, empty, so nobody else can take the name
  EXPECT_EQ(readFile(first), "");

  // An empty directory means the user's temporary directory.
  const char* savedTmp = std::getenv(kTempVariable);
  const std::string saved = savedTmp != nullptr ? savedTmp : "";
  setVariable(kTempVariable, dir.path().c_str());
  const std::string inTemp = makeTempFileName("");
  setVariable(kTempVariable, savedTmp != nullptr ? saved.c_str() : nullptr);
  EXPECT_EQ(inTemp.rfind(dir.path() + kSeparator + "tmp", 0), 0u) << inTemp;
  EXPECT_TRUE(fileExists(inTemp));

  EXPECT_EQ(makeTempFileName(dir.file("missing")), "");
}

TEST(RemoveTree, RemovesNestedContentsButNothingBehindLinks) {
  TempDir dir;
  const std::string outside = dir.file("outside"), tree = dir.file("tree");
  ASSERT_TRUE(createDirectory(outside));
  writeFile(outside + "/keep.txt", "keep");
  for (const char* sub : {"", "/sub", "/sub/deeper", "/readonly"}) ASSERT_TRUE(createDirectory(tree + sub));
  writeFile(tree + "/a.txt", "a");
  writeFile(tree + "/sub/b.txt", "b");
  writeFile(tree + "/sub/deeper/c.txt", "c");
  writeFile(tree + "/readonly/d.txt", "d");
#ifdef _WIN32
  // Other attribute bits do not make it a file. (A read-only directory is not removed on
  // Windows; symbolic links need a privilege a test does not have.)
  ASSERT_TRUE(SetFileAttributesA((tree + "/readonly").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
#else
  ASSERT_EQ(chmod((tree + "/readonly").c_str(), 0555), 0);  // other mode bits do not make it a file
  ASSERT_EQ(symlink(outside.c_str(), (tree + "/dirlink").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/keep.txt").c_str(), (tree + "/sub/filelink").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (tree + "/dangling").c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), dir.file("toplink").c_str()), 0);

  // A link given as the tree itself is refused, with or without a final "/".
  EXPECT_FALSE(removeDirectoryTree(dir.file("toplink")));
  EXPECT_FALSE(removeDirectoryTree(dir.file("toplink/")));
  EXPECT_TRUE(exists(outside + "/keep.txt"));
#endif

  EXPECT_TRUE(removeDirectoryTree(tree));
  EXPECT_FALSE(exists(tree));
  EXPECT_EQ(readFile(outside + "/keep.txt"), "keep");

  EXPECT_FALSE(removeDirectoryTree(tree));  // gone already
  writeFile(dir.file("plain"), "x");
  EXPECT_FALSE(removeDirectoryTree(dir.file("plain")));
  EXPECT_TRUE(exists(dir.file("plain")));
}

}  // namespace
