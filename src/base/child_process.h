// Starting and reaping child processes: the version probe, the Java runtime,
// the upgrade script and the packager's jlink.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

/// How a child is started. Everything it needs is made before the fork: the
/// process may have threads, so the child only calls async-signal-safe
/// functions (dup2, close, exec, write, _exit).
struct ChildSpec {
  std::string program;                          // the file to execute
  const struct stat* expected = nullptr;        // when set, program must still be this file
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

/// A pipe from a child that WaitForChild drains while it waits, so that no
/// amount of output can block the child.
struct ChildOutput {
  int fd = -1;                  // the pipe's reading end
  std::string* text = nullptr;  // receives the first limit bytes read
  size_t limit = 0;
};

/// How a wait for a child ended.
enum class ChildWait {
  kEnded,     // the child ended; its status word is stored
  kTimedOut,  // the time limit passed first; the child still runs
  kFailed,    // the wait itself failed
};

/// Waits for pid to end, at most limitMs milliseconds (negative: for as long
/// as it takes), and stores its status word. Meanwhile output (when given)
/// is drained; once the child has ended, what is still waiting in the pipe
/// is read too, but not what a descendant that holds the pipe open may
/// write later. A handled signal that arrives meanwhile is acted on at once
/// (SetSignalRecipient decides whom its ending ends first).
ChildWait WaitForChild(pid_t pid, int* status, int limitMs = -1, ChildOutput* output = nullptr);

/// The exit code of a child that ended normally, else fallback.
int ExitCodeOr(int status, int fallback);
