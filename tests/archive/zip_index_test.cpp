// The archive index: opening, the END search, the central directory's
// checks and the sharing of records.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

// How zipOpen takes the archive: its entry count, or the reason it failed
// and the text readCEN recorded (with the first meta name kept, if any).
std::string Verdict(const test::ScratchDir& dir, const ZipLayout& layout) {
  std::string path = Write(dir, layout, "verdict.zip");
  ZipError error;
  if (ZipArchive zip{zipOpen(path.c_str(), &error)}) return std::to_string(zip->entryCount()) + " entries";
  ZipFile* zip = allocZip(path.c_str());
  zip->fd.reset(open(path.c_str(), O_RDONLY));
  IndexResult result = readCEN(zip);
  std::string verdict = std::string(error == ZipError::kNoArchive ? "no archive" : "damaged") + ": " +
                        (zip->lastError ? zip->lastError : "<none>") +
                        (zip->metaNames.empty() ? "" : " after " + zip->metaNames[0]);
  EXPECT_TRUE(result != IndexResult::kIndexed && zip->cells.empty());
  freeZip(zip);
  return verdict;
}

TEST(Hash, IsJavasStringHashOverSignedBytes) {
  EXPECT_EQ(hash(""), 0u);
  EXPECT_EQ(hash("hello"), 99162322u);
  EXPECT_EQ(hash("Aa"), hash("BB"));
  EXPECT_EQ(hash("\x80x"), static_cast<uint32_t>(-128 * 31 + 'x'));
}

TEST(ZipOpen, FindsTheEndRecordInTheLast65535BytesNearestTheEnd) {
  test::ScratchDir dir;
  ZipError error;
  EXPECT_EQ(zipOpen((dir / "missing").c_str(), &error), nullptr);
  EXPECT_EQ(error, ZipError::kCannotOpen);
  // Comment lengths, and whether the end record in front is found. At
  // 65,535 - 22 the record begins exactly 65,535 bytes before the end: in the
  // last block read, which is shorter than the others; 17 to 19 bytes less
  // and it straddles that block and the one read before it.
  for (auto [length, found] : {std::pair<size_t, bool>{0, true}, {30, true}, {65535 - 22, true}, {65535 - 39, true},
                               {65535 - 40, true}, {65535 - 41, true}, {65535 - 21, false}}) {
    ZipLayout layout = Of({Entry("x")});
    layout.comment = std::string(length, 'c');
    test::OpenZip zip(Write(dir, layout, "comment.zip"));
    EXPECT_EQ(zip != nullptr, found) << length;
    if (zip) {
      EXPECT_EQ(zip->archiveComment, layout.comment) << length;
    }
  }
  // A comment that ends in an end record of its own wins: it is nearer the end.
  ZipLayout layout = Of({Entry("x")});
  layout.comment = "comment " + ZipLayout().Build();
  EXPECT_EQ(Verdict(dir, layout), "0 entries");
  // Two candidates 4 bytes apart in one 22-byte block: the real record, and
  // one starting in its disk fields whose comment length comes from the
  // real comment. The lower one is taken; the other would be refused.
  const uint16_t length = 100;
  layout.comment = "--" + test::Le16(length - 4) + std::string(length - 4, 'c');
  std::string bytes = layout.Build();
  bytes.replace(bytes.size() - length - 22 + 4, 4, "PK\x05\x06");
  test::OpenZip twice(test::WriteArchive(dir / "b.zip", bytes));
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice->entryCount(), 1);
  // Behind foreign bytes, an archive without entries has one empty bucket.
  ZipLayout empty;
  empty.prefix = "#!";
  test::OpenZip none(Write(dir, empty, "empty.zip"));
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->buckets, std::vector<uint16_t>{0xFFFF});
  EXPECT_EQ(zipGetNextEntry(none.get(), 0), nullptr);
}

TEST(ReadCEN, NamesWhatIsWrongWithTheCentralDirectory) {
  test::ScratchDir dir;
  // A central header with a name of 10 bytes and nothing behind it.
  std::string raw = test::Le32(0x02014b50) + std::string(24, '\0') + test::Le16(10) + std::string(16, '\0');
  const std::pair<std::function<void(ZipLayout&)>, const char*> cases[] = {
      {[](ZipLayout&) {}, "2 entries"},
      {[](ZipLayout& s) { s.cenSize = 100000; }, "damaged: invalid END header (bad central directory size)"},
      {[](ZipLayout& s) { s.cenSize = 0x80000000u; }, "damaged: invalid END header (bad central directory size)"},
      {[](ZipLayout& s) { s.cenOffset = 100000; }, "damaged: invalid END header (bad central directory offset)"},
      {[](ZipLayout& s) { s.cenOffset = 0xFFFFFFF0u; },
       "damaged: invalid END header (bad central directory offset)"},
      {[](ZipLayout& s) { s.entryCount = 5; }, "damaged: invalid END header (bad entry count)"},
      {[](ZipLayout& s) { s.entries[1].flags = 1; }, "damaged: invalid CEN header (encrypted entry) after META-INF/a"},
      {[](ZipLayout& s) { s.entries[1].method = 12; },
       "damaged: invalid CEN header (bad compression method) after META-INF/a"},
      // A third header that is none, then one whose fixed part, then whose
      // name, runs past the end.
      {[](ZipLayout& s) { s.cenTail = std::string(46, '\0'); },
       "damaged: invalid CEN header (bad signature) after META-INF/a"},
      {[&](ZipLayout& s) { s.cenTail = raw.substr(0, 45); },
       "damaged: invalid CEN header (bad header size) after META-INF/a"},
      {[&](ZipLayout& s) { s.cenTail = raw + "123456789"; },
       "damaged: invalid CEN header (bad header size) after META-INF/a"},
      // Any byte after the end record, a file shorter than one, an end record
      // at the file's first byte: none is found.
      {[](ZipLayout& s) { s.trailing = "x"; }, "no archive: <none>"},
      {[](ZipLayout& s) { s = ZipLayout(); }, "no archive: <none>"},
  };
  for (const auto& [change, verdict] : cases) {
    ZipLayout layout = Of({Entry("META-INF/a"), Entry("second")});
    layout.prefix = std::string(200, 'p');
    change(layout);
    if (!layout.cenTail.empty()) layout.entryCount = 3;
    EXPECT_EQ(Verdict(dir, layout), verdict);
  }
  EXPECT_EQ(zipOpen(test::WriteArchive(dir / "short", std::string(21, 'P')).c_str(), nullptr), nullptr);
  // 65,534 entries at most, since 0xFFFF ends the bucket chains; a directory
  // too small for the count is refused for that first.
  ZipLayout many;
  for (int i = 0; i < 65534; ++i) many.entries.push_back(Entry(std::to_string(i), "", 0));
  EXPECT_EQ(Verdict(dir, many), "65534 entries");
  ZipLayout big;
  big.cenTail = std::string(65535 * 46, '\0');
  big.entryCount = 65535;
  EXPECT_EQ(Verdict(dir, big), "damaged: too many entries in ZIP file");
  big.cenTail.resize(65535 * 46 - 1);
  EXPECT_EQ(Verdict(dir, big), "damaged: invalid END header (bad entry count)");
}

TEST(ReadCEN, KeepsMetaNamesInAnyCaseAndEntryComments) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("META-INF/MANIFEST.MF"), Entry("meta-inf/b"), Entry("META-INF"),
                                               Entry("x/META-INF/y"), Entry("Meta-Inf/")};
  entries[3].comment = "the fourth";
  test::OpenZip zip(Write(dir, Of(entries)));
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(zip->metaNames, (std::vector<std::string>{"META-INF/MANIFEST.MF", "meta-inf/b", "Meta-Inf/"}));
  EXPECT_EQ(zip->entryComments, (std::vector<std::string>{"", "", "", "the fourth", ""}));
}

TEST(ZipOpen, SharesARecordPerPathStringAndTimeStampUpTo65535Times) {
  test::ScratchDir dir;
  std::string path = Write(dir, Of({Entry("x")}));
  ZipFile* first = zipOpen(path.c_str(), nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(zipOpen(path.c_str(), nullptr), first);
  EXPECT_EQ(first->refCount, 2);
  ZipFile* other = zipOpen((dir.path() + "//a.zip").c_str(), nullptr);
  EXPECT_NE(other, first);
  zipClose(other);
  zipClose(first);
  int fd = first->fd.get();
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  zipClose(first);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  // A record opened with time stamp 0 serves every time stamp; others only their own.
  ZipFile* five = zipOpenGeneric(path.c_str(), nullptr, O_RDONLY, 5);
  ZipFile* six = zipOpenGeneric(path.c_str(), nullptr, O_RDONLY, 6);
  EXPECT_NE(six, five);
  ZipFile* any = zipOpen(path.c_str(), nullptr);
  EXPECT_TRUE(any != five && any != six);
  EXPECT_EQ(zipOpenGeneric(path.c_str(), nullptr, O_RDONLY, 7), any);
  for (ZipFile* z : {five, six, any}) zipClose(z);
  // A record with 65,535 references takes no more: the next open starts another.
  for (int i = 1; i < 65535; ++i) ASSERT_EQ(zipOpen(path.c_str(), nullptr), any);
  ZipFile* fresh = zipOpen(path.c_str(), nullptr);
  EXPECT_TRUE(fresh != any && fresh->next == any);
  EXPECT_EQ(zipOpen(path.c_str(), nullptr), fresh);
  for (int i = 0; i < 2; ++i) zipClose(fresh);
  for (int i = 0; i < 65535; ++i) zipClose(any);
}

}  // namespace
