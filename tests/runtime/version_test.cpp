#include "runtime/version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "core/exec_name.h"
#include "runtime/runtime_support.h"
#include "support/child.h"

namespace {

TEST(CheckVersion, AcceptsTheSupportedPrefixesAndTheLaterNumbering) {
  for (const char* v : {"1.4.1", "1.4.2_04", "1.4.9", "1.4.10", "1.5.0_06", "1.8.0_392", "1.9", "9", "11.0.2",
                        "17.0.15", "25", "10-ea", "100"})
    EXPECT_TRUE(CheckVersion(v)) << v;
  for (const char* v :
       {"2.0", "1.4", "1.4.0", "1.3.1", "1.10", "1.", "1", "8", "8.0.1", "0.9", "", "java", "v17"})
    EXPECT_FALSE(CheckVersion(v)) << v;
}

TEST(CompareVersions, OrdersByTheNumbersOfTheComponents) {
  EXPECT_LT(CompareVersions("1.8.0_91", "1.8.0_101"), 0);
  EXPECT_GT(CompareVersions("1.8.0_101", "1.8.0_91"), 0);
  EXPECT_LT(CompareVersions("1.4.2_04", "1.4.2_10"), 0);
  EXPECT_LT(CompareVersions("9", "17.0.15"), 0);
  EXPECT_LT(CompareVersions("11.0.2", "11.0.10"), 0);
  EXPECT_LT(CompareVersions("17.0.15", "17.0.15+6"), 0);
  EXPECT_LT(CompareVersions("1.4.2", "1.4.2_01"), 0);
  // The old scheme's "1." is dropped: Java 8 is older than Java 9.
  EXPECT_LT(CompareVersions("1.8.0_392", "9"), 0);
  EXPECT_GT(CompareVersions("1.9", "1.8.0_392"), 0);
  // Numbers beyond 64 bits still compare.
  EXPECT_GT(CompareVersions("99999999999999999999", "9999999999999999999"), 0);
  EXPECT_EQ(CompareVersions("17.0.15", "17.0.15"), 0);
  EXPECT_EQ(CompareVersions("11", "11.0.0"), 0);
  EXPECT_EQ(CompareVersions("1.8.0_05", "1.8.0_5"), 0);
  EXPECT_EQ(CompareVersions("17-ea", "17"), 0);
}

// The version CheckJREVersion reads from a stand-in configured by conf.
std::string Probe(const test::ScratchDir& dir, const std::string& conf) {
  static int n = 0;
  std::string home = test::MakeRuntime(dir / ("rt" + std::to_string(++n)), test::Layout::kJava8, conf);
  return CheckJREVersion(home.c_str());
}

TEST(CheckJREVersion, TakesTheTextBetweenTheLastTwoQuotesOfTheFirstLine) {
  test::ScratchDir dir;
  EXPECT_EQ(Probe(dir, "version_line=java version \"1.4.2_04\""), "1.4.2_04");
  EXPECT_EQ(Probe(dir, "version_line=openjdk version \"17.0.15\" 2025-04-15"), "17.0.15");
  EXPECT_EQ(Probe(dir, "version_line=java version \"1.3.1_09\""), "");
  EXPECT_EQ(Probe(dir, "version_line=say \"hello\" then \"1.6.0_45\" done"), "1.6.0_45");
  // Without a pair of quotes the line itself is the version.
  EXPECT_EQ(Probe(dir, "version_line=1.5.0 without quotes"), "1.5.0 without quotes");
  EXPECT_EQ(Probe(dir, "version_line=version 1.5.0"), "");
  EXPECT_EQ(Probe(dir, "version_line=1.7.0\" after one quote"), "1.7.0");
  // Only the first line counts; the stand-in's second line is no version.
  EXPECT_EQ(Probe(dir, "version_line=no version on this line"), "");
}

TEST(CheckJREVersion, LooksAtTheFirst512BytesOnly) {
  test::ScratchDir dir;
  const std::string line = "java version \"1.5.0\"";  // 20 bytes
  EXPECT_EQ(Probe(dir, "version_line=" + std::string(492, ' ') + line), "1.5.0");
  // One byte more and the closing quote falls outside: the line is refused.
  EXPECT_EQ(Probe(dir, "version_line=" + std::string(493, ' ') + line), "");
  // Far more than a pipe holds neither blocks the runtime nor the launcher.
  EXPECT_EQ(Probe(dir, "version_line=" + line + "\nflood=102400"), "1.5.0");
}

TEST(CheckJREVersion, NeedsStandardErrorOutputOfARuntimeThatEndedNormally) {
  test::ScratchDir dir;
  EXPECT_EQ(Probe(dir, "version_to=stdout"), "");
  EXPECT_EQ(Probe(dir, "version_to=none"), "");
  EXPECT_EQ(Probe(dir, "version_exit=3"), "1.5.0_22");
  EXPECT_EQ(Probe(dir, "version_signal=9"), "");
  EXPECT_EQ(Probe(dir, "version_signal=15"), "");
  EXPECT_EQ(CheckJREVersion((dir / "missing").c_str()), "");
  // A home without a program, and one whose program can't be executed.
  dir.MakeDir("empty");
  EXPECT_EQ(CheckJREVersion((dir / "empty").c_str()), "");
  dir.Write("garbage/bin/java",
            "\x7f"
            "ELF but not really",
            0755);
  EXPECT_EQ(CheckJREVersion((dir / "garbage").c_str()), "");
}

TEST(CheckJREVersion, StartsTheRuntimeWithOnlyStandardErrorOpenAndNoEnvironment) {
  test::ScratchDir dir;
  setenv("BRAMLET_PROBE_TEST", "must not be seen", 1);
  EXPECT_EQ(Probe(dir, "version_to=report"), "1.5.0 fd0=closed fd1=closed fd2=pipe env=0 args=2");
}

TEST(CheckJREVersion, ReadsTheVersionOfARealRuntime) {
  std::string home = TEST_JAVA_HOME;
  std::string command = home + "/bin/java -version 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char first[512] = "";
  ASSERT_NE(fgets(first, sizeof first, p), nullptr);
  pclose(p);
  std::string version = CheckJREVersion(home.c_str());
  ASSERT_FALSE(version.empty()) << first;
  EXPECT_NE(std::string(first).find("\"" + version + "\""), std::string::npos) << first;
  EXPECT_TRUE(CheckJavaVersion(home.c_str()));
}

TEST(CheckJavaVersion, IsFalseForAnUnsupportedRuntime) {
  test::ScratchDir dir;
  std::string home =
      test::MakeRuntime(dir / "old", test::Layout::kJava8, "version_line=java version \"1.4.0\"");
  EXPECT_FALSE(CheckJavaVersion(home.c_str()));
}

TEST(CheckJavaClassFile, NeedsTheReadableMainClassInTheApplicationHome) {
  test::ScratchDir dir(0755);
  std::string empty = dir.MakeDir("empty");
  dir.Write("extracted/bramlet.class", "\xca\xfe\xba\xbe", 0644);
  dir.Write("secret/bramlet.class", "\xca\xfe\xba\xbe", 0600);
  EXPECT_EQ(test::AsNobody([&] {
              std::string r;
              for (const char* home : {"empty", "extracted", "secret"}) {
                SetApplicationHome((dir / home).c_str());
                r += std::to_string(CheckJavaClassFile());
              }
              return r;
            }),
            "010");
}

}  // namespace
