#include "runtime/version.h"

#include <gtest/gtest.h>

#include <utility>

#include "support/child.h"
#include "support/stand_in.h"

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
  // Older, newer. The old scheme's "1." is dropped: Java 8 is older than Java
  // 9. Numbers beyond 64 bits still compare.
  const std::pair<const char*, const char*> ordered[] = {
      {"1.8.0_91", "1.8.0_101"}, {"1.4.2_04", "1.4.2_10"}, {"9", "17.0.15"},
      {"11.0.2", "11.0.10"},     {"17.0.15", "17.0.15+6"}, {"1.4.2", "1.4.2_01"},
      {"1.8.0_392", "9"},        {"1.8.0_392", "1.9"},     {"9999999999999999999", "99999999999999999999"}};
  for (auto [older, newer] : ordered) {
    EXPECT_LT(CompareVersions(older, newer), 0) << older << " " << newer;
    EXPECT_GT(CompareVersions(newer, older), 0) << newer << " " << older;
  }
  const std::pair<const char*, const char*> equal[] = {
      {"17.0.15", "17.0.15"}, {"11", "11.0.0"}, {"1.8.0_05", "1.8.0_5"}, {"17-ea", "17"}};
  for (auto [a, b] : equal)
    EXPECT_TRUE(CompareVersions(a, b) == 0 && CompareVersions(b, a) == 0) << a << " " << b;
}

TEST(CheckJREVersion, TakesTheFirstLineOnStandardErrorOfARuntimeThatEndedNormally) {
  test::ScratchDir dir;
  std::string home = test::MakeRuntime(dir / "rt", test::Layout::kJava8);
  const std::string line = "java version \"1.5.0\"";  // 20 bytes
  const std::pair<std::string, std::string> cases[] = {
      {"version=java version \"1.4.2_04\"", "1.4.2_04"},
      {"version=openjdk version \"17.0.15\" 2025-04-15", "17.0.15"},
      {"version=java version \"1.3.1_09\"", ""},
      {"version=say \"hello\" then \"1.6.0_45\" done", "1.6.0_45"},
      // Without a pair of quotes the first line itself is the version.
      {"version=1.5.0 without quotes", "1.5.0 without quotes"},
      {"version=version 1.5.0", ""},
      {"version=1.7.0\" after one quote", "1.7.0"},
      // Only the first 512 bytes count; far more than a pipe holds blocks neither side.
      {"version=" + std::string(492, ' ') + line, "1.5.0"},
      {"version=" + std::string(493, ' ') + line, ""},
      {"version=" + line + std::string(102400, 'x'), "1.5.0"},
      {"to=stdout", ""},
      {"to=none", ""},
      {"exit=3", "1.8.0_91"},
      {"signal=9", ""},
      {"to=report", "1.5.0 fd0=closed fd1=closed fd2=pipe env=0 args=2"},
  };
  for (const auto& [conf, version] : cases) {
    dir.Write("rt/bin/java.conf", conf);
    EXPECT_EQ(CheckJREVersion(home.c_str()).value_or(""), version) << conf;
  }
  dir.MakeDir("empty");
  for (const char* name : {"missing", "empty"}) EXPECT_FALSE(CheckJREVersion((dir / name).c_str())) << name;
}

}  // namespace
