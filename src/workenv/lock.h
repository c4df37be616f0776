// The per-user single-instance lock of a launcher file.
#pragma once

/// Takes an exclusive record lock on the lock file
/// "<tempdir>/<title>.<device>.<inode>.<euid>" of the launcher file
/// execName. Returns when the run may go on (with the lock, or without one
/// when none could be taken: the name is held by something that is not a
/// regular file of the user); when another process holds the lock, writes
/// the catalogue text of alreadyStartedKey and ends the process with
/// status 1.
void ExitIfNotOnlyInstance(const char* execName, const char* alreadyStartedKey);

/// Exit handler: removes the lock file, then closes it, which releases the lock.
void DeleteLockFile();
