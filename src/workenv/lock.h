// The per-user single-instance lock of a launcher file.
#pragma once

/// Takes an exclusive record lock on the lock file
/// "<tempdir>/<title>.<device>.<inode>.<euid>" of the launcher's own file.
/// Returns when the run may go on (with the lock, or without one when none
/// could be taken); ends the process with status 1 and the profile's
/// "already_started" message when another process holds the lock.
void ExitIfNotOnlyInstance();

/// Exit handler: closes the lock file, which releases the lock, and removes it.
void DeleteLockFile();
