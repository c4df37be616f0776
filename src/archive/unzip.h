// Extracting an archive, or the part of it under a name prefix, into a
// directory.
#pragma once

#include "archive/zip.h"

/// Writes every entry of zip whose name begins with prefix (every entry when
/// prefix is null) to destination + "/" + name, in central-directory order,
/// creating the directories on the way with mode 0700 (removing a
/// non-directory that stands where one is needed). Names ending in "/" only
/// create directories. Returns 1 when every selected entry was written, 0
/// when zip or destination is null or at the first entry that can't be
/// written or whose name has a ".." component (nothing is created for that
/// entry). Files written before a failure stay.
int UnzipFiles(ZipFile* zip, const char* destination, const char* prefix);
