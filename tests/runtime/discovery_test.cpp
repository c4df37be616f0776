#include "runtime/discovery.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/exec_name.h"
#include "runtime/runtime_support.h"
#include "support/child.h"

namespace {

using test::Layout;
using test::MakeRuntime;

std::string Show(const std::string& s) { return s.empty() ? "<null>" : s; }

TEST(GetJREPath, RecognisesJava8HomesKitsAndLaterRuntimes) {
  test::ScratchDir dir;
  std::string java8 = MakeRuntime(dir / "java8", Layout::kJava8);
  MakeRuntime(dir / "kit8", Layout::kJre8);
  std::string modern = MakeRuntime(dir / "modern", Layout::kModern);
  EXPECT_EQ(GetJREPath(java8.c_str()), java8);
  EXPECT_EQ(GetJREPath((dir / "kit8").c_str()), dir / "kit8/jre");
  EXPECT_EQ(GetJREPath((dir / "kit8/jre").c_str()), dir / "kit8/jre");
  EXPECT_EQ(GetJREPath(modern.c_str()), modern);
  EXPECT_EQ(GetJREPath(TEST_JAVA_HOME), TEST_JAVA_HOME);
  // The Java 8 forms come first: a kit's own lib/libjava.so does not make
  // its top directory the home.
  MakeRuntime(dir / "mixed", Layout::kJre8);
  MakeRuntime(dir / "mixed", Layout::kModern);
  EXPECT_EQ(GetJREPath((dir / "mixed").c_str()), dir / "mixed/jre");
  EXPECT_EQ(Show(GetJREPath((dir / "missing").c_str())), "<null>");
}

TEST(GetJREPath, NeedsAnExecutableProgram) {
  test::ScratchDir dir;
  for (const char* name : {"no-program", "not-executable", "directory"})
    dir.Write(std::string(name) + "/lib/amd64/libjava.so", "");
  dir.Write("not-executable/bin/java", "#!/bin/sh\n", 0644);
  dir.MakeDir("directory/bin/java");
  // Found through the jre form, the program must be the one under jre.
  dir.Write("outside-jre/jre/lib/amd64/libjava.so", "");
  dir.Write("outside-jre/bin/java", "#!/bin/sh\n", 0755);
  for (const char* name : {"no-program", "not-executable", "directory", "outside-jre"})
    EXPECT_EQ(Show(GetJREPath((dir / name).c_str())), "<null>") << name;
}

TEST(IsJDK, LooksForToolsJarBesideAJreOrInsideTheHome) {
  test::ScratchDir dir;
  dir.Write("kit/lib/tools.jar", "");
  dir.MakeDir("kit/jre");
  dir.Write("inner/jre/lib/tools.jar", "");
  dir.MakeDir("plain/lib");
  EXPECT_TRUE(IsJDK((dir / "kit/jre").c_str()));
  EXPECT_TRUE(IsJDK((dir / "kit").c_str()));
  EXPECT_FALSE(IsJDK((dir / "inner/jre").c_str()));
  EXPECT_FALSE(IsJDK((dir / "plain").c_str()));
  // A path without any "/" is looked up below itself, even when it reads "jre".
  EXPECT_EQ(test::InChild([&] {
              if (chdir((dir / "inner").c_str()) != 0) return std::string("chdir failed");
              return std::to_string(IsJDK("jre")) + std::to_string(IsJDK("lib"));
            }),
            "10");
}

// GetPublicJREPath in a child with JAVA_HOME and PATH as given (null: unset)
// and, when given, an application home for the payload's runtime.
std::string Choose(const char* javaHome, const char* path, const std::string& applicationHome = "") {
  return test::InChild([=] {
    if (javaHome)
      setenv("JAVA_HOME", javaHome, 1);
    else
      unsetenv("JAVA_HOME");
    if (path)
      setenv("PATH", path, 1);
    else
      unsetenv("PATH");
    if (!applicationHome.empty()) SetApplicationHome(applicationHome.c_str());
    return Show(GetPublicJREPath());
  });
}

std::string Version(const std::string& version) { return "version_line=java version \"" + version + "\""; }

TEST(GetPublicJREPath, SearchesJavaHomeAndThePathElements) {
  test::ScratchDir dir;
  std::string java8 = MakeRuntime(dir / "java8", Layout::kJava8, Version("1.8.0_91"));
  std::string modern = MakeRuntime(dir / "modern", Layout::kModern, Version("17.0.15"));
  std::string kit8 = MakeRuntime(dir / "kit8", Layout::kJre8, Version("1.8.0_91"));
  EXPECT_EQ(Choose(java8.c_str(), nullptr), java8);
  EXPECT_EQ(Choose(nullptr, ("/usr/bin:" + modern + "/bin").c_str()), modern);
  EXPECT_EQ(Choose(nullptr, (kit8 + "/bin").c_str()), kit8);
  EXPECT_EQ(Choose(TEST_JAVA_HOME, "/usr/bin:/bin"), TEST_JAVA_HOME);
  EXPECT_EQ(Choose(nullptr, TEST_JAVA_HOME "/bin"), TEST_JAVA_HOME);
  EXPECT_EQ(Choose(nullptr, nullptr), "<null>");
  EXPECT_EQ(Choose(nullptr, "/usr/bin:/bin"), "<null>");
  // Empty elements at either end or doubled neither stop nor spoil the search.
  for (const std::string& path : {":" + java8 + "/bin", java8 + "/bin:", "::" + java8 + "/bin::"})
    EXPECT_EQ(Choose(nullptr, path.c_str()), java8) << path;
}

TEST(GetPublicJREPath, LooksTwoLevelsAboveTheJavaOfEachElement) {
  test::ScratchDir dir;
  std::string java8 = MakeRuntime(dir / "java8", Layout::kJava8);
  // "bin/" leads to java8/bin//java, and two levels above that is java8/bin.
  EXPECT_EQ(Choose(nullptr, (java8 + "/bin/").c_str()), "<null>");
  // A link to a runtime's java counts for the directory that holds the link.
  dir.MakeDir("links/bin");
  symlink((java8 + "/bin/java").c_str(), (dir / "links/bin/java").c_str());
  EXPECT_EQ(Choose(nullptr, (dir / "links/bin").c_str()), "<null>");
  dir.Write("links/lib/amd64/libjava.so", "");
  EXPECT_EQ(Choose(nullptr, (dir / "links/bin").c_str()), dir / "links");
  // The current directory (an empty element) has no runtime home above it.
  EXPECT_EQ(test::InChild([&] {
              if (chdir((java8 + "/bin").c_str()) != 0) return std::string("chdir failed");
              unsetenv("JAVA_HOME");
              setenv("PATH", "", 1);
              return Show(GetPublicJREPath());
            }),
            "<null>");
}

TEST(GetPublicJREPath, PrefersKitsThenTheNewestVersionThenTheLastFound) {
  test::ScratchDir dir;
  auto kit = [&](const std::string& name, const std::string& version) {
    return MakeRuntime(dir / name, Layout::kJava8, Version(version), true);
  };
  auto plain = [&](const std::string& name, const std::string& version) {
    return MakeRuntime(dir / name, Layout::kJava8, Version(version));
  };
  auto path = [](const std::string& a, const std::string& b) { return a + "/bin:" + b + "/bin"; };
  std::string k04 = kit("k04", "1.4.2_04"), k10 = kit("k10", "1.4.2_10");
  std::string k91 = kit("k91", "1.8.0_91"), k101 = kit("k101", "1.8.0_101");
  std::string k9 = kit("k9", "9"), k17 = kit("k17", "17.0.15");
  std::string sameA = kit("sameA", "1.6.0"), sameB = kit("sameB", "1.6.0");
  std::string old = kit("old", "1.3.1"), p17 = plain("p17", "17.0.15"), p5 = plain("p5", "1.5.0");
  for (auto pair : {std::make_pair(k04, k10), std::make_pair(k91, k101), std::make_pair(k9, k17)}) {
    EXPECT_EQ(Choose(nullptr, path(pair.first, pair.second).c_str()), pair.second);
    EXPECT_EQ(Choose(nullptr, path(pair.second, pair.first).c_str()), pair.second);
  }
  EXPECT_EQ(Choose(nullptr, path(sameA, sameB).c_str()), sameB);
  EXPECT_EQ(Choose(nullptr, path(sameB, sameA).c_str()), sameA);
  EXPECT_EQ(Choose(sameA.c_str(), (sameB + "/bin").c_str()), sameB);
  // Any supported kit beats every plain runtime; unsupported ones count for nothing.
  EXPECT_EQ(Choose(nullptr, path(p17, k04).c_str()), k04);
  EXPECT_EQ(Choose(nullptr, path(old, p5).c_str()), p5);
  EXPECT_EQ(Choose(nullptr, path(p17, p5).c_str()), p17);
}

TEST(GetPublicJREPath, ProbesAHomeFoundTwiceOnceButCountsItTwice) {
  test::ScratchDir dir;
  std::string count = dir / "probes";
  std::string a = MakeRuntime(dir / "a", Layout::kJava8, Version("1.6.0") + "\ncount=" + count);
  std::string b = MakeRuntime(dir / "b", Layout::kJava8, Version("1.6.0"));
  EXPECT_EQ(Choose(a.c_str(), (a + "/bin").c_str()), a);
  EXPECT_EQ(test::ReadFile(count), "probe\n");
  // Found again after b, a is the last of two equal versions.
  EXPECT_EQ(Choose(a.c_str(), (b + "/bin:" + a + "/bin").c_str()), a);
  EXPECT_EQ(test::ReadFile(count), "probe\nprobe\n");
}

TEST(GetPublicJREPath, WeighsThePayloadsRuntimeAgainstTheHosts) {
  test::ScratchDir dir;
  std::string count = dir / "payload-probes";
  // The payload's runtime is never probed, so even an old one is used.
  std::string plainPayload = dir.MakeDir("plain-payload");
  MakeRuntime(plainPayload + "/package/jre", Layout::kJava8, Version("1.3.1") + "\ncount=" + count);
  std::string kitPayload = dir.MakeDir("kit-payload");
  MakeRuntime(kitPayload + "/package/jre", Layout::kJava8, "count=" + count);
  dir.Write("kit-payload/package/lib/tools.jar", "");
  std::string hostKit = MakeRuntime(dir / "host-kit", Layout::kJava8, Version("17.0.15"), true);
  std::string hostPlain = MakeRuntime(dir / "host-plain", Layout::kJava8, Version("17.0.15"));
  EXPECT_EQ(Choose(nullptr, nullptr, plainPayload), plainPayload + "/package/jre");
  EXPECT_EQ(Choose(nullptr, (hostPlain + "/bin").c_str(), plainPayload), plainPayload + "/package/jre");
  EXPECT_EQ(Choose(nullptr, (hostKit + "/bin").c_str(), plainPayload), hostKit);
  EXPECT_EQ(Choose(nullptr, (hostKit + "/bin").c_str(), kitPayload), kitPayload + "/package/jre");
  EXPECT_EQ(test::ReadFile(count), "");
}

TEST(GetPublicJREPath, TakesUsrJ2seFirstInTheSearchOrder) {
  test::ScratchDir dir;
  std::string same = MakeRuntime(dir / "same", Layout::kJava8, Version("1.6.0"), true);
  std::string older = MakeRuntime(dir / "older", Layout::kJava8, Version("1.5.0"), true);
  auto withJ2se = [&](const char* javaHome) {
    test::ChildOptions options;
    // /usr/j2se exists only in this child's private view of /usr.
    options.asRoot = [&] {
      std::string layers = dir / "layers";
      mkdir(layers.c_str(), 0700);
      std::string lower = "lowerdir=/usr,upperdir=" + layers + "/upper,workdir=" + layers + "/work";
      if (mount("tmpfs", layers.c_str(), "tmpfs", 0, nullptr) != 0 ||
          mkdir((layers + "/upper").c_str(), 0755) != 0 || mkdir((layers + "/work").c_str(), 0755) != 0 ||
          mount("overlay", "/usr", "overlay", 0, lower.c_str()) != 0)
        _exit(124);
      MakeRuntime("/usr/j2se", Layout::kJre8, Version("1.6.0"), true);
    };
    return test::InChild(
        [=] {
          if (javaHome) setenv("JAVA_HOME", javaHome, 1);
          unsetenv("PATH");
          return Show(GetPublicJREPath());
        },
        options);
  };
  EXPECT_EQ(withJ2se(nullptr), "/usr/j2se/jre");
  EXPECT_EQ(withJ2se(older.c_str()), "/usr/j2se/jre");
  EXPECT_EQ(withJ2se(same.c_str()), same);
}

}  // namespace
