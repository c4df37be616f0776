#include "packager/archive_writer.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>

#include "packager/interrupt.h"

namespace {

// The MS-DOS attribute bit of a directory, set beside the Unix mode as
// Info-ZIP does.
constexpr uint32_t kDosDirectory = 0x10;

int CancelWhenInterrupted(zip_t*, void*) { return Interrupted() ? 1 : 0; }

bool LibzipError(zip_t* za, const std::string& what, std::string* err) {
  *err = what + ": " + zip_strerror(za);
  return false;
}

// Adds one item and sets every field that would otherwise come from the
// file or the clock.
bool AddItem(zip_t* za, const PayloadItem& item, const ArchiveSettings& settings, std::string* err) {
  zip_int64_t index;
  if (item.directory) {
    index = zip_dir_add(za, item.name.c_str(), ZIP_FL_ENC_GUESS);
  } else {
    zip_source_t* source = zip_source_file(za, item.source.c_str(), 0, -1);
    if (source == nullptr) return LibzipError(za, item.source, err);
    index = zip_file_add(za, item.name.c_str(), source, ZIP_FL_ENC_GUESS);
    if (index < 0) zip_source_free(source);
  }
  if (index < 0) return LibzipError(za, item.name, err);
  zip_uint64_t i = static_cast<zip_uint64_t>(index);
  uint32_t stamp = DosDateTime(settings.fixedTime ? settings.time : item.mtime);
  uint32_t attributes = static_cast<uint32_t>((item.directory ? S_IFDIR : S_IFREG) | item.mode) << 16;
  if (item.directory) attributes |= kDosDirectory;
  bool store = item.directory || settings.level == 0;
  if (zip_set_file_compression(za, i, store ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                               store ? 0 : static_cast<zip_uint32_t>(settings.level)) < 0 ||
      zip_file_set_dostime(za, i, static_cast<zip_uint16_t>(stamp & 0xFFFF), static_cast<zip_uint16_t>(stamp >> 16),
                           0) < 0 ||
      zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX, attributes) < 0)
    return LibzipError(za, item.name, err);
  if (settings.verbose) {
    if (item.directory) {
      printf("%s\n", item.name.c_str());
    } else {
      printf("%s (%lld bytes)\n", item.name.c_str(), static_cast<long long>(item.size));
    }
  }
  return true;
}

}  // namespace

uint32_t DosDateTime(time_t t) {
  struct tm utc;
  if (t < 315532800 || gmtime_r(&t, &utc) == nullptr) return (1u << 5 | 1u) << 16;  // 1980-01-01
  if (utc.tm_year + 1900 > 2107) return ((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u);
  uint32_t date = static_cast<uint32_t>((utc.tm_year + 1900 - 1980) << 9 | (utc.tm_mon + 1) << 5 | utc.tm_mday);
  uint32_t time = static_cast<uint32_t>(utc.tm_hour << 11 | utc.tm_min << 5 | utc.tm_sec / 2);
  return date << 16 | time;
}

bool WriteArchive(const std::vector<PayloadItem>& items, const ArchiveSettings& settings, const std::string& path,
                  std::string* err) {
  int code = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
  if (za == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    *err = path + ": " + zip_error_strerror(&error);
    zip_error_fini(&error);
    return false;
  }
  for (const PayloadItem& item : items) {
    if (!AddItem(za, item, settings, err)) {
      zip_discard(za);
      return false;
    }
  }
  fflush(stdout);
  zip_register_cancel_callback_with_state(za, CancelWhenInterrupted, nullptr, nullptr);
  if (zip_close(za) < 0) {
    if (Interrupted()) {
      *err = "interrupted";
    } else {
      LibzipError(za, "writing the archive", err);
    }
    zip_discard(za);
    unlink(path.c_str());
    return false;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    // libzip writes no file for an archive without entries.
    *err = "the archive has no entries";
    return false;
  }
  return true;
}
