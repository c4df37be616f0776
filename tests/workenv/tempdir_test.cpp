#include "workenv/tempdir.h"

#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/child.h"

namespace {

std::string Show(const char* dir) { return dir ? dir : "<null>"; }

TEST(SetTempDir, StoresARelativePathJoinedToTheCurrentDirectory) {
  test::ScratchDir dir;
  dir.MakeDir("scratch");
  EXPECT_EQ(test::InChild([&] {
              if (chdir(dir.path().c_str()) != 0) return std::string("chdir failed");
              std::string accepted = std::to_string(SetTempDir("scratch"));
              return accepted + " " + Show(GetTempDir());
            }),
            "1 " + dir.path() + "/scratch");
  EXPECT_EQ(test::InChild([&] {
              if (chdir(dir.path().c_str()) != 0) return std::string("chdir failed");
              std::string accepted = std::to_string(SetTempDir("./scratch/../scratch/"));
              return accepted + " " + Show(GetTempDir());
            }),
            "1 " + dir.path() + "/./scratch/../scratch/");
}

TEST(GetTempDir, DefaultsToVarTmpWithItsTrailingSlash) {
  EXPECT_EQ(test::InChild([] { return Show(GetTempDir()); }), "/var/tmp/");
}

TEST(SetTempDir, RefusesNonDirectoriesAndDirectoriesTheUserCantUse) {
  test::ScratchDir dir(0755);
  std::string good = dir.MakeDir("good", 0777);
  std::string other = dir.MakeDir("other", 0777);
  std::string file = dir.Write("file", "x", 0666);
  std::string readOnly = dir.MakeDir("read-only", 0555);
  std::string noSearch = dir.MakeDir("no-search", 0666);
  EXPECT_EQ(test::AsNobody([&] {
              std::string r = std::to_string(SetTempDir(good.c_str()));
              for (const std::string& bad : {file, readOnly, noSearch, dir / "missing"})
                r += std::to_string(SetTempDir(bad.c_str()));
              r += " " + Show(GetTempDir());
              r += " " + std::to_string(SetTempDir(other.c_str()));
              r += " " + Show(GetTempDir());
              return r;
            }),
            "10000 " + good + " 1 " + other);
}

TEST(GetTempDir, IsNullEveryTimeWhenTheDefaultIsUnusable) {
  test::ScratchDir dir(0755);
  std::string locked = dir.MakeDir("locked", 0555);
  test::ChildOptions options;
  options.unprivileged = true;
  // A read-only directory stands in for /var/tmp in a private mount namespace.
  options.asRoot = [&] {
    if (mount(locked.c_str(), "/var/tmp", nullptr, MS_BIND, nullptr) != 0) _exit(124);
  };
  EXPECT_EQ(test::InChild([] { return Show(GetTempDir()) + " " + Show(GetTempDir()); }, options),
            "<null> <null>");
}

}  // namespace
