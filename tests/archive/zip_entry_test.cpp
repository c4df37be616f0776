// Entries: built from both headers, found by name through the hash and the
// cache, read raw, inflated and written to files.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/zip.h"
#include "archive/zip_builder.h"
#include "archive/zip_internal.h"
#include "support/child.h"

namespace {

using test::Entry;

// Writes the archive behind foreign bytes, as the launcher carries it, so
// that every offset read is one shifted by them.
std::string Write(const test::ScratchDir& dir, const std::vector<test::ZipEntryLayout>& entries) {
  test::ZipLayout layout;
  layout.prefix = "#!launcher\n";
  layout.entries = entries;
  return test::WriteArchive(dir / "a.zip", layout.Build());
}

// The local name of the entry that zipGetEntry finds for name, given back
// again, or "<none>".
std::string Found(ZipFile* zip, const char* name) {
  ZipEntry* e = zipGetEntry(zip, name);
  if (e == nullptr) return "<none>";
  std::string found = e->name;
  zipFreeEntry(zip, e);
  return found;
}

TEST(ZipGetNextEntry, BuildsTheEntryFromBothHeadersOrSaysWhyNot) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("first", "one"), Entry("third", "333333", 0), Entry("both"),
                                               Entry("a", "content", 0), Entry(std::string(65535, 'n'), "big", 0),
                                               Entry("beyond"), Entry("nosig"), Entry("negative")};
  entries[1].dosTime = 0x12345678;
  entries[1].comment = "the third";
  entries[1].localExtra = "LX";
  entries[2].centralExtra = "CENTRAL";
  entries[2].localExtra = "loc";
  // The local header's lengths reach beyond what the central one says.
  entries[3].localName = std::string(700, 'L');
  entries[3].localExtra = std::string(300, 'x');
  // A name and an extra field whose lengths add up to more than 16 bits hold.
  entries[4].centralExtra = std::string(65534, 'e') + "E";
  entries[5].localOffset = 1 << 30;
  entries[6].localOffset = 1;
  entries[7].localOffset = 0x80000000u;
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip, nullptr);
  zip->lastError = "sentinel";
  EXPECT_EQ(zipGetNextEntry(zip.get(), -1), nullptr);
  EXPECT_EQ(zipGetNextEntry(zip.get(), 8), nullptr);
  EXPECT_STREQ(zip->lastError, "sentinel");
  // The local name and time, the extra field (the central one where there
  // are both) and the comment, borrowed from the archive.
  const char* extras[] = {"<none>", "LX", "CENTRAL"};
  for (int i = 0; i < 3; ++i) {
    ZipEntry* e = zipGetNextEntry(zip.get(), i);
    ASSERT_NE(e, nullptr) << i;
    EXPECT_EQ(e->name, entries[i].name) << i;
    EXPECT_EQ(e->dosTime, entries[i].dosTime) << i;
    EXPECT_EQ(test::Extra(e), extras[i]) << i;
    EXPECT_STREQ(e->comment, i == 1 ? "the third" : nullptr) << i;
    zipFreeEntry(zip.get(), e);
  }
  ZipEntry* e = zipGetNextEntry(zip.get(), 3);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->name, std::string(700, 'L'));
  EXPECT_EQ(test::Extra(e), std::string(300, 'x'));
  EXPECT_TRUE(zipReadEntry(zip.get(), e, (dir / "out").c_str()));
  EXPECT_EQ(test::ReadFile(dir / "out"), "content");
  zipFreeEntry(zip.get(), e);
  e = zipGetNextEntry(zip.get(), 4);
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(test::Extra(e) == entries[4].centralExtra);
  EXPECT_TRUE(zipReadEntry(zip.get(), e, "/dev/null"));
  zipFreeEntry(zip.get(), e);
  const char* why[] = {"couldn't read LOC header", "invalid LOC header (bad signature)", "seek failed"};
  for (int i = 5; i < 8; ++i) {
    EXPECT_EQ(zipGetNextEntry(zip.get(), i), nullptr) << i;
    EXPECT_STREQ(zip->lastError, why[i - 5]) << i;
  }
}

TEST(ZipGetEntry, FindsByTheLocalNameThroughTheCentralHashAndKeepsOneInTheCache) {
  test::ScratchDir dir;
  // "Aa" and "BB" have the same hash; the later entry stands first in its chain.
  std::vector<test::ZipEntryLayout> entries = {Entry("Aa"), Entry("x"), Entry("dir/"), Entry("twice", "first"),
                                               Entry("twice", "second, longer"), Entry("BB")};
  entries[1].localName = "y";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(Found(zip.get(), "Aa"), "Aa");
  EXPECT_EQ(Found(zip.get(), "dir"), "<none>");
  EXPECT_EQ(Found(zip.get(), "dir/"), "dir/");
  // The local name alone has another hash; the central name leads to an
  // entry of another name.
  EXPECT_EQ(Found(zip.get(), "y"), "<none>");
  EXPECT_EQ(Found(zip.get(), "x"), "<none>");
  int32_t size = -5, length = -5;
  EXPECT_EQ(zipFindEntry(zip.get(), "missing", &size, &length), nullptr);
  EXPECT_EQ(size, -5);
  ZipEntry* e = zipFindEntry(zip.get(), "twice", &size, &length);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(size, 14);
  EXPECT_EQ(length, 5);
  // Given back (twice), it is the cached entry, found again without the file.
  zipFreeEntry(zip.get(), e);
  zipFreeEntry(zip.get(), e);
  EXPECT_EQ(zip->cachedEntry.get(), e);
  UniqueFd fd(zip->fd.release());
  EXPECT_EQ(zipGetEntry(zip.get(), "twice"), e);
  EXPECT_EQ(zip->cachedEntry, nullptr);
  EXPECT_EQ(zipGetEntry(zip.get(), "Aa"), nullptr);
  zip->fd = std::move(fd);
  zipFreeEntry(zip.get(), e);
  // A chain that passes a mismatching entry leaves that one in the cache.
  ZipEntry* aa = zipGetEntry(zip.get(), "Aa");
  ASSERT_NE(aa, nullptr);
  EXPECT_EQ(zip->cachedEntry->name, "BB");
  zipFreeEntry(zip.get(), aa);
}

TEST(ZipRead, StaysInsideTheEntry) {
  test::ScratchDir dir;
  std::string packed = test::Deflate(std::string(1000, 'q'));
  test::OpenZip zip(Write(dir, {Entry("stored", "0123456789", 0), Entry("deflated", std::string(1000, 'q')),
                                Entry("empty", "", 0)}));
  ASSERT_NE(zip, nullptr);
  ZipEntry* s = zipGetNextEntry(zip.get(), 0);
  ZipEntry* d = zipGetNextEntry(zip.get(), 1);
  ZipEntry* empty = zipGetNextEntry(zip.get(), 2);
  ASSERT_TRUE(s && d && empty);
  char buf[2000] = {};
  EXPECT_EQ(zipRead(zip.get(), s, 7, buf, 100), 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_EQ(zipRead(zip.get(), s, 9, buf, 0), 0);
  for (int32_t position : {10, -1}) {
    EXPECT_EQ(zipRead(zip.get(), s, position, buf, 1), -1) << position;
    EXPECT_STREQ(zip->lastError, "zipRead: specified offset out of range");
  }
  // A deflated entry reads as its compressed bytes.
  int32_t limit = static_cast<int32_t>(packed.size());
  EXPECT_EQ(zipRead(zip.get(), d, 0, buf, 2000), limit);
  EXPECT_EQ(std::string(buf, packed.size()), packed);
  EXPECT_EQ(zipRead(zip.get(), d, limit, buf, 1), -1);
  EXPECT_EQ(zipRead(zip.get(), empty, 0, buf, 1), -1);
  for (ZipEntry* e : {s, d, empty}) zipFreeEntry(zip.get(), e);
}

TEST(InflateFully, WritesWholeStreamsAndNamesThoseThatDoNotFitTheEntry) {
  test::ScratchDir dir;
  std::string data = std::string(5000, 'x') + "end";
  std::string packed = test::Deflate(data), unfinished = test::StoredBlock(data);
  auto entry = [&](std::optional<std::string> compressed, std::optional<uint32_t> size) {
    test::ZipEntryLayout e = Entry("e", data);
    e.compressed = compressed;
    e.size = size;
    return e;
  };
  test::ZipEntryLayout crc = entry({}, {});
  crc.crc = 7;
  const std::pair<test::ZipEntryLayout, const char*> cases[] = {
      {Entry("e", test::Random(700000, 1) + std::string(900000, 'r')), "1 <none>"},
      {Entry("stored", "s", 0), "0 inflateFully: entry not compressed"},
      // Inflates to less than its size; ends before its bytes are used up.
      {entry({}, 6000), "0 inflateFully: Unexpected end of stream"},
      {entry(packed + std::string(100000, '\0'), {}), "0 inflateFully: Unexpected end of stream"},
      // A few bytes left over, or no end of the stream at all, are fine.
      {entry(packed + "junk", {}), "1 <none>"},
      {entry(unfinished, {}), "1 <none>"},
      {entry(std::string("\xff\xff\xff\xff garbage", 12), {}), "0 invalid block type"},
      // More than its size, or another CRC-32.
      {entry(unfinished, 4000), "0 inflateFully: more data than the entry's size"},
      {crc, "0 inflateFully: CRC-32 mismatch"},
  };
  std::vector<test::ZipEntryLayout> entries;
  for (const auto& c : cases) entries.push_back(c.first);
  std::string path = Write(dir, entries);
  test::OpenZip zip(path);
  ASSERT_NE(zip, nullptr);
  for (size_t i = 0; i < entries.size(); ++i) {
    ZipEntry* e = zipGetNextEntry(zip.get(), static_cast<int>(i));
    ASSERT_NE(e, nullptr);
    UniqueFd out(open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    const char* failure = "unset";
    bool ok = inflateFully(zip.get(), e, out.get(), &failure);
    EXPECT_EQ(std::to_string(ok) + " " + (failure ? failure : "<none>"), cases[i].second) << i;
    // What reaches the file is never more than the declared size, and what
    // there is of it is the data.
    std::string content = test::ReadFile(dir / "out");
    EXPECT_LE(content.size(), entries[i].size.value_or(entries[i].data.size())) << i;
    EXPECT_TRUE(entries[i].data.compare(0, content.size(), content) == 0) << i;
    zipFreeEntry(zip.get(), e);
  }
  // An entry cut short by the end of the file.
  ZipEntry* last = zipGetNextEntry(zip.get(), 0);
  ASSERT_EQ(truncate(path.c_str(), last->dataOffset + 5000), 0);
  EXPECT_FALSE(zipReadEntry(zip.get(), last, (dir / "cut").c_str()));
  zipFreeEntry(zip.get(), last);
}

}  // namespace
