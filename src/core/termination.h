// The end of a run: exit preparation, the signal handlers' endings and the
// removal of the working directory.
#pragma once

/// Records path (copied) as the run's working directory.
void SetWorkdir(const char* path);

/// The working directory, or null when there is none (yet, or any more).
const char* GetWorkdir();

/// Marks that the Java program has returned, so that the exit preparation
/// runs the profile's Cleanup hook.
void SetDoCleanup();

/// Shows "performing_cleanup", runs the profile's Cleanup once the Java
/// program has returned, and deletes the working directory.
void PrepareToExit();

/// Ends the process after the exit preparation with status 255, without
/// exit handlers and without flushing standard output.
[[noreturn]] void HandleSignalAndExit(int sig);

/// Ends the process after the exit preparation by the abort signal.
[[noreturn]] void HandleSignalAndAbort(int sig);

/// Deletes the tree at the working directory and forgets it; a second call
/// does nothing.
void DeleteWorkingDirectory();
