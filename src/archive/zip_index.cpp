// Opening and closing archives, the END search and the central directory
// index.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "archive/zip.h"
#include "archive/zip_internal.h"

namespace {

// Open records, the most recently opened first.
ZipFile* zfiles = nullptr;
bool initialized = false;

// Records that share one open never exceed this many references.
constexpr int32_t kMaxReferences = 0xFFFF;

// The central directory is read through a window of this size (grown only
// for a single header that is larger), so that the index is built in bounded
// memory whatever the number of entries.
constexpr int64_t kCenWindow = 64 * 1024;

// Names up to this length are hashed from a buffer on the stack.
constexpr size_t kNameScratch = 513;

const char* const kBadCenSize = "invalid END header (bad central directory size)";
const char* const kBadCenOffset = "invalid END header (bad central directory offset)";
const char* const kBadEntryCount = "invalid END header (bad entry count)";
const char* const kTooManyEntries = "too many entries in ZIP file";
const char* const kBadHeaderSize = "invalid CEN header (bad header size)";
const char* const kBadSignature = "invalid CEN header (bad signature)";
const char* const kEncrypted = "invalid CEN header (encrypted entry)";
const char* const kBadMethod = "invalid CEN header (bad compression method)";

// A sliding view of the central directory: bytes [base, base + filled) of the
// directory, which starts at file offset cenPos and is size bytes long.
struct CenWindow {
  int fd;
  int64_t cenPos;
  int64_t size;
  unsigned char* data = nullptr;
  int64_t capacity = 0;
  int64_t base = 0;
  int64_t filled = 0;
  ~CenWindow() { free(data); }

  // Makes bytes [offset, offset + length) of the directory available at
  // data + (offset - base); the caller has checked that they lie inside it.
  // Returns false when memory runs out or a read fails.
  bool Need(int64_t offset, int64_t length) {
    if (offset >= base && offset + length <= base + filled) return true;
    int64_t kept = 0;
    if (offset >= base && offset < base + filled) {
      kept = base + filled - offset;
      memmove(data, data + (offset - base), static_cast<size_t>(kept));
    }
    base = offset;
    filled = kept;
    int64_t want = std::max(length, std::min(kCenWindow, size - offset));
    if (want > capacity) {
      auto* grown = static_cast<unsigned char*>(realloc(data, static_cast<size_t>(want)));
      if (grown == nullptr) return false;
      data = grown;
      capacity = want;
    }
    int64_t more = std::min(capacity, size - offset) - kept;
    if (readFullyAt(fd, data + kept, more, cenPos + offset + kept) != 0) return false;
    filled += more;
    return true;
  }
};

// A copy of a central name, NUL-terminated, in a buffer that grows by
// doubling from kNameScratch bytes and is kept for the following names.
class NameCopy {
 public:
  ~NameCopy() {
    if (text_ != scratch_) free(text_);
  }
  // Returns the copy, or null when memory runs out.
  const char* Set(const unsigned char* bytes, size_t length) {
    if (length + 1 > capacity_) {
      size_t capacity = capacity_;
      while (capacity < length + 1) capacity *= 2;
      char* grown = static_cast<char*>(malloc(capacity));
      if (grown == nullptr) return nullptr;
      if (text_ != scratch_) free(text_);
      text_ = grown;
      capacity_ = capacity;
    }
    memcpy(text_, bytes, length);
    text_[length] = '\0';
    return text_;
  }

 private:
  char scratch_[kNameScratch];
  char* text_ = scratch_;
  size_t capacity_ = kNameScratch;
};

void releaseIndex(ZipFile* zip) {
  free(zip->cells);
  free(zip->buckets);
  zip->cells = nullptr;
  zip->buckets = nullptr;
}

// Indexes entry i of the central directory whose header starts at offset p
// of the window. Returns the offset of the next header, or -1 with lastError
// set (or left null when memory ran out or a read failed).
int64_t indexEntry(ZipFile* zip, CenWindow* cen, NameCopy* nameCopy, int i, int64_t p, int64_t start) {
  if (p + kCenHeaderSize > cen->size) {
    zip->lastError = kBadHeaderSize;
    return -1;
  }
  if (!cen->Need(p, kCenHeaderSize)) return -1;
  const unsigned char* h = cen->data + (p - cen->base);
  if (Get32(h) != kCenSignature) {
    zip->lastError = kBadSignature;
    return -1;
  }
  if (Get16(h + 8) & 1) {
    zip->lastError = kEncrypted;
    return -1;
  }
  uint16_t method = Get16(h + 10);
  if (method != 0 && method != 8) {
    zip->lastError = kBadMethod;
    return -1;
  }
  uint16_t n = Get16(h + 28), e = Get16(h + 30), c = Get16(h + 32);
  int64_t total = kCenHeaderSize + n + e + c;
  if (p + total > cen->size) {
    zip->lastError = kBadHeaderSize;
    return -1;
  }
  if (!cen->Need(p, total)) return -1;
  h = cen->data + (p - cen->base);

  ZipCell* cell = &zip->cells[i];
  cell->size = static_cast<int32_t>(Get32(h + 24));
  cell->compressedSize = method == 0 ? 0 : static_cast<int32_t>(Get32(h + 20));
  cell->crc = Get32(h + 16);
  // 32-bit offsets wrap as they do in the record itself.
  cell->localHeaderOffset = static_cast<int32_t>(Get32(h + 42) + static_cast<uint32_t>(start));
  // The sum may wrap; readLOC recovers the name length as the difference.
  cell->nameExtraLength = static_cast<uint16_t>(n + e);
  cell->extraLength = e;
  cell->centralHeaderOffset = static_cast<int32_t>(cen->cenPos + p);

  const char* name = nameCopy->Set(h + kCenHeaderSize, n);
  if (name == nullptr) return -1;
  cell->nameHash = hash(name);
  if (isMetaName(name) && !addMetaName(zip, name)) return -1;
  if (c > 0) {
    char* comment = static_cast<char*>(malloc(c + 1u));
    if (comment == nullptr) return -1;
    memcpy(comment, h + kCenHeaderSize + n + e, c);
    comment[c] = '\0';
    if (!addEntryComment(zip, i, comment)) return -1;
  }

  uint32_t bucket = cell->nameHash % static_cast<uint32_t>(zip->bucketCount);
  cell->nextInBucket = zip->buckets[bucket];
  zip->buckets[bucket] = static_cast<uint16_t>(i);
  return p + total;
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

bool addMetaName(ZipFile* zip, const char* name) {
  char* copy = strdup(name);
  if (copy == nullptr) return false;
  if (zip->metaNames == nullptr) {
    zip->metaNames = static_cast<char**>(calloc(2, sizeof(char*)));
    if (zip->metaNames == nullptr) {
      free(copy);
      return false;
    }
    zip->metaNameCapacity = 2;
  }
  for (int32_t i = 0; i < zip->metaNameCapacity; ++i) {
    if (zip->metaNames[i] == nullptr) {
      zip->metaNames[i] = copy;
      return true;
    }
  }
  int32_t old = zip->metaNameCapacity;
  char** grown = static_cast<char**>(calloc(static_cast<size_t>(old) * 2, sizeof(char*)));
  if (grown == nullptr) {
    free(copy);
    return false;
  }
  memcpy(grown, zip->metaNames, static_cast<size_t>(old) * sizeof(char*));
  free(zip->metaNames);
  zip->metaNames = grown;
  zip->metaNames[old] = copy;
  zip->metaNameCapacity = old * 2;
  return true;
}

bool addEntryComment(ZipFile* zip, int index, char* text) {
  if (zip->entryComments == nullptr) {
    zip->entryComments = static_cast<char**>(calloc(static_cast<size_t>(zip->entryCount), sizeof(char*)));
    if (zip->entryComments == nullptr) {
      free(text);
      return false;
    }
  }
  zip->entryComments[index] = text;
  return true;
}

int initializeZip() {
  initialized = true;
  return 0;
}

ZipFile* allocZip(const char* name) {
  auto* zip = static_cast<ZipFile*>(calloc(1, sizeof(ZipFile)));
  if (zip == nullptr) return nullptr;
  zip->name = strdup(name);
  if (zip->name == nullptr) {
    free(zip);
    return nullptr;
  }
  return zip;
}

void freeZip(ZipFile* zip) {
  zipFreeEntry(zip, nullptr);
  free(zip->name);
  free(zip->archiveComment);
  releaseIndex(zip);
  if (zip->metaNames != nullptr) {
    for (int32_t i = 0; i < zip->metaNameCapacity; ++i) free(zip->metaNames[i]);
    free(zip->metaNames);
  }
  if (zip->entryComments != nullptr) {
    for (int32_t i = 0; i < zip->entryCount; ++i) free(zip->entryComments[i]);
    free(zip->entryComments);
  }
  free(zip);
}

int readFully(int fd, void* buffer, int64_t length) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    ssize_t n = read(fd, p, static_cast<size_t>(length));
    if (n <= 0) return -1;
    p += n;
    length -= n;
  }
  return 0;
}

int readFullyAt(int fd, void* buffer, int64_t length, int64_t offset) {
  auto* p = static_cast<unsigned char*>(buffer);
  if (offset < 0) return -1;
  while (length > 0) {
    ssize_t n = pread(fd, p, static_cast<size_t>(length), offset);
    if (n <= 0) return -1;
    p += n;
    length -= n;
    offset += n;
  }
  return 0;
}

int64_t findEND(ZipFile* zip, unsigned char* end) {
  int64_t len = lseek(zip->fd, 0, SEEK_END);
  if (len == -1) return -1;
  int64_t pos = len;
  // The block read last stands right behind the block being read, so that a
  // record straddling two blocks is seen whole.
  unsigned char buf[2 * kEndHeaderSize] = {};
  while (len - pos < kEndSearchSpan) {
    int count = static_cast<int>(std::min<int64_t>(kEndSearchSpan - (len - pos), kEndHeaderSize));
    // Shifting the whole rest (not just count bytes) keeps the window
    // contiguous when the last, shorter block is read.
    memmove(buf + count, buf, sizeof buf - static_cast<size_t>(count));
    pos -= count;
    if (readFullyAt(zip->fd, buf, count, pos) != 0) return -1;
    for (int p = 0; p < count; ++p) {
      if (Get32(buf + p) != kEndSignature) continue;
      int64_t endPos = pos + p;
      uint16_t commentLength = Get16(buf + p + 20);
      if (endPos + kEndHeaderSize + commentLength != len) continue;
      memcpy(end, buf + p, kEndHeaderSize);
      if (commentLength > 0) {
        char* comment = static_cast<char*>(malloc(commentLength + 1u));
        if (comment == nullptr) return -1;
        if (readFullyAt(zip->fd, comment, commentLength, endPos + kEndHeaderSize) != 0) {
          free(comment);
          return -1;
        }
        comment[commentLength] = '\0';
        zip->archiveComment = comment;
      }
      return endPos;
    }
  }
  return 0;
}

int64_t readCEN(ZipFile* zip) {
  zip->lastError = nullptr;
  unsigned char end[kEndHeaderSize];
  int64_t endPos = findEND(zip, end);
  if (endPos <= 0) return endPos;

  auto cenSize = static_cast<int32_t>(Get32(end + 12));
  if (cenSize < 0 || cenSize > endPos) {
    zip->lastError = kBadCenSize;
    return -1;
  }
  int64_t cenPos = endPos - cenSize;
  auto cenOffset = static_cast<int32_t>(Get32(end + 16));
  if (cenOffset < 0 || cenOffset > cenPos) {
    zip->lastError = kBadCenOffset;
    return -1;
  }
  // Foreign bytes in front of the archive (the executable image): every
  // recorded offset counts from the archive's own first byte.
  int64_t start = cenPos - cenOffset;
  zip->entryCount = Get16(end + 10);
  if (static_cast<int64_t>(zip->entryCount) * kCenHeaderSize > cenSize) {
    zip->lastError = kBadEntryCount;
    return -1;
  }
  // 0xFFFF ends bucket chains, so it can't be a cell index.
  if (zip->entryCount > kNoCell - 1) {
    zip->lastError = kTooManyEntries;
    return -1;
  }

  zip->cells = static_cast<ZipCell*>(calloc(static_cast<size_t>(zip->entryCount), sizeof(ZipCell)));
  if (zip->cells == nullptr && zip->entryCount > 0) return -1;
  zip->bucketCount = std::max(1, zip->entryCount / 2);
  zip->buckets = static_cast<uint16_t*>(malloc(static_cast<size_t>(zip->bucketCount) * sizeof(uint16_t)));
  if (zip->buckets == nullptr) {
    releaseIndex(zip);
    return -1;
  }
  std::fill(zip->buckets, zip->buckets + zip->bucketCount, kNoCell);

  CenWindow cen{zip->fd, cenPos, cenSize};
  NameCopy nameCopy;
  int64_t p = 0;
  for (int i = 0; i < zip->entryCount; ++i) {
    p = indexEntry(zip, &cen, &nameCopy, i, p, start);
    if (p < 0) {
      releaseIndex(zip);
      return -1;
    }
  }
  return cenPos;
}

ZipFile* zipOpen(const char* name, int* error) { return zipOpenGeneric(name, error, O_RDONLY, 0); }

ZipFile* zipOpenGeneric(const char* name, int* error, int mode, int64_t lastModified) {
  initializeZip();
  if (error != nullptr) *error = 0;
  for (ZipFile* zip = zfiles; zip != nullptr; zip = zip->next) {
    if (strcmp(zip->name, name) == 0 && (zip->lastModified == lastModified || zip->lastModified == 0) &&
        zip->refCount < kMaxReferences) {
      ++zip->refCount;
      return zip;
    }
  }
  ZipFile* zip = allocZip(name);
  if (zip == nullptr) return nullptr;
  zip->refCount = 1;
  zip->lastModified = lastModified;
  zip->fd = open(name, mode);
  if (zip->fd < 0) {
    if (error != nullptr) *error = -4;
    freeZip(zip);
    return nullptr;
  }
  int64_t length = lseek(zip->fd, 0, SEEK_END);
  if (length == -1 || length > 0x7FFFFFFF || readCEN(zip) <= 0) {
    if (error != nullptr) *error = -2;
    close(zip->fd);
    freeZip(zip);
    return nullptr;
  }
  zip->next = zfiles;
  zfiles = zip;
  return zip;
}

void zipClose(ZipFile* zip) {
  if (zip == nullptr || --zip->refCount > 0) return;
  if (zfiles == zip) {
    zfiles = zip->next;
  } else {
    for (ZipFile* z = zfiles; z != nullptr; z = z->next) {
      if (z->next == zip) {
        z->next = zip->next;
        break;
      }
    }
  }
  close(zip->fd);
  freeZip(zip);
}
