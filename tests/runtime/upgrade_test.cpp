#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/launch.h"
#include "runtime/runtime_support.h"
#include "support/child.h"

namespace {

using test::Recorded;

TEST(InvokeUpgradeTool, RunsTheScriptAloneWithAnEmptyEnvironment) {
  test::ScratchDir dir;
  std::string record = dir / "record";
  std::string script = test::CopyStandIn(dir / "UpgradeInvoker.sh", "record=" + record + "\nexit=5");
  setenv("BRAMLET_INHERITED", "yes", 1);
  EXPECT_EQ(InvokeUpgradeTool(script.c_str()), 5);
  EXPECT_EQ(Recorded(record, "arg"), std::vector<std::string>{script});
  EXPECT_EQ(Recorded(record, "env"), std::vector<std::string>{});

  // A script started through its own "#!" line, at a path far longer than 150 bytes.
  std::string deep = dir.MakeDir(std::string(120, 'd') + "/" + std::string(120, 'e'));
  std::string shell =
      dir.Write(deep.substr(dir.path().size() + 1) + "/UpgradeInvoker.sh", "#!/bin/sh\nexit 7\n", 0700);
  EXPECT_EQ(InvokeUpgradeTool(shell.c_str()), 7);

  // One that can't be executed ends with 127, one that is killed gives -1.
  std::string plain = dir.Write("plain.sh", "exit 0\n", 0644);
  EXPECT_EQ(InvokeUpgradeTool(plain.c_str()), 127);
  std::string killed = test::CopyStandIn(dir / "killed.sh", "signal=9");
  EXPECT_EQ(InvokeUpgradeTool(killed.c_str()), -1);
}

TEST(InvokeUpgradeTool, RefusesLinksOtherUsersFilesAndFilesOthersMayWrite) {
  test::ScratchDir dir(0755);
  std::string record = dir / "record";
  std::string own = test::CopyStandIn(dir / "own.sh", "record=" + record);
  chmod(own.c_str(), 0700);
  std::string link = dir / "link.sh";
  ASSERT_EQ(symlink(own.c_str(), link.c_str()), 0);
  std::string foreign = test::CopyStandIn(dir / "foreign.sh", "record=" + record);
  ASSERT_EQ(chown(foreign.c_str(), test::kNobody, test::kNobody), 0);
  std::string groupWritable = test::CopyStandIn(dir / "group.sh", "record=" + record);
  chmod(groupWritable.c_str(), 0775);
  std::string otherWritable = test::CopyStandIn(dir / "other.sh", "record=" + record);
  chmod(otherWritable.c_str(), 0757);
  std::string directory = dir.MakeDir("directory.sh");
  for (const std::string& script :
       {link, foreign, groupWritable, otherWritable, directory, dir / "missing.sh"}) {
    EXPECT_EQ(InvokeUpgradeTool(script.c_str()), kUpgradeScriptRefused) << script;
    EXPECT_TRUE(test::ReadFile(record).empty()) << script;
  }
  EXPECT_EQ(InvokeUpgradeTool(own.c_str()), 0);
  EXPECT_FALSE(test::ReadFile(record).empty());
}

TEST(InvokeUpgradeTool, RunsOnlyTheUnprivilegedUsersOwnScriptForThem) {
  test::ScratchDir dir(0755);
  std::string theirs = dir.MakeDir("theirs", 0755);
  ASSERT_EQ(chown(theirs.c_str(), test::kNobody, test::kNobody), 0);
  std::string record = theirs + "/record";
  std::string script = test::CopyStandIn(theirs + "/UpgradeInvoker.sh", "record=" + record + "\nexit=4");
  ASSERT_EQ(chown(script.c_str(), test::kNobody, test::kNobody), 0);
  std::string roots = test::CopyStandIn(dir / "UpgradeInvoker.sh", "record=" + record);
  EXPECT_EQ(test::AsNobody([&] {
              return std::to_string(InvokeUpgradeTool(roots.c_str())) + " " +
                     std::to_string(InvokeUpgradeTool(script.c_str()));
            }),
            std::to_string(kUpgradeScriptRefused) + " 4");
  EXPECT_EQ(Recorded(record, "arg"), std::vector<std::string>{script});
}

}  // namespace
