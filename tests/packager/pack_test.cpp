#include "packager/pack.h"

#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "packager/archive_writer.h"
#include "packager/inspect.h"
#include "support/child.h"

namespace {

namespace fs = std::filesystem;

// Bytes that stand for the launcher's image.
const std::string kImage = "\177ELF image of a launcher " + std::string(3000, 'L');

// The exit status of a shell command.
int Shell(const std::string& command) {
  int status = system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class PackTest : public ::testing::Test {
 protected:
  PackTest() : dir_(0755) {
    dir_.Write("launcher", kImage, 0755);
    dir_.Write("p/bramlet.class", "\xca\xfe\xba\xbe main class");
    dir_.Write("p/package/PackageFormat.jar", "jar bytes");
    dir_.Write("p/docs/zero", "");
    dir_.MakeDir("p/docs/empty");
    // Bytes that deflate can't shrink, and bytes that it can.
    std::string noise(300000, '\0'), text;
    std::minstd_rand random(12345);
    for (char& c : noise) c = static_cast<char>(random());
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
    dir_.Write("p/data/noise", noise);
    dir_.Write("p/data/text", text);
    dir_.Write("p/names/a b \xc3\xa9", "utf-8 name");
    dir_.MakeDir("out");
  }

  Command PackCommand(const std::string& output) const {
    Command c;
    c.payload = dir_ / "p";
    c.output = output;
    c.launcher = dir_ / "launcher";
    return c;
  }

  // Packs, expecting success; returns the installer's bytes.
  std::string PackOk(const Command& c) {
    std::string err;
    EXPECT_TRUE(Pack(c, "", &err)) << err;
    return test::ReadFile(c.output);
  }

  test::ScratchDir dir_;
};

TEST_F(PackTest, RoundTripsThroughTheLaunchersReaderAndUnzip) {
  std::string payload = dir_ / "p", setup = dir_ / "out/setup";
  for (int level : {6, 0}) {
    SCOPED_TRACE("level " + std::to_string(level));
    Command c = PackCommand(setup);
    c.level = level;
    EXPECT_EQ(PackOk(c).compare(0, kImage.size(), kImage), 0);
    EXPECT_EQ(fs::status(setup).permissions(), fs::perms(0755));

    std::vector<ListedEntry> entries;
    std::string err;
    ASSERT_TRUE(ListSetup(setup, &entries, &err)) << err;
    std::vector<std::string> names;
    for (const ListedEntry& e : entries) {
      names.push_back(e.name);
      EXPECT_EQ(e.deflated, level != 0 && e.name.back() != '/') << e.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"bramlet.class", "data/", "data/noise", "data/text", "docs/",
                                               "docs/empty/", "docs/zero", "names/", "names/a b \xc3\xa9",
                                               "package/", "package/PackageFormat.jar"}));
    VerifyResult verified;
    ASSERT_TRUE(VerifySetup(setup, &verified, &err)) << err;
    EXPECT_EQ(std::make_pair(verified.entries, verified.problems), std::make_pair(11, std::vector<std::string>{}));

    std::string extracted = dir_ / ("x" + std::to_string(level)), unzipped = dir_ / ("u" + std::to_string(level));
    ZipArchive zip(zipOpen(setup.c_str(), nullptr));
    ASSERT_NE(zip, nullptr);
    EXPECT_TRUE(UnzipFiles(zip.get(), extracted.c_str(), nullptr));
    EXPECT_EQ(Shell("diff -r " + payload + " " + extracted), 0);
    // unzip warns about the launcher in front (status 1) and extracts all.
    std::string unzip = "unzip -qq " + setup + " -d " + unzipped + " 2>/dev/null; [ $? -le 1 ] && ";
    EXPECT_EQ(Shell(unzip + "diff -r " + payload + " " + unzipped), 0);
    // Permission bits travel in the archive for tools that apply them.
    EXPECT_EQ(fs::status(unzipped + "/docs/zero").permissions(), fs::perms(0644));
  }
}

TEST_F(PackTest, SameInputsGiveSameBytes) {
  std::string first = dir_ / "out/first", second = dir_ / "out/second";
  EXPECT_EQ(test::InChild([&] {
              setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
              std::string a = PackOk(PackCommand(first));
              // Other file times, another time zone: the same bytes.
              struct utimbuf times = {1000000000, 1000000000};
              utime((dir_ / "p/data/text").c_str(), &times);
              setenv("TZ", "Asia/Tokyo", 1);
              if (a != PackOk(PackCommand(second))) return std::string("differ");
              ZipArchive zip(zipOpen(first.c_str(), nullptr));
              ZipEntry* e = zipGetNextEntry(zip.get(), 3);
              std::string stamp = e->dosTime == DosDateTime(1700000000) ? "epoch time" : "other time";
              zipFreeEntry(zip.get(), e);
              setenv("SOURCE_DATE_EPOCH", "yesterday", 1);
              std::string err;
              return Pack(PackCommand(dir_ / "out/third"), "", &err) ? "packed" : stamp + "; " + err;
            }),
            "epoch time; SOURCE_DATE_EPOCH is not a number of seconds: 'yesterday'");
  // Without SOURCE_DATE_EPOCH the files' times count.
  std::string a = PackOk(PackCommand(dir_ / "out/third"));
  struct utimbuf times = {1500000000, 1500000000};
  utime((dir_ / "p/data/text").c_str(), &times);
  std::string b = PackOk(PackCommand(dir_ / "out/fourth"));
  EXPECT_TRUE(a != b) << "the file's new time is not in the archive";
  EXPECT_TRUE(b == PackOk(PackCommand(dir_ / "out/fifth"))) << "a second run gave other bytes";
}

TEST(DosDateTime, UtcWithTwoSecondStepsWithinTheFormatsRange) {
  // 2023-11-14 22:13:20 UTC.
  EXPECT_EQ(DosDateTime(1700000000), (43u << 9 | 11u << 5 | 14u) << 16 | (22u << 11 | 13u << 5 | 10u));
  EXPECT_EQ(DosDateTime(1700000001), DosDateTime(1700000000));
  EXPECT_EQ(DosDateTime(315532800), (1u << 5 | 1u) << 16);  // 1980-01-01 00:00:00
  EXPECT_EQ(DosDateTime(0), DosDateTime(315532800));
  EXPECT_EQ(DosDateTime(-1), DosDateTime(315532800));
  // 2108-01-01 is past the last year the format holds.
  EXPECT_EQ(DosDateTime(4354819200), (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u));
}

TEST_F(PackTest, RefusalsLeaveAnEarlierInstallerAlone) {
  std::string setup = dir_ / "out/setup";
  std::string before = PackOk(PackCommand(setup));
  auto expectRefused = [&](const Command& c, const std::string& expected) {
    std::string err;
    EXPECT_FALSE(Pack(c, "", &err));
    EXPECT_EQ(err, expected);
    // Nothing replaced, nothing staged left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), {}), 1) << expected;
    EXPECT_TRUE(test::ReadFile(setup) == before) << expected;
  };
  Command twice = PackCommand(setup);
  twice.launcher = setup;
  expectRefused(twice, setup + ": already carries a payload; give the bare launcher");
  expectRefused(PackCommand(dir_ / "p/docs/setup"),
                dir_ / "p/docs/setup" + ": lies inside the payload directory " + dir_ / "p");

  // A launcher so big that the installer would reach 2 GiB (sparse: nothing
  // of it is written); the refusal comes once the archive is written.
  Command tooBig = PackCommand(setup);
  tooBig.launcher = dir_.Write("big-launcher", "", 0755);
  ASSERT_EQ(truncate(tooBig.launcher.c_str(), INT64_C(0x80000000) - 1000), 0);
  expectRefused(tooBig, "the installer would be " +
                            std::to_string(INT64_C(0x80000000) - 1000 + before.size() - kImage.size()) +
                            " bytes; the launcher reads files below 2 GiB (2147483648 bytes) only");

  Command runtime = PackCommand(setup);
  runtime.runtime = dir_ / "p/docs";
  expectRefused(runtime,
                dir_ / "p/docs" + ": not a Java runtime the launcher accepts (no bin/java beside lib/libjava.so)");
  dir_.Write("p/package/jre/release", "JAVA_VERSION=1.8");
  expectRefused(runtime, dir_ / "p" + ": already holds package/jre; drop it or the runtime option");
}

TEST_F(PackTest, BundlesAJava8KitUnderPackageJreFollowingItsLinks) {
  dir_.Write("jdk/jre/bin/java", "#!/bin/sh\n", 0755);
  dir_.Write("jdk/jre/lib/amd64/libjava.so", "lib");
  dir_.Write("jdk/lib/tools.jar", "tools");
  dir_.Write("shared/cacerts", "certificates");
  ASSERT_EQ(symlink((dir_ / "shared/cacerts").c_str(), (dir_ / "jdk/jre/lib/cacerts").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent/doc", (dir_ / "jdk/jre/lib/doc").c_str()), 0);
  Command c = PackCommand(dir_ / "out/setup");
  c.runtime = dir_ / "jdk";
  test::ChildResult r = test::RunInChild([&] {
    std::string err, listing;
    std::vector<ListedEntry> entries;
    if (!Pack(c, "", &err) || !ListSetup(c.output, &entries, &err)) return err;
    for (const ListedEntry& e : entries) {
      if (e.name.compare(0, 8, "package/") == 0) listing += e.name + " " + std::to_string(e.size) + "\n";
    }
    return listing;
  });
  // The payload's own package/ directory takes the runtime; a link's target
  // is packed in its place.
  EXPECT_EQ(
      r.value,
      "package/ 0\npackage/PackageFormat.jar 9\npackage/jre/ 0\npackage/jre/jre/ 0\npackage/jre/jre/bin/ 0\n"
      "package/jre/jre/bin/java 10\npackage/jre/jre/lib/ 0\npackage/jre/jre/lib/amd64/ 0\n"
      "package/jre/jre/lib/amd64/libjava.so 3\npackage/jre/jre/lib/cacerts 12\npackage/jre/lib/ 0\n"
      "package/jre/lib/tools.jar 5\n");
  EXPECT_EQ(r.err,
            "mksetup: warning: left out 1 link(s) of the runtime to missing files, such as "
            "package/jre/jre/lib/doc\n");
}

}  // namespace
