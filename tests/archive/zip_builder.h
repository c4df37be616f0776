// Writing ZIP archives byte by byte for the reader's tests, with every field
// under the test's control, and small helpers around them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
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
  int method = 8;                        // 0 stored, 8 deflated
  std::optional<std::string> localName;  // the local header's name
  std::string centralExtra;
  std::string localExtra;
  std::string comment;
  std::optional<std::string> compressed;  // raw data bytes instead of deflate(data)
  std::optional<uint32_t> crc;
  std::optional<uint32_t> size;
  std::optional<uint32_t> compressedSize;
  std::optional<uint32_t> localOffset;  // recorded local header offset
  uint16_t flags = 0;
  uint32_t dosTime = 0x5a8c6b21;
};

/// A whole archive, optionally behind foreign bytes.
struct ZipLayout {
  std::string prefix;  // foreign bytes in front; recorded offsets count from behind them
  std::vector<ZipEntryLayout> entries;
  std::string cenTail;  // raw bytes after the last central header
  std::string comment;
  std::optional<uint16_t> entryCount;
  std::optional<uint32_t> cenSize;
  std::optional<uint32_t> cenOffset;
  std::string trailing;  // bytes after the comment

  /// The archive's bytes.
  std::string Build() const;
};

/// A well-formed entry of name holding data, stored (method 0) or deflated.
ZipEntryLayout Entry(const std::string& name, const std::string& data = "data", int method = 8);

/// Writes an archive of entries to path (see WriteArchive); returns path.
std::string WriteEntries(const std::string& path, const std::vector<ZipEntryLayout>& entries);

/// The raw deflate stream of data.
std::string Deflate(const std::string& data);

/// A raw deflate stream of one stored block holding data (65,535 bytes at
/// most), which does not end the stream.
std::string StoredBlock(const std::string& data);

/// CRC-32 of data.
uint32_t Crc(const std::string& data);

/// n pseudo-random bytes, the same for the same seed.
std::string Random(size_t n, unsigned seed);

/// Little-endian fields.
std::string Le16(uint32_t v);
std::string Le32(uint32_t v);

/// Writes bytes to path; returns path.
std::string WriteArchive(const std::string& path, const std::string& bytes);

/// An archive opened with zipOpen (null when that failed), closed at the end
/// of the scope.
struct OpenZip : ZipArchive {
  explicit OpenZip(const std::string& path) : ZipArchive(zipOpen(path.c_str(), nullptr)) {}
};

/// Extracts the archive at path with UnzipFiles in a child process under
/// the locale lang (the multibyte searches take the process's locale);
/// returns UnzipFiles' result, or how the open or the child failed.
std::string Unzip(const std::string& path, const std::string& destination, const char* prefix = nullptr,
                  const char* lang = "C");

/// The entry's extra field without the length in front of it, which must
/// match; "<none>" when it has none.
std::string Extra(const ZipEntry* entry);

/// Every file and directory below root: relative path to content, or to
/// "<dir>" for a directory and "<link>" for a symbolic link.
std::map<std::string, std::string> ReadTree(const std::string& root);

/// Runs a shell command; returns its exit status (-1 when it did not exit).
int Shell(const std::string& command);


}  // namespace test
