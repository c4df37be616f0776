#include "base/delete_tree.h"

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
  dir.MakeDir("work/empty");
  ASSERT_EQ(symlink(outside.c_str(), (dir / "work/a/link-to-outside").c_str()), 0);
  ASSERT_EQ(symlink((dir / "missing").c_str(), (dir / "work/dangling").c_str()), 0);
  // The path itself a link: the link goes, its target stays.
  ASSERT_EQ(symlink(outside.c_str(), (dir / "link").c_str()), 0);
  DeleteFilesAndDirectories((dir / "work").c_str());
  DeleteFilesAndDirectories((dir / "link").c_str());
  EXPECT_FALSE(Exists(dir / "work"));
  EXPECT_FALSE(Exists(dir / "link"));
  EXPECT_EQ(test::ReadFile(dir / "outside/keep.txt"), "precious");
}

TEST(DeleteFilesAndDirectories, RefusesRelativePathsAndDotComponents) {
  test::ScratchDir dir;
  dir.Write("work/file", "x");
  EXPECT_EQ(test::InChild([&] {
              if (chdir(dir.path().c_str()) != 0) return std::string("chdir failed");
              for (const char* path : {"work", "./work"}) DeleteFilesAndDirectories(path);
              return std::string(Exists(dir / "work/file") ? "kept" : "deleted");
            }),
            "kept");
  DeleteFilesAndDirectories((dir / "work/.").c_str());
  DeleteFilesAndDirectories((dir / "work/sub/..").c_str());
  DeleteFilesAndDirectories(nullptr);
  EXPECT_TRUE(Exists(dir / "work/file"));
  // A trailing slash still names the directory.
  DeleteFilesAndDirectories((dir / "work/").c_str());
  EXPECT_FALSE(Exists(dir / "work"));
}

TEST(DeleteFilesAndDirectories, LeavesWhatItCantRemoveAndGoesOn) {
  test::ScratchDir dir(0755);
  dir.Write("work/locked/file", "x");
  dir.Write("work/other/file", "x");
  chmod((dir / "work/locked").c_str(), 0555);
  chmod((dir / "work").c_str(), 0777);
  chmod((dir / "work/other").c_str(), 0777);
  EXPECT_EQ(test::AsNobody([&] {
              DeleteFilesAndDirectories((dir / "work").c_str());
              return std::string(Exists(dir / "work/locked/file") ? "locked kept " : "locked gone ") +
                     (Exists(dir / "work/other") ? "other kept" : "other gone");
            }),
            "locked kept other gone");
  EXPECT_TRUE(Exists(dir / "work"));
}

}  // namespace
