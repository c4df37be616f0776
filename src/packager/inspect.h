// Looking into a finished installer with the launcher's own archive reader,
// so that what is listed and verified is what the launcher will extract.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ListedEntry {
  std::string name;      // the local header's name, which extraction uses
  int32_t size = 0;      // uncompressed
  bool deflated = false;
  uint32_t crc = 0;
};

/// The entries of the archive at the end of the file at path, in the order
/// the launcher extracts them. False with a message in *err when the
/// launcher would not find an archive there, or an entry's local header
/// can't be read (the launcher would refuse the payload).
bool ListSetup(const std::string& path, std::vector<ListedEntry>* entries, std::string* err);

struct VerifyResult {
  int entries = 0;                    // entries in the central directory
  int64_t bytes = 0;                  // their uncompressed sizes together
  std::vector<std::string> problems;  // one line per fault found; none when intact
};

/// Reads every entry of the installer at path as the launcher's extraction
/// would, checking each file's size and CRC-32, and checks that every name
/// stays inside the extraction directory and that no entry is replaced by a
/// later one (of its name in any spelling: "a/./b" is "a/b") or by a
/// directory another entry needs. False with a message in
/// *err when the launcher would not find an archive at all; otherwise true,
/// with the faults in result->problems.
bool VerifySetup(const std::string& path, VerifyResult* result, std::string* err);
