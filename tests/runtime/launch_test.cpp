#include "runtime/launch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "core/exec_name.h"
#include "runtime/discovery.h"
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

// One run of ExecuteJava.
struct Launch {
  std::string home;
  std::string jre;       // empty: GetPublicJREPath's choice, shown before the result
  std::string execName;  // the launcher's own file, when given
  std::vector<std::string> options;
  std::vector<std::string> wizard;
  const char* libraryPath = nullptr;  // the launcher's LD_LIBRARY_PATH (null: unset)
  std::function<void()> before;       // runs just before ExecuteJava
};

// Runs launch (in the calling child process) with its home as application
// home and current directory. Returns the result, and " not held" when
// ExecuteJava returned in less than 10 seconds.

std::string RunLaunch(const Launch& launch) {
  if (chdir(launch.home.c_str()) != 0) return "chdir failed";
  SetApplicationHome(launch.home.c_str());
  test::UseLocaleEnvironment(nullptr);
  if (launch.libraryPath)
    setenv("LD_LIBRARY_PATH", launch.libraryPath, 1);
  else
    unsetenv("LD_LIBRARY_PATH");
  std::vector<JavaVMOption> options;
  for (const std::string& o : launch.options) options.push_back({const_cast<char*>(o.c_str()), nullptr});
  std::vector<char*> wizard;
  for (const std::string& w : launch.wizard) wizard.push_back(const_cast<char*>(w.c_str()));
  if (launch.before) launch.before();
  if (!launch.execName.empty()) SetExecName(launch.execName.c_str());
  std::string jre = launch.jre.empty() ? GetPublicJREPath() : launch.jre;
  std::string chosen = launch.jre.empty() ? jre + " " : "";
  auto start = std::chrono::steady_clock::now();
  int result = ExecuteJava(jre.c_str(), static_cast<int>(options.size()), options.data(),
                           static_cast<int>(wizard.size()), wizard.data());
  bool held = std::chrono::steady_clock::now() - start >= std::chrono::seconds(10);
  return chosen + std::to_string(result) + (held ? "" : " not held");
}

// The values of LD_LIBRARY_PATH in a stand-in's record.
std::vector<std::string> LibraryPaths(const std::string& record) {
  std::vector<std::string> values;
  for (const std::string& e : Recorded(record, "env"))
    if (e.rfind("LD_LIBRARY_PATH=", 0) == 0) values.push_back(e.substr(16));
  return values;
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

TEST(ExecuteJava, StartsTheRuntimeWithTheCommandLineAndLibraryPathAndPassesItsCodeOn) {
  test::ScratchDir dir;
  std::vector<Launch> launches(3);
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
  EXPECT_EQ(LibraryPaths(records[0]), std::vector<std::string>{launches[0].home + "/package:/usr/lib"});

  EXPECT_EQ(results[1].value, "41");
  EXPECT_EQ(Recorded(records[1], "arg"),
            (std::vector<std::string>{launches[1].jre + "/bin/java", "bramlet"}));
  EXPECT_EQ(LibraryPaths(records[1]), std::vector<std::string>{launches[1].home + "/package"});

  EXPECT_EQ(results[2].value, "42");
  EXPECT_EQ(LibraryPaths(records[2]), std::vector<std::string>{launches[2].home + "/package:/opt/lib:"});
  // Handled signals are back at their defaults, ignored ones stay ignored,
  // and nothing is blocked.
  EXPECT_EQ(Recorded(records[2], "signal" + std::to_string(SIGHUP)), std::vector<std::string>{"ignored"});
  EXPECT_EQ(Recorded(records[2], "signal" + std::to_string(SIGTERM)), std::vector<std::string>{"default"});
  EXPECT_EQ(Recorded(records[2], "signal" + std::to_string(SIGINT)), std::vector<std::string>{"default"});

  for (const test::ChildResult& r : results) EXPECT_EQ(r.err, "");
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

TEST(ExecuteJava, RunsARealInstallerWithTheHostsRuntimeOrThePayloadsOwn) {
  test::ScratchDir dir;
  dir.Write("src/bramlet.java", kInstaller);
  std::string jdk = TEST_JAVA_HOME;
  std::string javac = jdk + "/bin/javac -d " + (dir / "classes") + " " + (dir / "src/bramlet.java");
  ASSERT_EQ(std::system(javac.c_str()), 0);
  // The payload carries a small runtime made from the host's kit.
  std::string jlink =
      jdk + "/bin/jlink --add-modules java.base --strip-debug --no-header-files --no-man-pages --output " +
      (dir / "staged/package/jre");
  ASSERT_EQ(std::system(jlink.c_str()), 0);
  std::string payload = test::MakePayload(dir, "staged", dir / "setup");

  std::vector<Launch> launches(2);
  for (int i = 0; i < 2; ++i) {
    Launch& l = launches[i];
    l.home = dir.MakeDir("work" + std::to_string(i));
    std::filesystem::copy_file(dir / "classes/bramlet.class", l.home + "/bramlet.class");
    l.options = {"-Djava.class.path=" + l.home, "-Dbramlet.test=ok",
                 "-Dbramlet.lib=" + l.home + "/package:/usr/lib"};
    l.wizard = {"-nodisplay", "-state", "state.txt"};
    l.libraryPath = "/usr/lib";
  }
  launches[0].before = [jdk] { setenv("JAVA_HOME", jdk.c_str(), 1); };
  launches[1].execName = payload;
  launches[1].before = [] { unsetenv("JAVA_HOME"); };
  std::vector<test::ChildResult> results =
      test::RunConcurrently({[&] { return RunLaunch(launches[0]); }, [&] { return RunLaunch(launches[1]); }});
  EXPECT_EQ(results[0].value, jdk + " 7") << results[0].err;
  EXPECT_EQ(results[1].value, launches[1].home + "/package/jre 7") << results[1].err;
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
  dir.Write("unstartable-jre/bin/java",
            "\x7f"
            "ELF not really",
            0755);
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
