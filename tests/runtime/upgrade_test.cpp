#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/launch.h"
#include "runtime/runtime_support.h"
#include "support/child.h"

namespace {

TEST(InvokeUpgradeTool, RunsOnlyTheUsersOwnFileThatNobodyElseMayWriteAloneWithAnEmptyEnvironment) {
  test::ScratchDir dir(0755);
  std::string log = dir / "log";
  auto script = [&](const char* name, unsigned mode) {
    std::string path = test::CopyStandIn(dir / name, "log=" + log + "\nexit=4");
    chmod(path.c_str(), mode);
    return path;
  };
  std::string own = script("own.sh", 0700), foreign = script("foreign.sh", 0755), link = dir / "link.sh";
  ASSERT_EQ(chown(foreign.c_str(), test::kNobody, test::kNobody), 0);
  ASSERT_EQ(symlink(own.c_str(), link.c_str()), 0);
  for (const std::string& path : {link, foreign, script("group.sh", 0775), script("other.sh", 0757),
                                  dir.MakeDir("directory.sh"), dir / "missing.sh"}) {
    EXPECT_EQ(InvokeUpgradeTool(path.c_str()), kUpgradeScriptRefused) << path;
    EXPECT_EQ(test::ReadFile(log), "") << path;
  }
  EXPECT_EQ(InvokeUpgradeTool(own.c_str()), 4);
  EXPECT_EQ(test::Recorded(log, "arg"), std::vector<std::string>{own});
  EXPECT_EQ(test::Recorded(log, "env"), std::vector<std::string>{});
  // For an unprivileged user it is the other way round.
  EXPECT_EQ(test::AsNobody([&] {
              return std::to_string(InvokeUpgradeTool(own.c_str())) + " " +
                     std::to_string(InvokeUpgradeTool(foreign.c_str()));
            }),
            std::to_string(kUpgradeScriptRefused) + " 4");
  // A script started through its own "#!" line, at a path far longer than 150 bytes.
  std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/UpgradeInvoker.sh";
  EXPECT_EQ(InvokeUpgradeTool(dir.Write(deep, "#!/bin/sh\nexit 7\n", 0700).c_str()), 7);
  // One that can't be executed ends with 127, one that is killed gives -1.
  EXPECT_EQ(InvokeUpgradeTool(dir.Write("plain.sh", "exit 0\n", 0644).c_str()), 127);
  EXPECT_EQ(InvokeUpgradeTool(test::CopyStandIn(dir / "killed.sh", "signal=9").c_str()), -1);
}

}  // namespace
