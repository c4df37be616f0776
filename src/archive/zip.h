// Reading ZIP archives that may stand behind foreign bytes (the launcher's own
// executable image): the central directory index, entry lookup, raw reads,
// inflation and writing an entry to a file.
//
// Records are shared: opening the same path again returns the open record
// with one more reference. Functions that find or make something give null
// on failure, and those that act give false; either way the record's
// lastError names a malformed header or a failed check where there is one.
// Nothing here is thread-safe; every call on one archive must come from the
// same thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/unique_fd.h"

/// One central-directory entry of the index. The index keeps no names: an
/// entry is materialised from its local header when asked for.
struct ZipCell {
  int32_t localHeaderOffset;    // absolute file offset of the local header
  uint32_t nameHash;            // hash of the central name
  uint16_t nameExtraLength;     // central name length + central extra length
  uint16_t nextInBucket;        // next cell of the same bucket, 0xFFFF ends
  int32_t size;                 // uncompressed size
  int32_t compressedSize;       // 0 for stored entries
  uint32_t crc;                 // CRC-32 of the uncompressed data
  uint16_t extraLength;         // central extra field length
  int32_t centralHeaderOffset;  // absolute file offset of the central header
};

/// One materialised entry. Handed out by zipGetNextEntry, zipGetEntry and
/// zipFindEntry; the caller gives it back with zipFreeEntry.
struct ZipEntry {
  std::string name;                  // the local header's name
  uint32_t dosTime = 0;              // MS-DOS time (low 16 bits) and date (high 16 bits)
  int32_t size = 0;                  // uncompressed size
  int32_t compressedSize = 0;        // 0 means stored
  uint32_t crc = 0;                  // CRC-32 of the uncompressed data
  const char* comment = nullptr;     // borrowed from the archive, or null
  std::vector<unsigned char> extra;  // 2-byte little-endian length, then the field; empty for none
  int32_t dataOffset = 0;            // absolute file offset of the first data byte
};

/// One open archive.
struct ZipFile {
  std::string name;                        // the path given to the open
  int32_t refCount = 0;                    // opens sharing this record
  UniqueFd fd;                             // the archive file, open for reading
  std::string archiveComment;              // the end record's comment; empty for none
  const char* lastError = nullptr;         // fixed English text of the last failure, or null
  std::vector<ZipCell> cells;              // one per entry, in central-directory order
  std::vector<uint16_t> buckets;           // first cell of each hash bucket, 0xFFFF for none
  ZipFile* next = nullptr;                 // next open archive
  std::unique_ptr<ZipEntry> cachedEntry;   // the entry given back last
  std::vector<std::string> metaNames;      // names beginning with META-INF/ in any case
  std::vector<std::string> entryComments;  // one per cell once any entry has a comment
  int64_t lastModified = 0;                // time stamp given at open; 0 matches any
  std::string extractedTo;                 // the directory the extractions wrote to ("device:inode")
  std::vector<bool> extracted;             // per cell: written there already

  int entryCount() const { return static_cast<int>(cells.size()); }
};

/// Why an open failed.
enum class ZipError {
  kNone,        // opened
  kCannotOpen,  // the file can't be opened
  kNoArchive,   // no end record within the file's last 65,535 bytes
  kDamaged,     // an end record whose central directory can't be indexed, or a read failed
};

/// zipOpenGeneric(name, error, O_RDONLY, 0).
ZipFile* zipOpen(const char* name, ZipError* error);

/// Opens the archive file name with open flags mode, or shares a record
/// already open under the same path string whose lastModified is 0 or equal.
/// Returns null on failure, with the reason in *error (when error is not
/// null).
ZipFile* zipOpenGeneric(const char* name, ZipError* error, int mode, int64_t lastModified);

/// Drops one reference; the last one closes the file and releases the record
/// with everything it owns. A null zip is ignored.
void zipClose(ZipFile* zip);

/// Closes an archive when its owner goes.
struct ZipCloser {
  void operator()(ZipFile* zip) const { zipClose(zip); }
};
using ZipArchive = std::unique_ptr<ZipFile, ZipCloser>;

/// Returns the entry of cell index (central-directory order), or null when
/// index is out of range or the local header can't be read (lastError then
/// says why).
ZipEntry* zipGetNextEntry(ZipFile* zip, int index);

/// Returns the entry whose local name equals name byte for byte, the cached
/// entry first; of two entries of that name the later one. Null when none.
ZipEntry* zipGetEntry(ZipFile* zip, const char* name);

/// zipGetEntry; when found, also stores the entry's size and name length.
ZipEntry* zipFindEntry(ZipFile* zip, const char* name, int32_t* size, int32_t* nameLength);

/// Gives entry back. It becomes the archive's cached entry, replacing (and
/// releasing) the one cached before; it must not be used afterwards. Null is
/// allowed and just empties the cache.
void zipFreeEntry(ZipFile* zip, ZipEntry* entry);

/// Reads up to length bytes of the entry's raw data (the compressed bytes of
/// a deflated entry) from position on, with one read. Returns the count read
/// (fewer at the end of the entry or of the file), 0 for a length of 0 or
/// less, -1 when position is outside the entry or the read fails.
int32_t zipRead(ZipFile* zip, ZipEntry* entry, int32_t position, void* buffer, int32_t length);

/// Writes the entry's content into the file path (created with mode 0700
/// when missing, truncated otherwise; a symbolic link at path is not
/// followed). True when the whole entry was written and its CRC-32 matches;
/// a failed file is left as far as it was written. Writing to "/dev/null"
/// checks an entry without keeping it.
bool zipReadEntry(ZipFile* zip, ZipEntry* entry, const char* path);

/// zipReadEntry into the file open for writing at fd.
bool zipWriteEntry(ZipFile* zip, ZipEntry* entry, int fd);
