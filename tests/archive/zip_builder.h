// Writing ZIP archives byte by byte for the reader's tests, with every field
// under the test's control, and small helpers around them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip.h"

namespace test {

/// One entry. By default a well-formed entry whose sizes, CRC and offsets
/// follow from its data; each optional field replaces the computed value.
struct ZipEntryLayout {
  std::string name;
  std::string data;
  int method = 8;                         // 0 stored, 8 deflated
  int level = 6;                          // deflate level (0 writes stored blocks)
  std::optional<std::string> localName;   // the local header's name
  std::string centralExtra;
  std::string localExtra;
  std::string comment;
  std::optional<std::string> compressed;  // raw data bytes instead of deflate(data)
  std::optional<uint32_t> crc;
  std::optional<uint32_t> size;
  std::optional<uint32_t> compressedSize;
  std::optional<uint32_t> localOffset;    // recorded local header offset
  uint16_t flags = 0;
  uint32_t dosTime = 0x5a8c6b21;
};

/// A whole archive, optionally behind foreign bytes.
struct ZipLayout {
  std::string prefix;                    // foreign bytes in front
  bool offsetsFromFileStart = false;     // offsets count from the file's start, as after zip -A
  std::vector<ZipEntryLayout> entries;
  std::string cenTail;                   // raw bytes after the last central header
  std::string comment;
  std::optional<uint16_t> entryCount;
  std::optional<uint32_t> cenSize;
  std::optional<uint32_t> cenOffset;
  std::optional<uint16_t> commentLength;
  std::string endDiskFields = std::string(6, '\0');  // END offsets 4 to 9
  std::string trailing;                  // bytes after the comment

  /// The archive's bytes.
  std::string Build() const;
};

/// A well-formed entry of name holding data, stored (method 0) or deflated.
ZipEntryLayout Entry(const std::string& name, const std::string& data = "data", int method = 8);

/// Writes an archive of entries to path (see WriteArchive); returns path.
std::string WriteEntries(const std::string& path, const std::vector<ZipEntryLayout>& entries);

/// The raw deflate stream of data at level.
std::string Deflate(const std::string& data, int level = 6);

/// CRC-32 of data.
uint32_t Crc(const std::string& data);

/// Little-endian fields.
std::string Le16(uint32_t v);
std::string Le32(uint32_t v);

/// A central header of 46 bytes with the given fields and nothing after it.
std::string RawCentralHeader(uint16_t method, uint16_t flags, uint16_t nameLength, uint16_t extraLength,
                             uint16_t commentLength);

/// Writes bytes to path. When BRAMLET_CORPUS_DIR is set, small archives are
/// also kept there as fuzzing seeds.
std::string WriteArchive(const std::string& path, const std::string& bytes);

/// Keeps an archive that a tool wrote as a fuzzing seed (see WriteArchive).
void KeepForCorpus(const std::string& path);

/// An open archive, closed at the end of the scope.
class OpenZip {
 public:
  explicit OpenZip(const std::string& path);
  ~OpenZip();
  OpenZip(const OpenZip&) = delete;
  OpenZip& operator=(const OpenZip&) = delete;
  ZipFile* get() const { return zip_; }
  ZipFile* operator->() const { return zip_; }
  int error() const { return error_; }

 private:
  ZipFile* zip_;
  int error_ = 0;
};

/// Every file and directory below root: relative path to content, or to
/// "<dir>" for a directory and "<link>" for a symbolic link.
std::map<std::string, std::string> ReadTree(const std::string& root);

/// Runs a shell command; returns its exit status (-1 when it did not exit).
int Shell(const std::string& command);

/// Quotes s for the shell.
std::string Quote(const std::string& s);

}  // namespace test
