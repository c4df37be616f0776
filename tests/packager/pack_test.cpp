#include "packager/pack.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "archive/zip_builder.h"
#include "packager/archive_writer.h"
#include "packager/inspect.h"
#include "support/child.h"

namespace {

using Tree = std::map<std::string, std::string>;

// Bytes that stand for the launcher's image.
const std::string kImage = "\x7f" "ELF image of a launcher " + std::string(3000, 'L');

// Deterministic bytes that deflate can't shrink.
std::string Noise(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (char& c : s) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

class PackTest : public ::testing::Test {
 protected:
  PackTest() : dir_(0755) {
    launcher_ = dir_.Write("launcher", kImage, 0755);
    dir_.Write("p/bramlet.class", "\xca\xfe\xba\xbe main class");
    dir_.Write("p/package/PackageFormat.jar", "jar bytes");
    dir_.Write("p/docs/zero", "");
    dir_.MakeDir("p/docs/empty");
    dir_.Write("p/data/noise", Noise(300000));
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
    dir_.Write("p/data/text", text);
    dir_.Write("p/names/a b \xc3\xa9", "utf-8 name");
    dir_.MakeDir("out");
  }

  Command PackCommand(const std::string& output, int level = 6) const {
    Command c;
    c.payload = dir_ / "p";
    c.output = output;
    c.launcher = launcher_;
    c.level = level;
    return c;
  }

  // Packs, expecting success.
  std::string PackOk(const Command& c) {
    std::string err;
    EXPECT_TRUE(Pack(c, "", &err)) << err;
    return test::ReadFile(c.output);
  }

  // Packs, expecting a refusal whose message begins with expected, and that
  // nothing at all was left in out/.
  void ExpectRefused(const Command& c, const std::string& expected) {
    std::string err;
    EXPECT_FALSE(Pack(c, "", &err));
    EXPECT_EQ(err.substr(0, expected.size()), expected);
    EXPECT_EQ(test::ReadTree(dir_ / "out"), Tree{}) << "after: " << expected;
  }

  test::ScratchDir dir_;
  std::string launcher_;
};

TEST_F(PackTest, RoundTripsThroughTheLaunchersReaderAndUnzip) {
  Tree payload = test::ReadTree(dir_ / "p");
  for (int level : {6, 0, 9}) {
    SCOPED_TRACE("level " + std::to_string(level));
    std::string setup = dir_ / "out/setup";
    std::string bytes = PackOk(PackCommand(setup, level));
    EXPECT_EQ(bytes.compare(0, kImage.size(), kImage), 0);
    struct stat st;
    ASSERT_EQ(stat(setup.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);

    std::vector<ListedEntry> entries;
    std::string err;
    ASSERT_TRUE(ListSetup(setup, &entries, &err)) << err;
    std::vector<std::string> names;
    for (const ListedEntry& e : entries) {
      names.push_back(e.name);
      bool directory = e.name.back() == '/';
      EXPECT_EQ(e.deflated, level != 0 && !directory) << e.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"bramlet.class", "data/", "data/noise", "data/text", "docs/",
                                               "docs/empty/", "docs/zero", "names/", "names/a b \xc3\xa9",
                                               "package/", "package/PackageFormat.jar"}));
    VerifyResult verified;
    ASSERT_TRUE(VerifySetup(setup, &verified, &err)) << err;
    EXPECT_EQ(verified.problems, std::vector<std::string>{});
    EXPECT_EQ(verified.entries, 11);

    std::string extracted = dir_ / ("x" + std::to_string(level));
    ZipFile* zip = zipOpen(setup.c_str(), nullptr);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(UnzipFiles(zip, extracted.c_str(), nullptr), 1);
    zipClose(zip);
    EXPECT_EQ(test::ReadTree(extracted), payload);

    // unzip warns about the launcher in front (status 1) and extracts all.
    std::string unzipped = dir_ / ("u" + std::to_string(level));
    int status = test::Shell("unzip -qq " + test::Quote(setup) + " -d " + test::Quote(unzipped) + " 2>/dev/null");
    EXPECT_TRUE(status == 0 || status == 1) << status;
    EXPECT_EQ(test::ReadTree(unzipped), payload);
    // Permission bits travel in the archive for tools that apply them.
    ASSERT_EQ(stat((unzipped + "/docs/zero").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    unlink(setup.c_str());
  }
}

TEST_F(PackTest, SameInputsGiveSameBytes) {
  std::string first = dir_ / "out/first";
  std::string second = dir_ / "out/second";
  EXPECT_EQ(test::InChild([&] {
              setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
              std::string a = PackOk(PackCommand(first));
              // Other file times, another time zone: the same bytes.
              struct utimbuf times = {1000000000, 1000000000};
              utime((dir_ / "p/data/text").c_str(), &times);
              setenv("TZ", "Asia/Tokyo", 1);
              std::string b = PackOk(PackCommand(second));
              if (a != b) return std::string("differ");
              ZipFile* zip = zipOpen(first.c_str(), nullptr);
              ZipEntry* e = zipGetNextEntry(zip, 3);
              std::string stamp = e->dosTime == DosDateTime(1700000000) ? "epoch time" : "other time";
              zipFreeEntry(zip, e);
              zipClose(zip);
              return stamp;
            }),
            "epoch time");
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

TEST_F(PackTest, RefusalsLeaveNoOutputBehind) {
  std::string setup = dir_ / "out/setup";
  Command noClass = PackCommand(setup);
  noClass.mainClass = "bramlet_uninstall";
  ExpectRefused(noClass,
                dir_ / "p" + ": no bramlet_uninstall.class at its top; the launcher would have nothing to run");

  PackOk(PackCommand(dir_ / "installer"));
  Command twice = PackCommand(setup);
  twice.launcher = dir_ / "installer";
  ExpectRefused(twice, dir_ / "installer" + ": already carries a payload; give the bare launcher");

  Command notRuntime = PackCommand(setup);
  notRuntime.runtime = dir_ / "p/docs";
  ExpectRefused(notRuntime, dir_ / "p/docs" + ": not a Java runtime (no bin/java beside lib/libjava.so)");

  Command inside = PackCommand(dir_ / "p/docs/setup");
  std::string err;
  EXPECT_FALSE(Pack(inside, "", &err));
  EXPECT_EQ(err, dir_ / "p/docs/setup" + ": lies inside the payload directory " + dir_ / "p");

  Command noLauncher = PackCommand(setup);
  noLauncher.launcher.clear();
  ExpectRefused(noLauncher, "no launcher beside mksetup (); name one with --launcher");
  EXPECT_FALSE(Pack(noLauncher, dir_ / "bin/bramlet-setup", &err));
  EXPECT_EQ(err, "no launcher beside mksetup (" + dir_ / "bin/bramlet-setup" + "); name one with --launcher");
  EXPECT_TRUE(Pack(noLauncher, launcher_, &err)) << err;
  unlink(setup.c_str());

  EXPECT_EQ(test::InChild([&] {
              setenv("SOURCE_DATE_EPOCH", "yesterday", 1);
              std::string message;
              Pack(PackCommand(setup), "", &message);
              return message;
            }),
            "SOURCE_DATE_EPOCH is not a number of seconds: 'yesterday'");

  // A launcher so big that the installer would reach 2 GiB (sparse: nothing
  // of it is written).
  std::string big = dir_ / "big-launcher";
  int fd = open(big.c_str(), O_WRONLY | O_CREAT, 0755);
  ASSERT_EQ(ftruncate(fd, INT64_C(0x80000000) - 1000), 0);
  close(fd);
  Command tooBig = PackCommand(setup);
  tooBig.launcher = big;
  ExpectRefused(tooBig, "the installer would be ");
  std::string err2;
  Pack(tooBig, "", &err2);
  EXPECT_NE(err2.find(" bytes; the launcher reads files below 2 GiB (2147483648 bytes) only"), std::string::npos);
}

TEST_F(PackTest, AFailedRunLeavesAnEarlierInstallerAlone) {
  std::string setup = dir_ / "out/setup";
  std::string before = PackOk(PackCommand(setup));
  ASSERT_EQ(mkfifo((dir_ / "p/docs/pipe").c_str(), 0644), 0);
  std::string err;
  EXPECT_FALSE(Pack(PackCommand(setup), "", &err));
  EXPECT_EQ(err, dir_ / "p/docs/pipe" + ": a FIFO; only regular files and directories are packed");
  EXPECT_EQ(test::ReadFile(setup), before);
  EXPECT_EQ(test::ReadTree(dir_ / "out"), (Tree{{"setup", before}}));
}

TEST_F(PackTest, WarnsWhenTheClassPathJarIsMissing) {
  unlink((dir_ / "p/package/PackageFormat.jar").c_str());
  test::ChildResult r = test::RunInChild([&] {
    std::string err;
    return Pack(PackCommand(dir_ / "out/setup"), "", &err) ? std::string("packed") : err;
  });
  EXPECT_EQ(r.value, "packed");
  EXPECT_EQ(r.err, "mksetup: warning: " + dir_ / "p" +
                       ": no package/PackageFormat.jar, which the launcher puts on the class path\n");
}

TEST_F(PackTest, BundlesARuntimeUnderPackageJreFollowingItsLinks) {
  dir_.Write("jre/bin/java", "#!/bin/sh\n", 0755);
  dir_.Write("jre/lib/libjava.so", "lib");
  dir_.Write("shared/cacerts", "certificates");
  ASSERT_EQ(symlink((dir_ / "shared/cacerts").c_str(), (dir_ / "jre/lib/cacerts").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent/doc", (dir_ / "jre/lib/doc").c_str()), 0);
  Command c = PackCommand(dir_ / "out/setup");
  c.runtime = dir_ / "jre";
  // The payload has its own package/ directory; no second one is added.
  test::ChildResult r = test::RunInChild([&] {
    std::string err;
    if (!Pack(c, "", &err)) return err;
    std::vector<ListedEntry> entries;
    ListSetup(c.output, &entries, &err);
    std::string names;
    for (const ListedEntry& e : entries) {
      if (e.name.compare(0, 8, "package/") == 0) names += e.name + " ";
    }
    return names;
  });
  EXPECT_EQ(r.value, "package/ package/PackageFormat.jar package/jre/ package/jre/bin/ package/jre/bin/java "
                     "package/jre/lib/ package/jre/lib/cacerts package/jre/lib/libjava.so ");
  EXPECT_EQ(r.err, "mksetup: warning: left out 1 link(s) of the runtime to missing files, such as "
                   "package/jre/lib/doc\n");
  std::string extracted = dir_ / "x";
  ZipFile* zip = zipOpen(c.output.c_str(), nullptr);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(UnzipFiles(zip, extracted.c_str(), "package/jre"), 1);
  zipClose(zip);
  EXPECT_EQ(test::ReadFile(extracted + "/package/jre/lib/cacerts"), "certificates");

  // A runtime with the payload already holding one is refused.
  dir_.Write("p/package/jre/release", "JAVA_VERSION=1.8");
  std::string err;
  EXPECT_FALSE(Pack(c, "", &err));
  EXPECT_EQ(err, dir_ / "p" + ": already holds package/jre; drop it or the runtime option");
}

TEST_F(PackTest, AcceptsAJava8KitWhoseRuntimeIsInJre) {
  dir_.Write("jdk/jre/bin/java", "#!/bin/sh\n", 0755);
  dir_.Write("jdk/jre/lib/amd64/libjava.so", "lib");
  dir_.Write("jdk/lib/tools.jar", "tools");
  Command c = PackCommand(dir_ / "out/setup");
  c.runtime = dir_ / "jdk";
  std::string err;
  EXPECT_TRUE(Pack(c, "", &err)) << err;
  std::vector<ListedEntry> entries;
  ASSERT_TRUE(ListSetup(c.output, &entries, &err)) << err;
  EXPECT_EQ(entries.back().name, "package/jre/lib/tools.jar");
}

}  // namespace
