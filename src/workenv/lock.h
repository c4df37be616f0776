// The per-user single-instance lock of a launcher file.
#pragma once

/// Takes an exclusive record lock on the lock file
/// "<tempdir>/<title>.<device>.<inode>.<euid>" of the launcher file
/// execName. Returns when the run may go on (with the lock, or without one
/// when none could be taken); when another process holds the lock, writes
/// the catalogue text of alreadyStartedKey and ends the process with
/// status 1.
void ExitIfNotOnlyInstance(const char* execName, const char* alreadyStartedKey);

/// Exit handler: closes the lock file, which releases the lock, and removes it.
void DeleteLockFile();
