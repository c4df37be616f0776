// Opening and closing archives, the END search and the central directory
// index.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "archive/zip.h"
#include "archive/zip_internal.h"

namespace {

// Open records, the most recently opened first.
ZipFile* zfiles = nullptr;

// Records that share one open never exceed this many references.
constexpr int32_t kMaxReferences = 0xFFFF;

// The central directory is read through a window of this size (grown only
// for a single header that is larger), so that the index is built in bounded
// memory whatever the number of entries.
constexpr int64_t kCenWindow = 64 * 1024;

const char* const kBadCenSize = "invalid END header (bad central directory size)";
const char* const kBadCenOffset = "invalid END header (bad central directory offset)";
const char* const kBadEntryCount = "invalid END header (bad entry count)";
const char* const kTooManyEntries = "too many entries in ZIP file";
const char* const kBadHeaderSize = "invalid CEN header (bad header size)";
const char* const kBadSignature = "invalid CEN header (bad signature)";
const char* const kEncrypted = "invalid CEN header (encrypted entry)";
const char* const kBadMethod = "invalid CEN header (bad compression method)";
const char* const kBadEntrySize = "invalid CEN header (bad entry size)";

// A sliding view of the central directory: bytes [base, base + filled) of the
// directory, which starts at file offset cenPos and is size bytes long.
struct CenWindow {
  int fd;
  int64_t cenPos;
  int64_t size;
  std::vector<unsigned char> data;
  int64_t base = 0;
  int64_t filled = 0;

  // Makes bytes [offset, offset + length) of the directory available at
  // At(offset); the caller has checked that they lie inside it. False when
  // a read fails.
  bool Need(int64_t offset, int64_t length) {
    if (offset >= base && offset + length <= base + filled) return true;
    int64_t kept = 0;
    if (offset >= base && offset < base + filled) {
      kept = base + filled - offset;
      memmove(data.data(), data.data() + (offset - base), static_cast<size_t>(kept));
    }
    base = offset;
    filled = kept;
    int64_t want = std::max(length, std::min(kCenWindow, size - offset));
    if (want > static_cast<int64_t>(data.size())) data.resize(static_cast<size_t>(want));
    int64_t more = std::min(static_cast<int64_t>(data.size()), size - offset) - kept;
    if (!readFully(fd, data.data() + kept, more, cenPos + offset + kept)) return false;
    filled += more;
    return true;
  }
  const unsigned char* At(int64_t offset) const { return data.data() + (offset - base); }
};

IndexResult Damaged(ZipFile* zip, const char* why) {
  zip->lastError = why;
  return IndexResult::kDamaged;
}

// Indexes entry i of the central directory whose header starts at offset *p
// of the directory, and moves *p to the next header.
IndexResult indexEntry(ZipFile* zip, CenWindow* cen, int i, int64_t* p, int64_t start) {
  if (*p + kCenHeaderSize > cen->size) return Damaged(zip, kBadHeaderSize);
  if (!cen->Need(*p, kCenHeaderSize)) return IndexResult::kReadFailed;
  const unsigned char* h = cen->At(*p);
  if (Get32(h) != kCenSignature) return Damaged(zip, kBadSignature);
  if (Get16(h + 8) & 1) return Damaged(zip, kEncrypted);
  uint16_t method = Get16(h + 10);
  if (method != 0 && method != 8) return Damaged(zip, kBadMethod);
  // Sizes of 2 GiB and more are negative in the index (and 0xFFFFFFFF marks
  // ZIP64): they could cancel other entries in the free-space check.
  if ((Get32(h + 20) | Get32(h + 24)) >= 0x80000000u) return Damaged(zip, kBadEntrySize);
  uint16_t n = Get16(h + 28), e = Get16(h + 30), c = Get16(h + 32);
  int64_t total = kCenHeaderSize + n + e + c;
  if (*p + total > cen->size) return Damaged(zip, kBadHeaderSize);
  if (!cen->Need(*p, total)) return IndexResult::kReadFailed;
  h = cen->At(*p);

  ZipCell* cell = &zip->cells[i];
  cell->size = static_cast<int32_t>(Get32(h + 24));
  cell->compressedSize = method == 0 ? 0 : static_cast<int32_t>(Get32(h + 20));
  cell->crc = Get32(h + 16);
  // 32-bit offsets wrap as they do in the record itself.
  cell->localHeaderOffset = static_cast<int32_t>(Get32(h + 42) + static_cast<uint32_t>(start));
  // The sum may wrap; readLOC recovers the name length as the difference.
  cell->nameExtraLength = static_cast<uint16_t>(n + e);
  cell->extraLength = e;
  cell->centralHeaderOffset = static_cast<int32_t>(cen->cenPos + *p);

  std::string name(reinterpret_cast<const char*>(h + kCenHeaderSize), n);
  cell->nameHash = hash(name.c_str());
  if (isMetaName(name.c_str())) addMetaName(zip, name.c_str());
  if (c > 0) addEntryComment(zip, i, std::string(reinterpret_cast<const char*>(h + kCenHeaderSize + n + e), c));

  uint32_t bucket = cell->nameHash % static_cast<uint32_t>(zip->buckets.size());
  cell->nextInBucket = zip->buckets[bucket];
  zip->buckets[bucket] = static_cast<uint16_t>(i);
  *p += total;
  return IndexResult::kIndexed;
}

}  // namespace

uint32_t hash(const char* name) {
  uint32_t h = 0;
  for (const char* s = name; *s != '\0'; ++s)
    h = h * 31u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*s)));
  return h;
}

bool isMetaName(const char* name) {
  static const char kPrefix[] = "META-INF/";
  for (size_t i = 0; i < sizeof kPrefix - 1; ++i) {
    if (toupper(static_cast<unsigned char>(name[i])) != kPrefix[i]) return false;
  }
  return true;
}

void addMetaName(ZipFile* zip, const char* name) { zip->metaNames.emplace_back(name); }

void addEntryComment(ZipFile* zip, int index, std::string text) {
  if (zip->entryComments.empty()) zip->entryComments.resize(zip->cells.size());
  zip->entryComments[static_cast<size_t>(index)] = std::move(text);
}

ZipFile* allocZip(const char* name) {
  auto* zip = new ZipFile;
  zip->name = name;
  return zip;
}

void freeZip(ZipFile* zip) { delete zip; }

bool readFully(int fd, void* buffer, int64_t length, int64_t offset) {
  auto* p = static_cast<unsigned char*>(buffer);
  // A negative offset makes the read fail.
  while (length > 0) {
    ssize_t n = pread(fd, p, static_cast<size_t>(length), offset);
    if (n <= 0) return false;
    p += n;
    length -= n;
    offset += n;
  }
  return true;
}

IndexResult findEND(ZipFile* zip, unsigned char* end, int64_t* endPos) {
  int64_t len = lseek(zip->fd.get(), 0, SEEK_END);
  if (len == -1) return IndexResult::kReadFailed;
  int64_t pos = len;
  // The block read last stands right behind the block being read, so that a
  // record straddling two blocks is seen whole.
  unsigned char buf[2 * kEndHeaderSize] = {};
  while (len - pos < kEndSearchSpan && pos > 0) {
    int count = static_cast<int>(std::min<int64_t>({kEndSearchSpan - (len - pos), kEndHeaderSize, pos}));
    // Shifting the whole rest (not just count bytes) keeps the window
    // contiguous when the last, shorter block is read.
    memmove(buf + count, buf, sizeof buf - static_cast<size_t>(count));
    pos -= count;
    if (!readFully(zip->fd.get(), buf, count, pos)) return IndexResult::kReadFailed;
    for (int p = 0; p < count; ++p) {
      if (Get32(buf + p) != kEndSignature) continue;
      uint16_t commentLength = Get16(buf + p + 20);
      if (pos + p + kEndHeaderSize + commentLength != len) continue;
      *endPos = pos + p;
      memcpy(end, buf + p, kEndHeaderSize);
      zip->archiveComment.resize(commentLength);
      if (!readFully(zip->fd.get(), &zip->archiveComment[0], commentLength, *endPos + kEndHeaderSize)) {
        zip->archiveComment.clear();
        return IndexResult::kReadFailed;
      }
      return IndexResult::kIndexed;
    }
  }
  return IndexResult::kNoEnd;
}

IndexResult readCEN(ZipFile* zip) {
  zip->lastError = nullptr;
  unsigned char end[kEndHeaderSize];
  int64_t endPos = 0;
  IndexResult found = findEND(zip, end, &endPos);
  if (found != IndexResult::kIndexed) return found;
  // An end record at the file's first byte has nothing before it to index.
  if (endPos == 0) return IndexResult::kNoEnd;

  auto cenSize = static_cast<int32_t>(Get32(end + 12));
  if (cenSize < 0 || cenSize > endPos) return Damaged(zip, kBadCenSize);
  int64_t cenPos = endPos - cenSize;
  auto cenOffset = static_cast<int32_t>(Get32(end + 16));
  if (cenOffset < 0 || cenOffset > cenPos) return Damaged(zip, kBadCenOffset);
  // Foreign bytes in front of the archive (the executable image): every
  // recorded offset counts from the archive's own first byte.
  int64_t start = cenPos - cenOffset;
  int entryCount = Get16(end + 10);
  if (static_cast<int64_t>(entryCount) * kCenHeaderSize > cenSize) return Damaged(zip, kBadEntryCount);
  // 0xFFFF ends bucket chains, so it can't be a cell index.
  if (entryCount > kNoCell - 1) return Damaged(zip, kTooManyEntries);

  zip->cells.assign(static_cast<size_t>(entryCount), ZipCell{});
  zip->buckets.assign(static_cast<size_t>(std::max(1, entryCount / 2)), kNoCell);
  CenWindow cen{zip->fd.get(), cenPos, cenSize, {}};
  int64_t p = 0;
  for (int i = 0; i < entryCount; ++i) {
    IndexResult indexed = indexEntry(zip, &cen, i, &p, start);
    if (indexed != IndexResult::kIndexed) {
      zip->cells.clear();
      zip->buckets.clear();
      return indexed;
    }
  }
  return IndexResult::kIndexed;
}

ZipFile* zipOpen(const char* name, ZipError* error) { return zipOpenGeneric(name, error, O_RDONLY, 0); }

ZipFile* zipOpenGeneric(const char* name, ZipError* error, int mode, int64_t lastModified) {
  ZipError ignored;
  if (error == nullptr) error = &ignored;
  *error = ZipError::kNone;
  for (ZipFile* zip = zfiles; zip != nullptr; zip = zip->next) {
    if (zip->name == name && (zip->lastModified == lastModified || zip->lastModified == 0) &&
        zip->refCount < kMaxReferences) {
      ++zip->refCount;
      return zip;
    }
  }
  ZipFile* zip = allocZip(name);
  zip->refCount = 1;
  zip->lastModified = lastModified;
  zip->fd.reset(open(name, mode | O_CLOEXEC));
  if (!zip->fd.valid()) {
    *error = ZipError::kCannotOpen;
    freeZip(zip);
    return nullptr;
  }
  // Offsets in the index are 32-bit: a larger file can't be read as a payload.
  int64_t length = lseek(zip->fd.get(), 0, SEEK_END);
  IndexResult indexed = length == -1 || length > 0x7FFFFFFF ? IndexResult::kReadFailed : readCEN(zip);
  if (indexed != IndexResult::kIndexed) {
    *error = indexed == IndexResult::kNoEnd ? ZipError::kNoArchive : ZipError::kDamaged;
    freeZip(zip);
    return nullptr;
  }
  zip->next = zfiles;
  zfiles = zip;
  return zip;
}

void zipClose(ZipFile* zip) {
  if (zip == nullptr || --zip->refCount > 0) return;
  ZipFile** link = &zfiles;
  while (*link != nullptr && *link != zip) link = &(*link)->next;
  if (*link == zip) *link = zip->next;
  freeZip(zip);
}
