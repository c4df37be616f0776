// Signal dispositions of the launcher and the places where the main thread
// acts on a signal that arrived.
#pragma once

/// Installs the launcher's dispositions: SIGHUP, SIGPWR and SIGWINCH
/// ignored; SIGALRM, SIGINT, SIGPOLL, SIGTERM and SIGVTALRM end the run with
/// status 255 after cleaning up; SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGPIPE,
/// SIGQUIT and SIGSEGV end it by the abort signal after cleaning up. Each
/// handler runs with every signal blocked. Call from the main thread.
void InstallSignalDispositions();

/// When a handled signal has arrived, cleans up and ends the process as that
/// signal's disposition says; otherwise returns at once. Main thread only.
void HandlePendingSignal();

/// Waits up to ms milliseconds, returning early when a handled signal has
/// arrived, and acts on such a signal.
void WaitForSignal(int ms);

/// Sleeps for the given seconds, acting on handled signals meanwhile.
void SleepFor(unsigned seconds);
