// Starting and reaping the child processes of the launcher (the version probe,
// the Java runtime, the upgrade script).
#pragma once

#include <sys/types.h>

/// Forks a child that is about to exec. Every signal is blocked across the
/// fork, so that no handler of the launcher can run in the child; in the
/// parent the previous mask is back in force when this returns. In the child
/// (result 0) every signal that had a handler is back at its default
/// disposition (ignored signals stay ignored) and no signal is blocked. The
/// launcher may have more than one thread, so the child may only call
/// async-signal-safe functions (exec, write, _exit) after this.
/// Returns the child's process id, 0 in the child, -1 when fork failed.
pid_t ForkForExec();

/// Waits for pid to end and stores its status word; returns false when the
/// wait fails. A handled signal that arrives meanwhile is acted on at once
/// (the launcher then cleans up and ends).
bool WaitForChild(pid_t pid, int* status);

/// Writes the whole of text to descriptor fd; safe in a forked child.
void WriteText(int fd, const char* text, size_t length);
