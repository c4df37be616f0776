// The files that go into an installer's archive: a walk of the payload
// directory (and of a bundled runtime) into a list of entries, with the
// limits of the launcher's archive reader.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

/// The launcher reads at most this many entries (files and directories).
constexpr size_t kMaxEntries = 65534;

/// Files, and the whole installer, must be smaller than 2 GiB: the reader's
/// sizes and offsets are signed 32-bit numbers.
constexpr int64_t kSizeLimit = INT64_C(0x80000000);

/// One entry of the archive to be written.
struct PayloadItem {
  std::string name;    // entry name; a directory's ends in "/"
  std::string source;  // the file to read (links resolved by the kernel); empty for a directory
  bool directory = false;
  int64_t size = 0;    // bytes of a file
  time_t mtime = 0;    // modification time of the file or directory
  mode_t mode = 0;     // permission bits
};

/// Describes how the walk treats what it meets.
struct WalkRules {
  /// Leave out symbolic links whose target is missing (recording their
  /// names) instead of refusing them. Runtimes as installed by
  /// distributions hold such links to documents that are not installed.
  bool skipDanglingLinks = false;
};

/// Adds the tree below dir to *items: a directory entry for each directory
/// (dir itself excepted) and an entry for each regular file, named prefix +
/// the path relative to dir. Symbolic links are followed. Refuses, with a
/// message in *err naming the path: special files (devices, FIFOs, sockets),
/// files and directories this process can't read, dangling links (unless
/// the rules skip them; their names then go to *skipped), links that lead
/// back into their own ancestors, files of kSizeLimit bytes or more, and
/// more than kMaxEntries entries in *items altogether.
bool WalkTree(const std::string& dir, const std::string& prefix, const WalkRules& rules,
              std::vector<PayloadItem>* items, std::vector<std::string>* skipped, std::string* err);

/// Sorts items into the archive's fixed order: by name, byte by byte (a
/// directory comes before everything below it).
void SortItems(std::vector<PayloadItem>* items);

/// The index of the item named name, or -1.
int FindItem(const std::vector<PayloadItem>& items, const std::string& name);
