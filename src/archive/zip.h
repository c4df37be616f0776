// Reading ZIP archives that may stand behind foreign bytes (the launcher's own
// executable image): the central directory index, entry lookup, raw reads,
// inflation and writing an entry to a file.
//
// Records are shared: opening the same path again returns the open record
// with one more reference. Nothing here is thread-safe; every call on one
// archive must come from the same thread.
#pragma once

#include <cstdint>

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
  char* name;              // the local header's name, owned
  uint32_t dosTime;        // MS-DOS time (low 16 bits) and date (high 16 bits)
  int32_t size;            // uncompressed size
  int32_t compressedSize;  // 0 means stored
  uint32_t crc;            // CRC-32 of the uncompressed data
  const char* comment;     // borrowed from the archive, or null
  unsigned char* extra;    // 2-byte little-endian length, then the field; or null
  int32_t dataOffset;      // absolute file offset of the first data byte
};

/// One open archive.
struct ZipFile {
  char* name;                  // the path given to the open
  int32_t refCount;            // opens sharing this record
  int32_t fd;                  // the archive file, open for reading
  char* archiveComment;        // the end record's comment, or null
  const char* lastError;       // fixed English text of the last failure, or null
  ZipCell* cells;              // entryCount cells in central-directory order
  int32_t entryCount;          // 0 to 65534
  uint16_t* buckets;           // first cell of each hash bucket, 0xFFFF for none
  int32_t bucketCount;         // entryCount / 2, at least 1
  ZipFile* next;               // next open archive
  ZipEntry* cachedEntry;       // the entry given back last, or null
  char** metaNames;            // names beginning with META-INF/ in any case
  int32_t metaNameCapacity;    // slots in metaNames
  char** entryComments;        // entryCount slots, or null while no entry has one
  int64_t lastModified;        // time stamp given at open; 0 matches any
};

/// zipOpenGeneric(name, error, O_RDONLY, 0).
ZipFile* zipOpen(const char* name, int* error);

/// Opens the archive file name with open flags mode, or shares a record
/// already open under the same path string whose lastModified is 0 or equal.
/// Returns null on failure; *error (when error is not null) is then -4 when
/// the file can't be opened, -2 when it is no readable archive and 0 when
/// memory ran out. *error is 0 on success.
ZipFile* zipOpenGeneric(const char* name, int* error, int mode, int64_t lastModified);

/// Drops one reference; the last one closes the file and releases the record
/// with everything it owns. A null zip is ignored.
void zipClose(ZipFile* zip);

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
/// followed). Returns 1 when the whole entry was written and its CRC-32
/// matches, 0 otherwise; a failed file is left as far as it was written.
/// Writing to "/dev/null" checks an entry without keeping it.
int zipReadEntry(ZipFile* zip, ZipEntry* entry, const char* path);
