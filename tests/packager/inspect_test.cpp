#include "packager/inspect.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "archive/zip_builder.h"
#include "support/child.h"

namespace {

using test::Entry;

class InspectTest : public ::testing::Test {
 protected:
  // An installer: foreign bytes in front of an archive of entries.
  std::string Setup(const std::vector<test::ZipEntryLayout>& entries) {
    test::ZipLayout layout;
    layout.prefix = "launcher image";
    layout.entries = entries;
    return test::WriteArchive(dir_ / ("setup" + std::to_string(++count_)), layout.Build());
  }

  VerifyResult Verify(const std::string& path) {
    VerifyResult result;
    std::string err;
    EXPECT_TRUE(VerifySetup(path, &result, &err)) << err;
    return result;
  }

  test::ScratchDir dir_;
  int count_ = 0;
};

TEST_F(InspectTest, ListsEntriesAsTheLauncherSeesThem) {
  test::ZipEntryLayout renamed = Entry("central", "data", 0);
  renamed.localName = "local";
  std::string setup = Setup({Entry("bramlet.class", "main"), Entry("dir/", "", 0), renamed});
  std::vector<ListedEntry> entries;
  std::string err;
  ASSERT_TRUE(ListSetup(setup, &entries, &err)) << err;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(std::make_tuple(entries[0].name, entries[0].deflated, entries[0].size, entries[0].crc),
            std::make_tuple(std::string("bramlet.class"), true, 4, test::Crc("main")));
  EXPECT_FALSE(entries[1].deflated);
  // Extraction goes by the local header's name.
  EXPECT_EQ(entries[2].name, "local");
  VerifyResult result = Verify(setup);
  EXPECT_EQ(std::make_tuple(result.entries, result.bytes, result.problems),
            std::make_tuple(3, int64_t{8}, std::vector<std::string>{}));

  std::string plain = dir_.Write("plain", "just a launcher");
  EXPECT_FALSE(ListSetup(plain, &entries, &err));
  EXPECT_EQ(err, plain + ": no archive the launcher can read at its end");
}

TEST_F(InspectTest, FindsDamagedDataAndNamesThatWouldNotExtractIntact) {
  test::ZipEntryLayout badCrc = Entry("stored", "stored data", 0);
  badCrc.crc = test::Crc("other data");
  test::ZipEntryLayout badSize = Entry("deflated", std::string(1000, 'a'));
  badSize.size = 999;
  test::ZipEntryLayout garbage = Entry("garbage", "x");
  garbage.compressed = std::string("\xff\xff\xff\xff", 4);
  std::string setup = Setup({Entry("fine", "fine"), badCrc, badSize, garbage, Entry("../outside", "x"),
                             Entry("a", "file"), Entry("a/b", "under a file"), Entry("twice", "1"),
                             Entry("twice", "2"), Entry("/absolute", "x")});
  // An absolute name stays inside the working directory, as the launcher joins it.
  EXPECT_EQ(Verify(setup).problems,
            (std::vector<std::string>{"stored: damaged (its data, size or CRC-32 don't match)",
                                      "deflated: damaged (its data, size or CRC-32 don't match)",
                                      "garbage: damaged (its data, size or CRC-32 don't match)",
                                      "../outside: a name the launcher refuses to extract",
                                      "twice: appears more than once; the last one replaces the others",
                                      "a: a file where other entries need a directory"}));
}

TEST_F(InspectTest, AnUnreadableLocalHeaderStopsTheListAndIsAProblem) {
  test::ZipEntryLayout moved = Entry("moved", "data");
  moved.localOffset = 1;  // not where its local header is
  std::string setup = Setup({Entry("first", "1"), moved, Entry("third", "3")});
  std::vector<ListedEntry> entries;
  std::string err;
  EXPECT_FALSE(ListSetup(setup, &entries, &err));
  const std::string problem =
      "entry 1: invalid LOC header (bad signature); the launcher's extraction would stop here";
  EXPECT_EQ(err, setup + ": " + problem);
  EXPECT_EQ(Verify(setup).problems, std::vector<std::string>{problem});
}

}  // namespace
