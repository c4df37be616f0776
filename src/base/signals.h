// The signal plumbing. A handled termination signal is only recorded by its
// handler, which wakes whatever the main thread waits on; the main thread
// acts on it there or between steps, through the endings its owner
// registers, so that no cleanup runs while the code a signal interrupted
// holds a lock of the C library, the allocator or the toolkit. A fault
// raised by the kernel for the code that runs (or the process's own abort)
// can't be returned from, so that one is ended inside the handler, on an
// alternate stack, with async-signal-safe calls only: the runtime child is
// ended, the notice of the cleanup registry written and its items removed.
//
// Every ending ends the child first: the recipient gets the termination
// signal (SIGTERM for the abort endings, whose signals a Java runtime takes
// for a thread dump or ignores), and one still there after a short grace
// gets SIGKILL.
#pragma once

#include <sys/types.h>

#include <memory>

/// What a signal does to the run.
enum class SignalAction {
  kIgnore,  // nothing; children inherit the ignored disposition
  kExit,    // the registered exit ending
  kAbort,   // the registered abort ending
};

/// The endings that handled signals lead to on the main thread; both are
/// called with the signal's number, after the recipient has ended, and must
/// not return. Also gives the calling (main) thread an alternate signal
/// stack. Register them before SetSignalAction.
void SetSignalEndings(void (*exitEnding)(int), void (*abortEnding)(int));

/// Gives sig its action. Handled signals run on the alternate stack with
/// every signal blocked and do not restart interrupted calls, so that waits
/// return on a signal. Call from the main thread.
void SetSignalAction(int sig, SignalAction action);

/// When a handled signal has arrived, blocks every signal, ends the
/// recipient and calls the signal's ending; otherwise returns at once. Main
/// thread only.
void HandlePendingSignal();

/// The process (or, negative, the process group) that an ending must end
/// before anything is removed: the child the run waits for. 0 for none.
void SetSignalRecipient(pid_t recipient);

/// Makes the end of any child of this process wake WaitForReadable. Idempotent;
/// StartChild calls it.
void WatchChildren();

/// Waits up to ms milliseconds (a negative ms: for as long as it takes) for
/// fd to become readable (fd -1: for nothing but the time), returning early
/// when a child of a watched process ends or a handled signal arrives, and
/// acting on such a signal at once. True when fd is readable (or at its end).
/// Main thread only.
bool WaitForReadable(int fd, int ms);

/// True when a handled signal has arrived and waits for the main thread to
/// act on it. Any thread, also from a signal handler.
bool IsSignalPending();

/// Gives the calling thread an alternate signal stack of its own for as long
/// as the object lives, so that a fault of a thread that ran out of stack
/// still ends inside its handler.
class AlternateSignalStack {
 public:
  AlternateSignalStack();
  ~AlternateSignalStack();
  AlternateSignalStack(const AlternateSignalStack&) = delete;
  AlternateSignalStack& operator=(const AlternateSignalStack&) = delete;

 private:
  std::unique_ptr<char[]> stack_;
};
