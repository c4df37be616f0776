#include "core/exec_name.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/child.h"

namespace {

const char kScript[] = "#!/bin/sh\nexit 0\n";

// FindExecName in a child that runs in cwd with the given PATH (null: unset).
std::string Find(const std::string& name, const char* path, const std::string& cwd) {
  return test::InChild([&] {
    if (chdir(cwd.c_str()) != 0) return std::string("chdir failed");
    if (path) setenv("PATH", path, 1);
    else unsetenv("PATH");
    std::string found = FindExecName(name.c_str());
    return found.empty() ? std::string("<none>") : found;
  });
}

TEST(FindExecName, AbsoluteNameGetsADoubledLeadingSlash) {
  test::ScratchDir dir;
  std::string setup = dir.Write("setup", kScript, 0755);
  EXPECT_EQ(Find(setup, "/nowhere", "/"), "/" + setup);
  EXPECT_EQ(Find(dir / "missing", "/nowhere", "/"), "<none>");
}

TEST(FindExecName, RelativeNameWithASlashIsJoinedToTheCurrentDirectory) {
  test::ScratchDir dir;
  dir.Write("sub/setup", kScript, 0755);
  EXPECT_EQ(Find("./sub/setup", nullptr, dir.path()), dir.path() + "/./sub/setup");
  EXPECT_EQ(Find("sub/../sub/setup", nullptr, dir.path()), dir.path() + "/sub/../sub/setup");
  EXPECT_EQ(Find("./sub/missing", nullptr, dir.path()), "<none>");
}

TEST(FindExecName, SearchesPathInOrderWithEmptyElementsAsDot) {
  test::ScratchDir dir;
  std::string a = dir.MakeDir("a"), cwd = dir.MakeDir("cwd"), c = dir.MakeDir("c");
  std::string path = a + "::" + c;
  dir.Write("c/setup", kScript, 0755);
  EXPECT_EQ(Find("setup", path.c_str(), cwd), c + "/setup");
  dir.Write("cwd/setup", kScript, 0755);
  EXPECT_EQ(Find("setup", path.c_str(), cwd), "./setup");
  dir.Write("a/setup", kScript, 0755);
  EXPECT_EQ(Find("setup", path.c_str(), cwd), a + "/setup");
}

TEST(FindExecName, LeadingAndTrailingColonsAndEmptyPathMeanTheCurrentDirectory) {
  test::ScratchDir dir;
  std::string cwd = dir.MakeDir("cwd");
  dir.Write("cwd/setup", kScript, 0755);
  EXPECT_EQ(Find("setup", ":/nowhere", cwd), "./setup");
  EXPECT_EQ(Find("setup", "/nowhere:", cwd), "./setup");
  EXPECT_EQ(Find("setup", "", cwd), "./setup");
  EXPECT_EQ(Find("setup", "/nowhere", cwd), "<none>");
  EXPECT_EQ(Find("setup", nullptr, cwd), "<none>");
}

TEST(FindExecName, SkipsDirectoriesAndFilesLackingReadOrExecute) {
  test::ScratchDir dir(0755);
  std::string isDir = dir.MakeDir("dir"), readOnly = dir.MakeDir("ro"), execOnly = dir.MakeDir("xo");
  std::string good = dir.MakeDir("good");
  dir.MakeDir("dir/setup");
  dir.Write("ro/setup", kScript, 0644);
  dir.Write("xo/setup", kScript, 0711);
  dir.Write("good/setup", kScript, 0755);
  std::string path = isDir + ":" + readOnly + ":" + execOnly + ":" + good;
  EXPECT_EQ(test::AsNobody([&] {
              setenv("PATH", path.c_str(), 1);
              return FindExecName("setup");
            }),
            good + "/setup");
}

TEST(SetExecName, SearchesOnceAndKeepsTheFirstResult) {
  test::ScratchDir dir;
  std::string first = dir.Write("first", kScript, 0755);
  std::string second = dir.Write("second", kScript, 0755);
  EXPECT_EQ(test::InChild([&] {
              std::string r = GetExecName() == nullptr ? "unset " : "set ";
              r += SetExecName(first.c_str());
              r += " ";
              r += SetExecName(second.c_str());
              return r;
            }),
            "unset /" + first + " /" + first);
  EXPECT_EQ(test::InChild([&] {
              const char* r = SetExecName((dir / "missing").c_str());
              return std::string(r == nullptr && GetExecName() == nullptr ? "null" : "set");
            }),
            "null");
}

TEST(GetApplicationHome, IsTheExecutablesDirectoryUnlessSetFirst) {
  test::ScratchDir dir;
  std::string setup = dir.Write("kit/setup", kScript, 0755);
  EXPECT_EQ(test::InChild([&] {
              std::string r = GetApplicationHome() == nullptr ? "null " : "set ";
              SetExecName(setup.c_str());
              return r + GetApplicationHome();
            }),
            "null /" + dir.path() + "/kit");
  EXPECT_EQ(test::InChild([&] {
              SetExecName(setup.c_str());
              SetApplicationHome("/work/dir");
              return std::string(GetApplicationHome());
            }),
            "/work/dir");
}

}  // namespace
