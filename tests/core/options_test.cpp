#include "core/options.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/exec_name.h"
#include "core/option_list.h"
#include "support/child.h"

namespace {

// Runs ParseArguments on args in a child whose program is "setup" in a
// scratch directory (the current directory), with DISPLAY unset. The value
// is "ok"/"end", the exit status, then each of: javaHome, tempDir,
// consoleMode, the wizard arguments, the JVM options.
test::ChildResult Parse(const test::ScratchDir& dir, std::vector<std::string> args) {
  std::string setup = dir.Write("setup", "#!/bin/sh\n", 0755);
  std::string cwd = dir.path();
  return test::RunInChild([=]() mutable {
    test::UseLocaleEnvironment("C");
    unsetenv("DISPLAY");
    if (chdir(cwd.c_str()) != 0) return std::string("chdir failed");
    SetExecName(setup.c_str());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<std::string> wizard = {"stale"};
    std::string javaHome, tempDir;
    bool console = true;
    int status = -1;
    bool ok = ParseArguments(static_cast<int>(args.size()), argv.data(), &wizard, &javaHome, &tempDir, &console,
                             &status);
    std::string r = std::string(ok ? "ok " : "end ") + std::to_string(status);
    r += " home=" + javaHome + " tmp=" + tempDir + " console=" + (console ? "1" : "0") + " wizard=";
    if (!ok) {
      r += wizard.empty() ? "<none>" : "<left>";
    } else {
      r += std::to_string(wizard.size()) + ":";
      for (const std::string& w : wizard) r += " " + w;
    }
    r += " options=";
    for (int i = 0; i < numOptions; ++i) r += std::string(" ") + options[i].optionString;
    r += " flags=" + std::to_string(isDebug) + std::to_string(noPortVerification) +
         std::to_string(noDomainCreation) + std::to_string(visiblePassword);
    return r;
  });
}

std::string Usage(const std::string& prog) {
  return "Usage: '" + prog +
         "' [-options]\nwhere options include:\n    -console\n        run this application in a console\n"
         "    -silent <state file>\n        run this application silently using input from the specified file\n"
         "    -savestate <state file>\n        log state information in the specified file\n"
         "    -javahome <JRE (1.4.1 or higher) installation directory>\n"
         "        force this application to use the specified \n"
         "        Java(TM) 2 Runtime Environment installation\n"
         "    -tmpdir <temporary directory>\n        put all temporary files in the specified directory\n"
         "    -id\n        print WizardID value to standard output\n    -h\n    -help\n"
         "        print this help message\n";
}

TEST(ParseArguments, ConsoleAndSilentBuildTheWizardArgumentsWithoutX) {
  test::ScratchDir dir;
  test::ChildResult r = Parse(dir, {"-console", "-silent", "f"});
  EXPECT_EQ(r.Describe(),
            "ok 1 home= tmp= console=1 wizard=5: -nodisplay -nodisplay -noconsole -state " + dir.path() +
                "/f options= -Djava.awt.headless=true -Djava.awt.headless=true flags=0000");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST(ParseArguments, TheLastStateFileServesBothStateArguments) {
  test::ScratchDir dir;
  EXPECT_EQ(Parse(dir, {"-silent", "f", "-savestate", "/abs/g"}).Describe(),
            "ok 1 home= tmp= console=0 wizard=6: -nodisplay -noconsole -state /abs/g -saveState /abs/g "
            "options= -Djava.awt.headless=true flags=0000");
}

TEST(ParseArguments, RepeatedOptionsGiveOneWizardArgumentAndFlagsAreSet) {
  test::ScratchDir dir;
  EXPECT_EQ(Parse(dir, {"-console", "-id", "-passwordvisible", "-id", "-debug", "-nodomain", "-noportcheck",
                        "-javahome", "jdk"})
                .Describe(),
            "ok 1 home=" + dir.path() + "/jdk tmp= console=1 wizard=2: -nodisplay -id options= "
            "-Djava.awt.headless=true flags=1111");
}

TEST(ParseArguments, TmpdirIsKeptAsTyped) {
  test::ScratchDir dir;
  dir.MakeDir("scratch");
  EXPECT_EQ(Parse(dir, {"-tmpdir", "scratch", "-console"}).Describe(),
            "ok 1 home= tmp=scratch console=1 wizard=1: -nodisplay options= -Djava.awt.headless=true flags=0000");
}

TEST(ParseArguments, HelpEndsWithStatusZeroBeforeLaterArguments) {
  test::ScratchDir dir;
  test::ChildResult r = Parse(dir, {"-help", "-bogus"});
  EXPECT_EQ(r.Describe(), "end 0 home= tmp= console=0 wizard=<none> options= flags=0000");
  EXPECT_EQ(r.err, Usage("setup"));
  EXPECT_EQ(Parse(dir, {"-h"}).err, r.err);
}

TEST(ParseArguments, BadOptionsPrintTheirMessageAndTheUsage) {
  test::ScratchDir dir(0755);
  const std::string usage = Usage("setup");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"-bogus"}, "Error: '-bogus' is not a valid argument.\n"},
      {{"-console", "-savestate"}, "Error: '-savestate' must be followed by a file name.\n"},
      {{"-silent"}, "Error: '-silent' must be followed by a file name.\n"},
      {{"-javahome"}, "Error: '-javahome' must be followed by a Java(TM) installation directory.\n"},
      {{"-tmpdir"}, "Error: '-tmpdir' must be followed by a writable directory.\n"},
      {{"-tmpdir", dir / "missing"}, "Error: '" + dir / "missing" + "' is not a writable directory.\n"},
      {{"-Console"}, "Error: '-Console' is not a valid argument.\n"},
  };
  for (const Case& c : cases) {
    test::ChildResult r = Parse(dir, c.args);
    EXPECT_EQ(r.Describe().substr(0, 6), "end 1 ") << c.message;
    EXPECT_EQ(r.err, c.message + usage);
  }
}

TEST(ParseArguments, AnUnwritableTmpdirIsRefusedForTheRealUser) {
  test::ScratchDir dir(0755);
  std::string readOnly = dir.MakeDir("read-only", 0555);
  test::ChildOptions nobody;
  nobody.unprivileged = true;
  std::string setup = dir.Write("setup", "#!/bin/sh\n", 0755);
  test::ChildResult r = test::RunInChild(
      [&] {
        test::UseLocaleEnvironment("C");
        SetExecName(setup.c_str());
        std::string option = "-tmpdir", dirArg = readOnly;
        char* argv[] = {&option[0], &dirArg[0], nullptr};
        int status = -1;
        std::vector<std::string> wizard;
        std::string home, tmp;
        bool console;
        std::string r = ParseArguments(2, argv, &wizard, &home, &tmp, &console, &status) ? "ok" : "end";
        return r + std::to_string(status);
      },
      nobody);
  EXPECT_EQ(r.Describe(), "end1");
  EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), "Error: '" + readOnly + "' is not a writable directory.\n");
}

TEST(ParseArguments, GraphicalModeWithoutADisplayEndsWithTheX11Messages) {
  test::ScratchDir dir;
  test::ChildResult r = Parse(dir, {});
  EXPECT_EQ(r.Describe(), "end 1 home= tmp= console=0 wizard=<none> options= flags=0000");
  EXPECT_EQ(r.out, "Connecting to X11 server ':0.0'.\n");
  EXPECT_EQ(r.err,
            "Error: Cannot connect to X11 server ':0.0'.\n"
            "Check that the DISPLAY environment variable is correctly set or try\n"
            "rerunning this application with the following usage:\n    'setup' -console\n");
}

}  // namespace
