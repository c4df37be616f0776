#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/exec_name.h"
#include "runtime/discovery.h"
#include "runtime/runtime_support.h"
#include "runtime/version.h"
#include "support/child.h"

namespace {

const char kExtracting[] = "Extracting Java(TM) 2 Runtime Environment files...\n";

std::string Show(const char* s) { return s ? s : "<null>"; }

// Runs fn in a child whose launcher file is payload (unless empty) and whose
// application home is home (unless empty), in the English locale.
test::ChildResult AsLauncher(const std::string& payload, const std::string& home,
                             const std::function<std::string()>& fn) {
  return test::RunInChild([&] {
    test::UseLocaleEnvironment(nullptr);
    if (!payload.empty() && SetExecName(payload.c_str()) == nullptr) return std::string("no exec name");
    if (!home.empty()) SetApplicationHome(home.c_str());
    return fn();
  });
}

TEST(GetBundledJREPath, ExtractsOnlyThePayloadsRuntimeAndKeepsIt) {
  test::ScratchDir dir;
  test::MakeRuntime(dir / "staged/package/jre", test::Layout::kJava8,
                    "version_line=java version \"1.6.0_45\"");
  dir.Write("staged/bramlet.class", "\xca\xfe\xba\xbe");
  dir.Write("staged/package/PackageFormat.jar", "jar");
  std::string payload = test::MakePayload(dir, "staged", dir / "setup");
  std::string home = dir.MakeDir("work");
  test::ChildResult r = AsLauncher(payload, home, [&] {
    const char* first = GetBundledJREPath();
    std::string version = first ? CheckJREVersion(first) : "";
    // Found once, it is kept even when its files go away.
    std::filesystem::remove_all(home + "/package");
    const char* second = GetBundledJREPath();
    return Show(first) + " " + version + " " + (second == first ? "same" : "other");
  });
  EXPECT_EQ(r.value, home + "/package/jre 1.6.0_45 same");
  EXPECT_EQ(r.out, kExtracting);
  EXPECT_FALSE(std::filesystem::exists(home + "/bramlet.class"));
}

TEST(GetBundledJREPath, IsNullWithoutARuntimeInThePayloadAndTriesAgain) {
  test::ScratchDir dir;
  dir.Write("staged/bramlet.class", "\xca\xfe\xba\xbe");
  dir.Write("staged/package/jre.txt", "not a runtime");
  std::string payload = test::MakePayload(dir, "staged", dir / "setup");
  std::string plain = dir.Write("plain",
                                "\x7f"
                                "ELF no archive here",
                                0755);
  std::string home = dir.MakeDir("work");
  auto twice = [] { return Show(GetBundledJREPath()) + " " + Show(GetBundledJREPath()); };
  test::ChildResult r = AsLauncher(payload, home, twice);
  EXPECT_EQ(r.value, "<null> <null>");
  EXPECT_EQ(r.out, std::string(kExtracting) + kExtracting);
  // A launcher without an archive behind it says nothing; neither does one
  // without an application home.
  r = AsLauncher(plain, home, twice);
  EXPECT_EQ(r.value + r.out, "<null> <null>");
  r = AsLauncher("", "", twice);
  EXPECT_EQ(r.value + r.out, "<null> <null>");
  // A runtime already in place is used as it is.
  test::MakeRuntime(home + "/package/jre", test::Layout::kModern);
  r = AsLauncher(plain, home, twice);
  EXPECT_EQ(r.value + r.out, home + "/package/jre " + home + "/package/jre");
}

TEST(GetPublicJREPath, ExtractsThePayloadsRuntimeAndPrefersItToAPlainHostRuntime) {
  test::ScratchDir dir;
  test::MakeRuntime(dir / "staged/package/jre", test::Layout::kJava8, "version_line=java version \"1.4.2\"");
  std::string payload = test::MakePayload(dir, "staged", dir / "setup");
  std::string host =
      test::MakeRuntime(dir / "host", test::Layout::kModern, "version_line=java version \"17.0.15\"");
  std::string home = dir.MakeDir("work");
  test::ChildResult r = AsLauncher(payload, home, [&] {
    setenv("JAVA_HOME", host.c_str(), 1);
    return GetPublicJREPath();
  });
  EXPECT_EQ(r.value, home + "/package/jre");
}

}  // namespace
