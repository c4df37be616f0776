// Entries: building them from local headers, lookup, the one-slot cache, raw
// reads, inflation and writing an entry to a file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "archive/inflater.h"
#include "archive/zip.h"
#include "archive/zip_internal.h"
#include "base/signals.h"
#include "base/unique_fd.h"

namespace {

// The buffers of the calling thread's single entries (zipReadEntry).
EntryBuffers mainBuffers;

const char* const kSeekFailed = "seek failed";
const char* const kNoLocHeader = "couldn't read LOC header";
const char* const kBadLocSignature = "invalid LOC header (bad signature)";
const char* const kNoCenExtra = "couldn't read CEN extra";
const char* const kOutOfRange = "zipRead: specified offset out of range";
const char* const kEndOfFile = "inflateFully: Unexpected end of file";
const char* const kInterrupted = "inflateFully: interrupted";
const char* const kEndOfStream = "inflateFully: Unexpected end of stream";
const char* const kTooLong = "inflateFully: more data than the entry's size";
const char* const kBadCrc = "inflateFully: CRC-32 mismatch";

// Reads the local header's fixed part, name and (when wanted) extra field.
// The central lengths tell how much to read at first; a local header whose
// own lengths reach further gets the rest read too. False with lastError set
// when it can't be read or is no local header.
bool readLocalHeader(ZipFile* zip, const ZipCell* cell, std::vector<unsigned char>* header) {
  header->resize(kLocHeaderSize + cell->nameExtraLength);
  if (!readFully(zip->fd.get(), header->data(), static_cast<int64_t>(header->size()),
                 cell->localHeaderOffset)) {
    zip->lastError = kNoLocHeader;
    return false;
  }
  const unsigned char* h = header->data();
  if (Get32(h) != kLocSignature) {
    zip->lastError = kBadLocSignature;
    return false;
  }
  // The local extra field is used only when there is no central one.
  size_t needed = kLocHeaderSize + Get16(h + 26) + (cell->extraLength == 0 ? Get16(h + 28) : 0);
  size_t have = header->size();
  if (needed > have) {
    header->resize(needed);
    if (!readFully(zip->fd.get(), header->data() + have, static_cast<int64_t>(needed - have),
                   static_cast<int64_t>(cell->localHeaderOffset) + static_cast<int64_t>(have))) {
      zip->lastError = kNoLocHeader;
      return false;
    }
  }
  return true;
}

// Sets entry->extra to a 2-byte length followed by length bytes: those at
// local, or, when local is null, the central field read from the file.
bool setExtra(ZipFile* zip, const ZipCell* cell, ZipEntry* entry, const unsigned char* local,
              uint16_t length) {
  entry->extra.resize(2u + length);
  entry->extra[0] = static_cast<unsigned char>(length & 0xFF);
  entry->extra[1] = static_cast<unsigned char>(length >> 8);
  if (local != nullptr) {
    memcpy(entry->extra.data() + 2, local, length);
    return true;
  }
  // The central name length is what nameExtraLength holds beyond the extra
  // length, even when their sum wrapped in 16 bits.
  uint16_t nameLength = static_cast<uint16_t>(cell->nameExtraLength - cell->extraLength);
  int64_t offset = static_cast<int64_t>(cell->centralHeaderOffset) + kCenHeaderSize + nameLength;
  if (!readFully(zip->fd.get(), entry->extra.data() + 2, length, offset)) {
    zip->lastError = kNoCenExtra;
    return false;
  }
  return true;
}

// Writes n bytes with one write.
bool writeOut(int fd, const unsigned char* data, size_t n) {
  return n == 0 || write(fd, data, n) == static_cast<ssize_t>(n);
}

// Reads up to length bytes of the entry's raw data from position on, with
// one read: fewer at its end. -1 when the read fails (a negative offset, of
// an entry beyond 2 GiB, among others).
int32_t readData(int archiveFd, const EntryData& entry, int32_t position, unsigned char* buffer, int32_t length) {
  int32_t limit = entry.compressedSize != 0 ? entry.compressedSize : entry.size;
  length = std::min(length, limit - position);
  int64_t offset = static_cast<int64_t>(entry.offset) + position;
  return static_cast<int32_t>(pread(archiveFd, buffer, static_cast<size_t>(length), offset));
}

// Copies a stored entry into fd. True when all size bytes were written and
// their CRC matches.
bool copyStored(int archiveFd, const EntryData& entry, int fd, EntryBuffers* buffers, bool (*stop)(),
                const char** failure) {
  uint32_t crc = 0;
  for (int32_t position = 0; position < entry.size;) {
    if (stop()) {
      *failure = kInterrupted;
      return false;
    }
    // Through the larger buffer: stored data need no room for inflation.
    int32_t n = readData(archiveFd, entry, position, buffers->output, EntryBuffers::kOutputSize);
    if (n <= 0) {
      if (n == 0) *failure = kEndOfFile;
      return false;
    }
    crc = Crc32(crc, buffers->output, static_cast<size_t>(n));
    if (!writeOut(fd, buffers->output, static_cast<size_t>(n))) return false;
    position += n;
  }
  if (crc != entry.crc) *failure = kBadCrc;
  return crc == entry.crc;
}

// Inflates a deflated entry into fd. True when all its compressed bytes
// were used, exactly size bytes came out and were written, and their CRC
// matches.
bool inflateFully(int archiveFd, const EntryData& entry, int fd, EntryBuffers* buffers, bool (*stop)(),
                  const char** failure) {
  int32_t remaining = entry.compressedSize;
  int32_t position = 0;
  Inflater stream;
  bool ok = true;
  while (ok && remaining > 0) {
    if (stop()) {
      *failure = kInterrupted;
      return false;
    }
    int32_t n = readData(archiveFd, entry, position, buffers->input, EntryBuffers::kInputSize);
    if (n <= 0) {
      if (n == 0) *failure = kEndOfFile;
      ok = false;
      break;
    }
    position += n;
    remaining -= n;
    stream.nextIn = buffers->input;
    stream.availIn = static_cast<size_t>(n);
    for (;;) {
      uint64_t before = stream.totalOut;
      stream.nextOut = buffers->output;
      stream.availOut = EntryBuffers::kOutputSize;
      InflateStatus status = Inflate(&stream);
      if (status == InflateStatus::kStreamEnd &&
          (remaining != 0 || stream.totalOut != static_cast<uint32_t>(entry.size))) {
        *failure = kEndOfStream;
        ok = false;
        break;
      }
      if (status == InflateStatus::kDataError) {
        *failure = stream.message;
        ok = false;
        break;
      }
      // The declared size bounds the output, so that the free-space check
      // made from it holds.
      if (static_cast<int64_t>(stream.totalOut) > entry.size) {
        *failure = kTooLong;
        ok = false;
        break;
      }
      if (!writeOut(fd, buffers->output, static_cast<size_t>(stream.totalOut - before))) {
        ok = false;
        break;
      }
      // At the end of the stream any bytes still waiting are not deflate
      // data.
      if (status == InflateStatus::kStreamEnd || status == InflateStatus::kStalled) break;
      if (stream.availIn == 0 && stream.availOut != 0) break;
    }
  }
  if (ok && stream.crc != entry.crc) {
    *failure = kBadCrc;
    ok = false;
  }
  return ok;
}

// The main thread's way to stop between chunks: it acts on a signal at once.
bool ActOnSignal() {
  HandlePendingSignal();
  return false;
}

}  // namespace

std::unique_ptr<ZipEntry> readLOC(ZipFile* zip, const ZipCell* cell) {
  if (cell->localHeaderOffset < 0) {
    zip->lastError = kSeekFailed;
    return nullptr;
  }
  std::vector<unsigned char> header;
  if (!readLocalHeader(zip, cell, &header)) return nullptr;
  const unsigned char* h = header.data();
  uint16_t n = Get16(h + 26), e = Get16(h + 28);
  auto entry = std::make_unique<ZipEntry>();
  // A name is a C string: it ends at the first NUL byte, if any.
  const char* name = reinterpret_cast<const char*>(h + kLocHeaderSize);
  entry->name.assign(name, strnlen(name, n));
  if (cell->extraLength > 0) {
    if (!setExtra(zip, cell, entry.get(), nullptr, cell->extraLength)) return nullptr;
  } else if (e > 0) {
    setExtra(zip, cell, entry.get(), h + kLocHeaderSize + n, e);
  }
  if (!zip->entryComments.empty()) {
    const std::string& comment = zip->entryComments[static_cast<size_t>(cell - zip->cells.data())];
    if (!comment.empty()) entry->comment = comment.c_str();
  }
  entry->size = cell->size;
  entry->compressedSize = cell->compressedSize;
  entry->crc = cell->crc;
  entry->dosTime = Get32(h + 10);
  entry->dataOffset =
      static_cast<int32_t>(static_cast<uint32_t>(cell->localHeaderOffset) + kLocHeaderSize + n + e);
  return entry;
}

ZipEntry* zipGetNextEntry(ZipFile* zip, int index) {
  if (index < 0 || index >= zip->entryCount()) return nullptr;
  return readLOC(zip, &zip->cells[static_cast<size_t>(index)]).release();
}

ZipEntry* zipGetEntry(ZipFile* zip, const char* name) {
  uint32_t h = hash(name);
  if (zip->cachedEntry && zip->cachedEntry->name == name) return zip->cachedEntry.release();
  uint16_t i = zip->buckets[h % static_cast<uint32_t>(zip->buckets.size())];
  while (i != kNoCell) {
    const ZipCell* cell = &zip->cells[i];
    if (cell->nameHash == h) {
      std::unique_ptr<ZipEntry> entry = readLOC(zip, cell);
      if (entry && entry->name == name) return entry.release();
      if (entry) zipFreeEntry(zip, entry.release());
    }
    i = cell->nextInBucket;
  }
  return nullptr;
}

ZipEntry* zipFindEntry(ZipFile* zip, const char* name, int32_t* size, int32_t* nameLength) {
  ZipEntry* entry = zipGetEntry(zip, name);
  if (entry != nullptr) {
    *size = entry->size;
    *nameLength = static_cast<int32_t>(strlen(entry->name.c_str()));
  }
  return entry;
}

void zipFreeEntry(ZipFile* zip, ZipEntry* entry) {
  // An entry given back twice is already the cached one.
  if (entry != nullptr && entry == zip->cachedEntry.get()) return;
  zip->cachedEntry.reset(entry);
}

int32_t zipRead(ZipFile* zip, ZipEntry* entry, int32_t position, void* buffer, int32_t length) {
  zip->lastError = nullptr;
  int64_t limit = entry->compressedSize != 0 ? entry->compressedSize : entry->size;
  if (position < 0 || position > limit - 1) {
    zip->lastError = kOutOfRange;
    return -1;
  }
  if (length <= 0) return 0;
  length = static_cast<int32_t>(std::min<int64_t>(length, limit - position));
  // A negative offset (an entry beyond 2 GiB) makes the read fail.
  int64_t offset = static_cast<int64_t>(entry->dataOffset) + position;
  return static_cast<int32_t>(pread(zip->fd.get(), buffer, static_cast<size_t>(length), offset));
}

bool writeEntryData(int archiveFd, const EntryData& entry, int fd, EntryBuffers* buffers, bool (*stop)(),
                    const char** failure) {
  *failure = nullptr;
  if (entry.compressedSize == 0) return copyStored(archiveFd, entry, fd, buffers, stop, failure);
  return inflateFully(archiveFd, entry, fd, buffers, stop, failure);
}

bool zipReadEntry(ZipFile* zip, ZipEntry* entry, const char* path) {
  // Truncating, so that a longer file of the same name leaves no tail; not
  // following a link, so that nothing is written where it points.
  UniqueFd fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0700));
  return fd.valid() && zipWriteEntry(zip, entry, fd.get());
}

bool zipWriteEntry(ZipFile* zip, ZipEntry* entry, int fd) {
  EntryData data = {entry->dataOffset, entry->size, entry->compressedSize, entry->crc};
  const char* failure;
  return writeEntryData(zip->fd.get(), data, fd, &mainBuffers, ActOnSignal, &failure);
}
