// Writing the installer's ZIP archive with libzip.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "packager/payload_walk.h"

struct ArchiveSettings {
  /// Deflate level 1 to 9, or 0 to store every file.
  int level = 6;
  /// Every entry gets this time when set (SOURCE_DATE_EPOCH), else its file's.
  bool fixedTime = false;
  time_t time = 0;
  /// Prints a line per entry on standard output.
  bool verbose = false;
};

/// The MS-DOS date (high 16 bits) and time (low 16 bits) of t in UTC, so
/// that the archive does not depend on the packing machine's time zone.
/// Times before 1980 become 1980-01-01 00:00:00, times after 2107 the last
/// representable second; odd seconds round down.
uint32_t DosDateTime(time_t t);

/// Writes items, in their order, as a new ZIP archive at path, which must
/// not exist. Entries carry the items' permission bits (Unix external
/// attributes) and their DOS time, and nothing else that varies: the same
/// items and settings give the same bytes. Returns false with a message in
/// *err (and no file at path) on failure or when Interrupted() becomes true.
bool WriteArchive(const std::vector<PayloadItem>& items, const ArchiveSettings& settings, const std::string& path,
                  std::string* err);
