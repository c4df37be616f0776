// The signal plumbing. A handled signal is only recorded by its handler; the
// main thread acts on it where it waits or between steps, through the
// endings its owner registers, so that no cleanup ever runs while a lock of
// the C library, the allocator or the toolkit is held by the code a signal
// interrupted. A fault raised by the kernel for the code that runs (or the
// process's own abort) can't be returned from, so that one is ended inside
// the handler.
#pragma once

#include <sys/types.h>

/// What a signal does to the run.
enum class SignalAction {
  kIgnore,  // nothing; children inherit the ignored disposition
  kExit,    // the registered exit ending
  kAbort,   // the registered abort ending
};

/// The endings that handled signals lead to; both are called with the
/// signal's number and must not return. Register them before SetSignalAction.
void SetSignalEndings(void (*exitEnding)(int), void (*abortEnding)(int));

/// Gives sig its action. Handled signals run with every signal blocked and
/// do not restart interrupted calls, so that waits return on a signal. Call
/// from the main thread.
void SetSignalAction(int sig, SignalAction action);

/// When a handled signal has arrived, blocks every signal and calls its
/// ending, passing a termination signal on to the recipient first;
/// otherwise returns at once. Main thread only.
void HandlePendingSignal();

/// The process (or, negative, the process group) that a termination signal
/// is passed on to before the run ends: the child the run waits for. 0 for
/// none.
void SetSignalRecipient(pid_t recipient);

/// Waits up to ms milliseconds, returning early when a handled signal
/// arrives, and acts on such a signal.
void WaitForSignal(int ms);

/// Sleeps for the given seconds, acting on handled signals meanwhile.
void SleepFor(unsigned seconds);
