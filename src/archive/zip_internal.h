// What the archive reader's files share among themselves (and with their
// tests): record layouts, byte order and the helpers behind the public calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/zip.h"

// Fixed sizes and signatures of the three records the reader uses.
constexpr int kEndHeaderSize = 22;
constexpr int kCenHeaderSize = 46;
constexpr int kLocHeaderSize = 30;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCenSignature = 0x02014b50;
constexpr uint32_t kLocSignature = 0x04034b50;

/// Ends a bucket chain and marks an empty bucket.
constexpr uint16_t kNoCell = 0xFFFF;

/// The END search looks at the file's last this many bytes.
constexpr int kEndSearchSpan = 0xFFFF;

/// Little-endian fields, assembled byte by byte so that the host's byte
/// order never matters.
inline uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

/// Java's string hash over the bytes of a NUL-terminated name, each taken
/// as a signed 8-bit value, wrapping modulo 2^32.
uint32_t hash(const char* name);

/// True when the first nine bytes of name are "META-INF/" in any letter case.
bool isMetaName(const char* name);

/// Stores a copy of name among the archive's meta names.
void addMetaName(ZipFile* zip, const char* name);

/// Stores text as the comment of cell index.
void addEntryComment(ZipFile* zip, int index, std::string text);

/// A fresh record holding a copy of name.
ZipFile* allocZip(const char* name);

/// Releases the record and everything it owns, its descriptor included.
void freeZip(ZipFile* zip);

/// Reads exactly length bytes at offset of fd, leaving fd's position alone.
/// False when a read fails or meets the end of the file; a length of 0 or
/// less succeeds.
bool readFully(int fd, void* buffer, int64_t length, int64_t offset);

/// What looking for the end record and indexing the central directory found.
enum class IndexResult {
  kIndexed,     // the end record was found (and, for readCEN, the index built)
  kNoEnd,       // there is no end record
  kDamaged,     // a malformed record; lastError names it
  kReadFailed,  // a read failed or memory ran out; no text
};

/// Finds the end record: it must begin within the file's last 65,535 bytes
/// and, with its comment, reach exactly to the end of the file. Copies its
/// 22 bytes into end, stores its file position in *endPos and keeps its
/// comment as archiveComment.
IndexResult findEND(ZipFile* zip, unsigned char* end, int64_t* endPos);

/// Checks the central directory and builds the index (cells, buckets, meta
/// names, entry comments).
IndexResult readCEN(ZipFile* zip);

/// Builds the entry of cell from its local header. Null on failure, with
/// lastError set for an unreadable or malformed header.
std::unique_ptr<ZipEntry> readLOC(ZipFile* zip, const ZipCell* cell);

/// Where an entry's data lies and what it must come to: all that writing it
/// takes, on any thread.
struct EntryData {
  int32_t offset = 0;          // absolute file offset of the first data byte
  int32_t size = 0;            // uncompressed size
  int32_t compressedSize = 0;  // 0 means stored
  uint32_t crc = 0;            // CRC-32 of the uncompressed data
};

/// A thread's buffers for writing entries, whatever their size: compressed
/// (or stored) bytes come into the first, inflated bytes go out of the second.
struct EntryBuffers {
  static constexpr int32_t kInputSize = 64 * 1024;
  static constexpr int32_t kOutputSize = 256 * 1024;
  unsigned char input[kInputSize];
  unsigned char output[kOutputSize];
};

/// Writes the entry's content, read from the archive open at archiveFd with
/// pread, into fd, and checks it. Between chunks it asks stop(), and gives
/// up when that says so. True when all of its data was used (a few bytes
/// after the end of a deflate stream aside), no more than size bytes came
/// out, every byte was written and the CRC-32 matches; otherwise false, with
/// *failure naming the reason where there is one.
bool writeEntryData(int archiveFd, const EntryData& entry, int fd, EntryBuffers* buffers, bool (*stop)(),
                    const char** failure);
