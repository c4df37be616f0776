#include "packager/payload_walk.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child.h"

namespace {

struct Walked {
  bool ok = false;
  std::vector<PayloadItem> items;
  std::vector<std::string> skipped;
  std::string err;
};

Walked Walk(const std::string& dir, const std::string& prefix = "", bool skipDangling = false,
            std::vector<PayloadItem> start = {}) {
  Walked w;
  w.items = std::move(start);
  WalkRules rules;
  rules.skipDanglingLinks = skipDangling;
  w.ok = WalkTree(dir, prefix, rules, &w.items, &w.skipped, &w.err);
  return w;
}

std::vector<std::string> Names(const std::vector<PayloadItem>& items) {
  std::vector<std::string> names;
  for (const PayloadItem& item : items) names.push_back(item.name);
  return names;
}

TEST(EntryNames, OnlyNamesThatStayBelowTheDestinationAreSafe) {
  for (const char* good : {"a", "a/b", "a/", "a/b/", "..a", "a..", "a/.b/c", "a b/\xe3\x81\x82"})
    EXPECT_TRUE(IsSafeEntryName(good)) << good;
  for (const char* bad : {"", "/", "/a", "..", "../a", "a/..", "a/../b", "a/../", ".", "./a", "a/./b", "a//b", "//"})
    EXPECT_FALSE(IsSafeEntryName(bad)) << bad;
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
  Walked w = Walk(dir / "p", "top/");
  ASSERT_TRUE(w.ok) << w.err;
  SortItems(&w.items);
  EXPECT_EQ(Names(w.items), (std::vector<std::string>{"top/a-b", "top/a/", "top/a/empty/", "top/a/z",
                                                      "top/bramlet.class", "top/link", "top/tree/", "top/tree/x"}));
  const PayloadItem& z = w.items[FindItem(w.items, "top/a/z")];
  EXPECT_EQ(z.source, dir / "p/a/z");
  EXPECT_EQ(z.size, 2);
  EXPECT_EQ(z.mode, 0640u);
  EXPECT_FALSE(z.directory);
  const PayloadItem& empty = w.items[FindItem(w.items, "top/a/empty/")];
  EXPECT_TRUE(empty.directory);
  EXPECT_EQ(empty.mode, 0711u);
  EXPECT_EQ(test::ReadFile(w.items[FindItem(w.items, "top/link")].source), "linked");
  EXPECT_EQ(FindItem(w.items, "top/missing"), -1);
}

TEST(PayloadWalk, RefusesSpecialFiles) {
  test::ScratchDir dir;
  dir.MakeDir("fifo");
  ASSERT_EQ(mkfifo((dir / "fifo/pipe").c_str(), 0644), 0);
  Walked fifo = Walk(dir / "fifo");
  EXPECT_FALSE(fifo.ok);
  EXPECT_EQ(fifo.err, dir / "fifo/pipe" + ": a FIFO; only regular files and directories are packed");

  dir.MakeDir("socket");
  int s = socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string path = dir / "socket/s";
  ASSERT_LT(path.size(), sizeof address.sun_path);
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(bind(s, reinterpret_cast<struct sockaddr*>(&address), sizeof address), 0);
  close(s);
  Walked socket = Walk(dir / "socket");
  EXPECT_FALSE(socket.ok);
  EXPECT_NE(socket.err.find("a socket"), std::string::npos) << socket.err;

  dir.MakeDir("device");
  ASSERT_EQ(symlink("/dev/null", (dir / "device/null").c_str()), 0);
  Walked device = Walk(dir / "device");
  EXPECT_FALSE(device.ok);
  EXPECT_NE(device.err.find("a character device"), std::string::npos) << device.err;
}

TEST(PayloadWalk, RefusesWhatTheUserCannotRead) {
  test::ScratchDir dir(0755);
  dir.Write("file/secret", "s", 0600);
  dir.Write("dir/locked/inside", "i");
  chmod((dir / "dir/locked").c_str(), 0700);
  EXPECT_EQ(test::AsNobody([&] { return Walk(dir / "file").err; }), dir / "file/secret" + ": file can't be read");
  EXPECT_EQ(test::AsNobody([&] { return Walk(dir / "dir").err; }),
            dir / "dir/locked" + ": directory can't be read");
  // The same trees pass for a user who may read them.
  EXPECT_TRUE(Walk(dir / "file").ok);
  EXPECT_TRUE(Walk(dir / "dir").ok);
}

TEST(PayloadWalk, DanglingLinksAreRefusedOrSkippedAndLoopsRefused) {
  test::ScratchDir dir;
  dir.Write("p/kept", "k");
  ASSERT_EQ(symlink("missing", (dir / "p/dangling").c_str()), 0);
  Walked refused = Walk(dir / "p");
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.err, dir / "p/dangling" + ": symbolic link to a missing file");
  Walked skipped = Walk(dir / "p", "package/jre/", true);
  ASSERT_TRUE(skipped.ok) << skipped.err;
  EXPECT_EQ(Names(skipped.items), std::vector<std::string>{"package/jre/kept"});
  EXPECT_EQ(skipped.skipped, std::vector<std::string>{"package/jre/dangling"});

  dir.MakeDir("loop/a");
  ASSERT_EQ(symlink("..", (dir / "loop/a/up").c_str()), 0);
  Walked loop = Walk(dir / "loop");
  EXPECT_FALSE(loop.ok);
  EXPECT_EQ(loop.err, dir / "loop/a/up" + ": symbolic link back into a directory that holds it");
  dir.MakeDir("self");
  ASSERT_EQ(symlink("me", (dir / "self/me").c_str()), 0);
  EXPECT_EQ(Walk(dir / "self").err, dir / "self/me" + ": symbolic link loop");
}

TEST(PayloadWalk, FilesMustStayBelowTwoGibibytes) {
  test::ScratchDir dir;
  dir.MakeDir("p");
  // Sparse files: the walk only looks at their sizes.
  int fd = open((dir / "p/big").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(ftruncate(fd, kSizeLimit - 1), 0);
  Walked below = Walk(dir / "p");
  ASSERT_TRUE(below.ok) << below.err;
  EXPECT_EQ(below.items[0].size, kSizeLimit - 1);
  ASSERT_EQ(ftruncate(fd, kSizeLimit), 0);
  close(fd);
  Walked at = Walk(dir / "p");
  EXPECT_FALSE(at.ok);
  EXPECT_EQ(at.err, dir / "p/big" + ": 2147483648 bytes; the launcher reads files below 2 GiB (2147483648 bytes) only");
}

TEST(PayloadWalk, CountsEntriesUpToTheReadersLimit) {
  test::ScratchDir dir;
  dir.Write("p/d/f", "f");  // two entries: d/ and d/f
  std::vector<PayloadItem> earlier(kMaxEntries - 2);
  Walked full = Walk(dir / "p", "", false, earlier);
  ASSERT_TRUE(full.ok) << full.err;
  EXPECT_EQ(full.items.size(), kMaxEntries);
  earlier.emplace_back();
  Walked over = Walk(dir / "p", "", false, earlier);
  EXPECT_FALSE(over.ok);
  EXPECT_EQ(over.err, "more than 65534 entries (files and directories); the launcher reads no more");
}

TEST(PayloadWalk, TheTopMustBeADirectory) {
  test::ScratchDir dir;
  std::string file = dir.Write("file", "x");
  EXPECT_EQ(Walk(file).err, file + ": not a directory");
  EXPECT_EQ(Walk(dir / "missing").err, dir / "missing" + ": No such file or directory");
}

}  // namespace
