#include "core/delete_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/child.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(DeleteFilesAndDirectories, RemovesATreeAndItsLinksButNotWhatTheyPointTo) {
  test::ScratchDir dir;
  std::string outside = dir.MakeDir("outside");
  dir.Write("outside/keep.txt", "precious");
  dir.Write("work/a/b/c/deep.txt", "x");
  dir.Write("work/top.txt", "y");
  dir.MakeDir("work/empty");
  ASSERT_EQ(symlink(outside.c_str(), (dir / "work/a/link-to-outside").c_str()), 0);
  ASSERT_EQ(symlink((dir / "missing").c_str(), (dir / "work/dangling").c_str()), 0);
  DeleteFilesAndDirectories((dir / "work").c_str(), nullptr);
  EXPECT_FALSE(Exists(dir / "work"));
  EXPECT_EQ(test::ReadFile(dir / "outside/keep.txt"), "precious");
}

TEST(DeleteFilesAndDirectories, RefusesRelativePathsAndDotComponents) {
  test::ScratchDir dir;
  dir.Write("work/file", "x");
  EXPECT_EQ(test::InChild([&] {
              if (chdir(dir.path().c_str()) != 0) return std::string("chdir failed");
              DeleteFilesAndDirectories("work", nullptr);
              DeleteFilesAndDirectories("./work", nullptr);
              return std::string(Exists(dir / "work/file") ? "kept" : "deleted");
            }),
            "kept");
  DeleteFilesAndDirectories((dir / "work/.").c_str(), nullptr);
  DeleteFilesAndDirectories((dir / "work/sub/..").c_str(), nullptr);
  DeleteFilesAndDirectories(nullptr, nullptr);
  EXPECT_TRUE(Exists(dir / "work/file"));
  // A trailing slash still names the directory.
  DeleteFilesAndDirectories((dir / "work/").c_str(), nullptr);
  EXPECT_FALSE(Exists(dir / "work"));
}

TEST(DeleteFilesAndDirectories, KeepsExcludedSubtreesAndTheirParents) {
  test::ScratchDir dir;
  dir.Write("work/a/keep/inside.txt", "x");
  dir.Write("work/a/gone.txt", "x");
  dir.Write("work/b/gone.txt", "x");
  std::string keep = dir / "work/a/keep";
  const char* const exclusions[] = {keep.c_str(), nullptr};
  DeleteFilesAndDirectories((dir / "work").c_str(), exclusions);
  EXPECT_TRUE(Exists(dir / "work/a/keep/inside.txt"));
  EXPECT_FALSE(Exists(dir / "work/a/gone.txt"));
  EXPECT_FALSE(Exists(dir / "work/b"));
}

TEST(DeleteFilesAndDirectories, LeavesWhatItCantRemoveAndGoesOn) {
  test::ScratchDir dir(0755);
  dir.Write("work/locked/file", "x");
  dir.Write("work/other/file", "x");
  chmod((dir / "work/locked").c_str(), 0555);
  chmod((dir / "work").c_str(), 0777);
  chmod((dir / "work/other").c_str(), 0777);
  EXPECT_EQ(test::AsNobody([&] {
              DeleteFilesAndDirectories((dir / "work").c_str(), nullptr);
              return std::string(Exists(dir / "work/locked/file") ? "locked kept " : "locked gone ") +
                     (Exists(dir / "work/other") ? "other kept" : "other gone");
            }),
            "locked kept other gone");
  EXPECT_TRUE(Exists(dir / "work"));
}

}  // namespace
