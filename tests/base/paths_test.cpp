#include "base/paths.h"

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
    path ? setenv("PATH", path, 1) : unsetenv("PATH");
    return FindExecName(name.c_str()).value_or("<none>");
  });
}

TEST(FindExecName, FindsTheFileAShellWouldRun) {
  test::ScratchDir dir;
  std::string a = dir.MakeDir("a"), cwd = dir.MakeDir("cwd"), c = dir.MakeDir("c");
  std::string setup = dir.Write("c/setup", kScript, 0755);
  dir.Write("cwd/sub/setup", kScript, 0755);
  // Absolute: a doubled leading slash. Relative with a slash: joined, unnormalised.
  EXPECT_EQ(Find(setup, nullptr, "/"), "/" + setup);
  EXPECT_EQ(Find(dir / "missing", nullptr, "/"), "<none>");
  EXPECT_EQ(Find("./sub/setup", nullptr, cwd), cwd + "/./sub/setup");
  EXPECT_EQ(Find("./sub/missing", nullptr, cwd), "<none>");
  // Bare: PATH in order; an empty element, at either end or doubled, is ".".
  std::string path = a + "::" + c;
  EXPECT_EQ(Find("setup", path.c_str(), cwd), c + "/setup");
  EXPECT_EQ(Find("setup", nullptr, cwd), "<none>");
  dir.Write("cwd/setup", kScript, 0755);
  for (const char* p : {path.c_str(), ":/nowhere", "/nowhere:", ""}) EXPECT_EQ(Find("setup", p, cwd), "./setup") << p;
  EXPECT_EQ(Find("setup", "/nowhere", cwd), "<none>");
}

TEST(FindExecName, SkipsDirectoriesAndFilesTheUserCantReadOrExecute) {
  test::ScratchDir dir(0755);
  dir.MakeDir("dir/setup");
  dir.Write("ro/setup", kScript, 0644);
  dir.Write("xo/setup", kScript, 0711);
  dir.Write("good/setup", kScript, 0755);
  std::string path = dir / "dir:" + dir / "ro:" + dir / "xo:" + dir / "good";
  EXPECT_EQ(test::AsNobody([&] {
              setenv("PATH", path.c_str(), 1);
              return FindExecName("setup").value_or("<none>");
            }),
            dir / "good/setup");
}

}  // namespace
