// The Windows directory handle (built on Windows only): while open, the directory stays
// where it is, so a tree taken apart through handles cannot be swapped for a link meanwhile.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

#include "orvo/platform/kxfilesystem.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::platform::Directory;

TEST(WindowsFilesystem, AnOpenDirectoryCannotBeMovedAway) {
  orvo::test::TempDir dir;
  const std::string tree = dir.file("tree"), moved = dir.file("moved");
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
  {
    Directory open;
    ASSERT_TRUE(open.open(tree + "\\"));
    Directory child;
    ASSERT_TRUE(child.openChild(open, "sub"));
    EXPECT_FALSE(MoveFileA(tree.c_str(), moved.c_str()));
    EXPECT_FALSE(MoveFileA((tree + "\\sub").c_str(), (tree + "\\other").c_str()));
    std::vector<Directory::Entry> entries;
    ASSERT_TRUE(open.list(entries));
    bool sawSub = false;
    for (const auto& entry : entries) sawSub = sawSub || (entry.name == "sub" && entry.isDirectory);
    EXPECT_TRUE(sawSub);
    // Names are one component: nothing reaches past the directory through them.
    Directory escape;
    EXPECT_FALSE(escape.openChild(open, ".."));
    EXPECT_FALSE(escape.openChild(open, "sub\\..\\.."));
    EXPECT_FALSE(escape.openChild(open, "C:"));
  }
  EXPECT_TRUE(MoveFileA(tree.c_str(), moved.c_str()));
  Directory file;
  EXPECT_FALSE(file.open(dir.file("none")));
}

}  // namespace
