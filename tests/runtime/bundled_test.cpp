#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/exec_name.h"
#include "runtime/discovery.h"
#include "runtime/runtime_support.h"
#include "runtime/version.h"
#include "support/child.h"

namespace {

const char kExtracting[] = "Extracting Java(TM) 2 Runtime Environment files...\n";

// Writes dir/name.setup: foreign bytes standing for the launcher's image
// followed by a ZIP archive that Info-ZIP zip makes of the tree under
// dir/name, and returns its path.
std::string MakePayload(const test::ScratchDir& dir, const std::string& name) {
  std::string zip = dir / (name + ".zip"), setup = dir / (name + ".setup");
  std::string command = "cd " + dir / name + " && zip -q -r -1 -X " + zip + " .";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << command;
  std::ofstream(setup, std::ios::binary) << "\177ELF launcher image\n"
                                         << std::ifstream(zip, std::ios::binary).rdbuf();
  chmod(setup.c_str(), 0755);
  return setup;
}

// In a child whose launcher file is launcher and whose application home is
// home (each unless empty), in the English locale: what GetBundledJREPath
// gives, the version of that runtime, whether a second call, after its files
// were removed, gives the same, and what the calls wrote.
std::string TwoCalls(const std::string& launcher, const std::string& home) {
  test::ChildResult r = test::RunInChild([&] {
    test::UseLocaleEnvironment(nullptr);
    if (!launcher.empty() && SetExecName(launcher.c_str()) == nullptr) return std::string("no exec name");
    if (!home.empty()) SetApplicationHome(home.c_str());
    const char* first = GetBundledJREPath();
    if (first == nullptr) return "<null> " + std::string(GetBundledJREPath() ? "other" : "<null>");
    std::string version = CheckJREVersion(first);
    std::filesystem::remove_all(home + "/package");
    return std::string(first) + " " + version + (GetBundledJREPath() == first ? " same" : " other");
  });
  return r.value + "|" + r.out;
}

TEST(GetBundledJREPath, ExtractsOnlyThePayloadsRuntimeAndKeepsItOrTriesAgain) {
  test::ScratchDir dir;
  test::MakeRuntime(dir / "full/package/jre", test::Layout::kJava8, "version=java version \"1.6.0_45\"");
  dir.Write("full/bramlet.class", "\xca\xfe\xba\xbe");
  dir.Write("no-jre/package/jre.txt", "not a runtime");
  std::string plain = dir.Write("plain", "\177ELF no archive here", 0755);
  std::string full = dir.MakeDir("full-home"), home = dir.MakeDir("home"), inPlace = dir / "in-place";
  test::MakeRuntime(inPlace + "/package/jre", test::Layout::kModern);
  EXPECT_EQ(TwoCalls(MakePayload(dir, "full"), full), full + "/package/jre 1.6.0_45 same|" + kExtracting);
  EXPECT_FALSE(std::filesystem::exists(full + "/bramlet.class"));
  EXPECT_EQ(TwoCalls(MakePayload(dir, "no-jre"), home),
            std::string("<null> <null>|") + kExtracting + kExtracting);
  // A launcher without an archive behind it says nothing; neither does one
  // without an application home. A runtime already in place is used as it is.
  EXPECT_EQ(TwoCalls(plain, home), "<null> <null>|");
  EXPECT_EQ(TwoCalls("", ""), "<null> <null>|");
  EXPECT_EQ(TwoCalls(plain, inPlace), inPlace + "/package/jre 1.5.0_22 same|");
}

}  // namespace
