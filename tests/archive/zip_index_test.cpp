#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/zip.h"
#include "archive/zip_builder.h"
#include "archive/zip_internal.h"
#include "support/child.h"

namespace {

using test::Entry;
using test::ZipLayout;

ZipLayout Of(const std::vector<test::ZipEntryLayout>& entries) {
  ZipLayout layout;
  layout.entries = entries;
  return layout;
}

std::string Write(const test::ScratchDir& dir, const ZipLayout& layout, const std::string& name = "a.zip") {
  return test::WriteArchive(dir / name, layout.Build());
}

// The entry count of the archive at path, or -1 when it does not open.
int EntryCount(const std::string& path) {
  test::OpenZip zip(path);
  return zip ? zip->entryCount : -1;
}

// readCEN's verdict on an archive, indexed into a record of its own so that
// lastError stays readable: "ok" when it returns the central directory's
// position, or its result and recorded text, and the first meta name it kept.
std::string Verdict(const test::ScratchDir& dir, const ZipLayout& layout) {
  std::string bytes = layout.Build();
  ZipFile* zip = allocZip(test::WriteArchive(dir / "verdict.zip", bytes).c_str());
  zip->fd = open(zip->name, O_RDONLY);
  int64_t result = readCEN(zip);
  std::string verdict = std::to_string(result) + " " + (zip->lastError ? zip->lastError : "<none>") +
                        (zip->metaNames ? std::string(" after ") + zip->metaNames[0] : "");
  if (result <= 0) {
    EXPECT_EQ(zip->cells, nullptr);
    EXPECT_EQ(zip->buckets, nullptr);
  }
  close(zip->fd);
  freeZip(zip);
  // Success returns where the central directory begins.
  if (result > 0) return result == static_cast<int64_t>(bytes.find("PK\x01\x02")) ? "ok" : "ok, elsewhere";
  return verdict;
}

// An archive of count empty stored entries named by number.
std::string ManyEntries(const test::ScratchDir& dir, int count) {
  ZipLayout layout;
  for (int i = 0; i < count; ++i) layout.entries.push_back(Entry(std::to_string(i), "", 0));
  return Write(dir, layout, "many.zip");
}

TEST(Hash, IsJavasStringHashOverSignedBytes) {
  EXPECT_EQ(hash(""), 0u);
  EXPECT_EQ(hash("a"), 97u);
  EXPECT_EQ(hash("hello"), 99162322u);
  EXPECT_EQ(hash("Aa"), hash("BB"));
  EXPECT_EQ(hash("\xff"), 0xFFFFFFFFu);
  EXPECT_EQ(hash("\x80x"), static_cast<uint32_t>(-128 * 31 + 'x'));
}

TEST(ZipOpen, TellsAMissingFileFromOneThatIsNoArchive) {
  test::ScratchDir dir;
  int error = 7;
  EXPECT_EQ(zipOpen((dir / "missing").c_str(), &error), nullptr);
  EXPECT_EQ(error, -4);
  const std::pair<const char*, std::string> bad[] = {
      {"short", std::string(21, '\0')},
      {"empty", ""},
      {"byte after the end record", Of({Entry("x")}).Build() + "!"},
      {"end record at offset 0, which counts as none", ZipLayout().Build()},
      {"no end record", std::string(70000, 'x')},
  };
  for (const auto& [what, bytes] : bad) {
    error = 7;
    EXPECT_EQ(zipOpen(test::WriteArchive(dir / "bad.zip", bytes).c_str(), &error), nullptr) << what;
    EXPECT_EQ(error, -2) << what;
  }

  ZipLayout emptyBehind;
  emptyBehind.prefix = "#!";
  ZipFile* empty = zipOpen(Write(dir, emptyBehind, "empty.zip").c_str(), &error);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(empty->entryCount, 0);
  EXPECT_EQ(empty->bucketCount, 1);
  EXPECT_EQ(empty->buckets[0], 0xFFFF);
  EXPECT_EQ(zipGetNextEntry(empty, 0), nullptr);
  EXPECT_EQ(zipGetEntry(empty, ""), nullptr);
  zipClose(empty);
}

TEST(FindEND, LooksAtTheLast65535BytesAndTakesTheCandidateNearestTheEnd) {
  test::ScratchDir dir;
  // Comment lengths, and whether the end record in front is found. At
  // 65,535 - 22 the record begins exactly 65,535 bytes before the end: in the
  // last block read, which is shorter than the others; 17 to 19 bytes less
  // and it straddles that block and the one read before it.
  const std::pair<size_t, bool> cases[] = {{0, true},          {1, true},           {30, true},
                                           {65535 - 22, true}, {65535 - 39, true},  {65535 - 40, true},
                                           {65535 - 41, true}, {65535 - 21, false}, {65535, false}};
  for (auto [length, found] : cases) {
    ZipLayout layout = Of({Entry("x")});
    layout.comment = std::string(length, 'c');
    test::OpenZip zip(Write(dir, layout, "comment.zip"));
    EXPECT_EQ(zip != nullptr, found) << length;
    if (!zip) continue;
    EXPECT_STREQ(zip->archiveComment, length ? layout.comment.c_str() : nullptr) << length;
  }
  // A comment that ends in an end record of its own, reaching to the end of
  // the file: that one is nearer the end and wins.
  ZipLayout layout = Of({Entry("x")});
  layout.comment = "comment " + ZipLayout().Build();
  EXPECT_EQ(EntryCount(Write(dir, layout)), 0);
  // Two candidates 4 bytes apart in one 22-byte block: the real record, and
  // one starting in its unused disk fields whose comment length comes from
  // the real comment. The lower one is taken; the other would be refused.
  const uint16_t length = 100;  // the record starts 122 bytes before the end: mid-block
  layout.comment = "--" + test::Le16(length - 4) + std::string(length - 4, 'c');
  std::string bytes = layout.Build();
  bytes.replace(bytes.size() - length - 22 + 4, 4, "PK\x05\x06");
  EXPECT_EQ(EntryCount(test::WriteArchive(dir / "b.zip", bytes)), 1);
}

TEST(ReadCEN, NamesWhatIsWrongWithTheCentralDirectory) {
  test::ScratchDir dir;
  // A central header with a name of 10 bytes and nothing behind it.
  std::string raw = test::Le32(0x02014b50) + std::string(24, '\0') + test::Le16(10) + std::string(16, '\0');
  const std::pair<std::function<void(ZipLayout&)>, const char*> cases[] = {
      {[](ZipLayout&) {}, "ok"},
      {[](ZipLayout& s) { s.cenSize = 100000; }, "-1 invalid END header (bad central directory size)"},
      {[](ZipLayout& s) { s.cenSize = 0x80000000u; }, "-1 invalid END header (bad central directory size)"},
      {[](ZipLayout& s) { s.cenOffset = 100000; }, "-1 invalid END header (bad central directory offset)"},
      {[](ZipLayout& s) { s.cenOffset = 0xFFFFFFF0u; },
       "-1 invalid END header (bad central directory offset)"},
      {[](ZipLayout& s) { s.entryCount = 5; }, "-1 invalid END header (bad entry count)"},
      {[](ZipLayout& s) { s.entries[1].flags = 1; },
       "-1 invalid CEN header (encrypted entry) after META-INF/first"},
      {[](ZipLayout& s) { s.entries[1].method = 12; },
       "-1 invalid CEN header (bad compression method) after META-INF/first"},
      // A third header that is none, then one whose fixed part, then whose
      // name, runs past the end.
      {[](ZipLayout& s) { s.cenTail = std::string(46, '\0'); },
       "-1 invalid CEN header (bad signature) after META-INF/first"},
      {[&](ZipLayout& s) { s.cenTail = raw.substr(0, 45); },
       "-1 invalid CEN header (bad header size) after META-INF/first"},
      {[&](ZipLayout& s) { s.cenTail = raw + "123456789"; },
       "-1 invalid CEN header (bad header size) after META-INF/first"},
      // No end record records no text; in a file shorter than the search span
      // the search fails at the file's start.
      {[](ZipLayout& s) { s.trailing = "x"; }, "-1 <none>"},
      {[](ZipLayout& s) { s.prefix = std::string(70000, 'p'), s.trailing = "x"; }, "0 <none>"},
  };
  for (const auto& [change, verdict] : cases) {
    ZipLayout layout = Of({Entry("META-INF/first"), Entry("second")});
    layout.prefix = std::string(200, 'p');
    change(layout);
    if (!layout.cenTail.empty()) layout.entryCount = 3;
    EXPECT_EQ(Verdict(dir, layout), verdict);
  }
}

TEST(ReadCEN, Takes65534EntriesAtMost) {
  test::ScratchDir dir;
  std::string path = ManyEntries(dir, 65534);
  {
    test::OpenZip zip(path);
    ASSERT_NE(zip, nullptr);
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
  ZipLayout big;
  big.cenTail = std::string(65535 * 46, '\0');
  big.entryCount = 65535;
  EXPECT_EQ(Verdict(dir, big), "-1 too many entries in ZIP file");
  big.cenTail.resize(65535 * 46 - 1);
  EXPECT_EQ(Verdict(dir, big), "-1 invalid END header (bad entry count)");
  // With the address space used up in blocks of 1 MB, the 2 MB of cells
  // can't be had, while the record itself still fits: the open fails.
  EXPECT_EQ(test::InChild([&] {
              if (!test::UseUpMemory(1024 * 4096, {1 << 20})) return std::string("setrlimit failed");
              int error = 7;
              ZipFile* zip = zipOpen(path.c_str(), &error);
              return std::string(zip ? "opened" : "refused") + " " + std::to_string(error);
            }),
            "refused -2");
}

TEST(ReadCEN, KeepsMetaNamesInSlotsThatDouble) {
  test::ScratchDir dir;
  // Names beginning with "META-INF/" in any case.
  test::OpenZip zip(
      Write(dir, Of({Entry("META-INF/MANIFEST.MF"), Entry("x"), Entry("meta-inf/b"), Entry("Meta-Inf/"),
                     Entry("META-INF/c"), Entry("META-INF"), Entry("META-INFO/x"), Entry("x/META-INF/y"),
                     Entry("META_INF/"), Entry(""), Entry("META-INF/d")})));
  ASSERT_NE(zip, nullptr);
  ASSERT_EQ(zip->metaNameCapacity, 8);
  std::vector<std::string> meta;
  for (int i = 0; i < zip->metaNameCapacity; ++i) meta.push_back(zip->metaNames[i] ? zip->metaNames[i] : "-");
  EXPECT_EQ(meta, (std::vector<std::string>{"META-INF/MANIFEST.MF", "meta-inf/b", "Meta-Inf/", "META-INF/c",
                                            "META-INF/d", "-", "-", "-"}));
}

TEST(ZipOpen, SharesARecordPerPathStringAndTimeStampUpTo65535Times) {
  test::ScratchDir dir;
  std::string path = Write(dir, Of({Entry("x")}));
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
  for (ZipFile* z : {five, five, six, any}) zipClose(z);
  // A record with 65,535 references takes no more: the next open starts another.
  for (int i = 1; i < 65535; ++i) ASSERT_EQ(zipOpen(path.c_str(), nullptr), any);
  EXPECT_EQ(any->refCount, 65535);
  ZipFile* fresh = zipOpen(path.c_str(), nullptr);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, any);
  EXPECT_EQ(fresh->next, any);
  EXPECT_EQ(zipOpen(path.c_str(), nullptr), fresh);
  zipClose(fresh);
  zipClose(fresh);
  for (int i = 0; i < 65535; ++i) zipClose(any);
}

}  // namespace
