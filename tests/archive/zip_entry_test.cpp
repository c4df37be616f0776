#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "archive/zip.h"
#include "archive/zip_builder.h"
#include "archive/zip_internal.h"
#include "support/child.h"

namespace {

using test::Entry;

std::string Write(const test::ScratchDir& dir, const std::vector<test::ZipEntryLayout>& entries,
                  const std::string& name = "a.zip") {
  return test::WriteEntries(dir / name, entries);
}

std::string Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// A deflate stream of data flushed to a byte boundary but never ended.
std::string Unfinished(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_SYNC_FLUSH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Text(const char* s) { return s ? s : "<none>"; }

// Inflates entry index into a file; returns "result failure-text" and the
// file's content in *content.
std::string Inflate(ZipFile* zip, int index, const std::string& out, std::string* content = nullptr) {
  ZipEntry* e = zipGetNextEntry(zip, index);
  if (e == nullptr) return "no entry";
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const char* failure = "unset";
  int result = inflateFully(zip, e, fd, &failure);
  close(fd);
  zipFreeEntry(zip, e);
  if (content) *content = test::ReadFile(out);
  return std::to_string(result) + " " + Text(failure);
}

// Writes entry index with zipReadEntry; returns its result.
int ReadEntry(ZipFile* zip, int index, const std::string& path) {
  ZipEntry* e = zipGetNextEntry(zip, index);
  if (e == nullptr) return -1;
  int result = zipReadEntry(zip, e, path.c_str());
  zipFreeEntry(zip, e);
  return result;
}

TEST(ZipGetNextEntry, BuildsTheEntryFromBothHeaders) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("first", "one"), Entry("dir/", "", 0),
                                             Entry("third", "333333", 0)};
  entries[2].dosTime = 0x12345678;
  entries[2].comment = "the third";
  entries[2].localExtra = "LX";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip.get(), nullptr);
  zip->lastError = "sentinel";
  EXPECT_EQ(zipGetNextEntry(zip.get(), -1), nullptr);
  EXPECT_EQ(zipGetNextEntry(zip.get(), 3), nullptr);
  EXPECT_STREQ(zip->lastError, "sentinel");

  ZipEntry* e = zipGetNextEntry(zip.get(), 2);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "third");
  EXPECT_EQ(e->dosTime, 0x12345678u);
  EXPECT_EQ(e->size, 6);
  EXPECT_EQ(e->compressedSize, 0);
  EXPECT_EQ(e->crc, test::Crc("333333"));
  EXPECT_EQ(e->comment, zip->entryComments[2]);
  EXPECT_STREQ(e->comment, "the third");
  EXPECT_EQ(e->dataOffset, zip->cells[2].localHeaderOffset + 30 + 5 + 2);
  ASSERT_NE(e->extra, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(e->extra), 4), std::string("\x02\x00LX", 4));
  zipFreeEntry(zip.get(), e);
  e = zipGetNextEntry(zip.get(), 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->comment, nullptr);
  EXPECT_EQ(e->extra, nullptr);
  EXPECT_EQ(e->compressedSize, static_cast<int32_t>(test::Deflate("one").size()));
  zipFreeEntry(zip.get(), e);
}

TEST(ZipGetNextEntry, PrefersTheCentralExtraField) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("both"), Entry("local"), Entry("central")};
  entries[0].centralExtra = "CENTRAL";
  entries[0].localExtra = "loc";
  entries[1].localExtra = "only local";
  entries[2].centralExtra = "C";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip.get(), nullptr);
  const char* expected[] = {"\x07\x00" "CENTRAL", "\x0a\x00only local", "\x01\x00" "C"};
  for (int i = 0; i < 3; ++i) {
    ZipEntry* e = zipGetNextEntry(zip.get(), i);
    ASSERT_NE(e, nullptr);
    size_t length = 2 + e->extra[0];
    EXPECT_EQ(std::string(reinterpret_cast<char*>(e->extra), length), std::string(expected[i], length)) << i;
    zipFreeEntry(zip.get(), e);
  }
  // The entry's data begins behind the local extra field, not the central one.
  ZipEntry* e = zipGetEntry(zip.get(), "both");
  ASSERT_NE(e, nullptr);
  char buf[4];
  EXPECT_EQ(zipRead(zip.get(), e, 0, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), test::Deflate("data").substr(0, 4));
  zipFreeEntry(zip.get(), e);
}

TEST(ReadLOC, ReadsALocalHeaderLongerThanTheCentralOne) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("a", "content", 0)};
  entries[0].localName = std::string(700, 'L');
  entries[0].localExtra = std::string(300, 'x');
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip.get(), nullptr);
  ZipEntry* e = zipGetNextEntry(zip.get(), 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(e->name), std::string(700, 'L'));
  ASSERT_NE(e->extra, nullptr);
  EXPECT_EQ(e->extra[0] | (e->extra[1] << 8), 300);
  EXPECT_EQ(e->extra[301], 'x');
  EXPECT_EQ(e->dataOffset, 30 + 700 + 300);
  EXPECT_EQ(zipReadEntry(zip.get(), e, (dir / "out").c_str()), 1);
  EXPECT_EQ(test::ReadFile(dir / "out"), "content");
  zipFreeEntry(zip.get(), e);
}

TEST(ReadLOC, SaysWhyALocalHeaderCantBeRead) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("ok"), Entry("beyond"), Entry("nosig"), Entry("negative"),
                                             Entry("extra")};
  entries[1].localOffset = 1 << 30;
  entries[2].localOffset = 1;
  entries[3].localOffset = 0x80000000u;
  entries[4].centralExtra = std::string(20, 'e');
  std::string path = Write(dir, entries);
  test::OpenZip zip(path);
  ASSERT_NE(zip.get(), nullptr);
  const char* expected[] = {"couldn't read LOC header", "invalid LOC header (bad signature)", "seek failed"};
  for (int i = 1; i <= 3; ++i) {
    zip->lastError = nullptr;
    EXPECT_EQ(zipGetNextEntry(zip.get(), i), nullptr) << i;
    EXPECT_STREQ(zip->lastError, expected[i - 1]) << i;
  }
  // Cut the file inside the central extra field, behind the open's back.
  ASSERT_EQ(truncate(path.c_str(), zip->cells[4].centralHeaderOffset + 46 + 5 + 10), 0);
  EXPECT_EQ(zipGetNextEntry(zip.get(), 4), nullptr);
  EXPECT_STREQ(zip->lastError, "couldn't read CEN extra");
}

TEST(ZipGetEntry, FindsByTheLocalNameThroughTheCentralHash) {
  test::ScratchDir dir;
  // "Aa" and "BB" have the same hash.
  std::vector<test::ZipEntryLayout> entries = {Entry("Aa"), Entry("x"), Entry("dir/")};
  entries[0].localName = "BB";
  entries[1].localName = "y";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip.get(), nullptr);
  ZipEntry* e = zipGetEntry(zip.get(), "BB");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "BB");
  zipFreeEntry(zip.get(), e);
  zipFreeEntry(zip.get(), nullptr);
  // The local name alone has another hash; the central name leads to an
  // entry of another name, which then stays in the cache.
  EXPECT_EQ(zipGetEntry(zip.get(), "y"), nullptr);
  EXPECT_EQ(zipGetEntry(zip.get(), "x"), nullptr);
  ASSERT_NE(zip->cachedEntry, nullptr);
  EXPECT_STREQ(zip->cachedEntry->name, "y");
  EXPECT_EQ(zipGetEntry(zip.get(), "Aa"), nullptr);
  EXPECT_EQ(zipGetEntry(zip.get(), "dir"), nullptr);
  e = zipGetEntry(zip.get(), "dir/");
  ASSERT_NE(e, nullptr);
  zipFreeEntry(zip.get(), e);
  // zipFindEntry tells size and name length, and leaves them alone otherwise.
  int32_t size = -5, length = -5;
  EXPECT_EQ(zipFindEntry(zip.get(), "missing", &size, &length), nullptr);
  EXPECT_EQ(size, -5);
  e = zipFindEntry(zip.get(), "BB", &size, &length);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(length, 2);
  zipFreeEntry(zip.get(), e);
}

TEST(ZipGetEntry, TheCacheAnswersWithoutReadingTheFile) {
  test::ScratchDir dir;
  // "BB" comes later, so its chain lists it before "Aa".
  test::OpenZip zip(Write(dir, {Entry("a"), Entry("Aa"), Entry("b"), Entry("BB")}));
  ASSERT_NE(zip.get(), nullptr);
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
  ASSERT_NE(zip.get(), nullptr);
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

TEST(InflateFully, WritesLargeEntriesExactly) {
  test::ScratchDir dir;
  std::string mixed = Random(700000, 1) + std::string(900000, 'r') + Random(300000, 2);
  test::OpenZip zip(Write(dir, {Entry("big", mixed), Entry("stored", "s", 0)}));
  ASSERT_NE(zip.get(), nullptr);
  std::string content;
  EXPECT_EQ(Inflate(zip.get(), 0, dir / "out", &content), "1 <none>");
  EXPECT_TRUE(content == mixed) << content.size();
  EXPECT_EQ(Inflate(zip.get(), 1, dir / "out"), "0 inflateFully: entry not compressed");
}

TEST(InflateFully, NamesStreamsThatDoNotFitTheEntry) {
  test::ScratchDir dir;
  std::string data = std::string(5000, 'x') + "end";
  std::string packed = test::Deflate(data);
  std::string large = Random(200000, 4) + std::string(400000, 'l');
  std::vector<test::ZipEntryLayout> entries(7, Entry("e", data));
  entries[0].size = 6000;                                           // inflates to less than its size
  entries[1].compressed = packed + std::string(100000, '\0');      // ends long before its bytes are used
  entries[2].compressed = packed + "junk";                         // ends with a few bytes left over
  entries[3].compressed = Unfinished(data);                        // never ends: not required
  entries[4].compressed = std::string("\xff\xff\xff\xff garbage", 12);
  entries[5].compressed = Unfinished(data);                        // more than its size, at once
  entries[5].size = 4000;
  entries[6] = Entry("large", large);                               // more than its size, later
  entries[6].size = 300000;
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip.get(), nullptr);
  std::string content;
  EXPECT_EQ(Inflate(zip.get(), 0, dir / "out"), "0 inflateFully: Unexpected end of stream");
  EXPECT_EQ(Inflate(zip.get(), 1, dir / "out"), "0 inflateFully: Unexpected end of stream");
  EXPECT_EQ(Inflate(zip.get(), 2, dir / "out", &content), "1 <none>");
  EXPECT_EQ(content, data);
  EXPECT_EQ(Inflate(zip.get(), 3, dir / "out", &content), "1 <none>");
  EXPECT_EQ(content, data);
  EXPECT_EQ(Inflate(zip.get(), 4, dir / "out"), "0 invalid block type");
  // Never more than the declared size reaches the file.
  EXPECT_EQ(Inflate(zip.get(), 5, dir / "out", &content), "0 inflateFully: more data than the entry's size");
  EXPECT_EQ(content, "");
  EXPECT_EQ(Inflate(zip.get(), 6, dir / "out", &content), "0 inflateFully: more data than the entry's size");
  EXPECT_LE(content.size(), 300000u);
  EXPECT_TRUE(large.compare(0, content.size(), content) == 0);
}

TEST(ZipReadEntry, ChecksTheCrcOfStoredAndDeflatedData) {
  test::ScratchDir dir;
  std::string data = std::string(40000, 'c') + "marker" + std::string(40000, 'd');
  std::vector<test::ZipEntryLayout> entries = {Entry("stored", data, 0), Entry("deflated", data), Entry("good", data)};
  entries[1].level = 0;  // stored deflate blocks: a changed byte keeps the stream valid
  std::string bytes;
  {
    test::ZipLayout layout;
    layout.entries = entries;
    bytes = layout.Build();
  }
  // The marker stands in the first two entries' data as it is.
  for (int flip = 0; flip < 2; ++flip) {
    size_t at = bytes.find("marker");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'M';
  }
  ASSERT_EQ(bytes.find("marker"), std::string::npos);
  test::OpenZip zip(test::WriteArchive(dir / "a.zip", bytes));
  ASSERT_NE(zip.get(), nullptr);
  EXPECT_EQ(ReadEntry(zip.get(), 0, dir / "stored"), 0);
  EXPECT_EQ(ReadEntry(zip.get(), 1, dir / "deflated"), 0);
  EXPECT_EQ(ReadEntry(zip.get(), 2, dir / "good"), 1);
  EXPECT_EQ(test::ReadFile(dir / "good"), data);
  // Writing to /dev/null checks an entry without keeping it.
  EXPECT_EQ(ReadEntry(zip.get(), 0, "/dev/null"), 0);
  EXPECT_EQ(ReadEntry(zip.get(), 1, "/dev/null"), 0);
  EXPECT_EQ(ReadEntry(zip.get(), 2, "/dev/null"), 1);
}

TEST(ZipReadEntry, FailsAnEntryCutShortByTheEndOfTheFile) {
  test::ScratchDir dir;
  std::string data = Random(100000, 3);
  std::string path = Write(dir, {Entry("first", "1"), Entry("deflated", data), Entry("stored", data, 0)});
  test::OpenZip zip(path);
  ASSERT_NE(zip.get(), nullptr);
  ZipEntry* d = zipGetNextEntry(zip.get(), 1);
  ZipEntry* s = zipGetNextEntry(zip.get(), 2);
  ASSERT_TRUE(d && s);
  ASSERT_EQ(truncate(path.c_str(), s->dataOffset + 5000), 0);
  EXPECT_EQ(zipReadEntry(zip.get(), s, (dir / "s").c_str()), 0);
  EXPECT_EQ(test::ReadFile(dir / "s"), data.substr(0, 5000));
  ASSERT_EQ(truncate(path.c_str(), d->dataOffset + 5000), 0);
  int fd = open((dir / "d").c_str(), O_WRONLY | O_CREAT, 0600);
  const char* failure = nullptr;
  EXPECT_EQ(inflateFully(zip.get(), d, fd, &failure), 0);
  close(fd);
  EXPECT_STREQ(failure, "inflateFully: Unexpected end of file");
  zipFreeEntry(zip.get(), d);
  zipFreeEntry(zip.get(), s);
}

TEST(ZipReadEntry, ReplacesTheWholeFileAndNeverFollowsALink) {
  test::ScratchDir dir;
  test::OpenZip zip(Write(dir, {Entry("short", "new"), Entry("empty", "", 0)}));
  ASSERT_NE(zip.get(), nullptr);
  std::string existing = dir.Write("existing", std::string(10000, 'o'), 0644);
  EXPECT_EQ(ReadEntry(zip.get(), 0, existing), 1);
  EXPECT_EQ(test::ReadFile(existing), "new");
  EXPECT_EQ(ReadEntry(zip.get(), 1, existing), 1);
  EXPECT_EQ(test::ReadFile(existing), "");

  std::string target = dir.Write("target", "untouched");
  symlink(target.c_str(), (dir / "link").c_str());
  EXPECT_EQ(ReadEntry(zip.get(), 0, dir / "link"), 0);
  EXPECT_EQ(test::ReadFile(target), "untouched");
  dir.MakeDir("a-directory");
  EXPECT_EQ(ReadEntry(zip.get(), 0, dir / "a-directory"), 0);
  EXPECT_EQ(ReadEntry(zip.get(), 0, dir / "missing/file"), 0);

  // A new file gets mode 0700 before the creation mask.
  EXPECT_EQ(test::InChild([&] {
              umask(0);
              int r = ReadEntry(zip.get(), 1, dir / "fresh");
              struct stat st;
              stat((dir / "fresh").c_str(), &st);
              return std::to_string(r) + " " + std::to_string(st.st_mode & 07777) + " " +
                     std::to_string(st.st_size);
            }),
            "1 448 0");
}

TEST(ReadLOC, TakesNamesAndExtraFieldsOfTheLargestSizes) {
  test::ScratchDir dir;
  // Their lengths add up to more than 16 bits hold.
  std::vector<test::ZipEntryLayout> entries = {Entry(std::string(65535, 'n'), "big", 0), Entry("next", "n", 0)};
  entries[0].centralExtra = std::string(65534, 'e') + "E";
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip.get(), nullptr);
  ZipEntry* e = zipGetEntry(zip.get(), std::string(65535, 'n').c_str());
  ASSERT_NE(e, nullptr);
  ASSERT_NE(e->extra, nullptr);
  EXPECT_EQ(e->extra[0] | (e->extra[1] << 8), 65535);
  EXPECT_EQ(e->extra[2], 'e');
  EXPECT_EQ(e->extra[2 + 65534], 'E');
  EXPECT_EQ(zipReadEntry(zip.get(), e, "/dev/null"), 1);
  zipFreeEntry(zip.get(), e);
  e = zipGetNextEntry(zip.get(), 1);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "next");
  zipFreeEntry(zip.get(), e);

}

TEST(ReadLOC, GivesNoEntryWithoutMemoryForTheLocalHeader) {
  test::ScratchDir dir;
  // The central header's lengths are short, the local header's need 131,100
  // bytes: more than any block the allocator still has.
  std::vector<test::ZipEntryLayout> entries = {Entry("x")};
  entries[0].localName = std::string(65535, 'L');
  entries[0].localExtra = std::string(65535, 'e');
  test::OpenZip zip(Write(dir, entries));
  ASSERT_NE(zip.get(), nullptr);
  constexpr size_t kHeader = 30 + 65535 + 65535;
  EXPECT_EQ(test::InChild([&] {
              rlim_t pages = std::stoull(test::ReadFile("/proc/self/statm"));
              struct rlimit limit = {(pages + 256) * 4096, RLIM_INFINITY};
              if (setrlimit(RLIMIT_AS, &limit) != 0) return std::string("setrlimit failed");
              // Each block is linked to the one before, so that none is unused.
              void* blocks = nullptr;
              for (size_t size : {size_t{1} << 20, kHeader}) {
                while (void* block = malloc(size)) {
                  *static_cast<void**>(block) = blocks;
                  blocks = block;
                }
              }
              return std::string(zipGetNextEntry(zip.get(), 0) ? "built" : "none");
            }),
            "none");
}

}  // namespace
