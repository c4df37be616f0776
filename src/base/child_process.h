// Starting and reaping child processes: the version probe, the Java runtime,
// the upgrade script and the packager's jlink.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

/// How a child is started. Everything it needs is made before the fork: the
/// process may have threads, so the child only calls async-signal-safe
/// functions (dup2, close, exec, write, _exit).
struct ChildSpec {
  std::string program;                          // the file to execute
  int programFd = -1;                           // or this descriptor of it (then program names it)
  std::vector<std::string> args;                // its argument vector, argv[0] included
  std::optional<std::vector<std::string>> env;  // its environment; none: this process's
  int stdoutTo = -1;                            // made its standard output when not -1
  int stderrTo = -1;                            // made its standard error when not -1
  bool closeStdinStdout = false;                // descriptors 0 and 1 closed
  bool ownProcessGroup = false;                 // leads a process group of its own
  std::string execFailureText;                  // written to standard error when exec fails
  int execFailureStatus = 127;                  // then the child's exit status
};

/// Flushes every output stream and starts the child. Every signal is blocked
/// across the fork, so that no handler of this process runs in the child;
/// there, handled signals are back at their defaults (ignored ones stay
/// ignored) and none is blocked. Returns the child's process id, or -1 when
/// the fork failed.
pid_t StartChild(const ChildSpec& spec);

/// Waits for pid to end and stores its status word; false when the wait
/// fails. A handled signal that arrives meanwhile is acted on at once.
bool WaitForChild(pid_t pid, int* status);

/// The exit code of a child that ended normally, else fallback.
int ExitCodeOr(int status, int fallback);
