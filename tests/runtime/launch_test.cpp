#include "runtime/launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/child.h"
#include "support/stand_in.h"

namespace {

// The values of the lines of a stand-in's log that begin with key + "=".
std::vector<std::string> Logged(const std::string& log, const std::string& key) {
  std::vector<std::string> values;
  std::istringstream lines(test::ReadFile(log));
  for (std::string line; std::getline(lines, line);)
    if (line.compare(0, key.size() + 1, key + "=") == 0) values.push_back(line.substr(key.size() + 1));
  return values;
}

TEST(ExecuteJava, GivesTheRuntimesExitCodeOrOne) {
  test::ScratchDir dir;
  JavaCommand java;
  java.jrePath = dir / "jre";
  java.className = "bramlet";
  java.holdSeconds = 0;
  EXPECT_FALSE(ExecuteJava(java)) << "no bin/java";
  for (auto [conf, status] : {std::pair<const char*, int>{"exit=7", 7}, {"signal=9", 1}}) {
    test::MakeRuntime(java.jrePath, test::Layout::kJava8, conf);
    EXPECT_EQ(ExecuteJava(java), status) << conf;
  }
}

TEST(InvokeUpgradeTool, RunsOnlyTheUsersOwnFileThatNobodyElseMayWriteAloneWithAnEmptyEnvironment) {
  test::ScratchDir dir(0755);
  std::string log = dir / "log";
  // A script that logs how it was started.
  auto script = [&](const char* name, unsigned mode, const std::string& end = "exit 4") {
    return dir.Write(name, "#!/bin/sh\n{ echo \"arg=$1\"; /usr/bin/env | sed 's/^/env=/'; } >>" + log + "\n" + end + "\n",
                     mode);
  };
  std::string own = script("own.sh", 0700), foreign = script("foreign.sh", 0755), symbolic = dir / "link.sh";
  ASSERT_EQ(chown(foreign.c_str(), test::kNobody, test::kNobody), 0);
  ASSERT_EQ(symlink(own.c_str(), symbolic.c_str()), 0);
  int status = 99;
  for (const std::string& path : {symbolic, foreign, script("group.sh", 0775), script("other.sh", 0757),
                                  dir.MakeDir("directory.sh"), dir / "missing.sh"}) {
    EXPECT_FALSE(InvokeUpgradeTool(path.c_str(), &status)) << path;
    EXPECT_EQ(status, -1) << path;
  }
  EXPECT_EQ(test::ReadFile(log), "");
  EXPECT_TRUE(InvokeUpgradeTool(own.c_str(), &status));
  EXPECT_EQ(status, 4);
  // Started from its checked descriptor, with no argument of its own and an
  // environment as empty as the shell leaves it.
  EXPECT_EQ(Logged(log, "arg"), std::vector<std::string>{""});
  EXPECT_EQ(Logged(log, "env").size(), 1u);  // the shell's own PWD
  // For an unprivileged user it is the other way round.
  EXPECT_EQ(test::AsNobody([&] {
              int s = 0;
              std::string ownRuns = std::to_string(InvokeUpgradeTool(own.c_str(), &s));
              std::string foreignRuns = std::to_string(InvokeUpgradeTool(foreign.c_str(), &s));
              return ownRuns + " " + foreignRuns + " " + std::to_string(s);
            }),
            "0 1 4");
  // One that can't be executed ends with 127, one that is killed gives -1.
  EXPECT_TRUE(InvokeUpgradeTool(dir.Write("plain.sh", "exit 0\n", 0644).c_str(), &status));
  EXPECT_EQ(status, 127);
  // A second name for the file, and a script that is killed.
  ASSERT_EQ(link(own.c_str(), (dir / "second-name").c_str()), 0);
  EXPECT_FALSE(InvokeUpgradeTool(own.c_str(), &status));
  EXPECT_TRUE(InvokeUpgradeTool(script("killed.sh", 0700, "kill -9 $$").c_str(), &status));
  EXPECT_EQ(status, -1);
}

}  // namespace
