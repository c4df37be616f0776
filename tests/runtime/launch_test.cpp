#include "runtime/launch.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "core/exec_name.h"
#include "runtime/runtime_support.h"
#include "support/child.h"

namespace {

using test::Recorded;

const char kNoFiles[] = "Error: There are no files requiring installation.\n";
const char kAborted[] = "Error: The Java(TM) Virtual Machine has aborted.\n";

TEST(LibraryPathEntry, JoinsThePayloadsDirectoryAndTheInheritedValue) {
  EXPECT_EQ(LibraryPathEntry(nullptr, nullptr), "LD_LIBRARY_PATH=");
  EXPECT_EQ(LibraryPathEntry("/w/package", nullptr), "LD_LIBRARY_PATH=/w/package");
  EXPECT_EQ(LibraryPathEntry(nullptr, "/usr/lib"), "LD_LIBRARY_PATH=/usr/lib");
  EXPECT_EQ(LibraryPathEntry("/w/package", "/usr/lib"), "LD_LIBRARY_PATH=/w/package:/usr/lib");
  // Only the ":" that was appended goes; the inherited value keeps its own.
  EXPECT_EQ(LibraryPathEntry("/w/package", "/usr/lib:"), "LD_LIBRARY_PATH=/w/package:/usr/lib:");
}

// One run of ExecuteJava in a child process whose application home (and
// current directory) is home, with the launcher's LD_LIBRARY_PATH as given
// (null: unset). Returns the result, and " not held" when ExecuteJava
// returned in less than 10 seconds.
struct Launch {
  std::string home;
  std::string jre;
  std::vector<std::string> options;
  std::vector<std::string> wizard;
  const char* libraryPath = nullptr;
  std::function<void()> before;  // runs in the child just before ExecuteJava
};

std::string RunLaunch(const Launch& launch) {
  if (chdir(launch.home.c_str()) != 0) return "chdir failed";
  SetApplicationHome(launch.home.c_str());
  test::UseLocaleEnvironment(nullptr);
  if (launch.libraryPath) setenv("LD_LIBRARY_PATH", launch.libraryPath, 1);
  else unsetenv("LD_LIBRARY_PATH");
  std::vector<JavaVMOption> options;
  for (const std::string& o : launch.options) options.push_back({const_cast<char*>(o.c_str()), nullptr});
  std::vector<char*> wizard;
  for (const std::string& w : launch.wizard) wizard.push_back(const_cast<char*>(w.c_str()));
  if (launch.before) launch.before();
  auto start = std::chrono::steady_clock::now();
  int result = ExecuteJava(launch.jre.c_str(), static_cast<int>(options.size()), options.data(),
                           static_cast<int>(wizard.size()), wizard.data());
  bool held = std::chrono::steady_clock::now() - start >= std::chrono::seconds(10);
  return std::to_string(result) + (held ? "" : " not held");
}

// An application home holding the main class file.
std::string MakeHome(const test::ScratchDir& dir, const std::string& name) {
  dir.Write(name + "/bramlet.class", "\xca\xfe\xba\xbe");
  return dir / name;
}

TEST(ExecuteJava, RefusesAMissingMainClassOrProgramAtOnce) {
  test::ScratchDir dir;
  std::string record = dir / "record";
  std::string jre = test::MakeRuntime(dir / "jre", test::Layout::kJava8, "record=" + record);
  Launch noClass;
  noClass.home = dir.MakeDir("empty");
  noClass.jre = jre;
  test::ChildResult r = test::RunInChild([&] { return RunLaunch(noClass); });
  EXPECT_EQ(r.value, "1 not held");
  EXPECT_EQ(r.err, kNoFiles);
  EXPECT_EQ(test::ReadFile(record), "");

  dir.MakeDir("no-program");
  dir.MakeDir("directory/bin/java");
  dir.Write("not-executable/bin/java", "#!/bin/sh\n", 0644);
  for (const char* name : {"no-program", "directory", "not-executable"}) {
    Launch launch;
    launch.home = MakeHome(dir, std::string("home-") + name);
    launch.jre = dir / name;
    r = test::RunInChild([&] { return RunLaunch(launch); });
    EXPECT_EQ(r.value, "1 not held") << name;
    EXPECT_EQ(r.err, kAborted) << name;
  }
}

// The Java program of the test with the real runtime: it exits with 7 when
// it got the expected arguments, system property and library path.
const char kInstaller[] = R"(public class bramlet {
  public static void main(String[] args) {
    boolean ok = String.join(" ", args).equals("-nodisplay -state state.txt")
        && "ok".equals(System.getProperty("bramlet.test"))
        && System.getProperty("bramlet.lib").equals(System.getenv("LD_LIBRARY_PATH"));
    System.exit(ok ? 7 : 1);
  }
}
)";

TEST(ExecuteJava, StartsTheRuntimeWithTheCommandLineAndLibraryPathAndPassesItsCodeOn) {
  test::ScratchDir dir;
  std::vector<Launch> launches(4);
  std::vector<std::string> records;
  for (int i = 0; i < 3; ++i) {
    std::string name = "stand-in" + std::to_string(i);
    records.push_back(dir / (name + ".record"));
    launches[i].home = MakeHome(dir, name);
    launches[i].jre = test::MakeRuntime(dir / (name + "-jre"), test::Layout::kJava8,
                                        "record=" + records[i] + "\nexit=" + std::to_string(40 + i));
  }
  setenv("BRAMLET_INHERITED", "yes", 1);
  launches[0].options = {"-Dfirst=1", "-Xmx256m"};
  launches[0].wizard = {"-nodisplay", "-state", "state file"};
  launches[0].libraryPath = "/usr/lib";
  launches[2].libraryPath = "/opt/lib:";
  // The launcher ignores some signals, handles others and may block them.
  launches[2].before = [] {
    signal(SIGHUP, SIG_IGN);
    signal(SIGTERM, [](int) {});
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
  };

  // The real runtime runs a real installer class.
  launches[3].home = dir.MakeDir("real");
  dir.Write("real/bramlet.java", kInstaller);
  std::string javac = std::string(TEST_JAVA_HOME) + "/bin/javac -d " + launches[3].home + " " + (dir / "real/bramlet.java");
  ASSERT_EQ(std::system(javac.c_str()), 0);
  launches[3].jre = TEST_JAVA_HOME;
  launches[3].options = {"-Djava.class.path=" + launches[3].home, "-Dbramlet.test=ok",
                         "-Dbramlet.lib=" + launches[3].home + "/package:/usr/lib"};
  launches[3].wizard = {"-nodisplay", "-state", "state.txt"};
  launches[3].libraryPath = "/usr/lib";

  std::vector<std::function<std::string()>> runs;
  for (const Launch& l : launches) runs.push_back([&l] { return RunLaunch(l); });
  std::vector<test::ChildResult> results = test::RunConcurrently(runs);

  EXPECT_EQ(results[0].value, "40");
  EXPECT_EQ(Recorded(records[0], "arg"),
            (std::vector<std::string>{launches[0].jre + "/bin/java", "-Dfirst=1", "-Xmx256m", "bramlet",
                                      "-nodisplay", "-state", "state file"}));
  EXPECT_EQ(Recorded(records[0], "cwd"), std::vector<std::string>{launches[0].home});
  std::vector<std::string> env = Recorded(records[0], "env");
  EXPECT_NE(std::find(env.begin(), env.end(), "BRAMLET_INHERITED=yes"), env.end());
  EXPECT_EQ(std::count_if(env.begin(), env.end(), [](const std::string& e) { return e.rfind("LD_LIBRARY_PATH=", 0) == 0; }), 1);
  EXPECT_NE(std::find(env.begin(), env.end(), "LD_LIBRARY_PATH=" + launches[0].home + "/package:/usr/lib"), env.end());

  EXPECT_EQ(results[1].value, "41");
  EXPECT_EQ(Recorded(records[1], "arg"), (std::vector<std::string>{launches[1].jre + "/bin/java", "bramlet"}));
  env = Recorded(records[1], "env");
  EXPECT_NE(std::find(env.begin(), env.end(), "LD_LIBRARY_PATH=" + launches[1].home + "/package"), env.end());

  EXPECT_EQ(results[2].value, "42");
  env = Recorded(records[2], "env");
  EXPECT_NE(std::find(env.begin(), env.end(), "LD_LIBRARY_PATH=" + launches[2].home + "/package:/opt/lib:"), env.end());
  // Handled signals are back at their defaults, ignored ones stay ignored,
  // and nothing is blocked.
  std::vector<std::string> signals = Recorded(records[2], "signal" + std::to_string(SIGHUP));
  EXPECT_EQ(signals, std::vector<std::string>{"ignored"});
  EXPECT_EQ(Recorded(records[2], "signal" + std::to_string(SIGTERM)), std::vector<std::string>{"default"});
  EXPECT_EQ(Recorded(records[2], "signal" + std::to_string(SIGINT)), std::vector<std::string>{"default"});

  EXPECT_EQ(results[3].value, "7") << results[3].err;
  for (const test::ChildResult& r : results) EXPECT_EQ(r.err, "");
}

TEST(ExecuteJava, GivesOneForARuntimeThatWasKilledOrCouldNotStart) {
  test::ScratchDir dir;
  std::string marker = dir / "exit-handlers";
  Launch killed;
  killed.home = MakeHome(dir, "killed");
  killed.jre = test::MakeRuntime(dir / "killed-jre", test::Layout::kJava8, "signal=9");
  // An executable file that is no program: the exec fails in the child.
  Launch unstartable;
  unstartable.home = MakeHome(dir, "unstartable");
  unstartable.jre = dir / "unstartable-jre";
  dir.Write("unstartable-jre/bin/java", "\x7f" "ELF not really", 0755);
  static std::string exitHandlerMarker;
  exitHandlerMarker = marker;
  unstartable.before = [] {
    // The child of a failed exec must leave the launcher's state alone: no
    // exit handlers (they remove the lock file), no second copy of pending output.
    atexit([] { std::ofstream(exitHandlerMarker, std::ios::app) << "exit handler ran\n"; });
    printf("pending output");
  };
  // A signal that cuts the hold short does not shorten it.
  Launch interrupted;
  interrupted.home = MakeHome(dir, "interrupted");
  interrupted.jre = test::MakeRuntime(dir / "interrupted-jre", test::Layout::kJava8, "exit=3");
  interrupted.before = [] {
    struct sigaction wake = {};
    wake.sa_handler = [](int) {};
    sigaction(SIGALRM, &wake, nullptr);
    alarm(2);
  };
  std::vector<test::ChildResult> results =
      test::RunConcurrently({[&] { return RunLaunch(killed); }, [&] { return RunLaunch(unstartable); },
                             [&] { return RunLaunch(interrupted); }});
  EXPECT_EQ(results[0].value, "1");
  EXPECT_EQ(results[0].err, "");
  EXPECT_EQ(results[1].value, "1");
  EXPECT_EQ(results[1].err, kAborted);
  EXPECT_EQ(results[1].out, "pending output");
  EXPECT_EQ(test::ReadFile(marker), "");
  EXPECT_EQ(results[2].value, "3");
}

}  // namespace
