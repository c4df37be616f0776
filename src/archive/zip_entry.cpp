// Entries: building them from local headers, lookup, the one-slot cache, raw
// reads, inflation and writing an entry to a file.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "archive/zip.h"
#include "archive/zip_internal.h"

namespace {

// Extraction moves data through these two buffers, whatever the entry's
// size: compressed (or stored) bytes come into the first, inflated bytes go
// out of the second.
constexpr int32_t kInputSize = 64 * 1024;
constexpr int32_t kOutputSize = 256 * 1024;
unsigned char inputBuffer[kInputSize];
unsigned char outputBuffer[kOutputSize];

const char* const kSeekFailed = "seek failed";
const char* const kNoLocHeader = "couldn't read LOC header";
const char* const kBadLocSignature = "invalid LOC header (bad signature)";
const char* const kNoCenExtra = "couldn't read CEN extra";
const char* const kOutOfRange = "zipRead: specified offset out of range";
const char* const kNotCompressed = "inflateFully: entry not compressed";
const char* const kEndOfFile = "inflateFully: Unexpected end of file";
const char* const kEndOfStream = "inflateFully: Unexpected end of stream";
const char* const kTooLong = "inflateFully: more data than the entry's size";
const char* const kBadCrc = "inflateFully: CRC-32 mismatch";

void releaseEntry(ZipEntry* entry) {
  if (entry == nullptr) return;
  free(entry->extra);
  free(entry->name);
  free(entry);
}

// Reads the local header's fixed part, name and (when wanted) extra field
// into a heap buffer. The central lengths tell how much to read at first;
// a local header whose own lengths reach further gets the rest read too.
unsigned char* readLocalHeader(ZipFile* zip, const ZipCell* cell) {
  int64_t length = kLocHeaderSize + cell->nameExtraLength;
  auto* header = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)));
  if (header == nullptr) return nullptr;
  if (readFullyAt(zip->fd, header, length, cell->localHeaderOffset) != 0) {
    zip->lastError = kNoLocHeader;
    free(header);
    return nullptr;
  }
  if (Get32(header) != kLocSignature) {
    zip->lastError = kBadLocSignature;
    free(header);
    return nullptr;
  }
  // The local extra field is used only when there is no central one.
  int64_t needed = kLocHeaderSize + Get16(header + 26) + (cell->extraLength == 0 ? Get16(header + 28) : 0);
  if (needed > length) {
    auto* grown = static_cast<unsigned char*>(realloc(header, static_cast<size_t>(needed)));
    if (grown == nullptr) {
      free(header);
      return nullptr;
    }
    header = grown;
    if (readFullyAt(zip->fd, header + length, needed - length, cell->localHeaderOffset + length) != 0) {
      zip->lastError = kNoLocHeader;
      free(header);
      return nullptr;
    }
  }
  return header;
}

// Sets entry->extra to a 2-byte length followed by length bytes: those at
// local, or, when local is null, the central field read from the file.
// Returns false on failure, with lastError set when reading failed.
bool setExtra(ZipFile* zip, const ZipCell* cell, ZipEntry* entry, const unsigned char* local, uint16_t length) {
  entry->extra = static_cast<unsigned char*>(malloc(2u + length));
  if (entry->extra == nullptr) return false;
  entry->extra[0] = static_cast<unsigned char>(length & 0xFF);
  entry->extra[1] = static_cast<unsigned char>(length >> 8);
  if (local != nullptr) {
    memcpy(entry->extra + 2, local, length);
    return true;
  }
  // The central name length is what nameExtraLength holds beyond the extra
  // length, even when their sum wrapped in 16 bits.
  uint16_t nameLength = static_cast<uint16_t>(cell->nameExtraLength - cell->extraLength);
  int64_t offset = static_cast<int64_t>(cell->centralHeaderOffset) + kCenHeaderSize + nameLength;
  if (readFullyAt(zip->fd, entry->extra + 2, length, offset) != 0) {
    zip->lastError = kNoCenExtra;
    return false;
  }
  return true;
}

// Writes n bytes with one write and adds them to the running CRC.
bool writeOut(int fd, const unsigned char* data, size_t n, uLong* crc) {
  if (n == 0) return true;
  if (write(fd, data, n) != static_cast<ssize_t>(n)) return false;
  *crc = crc32(*crc, data, static_cast<uInt>(n));
  return true;
}

// Copies a stored entry into fd. Returns 1 when all size bytes were written
// and their CRC matches.
int copyStored(ZipFile* zip, ZipEntry* entry, int fd) {
  uLong crc = crc32(0, nullptr, 0);
  int32_t position = 0;
  int32_t remaining = entry->size;
  while (remaining > 0) {
    int32_t n = zipRead(zip, entry, position, inputBuffer, std::min(remaining, kInputSize));
    if (n <= 0) return 0;
    if (!writeOut(fd, inputBuffer, static_cast<size_t>(n), &crc)) return 0;
    position += n;
    remaining -= n;
  }
  return crc == entry->crc ? 1 : 0;
}

}  // namespace

ZipEntry* readLOC(ZipFile* zip, const ZipCell* cell) {
  if (cell->localHeaderOffset < 0) {
    zip->lastError = kSeekFailed;
    return nullptr;
  }
  unsigned char* header = readLocalHeader(zip, cell);
  if (header == nullptr) return nullptr;
  uint16_t n = Get16(header + 26), e = Get16(header + 28);
  auto* entry = static_cast<ZipEntry*>(calloc(1, sizeof(ZipEntry)));
  if (entry == nullptr) {
    free(header);
    return nullptr;
  }
  entry->name = static_cast<char*>(malloc(n + 1u));
  bool ok = entry->name != nullptr;
  if (ok) {
    memcpy(entry->name, header + kLocHeaderSize, n);
    entry->name[n] = '\0';
    if (cell->extraLength > 0) {
      ok = setExtra(zip, cell, entry, nullptr, cell->extraLength);
    } else if (e > 0) {
      ok = setExtra(zip, cell, entry, header + kLocHeaderSize + n, e);
    }
  }
  if (ok) {
    if (zip->entryComments != nullptr) entry->comment = zip->entryComments[cell - zip->cells];
    entry->size = cell->size;
    entry->compressedSize = cell->compressedSize;
    entry->crc = cell->crc;
    entry->dosTime = Get32(header + 10);
    entry->dataOffset =
        static_cast<int32_t>(static_cast<uint32_t>(cell->localHeaderOffset) + kLocHeaderSize + n + e);
  }
  free(header);
  if (!ok) {
    releaseEntry(entry);
    return nullptr;
  }
  return entry;
}

ZipEntry* zipGetNextEntry(ZipFile* zip, int index) {
  if (index < 0 || index >= zip->entryCount) return nullptr;
  return readLOC(zip, &zip->cells[index]);
}

ZipEntry* zipGetEntry(ZipFile* zip, const char* name) {
  uint32_t h = hash(name);
  if (zip->cachedEntry != nullptr && strcmp(zip->cachedEntry->name, name) == 0) {
    ZipEntry* entry = zip->cachedEntry;
    zip->cachedEntry = nullptr;
    return entry;
  }
  uint16_t i = zip->buckets[h % static_cast<uint32_t>(zip->bucketCount)];
  while (i != kNoCell) {
    const ZipCell* cell = &zip->cells[i];
    if (cell->nameHash == h) {
      ZipEntry* entry = readLOC(zip, cell);
      if (entry != nullptr && strcmp(entry->name, name) == 0) return entry;
      if (entry != nullptr) zipFreeEntry(zip, entry);
    }
    i = cell->nextInBucket;
  }
  return nullptr;
}

ZipEntry* zipFindEntry(ZipFile* zip, const char* name, int32_t* size, int32_t* nameLength) {
  ZipEntry* entry = zipGetEntry(zip, name);
  if (entry != nullptr) {
    *size = entry->size;
    *nameLength = static_cast<int32_t>(strlen(entry->name));
  }
  return entry;
}

void zipFreeEntry(ZipFile* zip, ZipEntry* entry) {
  // An entry given back twice is already the cached one.
  if (entry != nullptr && entry == zip->cachedEntry) return;
  releaseEntry(zip->cachedEntry);
  zip->cachedEntry = entry;
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
  int64_t offset = static_cast<int64_t>(entry->dataOffset) + position;
  if (offset < 0) return -1;
  return static_cast<int32_t>(pread(zip->fd, buffer, static_cast<size_t>(length), offset));
}

int inflateFully(ZipFile* zip, ZipEntry* entry, int fd, const char** failure) {
  *failure = nullptr;
  int32_t remaining = entry->compressedSize;
  int32_t position = 0;
  if (remaining == 0) {
    *failure = kNotCompressed;
    return 0;
  }
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    *failure = stream.msg;
    return 0;
  }
  uLong crc = crc32(0, nullptr, 0);
  int result = 1;
  while (result == 1 && remaining > 0) {
    int32_t n = zipRead(zip, entry, position, inputBuffer, std::min(remaining, kInputSize));
    if (n <= 0) {
      if (n == 0) *failure = kEndOfFile;
      result = 0;
      break;
    }
    position += n;
    remaining -= n;
    stream.next_in = inputBuffer;
    stream.avail_in = static_cast<uInt>(n);
    for (;;) {
      uLong before = stream.total_out;
      stream.next_out = outputBuffer;
      stream.avail_out = kOutputSize;
      int status = inflate(&stream, Z_PARTIAL_FLUSH);
      if (status == Z_STREAM_END &&
          (remaining != 0 || stream.total_out != static_cast<uLong>(static_cast<uint32_t>(entry->size)))) {
        *failure = kEndOfStream;
        result = 0;
        break;
      }
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
        *failure = stream.msg;
        result = 0;
        break;
      }
      // The declared size bounds the output, so that the free-space check
      // made from it holds.
      if (static_cast<int64_t>(stream.total_out) > entry->size) {
        *failure = kTooLong;
        result = 0;
        break;
      }
      if (!writeOut(fd, outputBuffer, stream.total_out - before, &crc)) {
        result = 0;
        break;
      }
      // At the end of the stream any bytes still waiting are not deflate
      // data; zlib would report the end again without taking them.
      if (status == Z_STREAM_END || status == Z_BUF_ERROR) break;
      if (stream.avail_in == 0 && stream.avail_out != 0) break;
    }
  }
  inflateEnd(&stream);
  if (result == 1 && crc != entry->crc) {
    *failure = kBadCrc;
    result = 0;
  }
  return result;
}

int zipReadEntry(ZipFile* zip, ZipEntry* entry, const char* path) {
  // Truncating, so that a longer file of the same name leaves no tail; not
  // following a link, so that nothing is written where it points.
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0700);
  if (fd < 0) return 0;
  int result;
  if (entry->compressedSize != 0) {
    const char* failure;
    result = inflateFully(zip, entry, fd, &failure);
  } else {
    result = copyStored(zip, entry, fd);
  }
  close(fd);
  return result;
}
