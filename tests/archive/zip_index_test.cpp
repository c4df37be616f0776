#include <fcntl.h>
#include <sys/resource.h>
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

// The index of an archive built by readCEN itself, so that lastError stays
// readable when the central directory is refused.
struct Index {
  ZipFile* zip;
  int64_t result;
  explicit Index(const std::string& path) : zip(allocZip(path.c_str())) {
    zip->fd = open(path.c_str(), O_RDONLY);
    result = readCEN(zip);
  }
  ~Index() {
    close(zip->fd);
    freeZip(zip);
  }
  std::string error() const { return zip->lastError ? zip->lastError : "<none>"; }
};

std::string Write(const test::ScratchDir& dir, const test::ZipLayout& layout, const std::string& name = "a.zip") {
  return test::WriteArchive(dir / name, layout.Build());
}

TEST(Hash, IsJavasStringHashOverSignedBytes) {
  EXPECT_EQ(hash(""), 0u);
  EXPECT_EQ(hash("a"), 97u);
  EXPECT_EQ(hash("hello"), 99162322u);
  EXPECT_EQ(hash("Aa"), hash("BB"));
  EXPECT_EQ(hash("\xff"), 0xFFFFFFFFu);
  EXPECT_EQ(hash("\x80x"), static_cast<uint32_t>(-128 * 31 + 'x'));
}

TEST(IsMetaName, MatchesTheFolderInAnyCase) {
  for (const char* yes : {"META-INF/", "META-INF/MANIFEST.MF", "meta-inf/x", "Meta-Inf/y"})
    EXPECT_TRUE(isMetaName(yes)) << yes;
  for (const char* no : {"META-INF", "META-INFO/x", "x/META-INF/y", "META_INF/", ""})
    EXPECT_FALSE(isMetaName(no)) << no;
}

TEST(ZipOpen, ForeignBytesInFrontShiftEveryOffset) {
  test::ScratchDir dir;
  test::ZipLayout layout;
  layout.entries = {Entry("one", "first"), Entry("two", std::string(3000, '2'), 0), Entry("three")};
  std::string plain = Write(dir, layout, "plain.zip");
  layout.prefix = std::string(1000, '\x7f') + "PK\x05\x06 looks like a record";
  std::string behind = Write(dir, layout, "behind.zip");
  layout.offsetsFromFileStart = true;
  std::string adjusted = Write(dir, layout, "adjusted.zip");

  test::OpenZip a(plain), b(behind), c(adjusted);
  ASSERT_TRUE(a.get() && b.get() && c.get());
  int64_t shift = static_cast<int64_t>(layout.prefix.size());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(b->cells[i].localHeaderOffset, a->cells[i].localHeaderOffset + shift) << i;
    EXPECT_EQ(b->cells[i].centralHeaderOffset, a->cells[i].centralHeaderOffset + shift) << i;
    EXPECT_EQ(c->cells[i].localHeaderOffset, b->cells[i].localHeaderOffset) << i;
  }
  EXPECT_EQ(a->cells[0].localHeaderOffset, 0);
  for (ZipFile* zip : {a.get(), b.get(), c.get()}) {
    ZipEntry* e = zipGetNextEntry(zip, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->name, "one");
    zipFreeEntry(zip, e);
    e = zipGetEntry(zip, "two");
    ASSERT_NE(e, nullptr);
    char buf[100] = {};
    EXPECT_EQ(zipRead(zip, e, 2990, buf, 100), 10);
    EXPECT_EQ(std::string(buf, 8), "22222222");
    zipFreeEntry(zip, e);
  }
}

TEST(ZipOpen, TellsAMissingFileFromOneThatIsNoArchive) {
  test::ScratchDir dir;
  int error = 7;
  EXPECT_EQ(zipOpen((dir / "missing").c_str(), &error), nullptr);
  EXPECT_EQ(error, -4);

  test::ZipLayout layout;
  layout.entries = {Entry("x")};
  std::string good = layout.Build();
  std::string emptyAlone = test::ZipLayout().Build();
  test::ZipLayout emptyBehind;
  emptyBehind.prefix = "#!";
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"short", std::string(21, '\0')},
      {"empty", ""},
      {"byte after the end record", good + "!"},
      // An end record at offset 0 counts as none.
      {"end record at offset 0", emptyAlone},
      {"no end record", std::string(70000, 'x')},
  };
  for (const auto& [what, bytes] : bad) {
    std::string path = test::WriteArchive(dir / "bad.zip", bytes);
    error = 7;
    EXPECT_EQ(zipOpen(path.c_str(), &error), nullptr) << what;
    EXPECT_EQ(error, -2) << what;
  }

  test::OpenZip empty(Write(dir, emptyBehind, "empty.zip"));
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(empty.error(), 0);
  EXPECT_EQ(empty->entryCount, 0);
  EXPECT_EQ(empty->bucketCount, 1);
  EXPECT_EQ(empty->buckets[0], 0xFFFF);
  EXPECT_EQ(zipGetNextEntry(empty.get(), 0), nullptr);
  EXPECT_EQ(zipGetEntry(empty.get(), ""), nullptr);
}

// Opens an archive whose comment has the given length and returns its entry
// count, or -1 when the end record is not found.
int EntriesWithCommentOf(const test::ScratchDir& dir, size_t length) {
  test::ZipLayout layout;
  layout.entries = {Entry("x")};
  layout.comment = std::string(length, 'c');
  test::OpenZip zip(Write(dir, layout, "comment.zip"));
  if (zip.get() == nullptr) return -1;
  EXPECT_EQ(zip->archiveComment ? std::string(zip->archiveComment) : "<none>", length ? layout.comment : "<none>");
  return zip->entryCount;
}

TEST(FindEND, LooksOnlyAtTheLast65535Bytes) {
  test::ScratchDir dir;
  EXPECT_EQ(EntriesWithCommentOf(dir, 0), 1);
  EXPECT_EQ(EntriesWithCommentOf(dir, 1), 1);
  EXPECT_EQ(EntriesWithCommentOf(dir, 30), 1);
  // The record begins exactly 65,535 bytes before the end: the last block
  // read, which is shorter than the others.
  EXPECT_EQ(EntriesWithCommentOf(dir, 65535 - 22), 1);
  // Records straddling that shorter block and the one read before it.
  EXPECT_EQ(EntriesWithCommentOf(dir, 65535 - 22 - 17), 1);
  EXPECT_EQ(EntriesWithCommentOf(dir, 65535 - 22 - 18), 1);
  EXPECT_EQ(EntriesWithCommentOf(dir, 65535 - 22 - 19), 1);
  // One byte further away, and the longest comment there is.
  EXPECT_EQ(EntriesWithCommentOf(dir, 65535 - 21), -1);
  EXPECT_EQ(EntriesWithCommentOf(dir, 65535), -1);
}

TEST(FindEND, TakesTheCandidateNearestTheEndThenTheLowestInItsBlock) {
  test::ScratchDir dir;
  // A comment that ends in a record of its own, reaching to the end of the
  // file: that one is nearer the end and wins.
  test::ZipLayout layout;
  layout.entries = {Entry("x")};
  layout.comment = "comment " + test::ZipLayout().Build() + "";
  {
    test::OpenZip zip(Write(dir, layout));
    ASSERT_NE(zip.get(), nullptr);
    EXPECT_EQ(zip->entryCount, 0);
  }
  // Two candidates 4 bytes apart in one 22-byte block: the real record, and
  // one starting in its unused disk fields whose comment length comes from
  // the real comment. The lower one is taken; the other would be refused.
  const uint16_t length = 100;  // the record starts 122 bytes before the end: mid-block
  layout.endDiskFields = std::string("PK\x05\x06", 4) + std::string(2, '\0');
  layout.comment = "--" + test::Le16(length - 4) + std::string(length - 4, 'c');
  {
    test::OpenZip zip(Write(dir, layout));
    ASSERT_NE(zip.get(), nullptr);
    EXPECT_EQ(zip->entryCount, 1);
  }
}

// readCEN's verdict on an archive: its result (as "ok" or the number) and
// the recorded text.
std::string Verdict(const test::ScratchDir& dir, const test::ZipLayout& layout) {
  Index index(Write(dir, layout, "verdict.zip"));
  if (index.result > 0) return "ok";
  EXPECT_EQ(index.zip->cells, nullptr);
  EXPECT_EQ(index.zip->buckets, nullptr);
  return std::to_string(index.result) + " " + index.error();
}

TEST(ReadCEN, NamesWhatIsWrongWithTheCentralDirectory) {
  test::ScratchDir dir;
  auto with = [](auto change) {
    test::ZipLayout layout;
    layout.prefix = std::string(200, 'p');
    layout.entries = {Entry("META-INF/first"), Entry("second")};
    change(layout);
    return layout;
  };
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout&) {})), "ok");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.cenSize = 100000; })),
            "-1 invalid END header (bad central directory size)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.cenSize = 0x80000000u; })),
            "-1 invalid END header (bad central directory size)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.cenOffset = 100000; })),
            "-1 invalid END header (bad central directory offset)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.cenOffset = 0xFFFFFFF0u; })),
            "-1 invalid END header (bad central directory offset)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.entryCount = 5; })),
            "-1 invalid END header (bad entry count)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.entries[1].flags = 1; })),
            "-1 invalid CEN header (encrypted entry)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.entries[1].method = 12; })),
            "-1 invalid CEN header (bad compression method)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) {
              s.cenTail = std::string(46, '\0');
              s.entryCount = 3;
            })),
            "-1 invalid CEN header (bad signature)");
  // A third header whose fixed part, then whose name, runs past the end.
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) {
              s.cenTail = test::RawCentralHeader(0, 0, 0, 0, 0).substr(0, 45);
              s.entryCount = 3;
            })),
            "-1 invalid CEN header (bad header size)");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) {
              s.cenTail = test::RawCentralHeader(0, 0, 10, 0, 0) + "123456789";
              s.entryCount = 3;
            })),
            "-1 invalid CEN header (bad header size)");
  // No end record records no text; in a file shorter than the search span
  // the search fails at the file's start.
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) { s.trailing = "x"; })), "-1 <none>");
  EXPECT_EQ(Verdict(dir, with([](test::ZipLayout& s) {
              s.prefix = std::string(70000, 'p');
              s.trailing = "x";
            })),
            "0 <none>");
}

TEST(ReadCEN, KeepsTheMetaNamesFoundBeforeARefusedEntry) {
  test::ScratchDir dir;
  test::ZipLayout layout;
  layout.entries = {Entry("META-INF/first"), Entry("second")};
  layout.entries[1].method = 12;
  Index index(Write(dir, layout));
  EXPECT_EQ(index.result, -1);
  ASSERT_NE(index.zip->metaNames, nullptr);
  EXPECT_STREQ(index.zip->metaNames[0], "META-INF/first");
}

// An archive of count empty stored entries named by number.
std::string ManyEntries(const test::ScratchDir& dir, int count) {
  test::ZipLayout layout;
  layout.entries.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    layout.entries[i].name = std::to_string(i);
    layout.entries[i].method = 0;
  }
  return Write(dir, layout, "many.zip");
}

TEST(ReadCEN, Takes65534EntriesAtMost) {
  test::ScratchDir dir;
  {
    test::OpenZip zip(ManyEntries(dir, 65534));
    ASSERT_NE(zip.get(), nullptr);
    EXPECT_EQ(zip->entryCount, 65534);
    EXPECT_EQ(zip->bucketCount, 32767);
    for (int i : {0, 1, 40000, 65533}) {
      ZipEntry* e = zipGetEntry(zip.get(), std::to_string(i).c_str());
      ASSERT_NE(e, nullptr) << i;
      EXPECT_EQ(e->dataOffset, zip->cells[i].localHeaderOffset + 30 + static_cast<int>(strlen(e->name)));
      zipFreeEntry(zip.get(), e);
    }
  }
  // 65,535 entries: refused for their number when the directory could hold
  // them, for the directory's size otherwise.
  test::ZipLayout big;
  big.cenTail = std::string(65535 * 46, '\0');
  big.entryCount = 65535;
  EXPECT_EQ(Verdict(dir, big), "-1 too many entries in ZIP file");
  big.cenTail.resize(65535 * 46 - 1);
  EXPECT_EQ(Verdict(dir, big), "-1 invalid END header (bad entry count)");
}

TEST(ReadCEN, FillsCellsFromTheCentralHeaders) {
  test::ScratchDir dir;
  test::ZipLayout layout;
  layout.prefix = "foreign";
  layout.entries = {Entry("stored", "plain", 0), Entry("deflated", std::string(500, 'z')), Entry("x/extra")};
  layout.entries[0].compressedSize = 77;  // ignored: stored entries have none
  layout.entries[0].crc = 0x12345678;
  layout.entries[2].centralExtra = std::string("UT\x05\x00\x01" "abcd", 9);
  Index index(Write(dir, layout));
  ASSERT_GT(index.result, 0);
  const ZipCell* c = index.zip->cells;
  EXPECT_EQ(c[0].compressedSize, 0);
  EXPECT_EQ(c[0].size, 5);
  EXPECT_EQ(c[0].crc, 0x12345678u);
  EXPECT_EQ(c[0].localHeaderOffset, 7);
  EXPECT_EQ(c[0].nameHash, hash("stored"));
  EXPECT_EQ(c[0].nameExtraLength, 6);
  EXPECT_EQ(c[1].compressedSize, static_cast<int32_t>(test::Deflate(std::string(500, 'z')).size()));
  EXPECT_EQ(c[1].size, 500);
  EXPECT_EQ(c[1].crc, test::Crc(std::string(500, 'z')));
  EXPECT_EQ(c[2].extraLength, 9);
  EXPECT_EQ(c[2].nameExtraLength, 7 + 9);
  // The central directory ends where the end record begins.
  int64_t cenPos = index.result;
  EXPECT_EQ(c[0].centralHeaderOffset, cenPos);
  EXPECT_EQ(c[1].centralHeaderOffset, cenPos + 46 + 6);
  EXPECT_EQ(c[2].centralHeaderOffset, cenPos + 46 + 6 + 46 + 8);
}

TEST(ReadCEN, ChainsListLaterEntriesFirst) {
  test::ScratchDir dir;
  test::ZipLayout layout;
  layout.entries = {Entry("twice", "first"), Entry("other"), Entry("twice", "second, longer")};
  test::OpenZip zip(Write(dir, layout));
  ASSERT_NE(zip.get(), nullptr);
  EXPECT_EQ(zip->entryCount, 3);
  uint16_t head = zip->buckets[hash("twice") % static_cast<uint32_t>(zip->bucketCount)];
  EXPECT_EQ(head, 2);
  ZipEntry* e = zipGetEntry(zip.get(), "twice");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->size, 14);
  zipFreeEntry(zip.get(), e);
}

TEST(ReadCEN, KeepsCommentsMetaNamesAndLongNames) {
  test::ScratchDir dir;
  test::ZipLayout layout;
  std::string longName(2000, 'n'), longerThanScratch(600, 'm');
  layout.entries = {Entry("META-INF/MANIFEST.MF"), Entry(longName), Entry("meta-inf/b"), Entry("Meta-Inf/"),
                  Entry(longerThanScratch), Entry("short"), Entry("META-INF/c"), Entry("META-INF/d"),
                  Entry("META-INF")};
  layout.entries[1].comment = "about the long one";
  layout.entries[5].comment = "short's";
  layout.comment = "archive comment";
  test::OpenZip zip(Write(dir, layout));
  ASSERT_NE(zip.get(), nullptr);
  EXPECT_STREQ(zip->archiveComment, "archive comment");
  ASSERT_NE(zip->entryComments, nullptr);
  EXPECT_STREQ(zip->entryComments[1], "about the long one");
  EXPECT_STREQ(zip->entryComments[5], "short's");
  EXPECT_EQ(zip->entryComments[0], nullptr);
  ASSERT_EQ(zip->metaNameCapacity, 8);
  std::vector<std::string> meta;
  for (int i = 0; i < zip->metaNameCapacity; ++i) meta.push_back(zip->metaNames[i] ? zip->metaNames[i] : "-");
  EXPECT_EQ(meta, (std::vector<std::string>{"META-INF/MANIFEST.MF", "meta-inf/b", "Meta-Inf/", "META-INF/c",
                                            "META-INF/d", "-", "-", "-"}));
  for (const std::string& name : {longName, longerThanScratch, std::string("short")}) {
    ZipEntry* e = zipGetEntry(zip.get(), name.c_str());
    ASSERT_NE(e, nullptr) << name.size();
    EXPECT_EQ(e->name, name);
    zipFreeEntry(zip.get(), e);
  }
  ZipEntry* e = zipGetNextEntry(zip.get(), 5);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->comment, zip->entryComments[5]);
  zipFreeEntry(zip.get(), e);
}

TEST(ZipOpen, SharesARecordPerPathStringAndTimeStamp) {
  test::ScratchDir dir;
  test::ZipLayout layout;
  layout.entries = {Entry("x")};
  std::string path = Write(dir, layout);
  std::string samePlace = dir.path() + "//a.zip";
  ZipFile* first = zipOpen(path.c_str(), nullptr);
  ZipFile* again = zipOpen(path.c_str(), nullptr);
  ZipFile* other = zipOpen(samePlace.c_str(), nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(again, first);
  EXPECT_EQ(first->refCount, 2);
  EXPECT_NE(other, first);
  zipClose(other);
  zipClose(again);
  EXPECT_EQ(first->refCount, 1);
  int fd = first->fd;
  EXPECT_NE(fcntl(fd, F_GETFD), -1);
  zipClose(first);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);

  ZipFile* five = zipOpenGeneric(path.c_str(), nullptr, O_RDONLY, 5);
  ZipFile* six = zipOpenGeneric(path.c_str(), nullptr, O_RDONLY, 6);
  EXPECT_NE(six, five);
  EXPECT_EQ(zipOpenGeneric(path.c_str(), nullptr, O_RDONLY, 5), five);
  ZipFile* any = zipOpen(path.c_str(), nullptr);
  EXPECT_NE(any, five);
  EXPECT_NE(any, six);
  // A record opened with time stamp 0 serves every time stamp.
  EXPECT_EQ(zipOpenGeneric(path.c_str(), nullptr, O_RDONLY, 7), any);
  for (ZipFile* z : {five, five, six, any, any}) zipClose(z);
}

TEST(ZipOpen, StartsANewRecordAfter65535References) {
  test::ScratchDir dir;
  test::ZipLayout layout;
  layout.entries = {Entry("x")};
  std::string path = Write(dir, layout);
  ZipFile* full = zipOpen(path.c_str(), nullptr);
  ASSERT_NE(full, nullptr);
  for (int i = 1; i < 65535; ++i) ASSERT_EQ(zipOpen(path.c_str(), nullptr), full);
  EXPECT_EQ(full->refCount, 65535);
  ZipFile* fresh = zipOpen(path.c_str(), nullptr);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, full);
  EXPECT_EQ(fresh->next, full);
  EXPECT_EQ(zipOpen(path.c_str(), nullptr), fresh);
  zipClose(fresh);
  zipClose(fresh);
  for (int i = 0; i < 65535; ++i) zipClose(full);
}

TEST(ZipOpen, AnIndexThatFindsNoMemoryFailsTheOpen) {
  test::ScratchDir dir;
  std::string path = ManyEntries(dir, 65534);
  // With the address space used up in blocks of 1 MB, the 2 MB of cells
  // can't be had, while the record itself still fits.
  EXPECT_EQ(test::InChild([&] {
              rlim_t pages = std::stoull(test::ReadFile("/proc/self/statm"));
              struct rlimit limit = {(pages + 1024) * 4096, RLIM_INFINITY};
              if (setrlimit(RLIMIT_AS, &limit) != 0) return std::string("setrlimit failed");
              // Each block is linked to the one before, so that none is unused.
              void* blocks = nullptr;
              while (void* block = malloc(1 << 20)) {
                *static_cast<void**>(block) = blocks;
                blocks = block;
              }
              int error = 7;
              ZipFile* zip = zipOpen(path.c_str(), &error);
              return std::string(zip ? "opened" : "refused") + " " + std::to_string(error) +
                     (blocks ? "" : " (no block)");
            }),
            "refused -2");
}

}  // namespace
