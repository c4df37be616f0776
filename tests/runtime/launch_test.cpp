#include "runtime/launch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "core/exec_name.h"
#include "runtime/runtime_support.h"
#include "support/child.h"

namespace {

using test::Recorded;

const char kNoFiles[] = "Error: There are no files requiring installation.\n";
const char kAborted[] = "Error: The Java(TM) Virtual Machine has aborted.\n";

// With an application home, the runtime's own record shows the entry (below, and
// in the end-to-end tests).
TEST(LibraryPathEntry, IsTheInheritedValueAloneWithoutAnApplicationHome) {
  EXPECT_EQ(LibraryPathEntry(nullptr, nullptr), "LD_LIBRARY_PATH=");
  EXPECT_EQ(LibraryPathEntry(nullptr, "/usr/lib:"), "LD_LIBRARY_PATH=/usr/lib:");
}

// Runs ExecuteJava for jre, always with the same options and wizard arguments,
// in a child process (of the unprivileged user, if so asked) whose application
// home and current directory is home, after before. Its value is ExecuteJava's
// result, and " not held" when that came in less than 10 seconds.
test::ChildResult RunLaunch(const std::string& home, const std::string& jre,
                            const std::function<void()>& before = nullptr, bool unprivileged = false) {
  test::ChildOptions child;
  child.unprivileged = unprivileged;
  return test::RunInChild(
      [&] {
        if (chdir(home.c_str()) != 0) return std::string("chdir failed");
        SetApplicationHome(home.c_str());
        test::UseLocaleEnvironment(nullptr);
        char first[] = "-Dfirst=1", heap[] = "-Xmx256m", nodisplay[] = "-nodisplay", state[] = "-state",
             file[] = "state file";
        JavaVMOption options[] = {{first, nullptr}, {heap, nullptr}};
        char* wizard[] = {nodisplay, state, file};
        if (before) before();
        auto start = std::chrono::steady_clock::now();
        int result = ExecuteJava(jre.c_str(), 2, options, 3, wizard);
        bool held = std::chrono::steady_clock::now() - start >= std::chrono::seconds(10);
        return std::to_string(result) + (held ? "" : " not held");
      },
      child);
}

TEST(ExecuteJava, RefusesAMissingOrUnreadableMainClassOrProgramAtOnce) {
  test::ScratchDir dir(0755);
  std::string jre = test::MakeRuntime(dir / "jre", test::Layout::kJava8), home = dir / "home";
  dir.Write("home/bramlet.class", "\xca\xfe\xba\xbe");
  dir.Write("secret/bramlet.class", "\xca\xfe\xba\xbe", 0600);
  dir.MakeDir("no-program");
  dir.MakeDir("directory/bin/java");
  dir.Write("not-executable/bin/java", "#!/bin/sh\n", 0644);
  const std::string cases[][3] = {{dir.MakeDir("empty"), jre, kNoFiles},
                                  {dir / "secret", jre, kNoFiles},
                                  {home, dir / "no-program", kAborted},
                                  {home, dir / "directory", kAborted},
                                  {home, dir / "not-executable", kAborted}};
  for (const auto& [applicationHome, runtime, err] : cases) {
    test::ChildResult r = RunLaunch(applicationHome, runtime, nullptr, true);
    EXPECT_EQ(r.value + " " + r.err, "1 not held " + err) << applicationHome << " " << runtime;
  }
}

TEST(ExecuteJava, HoldsTenSecondsThenGivesTheRuntimesExitCodeOrOne) {
  test::ScratchDir dir;
  std::string log = dir / "log";
  std::string home = dir / "home";
  dir.Write("home/bramlet.class", "\xca\xfe\xba\xbe");
  // An executable file that is no program: the exec fails in the child,
  // which must leave the launcher's state alone: no exit handlers (they
  // remove the lock file), no second copy of pending output.
  dir.Write("unstartable/bin/java", "\177ELF not really", 0755);
  const std::pair<std::string, std::function<void()>> launches[] = {
      {test::MakeRuntime(dir / "run", test::Layout::kJava8, "log=" + log + "\nexit=40"),
       [] {
         setenv("LD_LIBRARY_PATH", "/opt/lib:", 1);
         // The launcher may hold signals blocked; the runtime starts with none.
         sigset_t all;
         sigfillset(&all);
         sigprocmask(SIG_BLOCK, &all, nullptr);
       }},
      {dir / "unstartable",
       [] {
         atexit([] { fputs("exit handler ran\n", stderr); });
         printf("pending output");
       }},
      // Killed, it gives 1; a signal that cuts the hold short does not shorten it.
      {test::MakeRuntime(dir / "killed", test::Layout::kJava8, "signal=9"),
       [] {
         struct sigaction wake = {};
         wake.sa_handler = [](int) {};
         sigaction(SIGALRM, &wake, nullptr);
         alarm(2);
       }},
  };
  std::vector<std::string> results(3);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < 3; ++i)
    threads.emplace_back([&, i] {
      test::ChildResult r = RunLaunch(home, launches[i].first, launches[i].second);
      results[i] = r.value + " " + r.err + r.out;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(results,
            (std::vector<std::string>{"40 ", std::string("1 ") + kAborted + "pending output", "1 "}));
  EXPECT_EQ(Recorded(log, "arg"),
            (std::vector<std::string>{dir / "run/bin/java", "-Dfirst=1", "-Xmx256m", "bramlet", "-nodisplay",
                                      "-state", "state file"}));
  EXPECT_EQ(Recorded(log, "env=LD_LIBRARY_PATH"), std::vector<std::string>{home + "/package:/opt/lib:"});
  EXPECT_EQ(Recorded(log, "blocked"), std::vector<std::string>{});
}

}  // namespace
