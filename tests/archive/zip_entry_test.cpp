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

// Inflates entry index into the file out; returns "result failure-text" and
// the file's content in *content.
std::string Inflate(ZipFile* zip, int index, const std::string& out, std::string* content) {
  ZipEntry* e = zipGetNextEntry(zip, index);
  if (e == nullptr) return "no entry";
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const char* failure = "unset";
  int result = inflateFully(zip, e, fd, &failure);
  close(fd);
  zipFreeEntry(zip, e);
  *content = test::ReadFile(out);
  return std::to_string(result) + " " + (failure ? failure : "<none>");
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

TEST(ZipGetNextEntry, BuildsTheEntryFromBothHeaders) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("first", "one"), Entry("dir/", "", 0),
                                               Entry("third", "333333", 0), Entry("both"), Entry("central")};
  entries[2].dosTime = 0x12345678;
  entries[2].comment = "the third";
  entries[2].localExtra = "LX";
  entries[3].centralExtra = "CENTRAL";
  entries[3].localExtra = "loc";
  entries[4].centralExtra = "C";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip, nullptr);
  zip->lastError = "sentinel";
  EXPECT_EQ(zipGetNextEntry(zip.get(), -1), nullptr);
  EXPECT_EQ(zipGetNextEntry(zip.get(), 5), nullptr);
  EXPECT_STREQ(zip->lastError, "sentinel");

  // The local name and time, the extra field (the central one where there
  // are both) and the comment, borrowed from the archive.
  const char* extras[] = {"<none>", "<none>", "LX", "CENTRAL", "C"};
  for (int i = 0; i < 5; ++i) {
    ZipEntry* e = zipGetNextEntry(zip.get(), i);
    ASSERT_NE(e, nullptr) << i;
    EXPECT_EQ(e->name, entries[i].name) << i;
    EXPECT_EQ(e->dosTime, entries[i].dosTime) << i;
    EXPECT_EQ(test::Extra(e), extras[i]) << i;
    EXPECT_EQ(e->comment, i == 2 ? zip->entryComments[2] : nullptr) << i;
    zipFreeEntry(zip.get(), e);
  }
  EXPECT_STREQ(zip->entryComments[2], "the third");
  // The entry's data begins behind the local extra field, not the central one.
  ZipEntry* e = zipGetEntry(zip.get(), "both");
  ASSERT_NE(e, nullptr);
  char buf[4];
  EXPECT_EQ(zipRead(zip.get(), e, 0, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), test::Deflate("data").substr(0, 4));
  zipFreeEntry(zip.get(), e);
}

TEST(ReadLOC, TakesHeadersLongerThanTheCentralOneAndOfTheLargestSizes) {
  test::ScratchDir dir;
  std::string longest(65535, 'n');
  std::vector<test::ZipEntryLayout> entries = {Entry("a", "content", 0), Entry(longest, "big", 0),
                                               Entry("next", "n", 0)};
  // The local header's lengths reach beyond what the central one says.
  entries[0].localName = std::string(700, 'L');
  entries[0].localExtra = std::string(300, 'x');
  // A name and an extra field whose lengths add up to more than 16 bits hold.
  entries[1].centralExtra = std::string(65534, 'e') + "E";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip, nullptr);
  ZipEntry* e = zipGetNextEntry(zip.get(), 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(e->name), std::string(700, 'L'));
  EXPECT_EQ(test::Extra(e), std::string(300, 'x'));
  EXPECT_EQ(e->dataOffset, zip->cells[0].localHeaderOffset + 30 + 700 + 300);
  EXPECT_EQ(zipReadEntry(zip.get(), e, (dir / "out").c_str()), 1);
  EXPECT_EQ(test::ReadFile(dir / "out"), "content");
  zipFreeEntry(zip.get(), e);
  e = zipGetEntry(zip.get(), longest.c_str());
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(test::Extra(e) == entries[1].centralExtra);
  EXPECT_EQ(zipReadEntry(zip.get(), e, "/dev/null"), 1);
  zipFreeEntry(zip.get(), e);
  // A shorter name after the longest is still hashed as itself.
  EXPECT_EQ(Found(zip.get(), "next"), "next");
}

TEST(ReadLOC, SaysWhyALocalHeaderCantBeRead) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("huge"), Entry("beyond"), Entry("nosig"),
                                               Entry("negative"), Entry("extra")};
  // Short central lengths, while the local header needs 131,100 bytes.
  entries[0].localName = std::string(65535, 'L');
  entries[0].localExtra = std::string(65535, 'e');
  entries[1].localOffset = 1 << 30;
  entries[2].localOffset = 1;
  entries[3].localOffset = 0x80000000u;
  entries[4].centralExtra = std::string(20, 'e');
  std::string path = Write(dir, entries);
  test::OpenZip zip(path);
  ASSERT_NE(zip, nullptr);
  const char* expected[] = {"couldn't read LOC header", "invalid LOC header (bad signature)", "seek failed"};
  for (int i = 1; i <= 3; ++i) {
    zip->lastError = nullptr;
    EXPECT_EQ(zipGetNextEntry(zip.get(), i), nullptr) << i;
    EXPECT_STREQ(zip->lastError, expected[i - 1]) << i;
  }
  // No entry either when no block the allocator still has holds that header.
  EXPECT_EQ(test::InChild([&] {
              if (!test::UseUpMemory(256 * 4096, {1 << 20, 30 + 65535 + 65535})) return "setrlimit failed";
              return zipGetNextEntry(zip.get(), 0) ? "built" : "none";
            }),
            "none");
  // Cut the file inside the central extra field, behind the open's back.
  ASSERT_EQ(truncate(path.c_str(), zip->cells[4].centralHeaderOffset + 46 + 5 + 10), 0);
  EXPECT_EQ(zipGetNextEntry(zip.get(), 4), nullptr);
  EXPECT_STREQ(zip->lastError, "couldn't read CEN extra");
}

TEST(ZipGetEntry, FindsByTheLocalNameThroughTheCentralHash) {
  test::ScratchDir dir;
  // "Aa" and "BB" have the same hash.
  std::vector<test::ZipEntryLayout> entries = {Entry("Aa"), Entry("x"), Entry("dir/"),
                                               Entry("twice", "first"), Entry("twice", "second, longer")};
  entries[0].localName = "BB";
  entries[1].localName = "y";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(Found(zip.get(), "BB"), "BB");
  zipFreeEntry(zip.get(), nullptr);
  // The local name alone has another hash; the central name leads to an
  // entry of another name, which then stays in the cache.
  EXPECT_EQ(Found(zip.get(), "y"), "<none>");
  EXPECT_EQ(Found(zip.get(), "x"), "<none>");
  ASSERT_NE(zip->cachedEntry, nullptr);
  EXPECT_STREQ(zip->cachedEntry->name, "y");
  EXPECT_EQ(Found(zip.get(), "Aa"), "<none>");
  EXPECT_EQ(Found(zip.get(), "dir"), "<none>");
  EXPECT_EQ(Found(zip.get(), "dir/"), "dir/");
  // zipFindEntry tells size and name length, and leaves them alone otherwise;
  // of two entries of one name it finds the later.
  int32_t size = -5, length = -5;
  EXPECT_EQ(zipFindEntry(zip.get(), "missing", &size, &length), nullptr);
  EXPECT_EQ(size, -5);
  ZipEntry* e = zipFindEntry(zip.get(), "twice", &size, &length);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(size, 14);
  EXPECT_EQ(length, 5);
  zipFreeEntry(zip.get(), e);
}

TEST(ZipGetEntry, TheCacheAnswersWithoutReadingTheFile) {
  test::ScratchDir dir;
  // "BB" comes later, so its chain lists it before "Aa".
  test::OpenZip zip(Write(dir, {Entry("a"), Entry("Aa"), Entry("b"), Entry("BB")}));
  ASSERT_NE(zip, nullptr);
  ZipEntry* a = zipGetEntry(zip.get(), "a");
  ASSERT_NE(a, nullptr);
  zipFreeEntry(zip.get(), a);
  EXPECT_EQ(zip->cachedEntry, a);
  // Given back twice, it stays the one cached entry.
  zipFreeEntry(zip.get(), a);
  EXPECT_EQ(zip->cachedEntry, a);

  int fd = zip->fd;
  zip->fd = -1;
  EXPECT_EQ(zipGetEntry(zip.get(), "a"), a);
  EXPECT_EQ(zip->cachedEntry, nullptr);
  EXPECT_EQ(zipGetEntry(zip.get(), "b"), nullptr);  // not cached, and the file is out of reach
  zip->fd = fd;
  zipFreeEntry(zip.get(), a);

  // Another name found directly leaves the cache alone ...
  ZipEntry* b = zipGetEntry(zip.get(), "b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(zip->cachedEntry, a);
  zipFreeEntry(zip.get(), b);
  EXPECT_EQ(zip->cachedEntry, b);
  // ... while a chain that passes a mismatching entry leaves that one there.
  ZipEntry* aa = zipGetEntry(zip.get(), "Aa");
  ASSERT_NE(aa, nullptr);
  ASSERT_NE(zip->cachedEntry, nullptr);
  EXPECT_STREQ(zip->cachedEntry->name, "BB");
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
  zip->lastError = "sentinel";
  EXPECT_EQ(zipRead(zip.get(), s, 7, buf, 100), 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_EQ(zip->lastError, nullptr);
  EXPECT_EQ(zipRead(zip.get(), s, 9, buf, 0), 0);
  EXPECT_EQ(zipRead(zip.get(), s, 9, buf, -3), 0);
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
  std::string large = test::Random(200000, 4) + std::string(400000, 'l');
  auto entry = [](const std::string& bytes, std::optional<std::string> compressed,
                  std::optional<uint32_t> size) {
    test::ZipEntryLayout e = Entry("e", bytes);
    e.compressed = compressed;
    e.size = size;
    return e;
  };
  const std::pair<test::ZipEntryLayout, const char*> cases[] = {
      {entry(test::Random(700000, 1) + std::string(900000, 'r') + test::Random(300000, 2), {}, {}),
       "1 <none>"},
      {Entry("stored", "s", 0), "0 inflateFully: entry not compressed"},
      // Inflates to less than its size.
      {entry(data, {}, 6000), "0 inflateFully: Unexpected end of stream"},
      // Ends long before its bytes are used, or with a few bytes left over.
      {entry(data, packed + std::string(100000, '\0'), {}), "0 inflateFully: Unexpected end of stream"},
      {entry(data, packed + "junk", {}), "1 <none>"},
      // Never ends, which is not required.
      {entry(data, unfinished, {}), "1 <none>"},
      {entry(data, std::string("\xff\xff\xff\xff garbage", 12), {}), "0 invalid block type"},
      // More than its size, at once and later.
      {entry(data, unfinished, 4000), "0 inflateFully: more data than the entry's size"},
      {entry(large, {}, 300000), "0 inflateFully: more data than the entry's size"},
  };
  std::vector<test::ZipEntryLayout> entries;
  for (const auto& c : cases) entries.push_back(c.first);
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip, nullptr);
  for (size_t i = 0; i < entries.size(); ++i) {
    const test::ZipEntryLayout& e = entries[i];
    std::string content;
    EXPECT_EQ(Inflate(zip.get(), static_cast<int>(i), dir / "out", &content), cases[i].second) << i;
    // What reaches the file is the data, or as much of it as came before the
    // failure, and never more than the declared size.
    size_t expected = cases[i].second[0] == '1' ? e.data.size() : i == 7 ? 0 : content.size();
    EXPECT_EQ(content.size(), expected) << i;  // case 7 goes beyond its size in the first output
    EXPECT_LE(content.size(), e.size.value_or(e.data.size())) << i;
    EXPECT_TRUE(e.data.compare(0, content.size(), content) == 0) << i;
  }
}

TEST(ZipReadEntry, FailsAnEntryCutShortByTheEndOfTheFile) {
  test::ScratchDir dir;
  std::string data = test::Random(100000, 3);
  std::string path = Write(dir, {Entry("first", "1"), Entry("deflated", data), Entry("stored", data, 0)});
  test::OpenZip zip(path);
  ZipEntry* s = zip ? zipGetNextEntry(zip.get(), 2) : nullptr;
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(truncate(path.c_str(), s->dataOffset + 5000), 0);
  EXPECT_EQ(zipReadEntry(zip.get(), s, (dir / "s").c_str()), 0);
  EXPECT_EQ(test::ReadFile(dir / "s"), data.substr(0, 5000));
  zipFreeEntry(zip.get(), s);
  ASSERT_EQ(truncate(path.c_str(), zip->cells[1].localHeaderOffset + 30 + 8 + 5000), 0);
  std::string content;
  EXPECT_EQ(Inflate(zip.get(), 1, dir / "d", &content), "0 inflateFully: Unexpected end of file");
}

}  // namespace
