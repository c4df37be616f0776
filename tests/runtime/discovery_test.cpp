#include "runtime/discovery.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "support/child.h"
#include "support/stand_in.h"

namespace {

using test::Layout;
using test::MakeRuntime;

std::string Show(const std::optional<std::string>& s) { return s.value_or("<null>"); }

std::string Version(const std::string& version) { return "version=java version \"" + version + "\""; }

TEST(GetJREPath, RecognisesJava8HomesKitsAndLaterRuntimesWithAnExecutableProgram) {
  test::ScratchDir dir;
  MakeRuntime(dir / "java8", Layout::kJava8);
  MakeRuntime(dir / "kit8", Layout::kJre8);
  MakeRuntime(dir / "modern", Layout::kModern);
  // The Java 8 forms come first: a kit's own lib/libjava.so does not make
  // its top directory the home.
  MakeRuntime(dir / "mixed", Layout::kJre8);
  MakeRuntime(dir / "mixed", Layout::kModern);
  for (const char* name : {"no-program", "not-executable", "directory"})
    dir.Write(std::string(name) + "/lib/" TEST_JAVA_ARCH "/libjava.so", "");
  dir.Write("not-executable/bin/java", "#!/bin/sh\n", 0644);
  dir.MakeDir("directory/bin/java");
  // Found through the jre form, the program must be the one under jre.
  dir.Write("outside-jre/jre/lib/" TEST_JAVA_ARCH "/libjava.so", "");
  dir.Write("outside-jre/bin/java", "#!/bin/sh\n", 0755);
  const std::pair<const char*, const char*> cases[] = {
      {"java8", "java8"},     {"kit8", "kit8/jre"},    {"kit8/jre", "kit8/jre"}, {"modern", "modern"},
      {"mixed", "mixed/jre"}, {"missing", nullptr},    {"no-program", nullptr},  {"not-executable", nullptr},
      {"directory", nullptr}, {"outside-jre", nullptr}};
  for (auto [name, home] : cases)
    EXPECT_EQ(Show(GetJREPath((dir / name).c_str())), home ? dir / home : "<null>") << name;
}

// The kits of the search tests below keep tools.jar in either place; these
// homes could be taken for the other form.
TEST(IsJDK, LooksForToolsJarBesideAJreOrInsideAnyOtherHome) {
  test::ScratchDir dir;
  dir.Write("inner/jre/lib/tools.jar", "");
  // A path without any "/" is looked up below itself, even when it reads "jre".
  EXPECT_EQ(test::InChild([&] {
              if (chdir((dir / "inner").c_str()) != 0) return std::string("chdir failed");
              return std::to_string(IsJDK((dir / "inner/jre").c_str())) + std::to_string(IsJDK("jre"));
            }),
            "01");
}

const char kUnset[] = "<unset>";

// One search: PATH, the home it must choose (empty: none), JAVA_HOME (kUnset:
// not set) and the application home that holds the payload's runtime (empty:
// none).
struct Search {
  std::string path, chosen, javaHome = kUnset, applicationHome = "";
};

// GetPublicJREPath for search, in a child whose current directory is cwd.
std::string Choose(const Search& search, const std::string& cwd, const test::ChildOptions& options = {}) {
  return test::InChild(
      [&] {
        if (chdir(cwd.c_str()) != 0) return std::string("chdir failed");
        for (auto [name, value] :
             {std::make_pair("JAVA_HOME", search.javaHome), std::make_pair("PATH", search.path)})
          value == kUnset ? unsetenv(name) : setenv(name, value.c_str(), 1);
        return Show(GetPublicJREPath(
            nullptr, (search.applicationHome.empty() ? cwd : search.applicationHome).c_str(), -1));
      },
      options);
}

TEST(GetPublicJREPath, PrefersKitsThenTheNewestVersionThenTheLastFound) {
  test::ScratchDir dir;
  // Kits, each logging its probes to <name>.probes.
  const std::pair<const char*, const char*> kits[] = {
      {"k04", "1.4.2_04"}, {"k91", "1.8.0_91"}, {"k101", "1.8.0_101"}, {"k17", "17.0.15"},
      {"sameA", "1.6.0"},  {"sameB", "1.6.0"},  {"twice", "1.6.0"},    {"old", "1.3.1"}};
  for (auto [name, version] : kits) {
    MakeRuntime(dir / name, Layout::kJava8, Version(version) + "\nlog=" + dir / name + ".probes");
    dir.Write(std::string(name) + "/lib/tools.jar", "");
  }
  std::string java8 = MakeRuntime(dir / "java8", Layout::kJava8, Version("1.8.0_91"));
  std::string p17 = MakeRuntime(dir / "p17", Layout::kModern, Version("17.0.15"));
  MakeRuntime(dir / "p5", Layout::kJava8, Version("1.5.0"));
  // A link to a runtime's java counts for the directory that holds the link.
  dir.Write("linked/lib/" TEST_JAVA_ARCH "/libjava.so", "");
  symlink((java8 + "/bin/java").c_str(), (dir.MakeDir("linked/bin") + "/java").c_str());
  symlink((java8 + "/bin/java").c_str(), (dir.MakeDir("links/bin") + "/java").c_str());
  // The payload's runtime is never probed, so even an old one is used.
  std::string plainPayload = dir / "plain-payload", kitPayload = dir / "kit-payload";
  MakeRuntime(plainPayload + "/package/jre", Layout::kJava8,
              Version("1.3.1") + "\nlog=" + dir / "payload.probes");
  MakeRuntime(kitPayload + "/package/jre", Layout::kJava8, "log=" + dir / "payload.probes");
  dir.Write("kit-payload/package/lib/tools.jar", "");

  auto path = [&](const char* a, const char* b) { return dir / a + "/bin:" + dir / b + "/bin"; };
  std::vector<Search> searches = {
      {"/usr/bin:" + p17 + "/bin", p17},
      {TEST_JAVA_HOME "/bin", TEST_JAVA_HOME},
      {kUnset, ""},
      // Empty elements at either end or doubled neither stop nor spoil the search.
      {"::" + java8 + "/bin::", java8},
      // "bin/" leads to java8/bin//java, and two levels above that is java8/bin.
      {java8 + "/bin/", ""},
      {dir / "linked/bin", dir / "linked"},
      // Where that directory is none, the home of the runtime the link leads to.
      {dir / "links/bin", java8},
      // The current directory, java8/bin, has no runtime home above it.
      {"", ""},
      {path("sameA", "sameB"), dir / "sameB"},
      {dir / "sameB/bin", dir / "sameB", dir / "sameA"},
      // Any supported kit beats every plain runtime; unsupported ones count for nothing.
      {path("p17", "k04"), dir / "k04"},
      {path("old", "p5"), dir / "p5"},
      {path("p17", "p5"), p17},
      // A home found twice is probed once but counts each time.
      {dir / "twice/bin", dir / "twice", dir / "twice"},
      {path("sameB", "twice"), dir / "twice", dir / "twice"},
      // The payload's kit, the host's kit, the payload's plain runtime, the host's plain one.
      {kUnset, plainPayload + "/package/jre", kUnset, plainPayload},
      {p17 + "/bin", plainPayload + "/package/jre", kUnset, plainPayload},
      {dir / "k17/bin", dir / "k17", kUnset, plainPayload},
      {dir / "k17/bin", kitPayload + "/package/jre", kUnset, kitPayload},
  };
  // The newest, in either order (CompareVersions orders the rest).
  searches.push_back({path("k91", "k101"), dir / "k101"});
  searches.push_back({path("k101", "k91"), dir / "k101"});
  for (const Search& s : searches)
    EXPECT_EQ(Choose(s, java8 + "/bin"), s.chosen.empty() ? "<null>" : s.chosen)
        << s.path << " " << s.javaHome << " " << s.applicationHome;
  EXPECT_EQ(test::ReadFile(dir / "twice.probes"), "probe\nprobe\n");
  EXPECT_EQ(test::ReadFile(dir / "payload.probes"), "");
}

TEST(GetPublicJREPath, TakesUsrJ2seFirstInTheSearchOrder) {
  test::ScratchDir dir;
  std::string same = MakeRuntime(dir / "same", Layout::kJava8, Version("1.6.0"));
  std::string older = MakeRuntime(dir / "older", Layout::kJava8, Version("1.5.0"));
  test::ChildOptions options;
  // /usr/j2se exists only in this child's private view of /usr.
  options.asRoot = [&] {
    std::string layers = dir.MakeDir("layers", 0700);
    std::string lower = "lowerdir=/usr,upperdir=" + layers + "/upper,workdir=" + layers + "/work";
    if (mount("tmpfs", layers.c_str(), "tmpfs", 0, nullptr) != 0 ||
        mkdir((layers + "/upper").c_str(), 0755) != 0 || mkdir((layers + "/work").c_str(), 0755) != 0 ||
        mount("overlay", "/usr", "overlay", 0, lower.c_str()) != 0)
      _exit(124);
    MakeRuntime("/usr/j2se", Layout::kJre8, Version("1.6.0"));
  };
  for (const Search& s :
       {Search{kUnset, "/usr/j2se/jre"}, Search{kUnset, "/usr/j2se/jre", older}, Search{kUnset, same, same}})
    EXPECT_EQ(Choose(s, dir.path(), options), s.chosen) << s.javaHome;
}

}  // namespace
