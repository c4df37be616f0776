// What the launcher and mksetup both decide about a payload: where it is,
// which names are safe to extract, how much room the entries need, and
// extracting them.
#pragma once

#include <cstdint>
#include <string>

#include "archive/zip.h"

/// Opens the payload that stands behind the executable image of the file
/// path, like zipOpen, except that a file with bytes behind its image that
/// don't read as an archive (a download cut short, stray bytes after an
/// archive) is damaged, not a launcher without a payload. A file whose
/// image can't be told keeps zipOpen's answer.
ZipFile* OpenPayload(const char* path, ZipError* error);

/// True when name may be joined to a directory: no component of it, split
/// at every "/" byte as the kernel splits the path it becomes part of, is
/// "..". An absolute name or an empty component stays inside the directory.
bool IsSafeEntryName(const char* name);

/// The name as the file system resolves it below a directory: its
/// components, split as IsSafeEntryName splits them, without the empty ones
/// and ".", joined by single "/"s. Names of one file in any spelling ("a/b",
/// "a//b", "./a/./b", "/a/b", "a/b/") resolve alike; ".." is kept.
std::string ResolveEntryName(const char* name);

/// Adds up the uncompressed sizes of the entries into *total. False (with
/// the reason in lastError) when an entry's local header can't be read: the
/// payload is damaged.
bool SumEntrySizes(ZipFile* zip, uint64_t* total);

/// Writes every entry of zip whose name, resolved (ResolveEntryName), begins
/// with prefix (every entry when prefix is null) below the directory open at
/// dirFd, under its name (with any leading "/" dropped), with the effect of
/// writing them one by one in central-directory order (the last of the
/// names of one file, in any spelling, is what it holds), creating the
/// directories on the way with mode 0700 (removing a non-directory that
/// stands where one is needed). Every file is made relative to dirFd, so
/// that a rename of the directory meanwhile can't send the payload
/// elsewhere. Names ending in "/" only create directories. A signal that
/// arrives meanwhile is acted on between entries and between chunks of one.
/// False when zip is null or dirFd is no directory, or at the first entry
/// whose local header can't be read, that can't be written or whose name is
/// not safe (nothing is created for that one); files written before a
/// failure stay. An entry that an earlier call wrote to the same directory
/// is not written again.
bool UnzipFiles(ZipFile* zip, int dirFd, const char* prefix);
