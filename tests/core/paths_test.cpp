#include "core/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/child.h"

namespace {

TEST(Resolve, JoinsWithoutNormalising) {
  EXPECT_EQ(Resolve(nullptr, "setup"), "setup");
  EXPECT_EQ(Resolve("/", "setup"), "//setup");
  EXPECT_EQ(Resolve("", "opt/kit"), "/opt/kit");
  EXPECT_EQ(Resolve("a/./b/", "../c"), "a/./b//../c");
}

TEST(IsAbsolutePath, LooksAtTheFirstByteOnly) {
  EXPECT_TRUE(IsAbsolutePath("/x"));
  EXPECT_TRUE(IsAbsolutePath("//x"));
  EXPECT_FALSE(IsAbsolutePath("./x"));
  EXPECT_FALSE(IsAbsolutePath(""));
}

TEST(IsExecutable, NeedsReadAndExecuteAndNoDirectory) {
  test::ScratchDir dir(0755);
  std::string both = dir.Write("both", "#!/bin/sh\n", 0755);
  std::string readOnly = dir.Write("read-only", "x", 0644);
  std::string execOnly = dir.Write("exec-only", "x", 0711);
  std::string subdir = dir.MakeDir("subdir", 0755);
  symlink(both.c_str(), (dir / "link").c_str());
  // Root passes every access test, so permissions are judged as nobody.
  EXPECT_EQ(test::AsNobody([&] {
              std::string r;
              for (const std::string& p : {both, readOnly, execOnly, subdir, dir / "link", dir / "missing"})
                r += IsExecutable(p.c_str()) ? "1" : "0";
              return r;
            }),
            "100010");
}

TEST(GetWorkingDirectory, ReportsTheDirectoryAndGrowsPastLongPaths) {
  test::ScratchDir dir;
  std::string deep = dir.path();
  // Deeper than the first 1025-byte buffer.
  while (deep.size() < 3000) {
    deep += "/" + std::string(200, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  EXPECT_EQ(test::InChild([&] {
              if (chdir(deep.c_str()) != 0) return std::string("chdir failed");
              std::string cwd;
              return GetWorkingDirectory(&cwd) ? cwd : std::string("failed");
            }),
            deep);
}

TEST(GetWorkingDirectory, EndsOnErrorsOtherThanASmallBuffer) {
  test::ScratchDir dir;
  std::string gone = dir.MakeDir("gone");
  EXPECT_EQ(test::InChild([&] {
              if (chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0) return std::string("setup failed");
              std::string cwd;
              return std::string(GetWorkingDirectory(&cwd) ? "found" : "failed");
            }),
            "failed");
}

}  // namespace
