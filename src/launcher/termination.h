// The end of a run: the signal dispositions, the exit preparation, the
// signal endings and the removal of the working directory.
#pragma once

/// Records path as the run's working directory, which every ending of the
/// run removes (false when the path is too long to record), and renders the
/// "performing_cleanup" text that a fault's ending shows.
bool SetWorkdir(const char* path);

/// The working directory, or null when there is none (yet, or any more).
const char* GetWorkdir();

/// Marks that the Java program has returned: the exit preparation then runs
/// the profile's clean-up step, cleanup.
void SetDoCleanup(void (*cleanup)());

/// Installs the launcher's dispositions: SIGHUP, SIGPWR and SIGWINCH
/// ignored; SIGALRM, SIGINT, SIGPOLL, SIGTERM and SIGVTALRM end the run with
/// status 255 after cleaning up; SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGPIPE,
/// SIGQUIT and SIGSEGV end it by the abort signal after cleaning up.
void InstallSignalDispositions();

/// Shows "performing_cleanup", runs the profile's clean-up step once the
/// Java program has returned, and deletes the working directory.
void PrepareToExit();

/// Ends the process after the exit preparation and the removal of the lock
/// file with status 255, without exit handlers.
[[noreturn]] void HandleSignalAndExit(int sig);

/// Ends the process after the exit preparation and the removal of the lock
/// file by the abort signal.
[[noreturn]] void HandleSignalAndAbort(int sig);

/// Deletes the tree at the working directory and forgets it; a second call
/// does nothing.
void DeleteWorkingDirectory();
