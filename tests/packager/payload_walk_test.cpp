#include "packager/payload_walk.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/child.h"

namespace {

// Walks dir, adding to *items (or to a list of its own): "accepted", or the
// walk's message. Dangling links are skipped, into *skipped, when given.
std::string Walk(const std::string& dir, std::vector<PayloadItem>* items = nullptr, const std::string& prefix = "",
                 std::vector<std::string>* skipped = nullptr) {
  std::vector<PayloadItem> own;
  std::vector<std::string> none;
  WalkRules rules;
  rules.skipDanglingLinks = skipped != nullptr;
  std::string err;
  return WalkTree(dir, prefix, rules, items ? items : &own, skipped ? skipped : &none, &err) ? "accepted" : err;
}

std::vector<std::string> Names(const std::vector<PayloadItem>& items) {
  std::vector<std::string> names;
  for (const PayloadItem& item : items) names.push_back(item.name);
  return names;
}

TEST(PayloadWalk, ListsFilesAndDirectoriesInByteOrderFollowingLinks) {
  test::ScratchDir dir(0755);
  dir.Write("p/bramlet.class", "main");
  dir.Write("p/a-b", "dash");
  dir.Write("p/a/z", "zz", 0640);
  dir.MakeDir("p/a/empty", 0711);
  dir.Write("elsewhere/file", "linked");
  dir.Write("elsewhere/tree/x", "x");
  ASSERT_EQ(symlink((dir / "elsewhere/file").c_str(), (dir / "p/link").c_str()), 0);
  ASSERT_EQ(symlink("../elsewhere/tree", (dir / "p/tree").c_str()), 0);
  std::vector<PayloadItem> items;
  ASSERT_EQ(Walk(dir / "p", &items, "top/"), "accepted");
  SortItems(&items);
  EXPECT_EQ(Names(items), (std::vector<std::string>{"top/a-b", "top/a/", "top/a/empty/", "top/a/z",
                                                    "top/bramlet.class", "top/link", "top/tree/", "top/tree/x"}));
  const PayloadItem& z = items[FindItem(items, "top/a/z")];
  const PayloadItem& empty = items[FindItem(items, "top/a/empty/")];
  EXPECT_EQ(std::make_tuple(z.source, z.size, z.mode, z.directory),
            std::make_tuple(dir / "p/a/z", int64_t{2}, mode_t{0640}, false));
  EXPECT_EQ(std::make_pair(empty.directory, empty.mode), std::make_pair(true, mode_t{0711}));
  EXPECT_EQ(test::ReadFile(items[FindItem(items, "top/link")].source), "linked");
  EXPECT_EQ(FindItem(items, "top/missing"), -1);
}

TEST(PayloadWalk, RefusesSpecialFilesBrokenLinksAndLoops) {
  test::ScratchDir dir;
  // Tree ti holds case i at a/x: a node of a kind (made with mknod) or a
  // symbolic link to a target.
  struct Case {
    mode_t kind;
    const char* target;
    std::string why;
  };
  const std::string special = "; only regular files and directories are packed";
  const std::vector<Case> cases = {{S_IFIFO, nullptr, "a FIFO" + special},
                                   {S_IFSOCK, nullptr, "a socket" + special},
                                   {S_IFCHR, nullptr, "a character device" + special},
                                   {S_IFBLK, nullptr, "a block device" + special},
                                   {0, "/dev/null", "a character device" + special},
                                   {0, "missing", "symbolic link to a missing file"},
                                   {0, "..", "symbolic link back into a directory that holds it"},
                                   {0, "x", "symbolic link loop"}};
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string tree = "t" + std::to_string(i), x = dir.MakeDir(tree + "/a") + "/x";
    ASSERT_EQ(c.target ? symlink(c.target, x.c_str()) : mknod(x.c_str(), c.kind | 0644, makedev(1, 3)), 0);
    EXPECT_EQ(Walk(dir / tree), x + ": " + c.why);
  }
  std::string file = dir.Write("file", "x");
  EXPECT_EQ(Walk(file), file + ": not a directory");
  EXPECT_EQ(Walk(dir / "missing"), dir / "missing" + ": No such file or directory");

  // A runtime's links to files that are not installed are left out instead.
  dir.Write("t5/a/kept", "k");
  std::vector<PayloadItem> items;
  std::vector<std::string> skipped;
  ASSERT_EQ(Walk(dir / "t5", &items, "package/jre/", &skipped), "accepted");
  EXPECT_EQ(Names(items), (std::vector<std::string>{"package/jre/a/", "package/jre/a/kept"}));
  EXPECT_EQ(skipped, std::vector<std::string>{"package/jre/a/x"});
}

TEST(PayloadWalk, RefusesWhatTheUserCannotRead) {
  test::ScratchDir dir(0755);
  dir.Write("file/secret", "s", 0600);
  dir.Write("dir/locked/inside", "i");
  chmod((dir / "dir/locked").c_str(), 0700);
  EXPECT_EQ(test::AsNobody([&] { return Walk(dir / "file"); }), dir / "file/secret" + ": file can't be read");
  EXPECT_EQ(test::AsNobody([&] { return Walk(dir / "dir"); }), dir / "dir/locked" + ": directory can't be read");
  // The same trees pass for a user who may read them.
  EXPECT_EQ(Walk(dir / "file") + " " + Walk(dir / "dir"), "accepted accepted");
}

TEST(PayloadWalk, LimitsFileSizesAndEntryCountsToTheReaders) {
  test::ScratchDir dir;
  // A sparse file: the walk only looks at its size.
  std::string big = dir.Write("big/f", "");
  ASSERT_EQ(truncate(big.c_str(), kSizeLimit - 1), 0);
  std::vector<PayloadItem> below;
  ASSERT_EQ(Walk(dir / "big", &below), "accepted");
  EXPECT_EQ(below[0].size, kSizeLimit - 1);
  ASSERT_EQ(truncate(big.c_str(), kSizeLimit), 0);
  EXPECT_EQ(Walk(dir / "big"),
            big + ": 2147483648 bytes; the launcher reads files below 2 GiB (2147483648 bytes) only");

  dir.Write("p/d/f", "f");  // two entries: d/ and d/f
  std::vector<PayloadItem> full(kMaxEntries - 2), over(kMaxEntries - 1);
  ASSERT_EQ(Walk(dir / "p", &full), "accepted");
  EXPECT_EQ(full.size(), kMaxEntries);
  EXPECT_EQ(Walk(dir / "p", &over), "more than 65534 entries (files and directories); the launcher reads no more");
}

}  // namespace
