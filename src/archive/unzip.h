// What the launcher and mksetup both decide about a payload: which names are
// safe to extract, how much room the entries need, and extracting them.
#pragma once

#include <cstdint>

#include "archive/zip.h"

/// True when name may be joined to a directory: no component of it, split
/// at every "/" byte as the kernel splits the path it becomes part of, is
/// "..". An absolute name or an empty component stays inside the directory.
bool IsSafeEntryName(const char* name);

/// Adds up the uncompressed sizes of the entries into *total. False (with
/// the reason in lastError) when an entry's local header can't be read: the
/// payload is damaged.
bool SumEntrySizes(ZipFile* zip, uint64_t* total);

/// Writes every entry of zip whose name begins with prefix (every entry when
/// prefix is null) to destination + "/" + name, in central-directory order,
/// creating the directories on the way with mode 0700 (removing a
/// non-directory that stands where one is needed). Names ending in "/" only
/// create directories. A signal that arrives meanwhile is acted on between
/// entries and between chunks of one. False when zip or destination is null,
/// or at the first entry whose local header can't be read, that can't be
/// written or whose name is not safe (nothing is created for that one);
/// files written before a failure stay. An entry that an earlier call wrote
/// to the same destination is not written again.
bool UnzipFiles(ZipFile* zip, const char* destination, const char* prefix);
