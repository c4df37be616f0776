#include "workenv/lock.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/exec_name.h"
#include "support/child.h"
#include "workenv/tempdir.h"

namespace {

// The lock file name of launcher in dir for the effective user uid and title.
std::string LockName(const std::string& dir, const std::string& title, const std::string& launcher, unsigned uid) {
  struct stat st;
  stat(launcher.c_str(), &st);
  return dir + "/" + title + "." + std::to_string(st.st_dev) + "." + std::to_string(st.st_ino) + "." +
         std::to_string(uid);
}

// A process that takes the lock of launcher (lock files in dir) and keeps it
// until Release(); it then ends normally, so its exit handler runs.
class Holder {
 public:
  Holder(const std::string& dir, const std::string& launcher) {
    if (pipe(ready_) != 0 || pipe(release_) != 0) ADD_FAILURE() << "pipe";
    pid_ = fork();
    if (pid_ == 0) {
      test::UseLocaleEnvironment("C");
      SetTempDir(dir.c_str());
      SetExecName(launcher.c_str());
      ExitIfNotOnlyInstance();
      if (write(ready_[1], "1", 1) != 1) _exit(3);
      char c;
      if (read(release_[0], &c, 1) < 0) _exit(3);
      exit(0);
    }
    char c = 0;
    if (read(ready_[0], &c, 1) != 1) ADD_FAILURE() << "the holder did not take the lock";
  }
  int Release() {
    if (write(release_[1], "1", 1) != 1) ADD_FAILURE() << "write";
    int status = 0;
    waitpid(pid_, &status, 0);
    return status;
  }

 private:
  int ready_[2], release_[2];
  pid_t pid_;
};

// Takes the lock in a child with the given locale and user; the value is
// "ran" when ExitIfNotOnlyInstance returned.
test::ChildResult TryLock(const std::string& dir, const std::string& launcher, const char* lang = "C",
                          bool unprivileged = false) {
  test::ChildOptions options;
  options.unprivileged = unprivileged;
  return test::RunInChild(
      [&] {
        test::UseLocaleEnvironment(lang);
        SetTempDir(dir.c_str());
        SetExecName(launcher.c_str());
        ExitIfNotOnlyInstance();
        return std::string("ran");
      },
      options);
}

TEST(SingleInstanceLock, ASecondRunOfTheSameFileEndsWithTheMessage) {
  test::ScratchDir dir(0777);
  std::string launcher = dir.Write("setup", "#!/bin/sh\n", 0755);
  std::string name = LockName(dir.path(), "Setup", "/" + launcher, 0);
  Holder first(dir.path(), launcher);
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0) << name;
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  test::ChildResult second = TryLock(dir.path(), launcher);
  EXPECT_TRUE(second.exited(1)) << second.Describe();
  EXPECT_EQ(second.err, "Another installation process is already running. Exiting.\n");
  // The refused run leaves the holder's file alone; the holder's normal end removes it.
  EXPECT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_TRUE(WIFEXITED(first.Release()));
  EXPECT_NE(stat(name.c_str(), &st), 0);
}

TEST(SingleInstanceLock, OtherUsersCopiesAndLanguagesRunAlongside) {
  test::ScratchDir dir(0777);
  std::string launcher = dir.Write("setup", "#!/bin/sh\n", 0755);
  std::string copy = dir.Write("copy", "#!/bin/sh\n", 0755);
  Holder first(dir.path(), launcher);
  EXPECT_EQ(TryLock(dir.path(), copy).Describe(), "ran");
  EXPECT_EQ(TryLock(dir.path(), launcher, "C", true).Describe(), "ran");
  if (test::HaveLocale("es_ES.ISO-8859-1")) {
    EXPECT_EQ(TryLock(dir.path(), launcher, "es_ES.ISO-8859-1").Describe(), "ran");
  }
  first.Release();
}

TEST(SingleInstanceLock, ALeftOverFileDoesNotBlockTheNextRun) {
  test::ScratchDir dir(0777);
  std::string launcher = dir.Write("setup", "#!/bin/sh\n", 0755);
  std::string name = LockName(dir.path(), "Setup", "/" + launcher, 0);
  dir.Write(name.substr(dir.path().size() + 1), "left by a killed run", 0600);
  Holder next(dir.path(), launcher);
  EXPECT_TRUE(WIFEXITED(next.Release()));
  // Removed at exit by the run that took it.
  struct stat st;
  EXPECT_NE(stat(name.c_str(), &st), 0);
}

TEST(SingleInstanceLock, APlantedLinkNeverTouchesItsTarget) {
  test::ScratchDir dir(0777);
  std::string launcher = dir.Write("setup", "#!/bin/sh\n", 0755);
  std::string name = LockName(dir.path(), "Setup", "/" + launcher, 0);
  std::string target = dir.Write("victim", "keep me", 0644);
  std::string absent = dir / "never-created";
  ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0);
  EXPECT_EQ(TryLock(dir.path(), launcher).Describe(), "ran");
  EXPECT_EQ(test::ReadFile(target), "keep me");
  unlink(name.c_str());
  ASSERT_EQ(symlink(absent.c_str(), name.c_str()), 0);
  EXPECT_EQ(TryLock(dir.path(), launcher).Describe(), "ran");
  struct stat st;
  EXPECT_NE(stat(absent.c_str(), &st), 0);
}

TEST(SingleInstanceLock, NoTemporaryDirectoryOrExecutableMeansNoLock) {
  test::ScratchDir dir(0777);
  EXPECT_EQ(test::InChild([&] {
              SetTempDir(dir.path().c_str());
              ExitIfNotOnlyInstance();  // no executable path
              return std::string("ran");
            }),
            "ran");
}

}  // namespace
