// Only async-signal-safe calls below OnSignal: it records the signal, makes
// the wake-up pipe readable and, when it runs on another thread, passes the
// signal on to the main thread so that a blocking call there returns with
// EINTR; a fault it ends at once.
#include "base/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <new>

#include "base/cleanup_registry.h"

namespace {

// How long a child may take to end after the termination signal.
constexpr long kGraceMs = 2000;
// Big enough for the endings, which keep their buffers outside the stack.
constexpr size_t kAltStackSize = 64 * 1024;

volatile sig_atomic_t pendingSignal = 0;
// Written by the main thread before any handler is installed.
SignalAction actions[NSIG];
int wakeFds[2] = {-1, -1};
pthread_t mainThread;
void (*exitEnding)(int) = nullptr;
void (*abortEnding)(int) = nullptr;
std::atomic<pid_t> recipient{0};
// Claimed by the first ending; the thread that claimed it.
std::atomic<bool> ending{false};
pthread_t endingThread;
alignas(16) char mainAltStack[kAltStackSize];

void Wake() {
  if (wakeFds[1] >= 0) {
    ssize_t ignored = write(wakeFds[1], "!", 1);
    (void)ignored;
  }
}

void MakeWakePipe() {
  if (wakeFds[0] < 0 && pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) wakeFds[0] = wakeFds[1] = -1;
}

void SleepMs(long ms) {
  timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// Ends the recipient: sig first, SIGKILL when it is still there after the
// grace, and reaps it. Async-signal-safe.
void EndRecipient(int sig) {
  pid_t target = recipient.exchange(0);
  if (target == 0) return;
  pid_t pid = target < 0 ? -target : target;
  kill(target, sig);
  int status;
  for (long waited = 0; waited < kGraceMs; waited += 10) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) {
      // What the leader of a group started goes with it.
      if (target < 0) kill(target, SIGKILL);
      return;
    }
    SleepMs(10);
  }
  kill(target, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// True for a fault the process can't continue from: the kernel raised it
// for an instruction of ours, or abort() raised it.
bool IsFault(int sig, const siginfo_t* info) {
  if (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL) return info->si_code > 0;
  if (sig == SIGABRT) return info->si_code <= 0 && info->si_pid == getpid();
  return false;
}

[[noreturn]] void AbortNow() {
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  sigaction(SIGABRT, &defaults, nullptr);
  abort();
}

// The ending of a fault, inside its handler.
[[noreturn]] void EndFault() {
  if (ending.exchange(true)) {
    // Another thread's ending ends the process soon; one of this thread's
    // own that faulted can't be finished.
    if (!pthread_equal(pthread_self(), endingThread)) SleepMs(4 * kGraceMs);
    AbortNow();
  }
  endingThread = pthread_self();
  EndRecipient(SIGTERM);
  WriteCleanupNotice();
  RunCleanup(CleanupItem::kWorkingDirectory);
  RunCleanup(CleanupItem::kLockFile);
  AbortNow();
}

void OnSignal(int sig, siginfo_t* info, void*) {
  if (IsFault(sig, info)) EndFault();
  int savedErrno = errno;
  if (pendingSignal == 0) pendingSignal = sig;
  Wake();
  if (!pthread_equal(pthread_self(), mainThread)) pthread_kill(mainThread, sig);
  errno = savedErrno;
}

void OnChildEnded(int) {
  int savedErrno = errno;
  Wake();
  errno = savedErrno;
}

}  // namespace

void SetSignalEndings(void (*onExit)(int), void (*onAbort)(int)) {
  exitEnding = onExit;
  abortEnding = onAbort;
  mainThread = pthread_self();
  MakeWakePipe();
  stack_t stack = {};
  stack.ss_sp = mainAltStack;
  stack.ss_size = sizeof mainAltStack;
  sigaltstack(&stack, nullptr);
}

void SetSignalAction(int sig, SignalAction action) {
  actions[sig] = action;
  struct sigaction disposition = {};
  sigfillset(&disposition.sa_mask);
  if (action == SignalAction::kIgnore) {
    disposition.sa_handler = SIG_IGN;
  } else {
    disposition.sa_sigaction = OnSignal;
    // No SA_RESTART: waits must return on a signal.
    disposition.sa_flags = SA_SIGINFO | SA_ONSTACK;
  }
  sigaction(sig, &disposition, nullptr);
}

void HandlePendingSignal() {
  int sig = pendingSignal;
  if (sig == 0) return;
  // Further signals must not cut the ending short.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  ending = true;
  endingThread = pthread_self();
  bool abortive = actions[sig] == SignalAction::kAbort;
  EndRecipient(abortive ? SIGTERM : sig);
  if (abortive) abortEnding(sig);
  exitEnding(sig);
}

void SetSignalRecipient(pid_t pid) { recipient = pid; }

void WatchChildren() {
  static bool watching = false;
  if (watching) return;
  MakeWakePipe();
  struct sigaction disposition = {};
  sigfillset(&disposition.sa_mask);
  disposition.sa_handler = OnChildEnded;
  disposition.sa_flags = SA_RESTART | SA_NOCLDSTOP | SA_ONSTACK;
  watching = sigaction(SIGCHLD, &disposition, nullptr) == 0;
}

bool WaitForReadable(int fd, int ms) {
  HandlePendingSignal();
  // poll skips negative descriptors. Without a wake-up pipe (none could be
  // made) the wait looks again every few milliseconds instead.
  struct pollfd watched[2] = {{wakeFds[0], POLLIN, 0}, {fd, POLLIN, 0}};
  if (wakeFds[0] < 0 && (ms < 0 || ms > 20)) ms = 20;
  int ready = poll(watched, 2, ms);
  if (ready > 0 && (watched[0].revents & POLLIN)) {
    char drained[64];
    while (read(wakeFds[0], drained, sizeof drained) > 0) {
    }
  }
  HandlePendingSignal();
  return ready > 0 && fd >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool IsSignalPending() { return pendingSignal != 0; }

AlternateSignalStack::AlternateSignalStack() : stack_(new (std::nothrow) char[kAltStackSize]) {
  stack_t stack = {};
  stack.ss_sp = stack_.get();
  stack.ss_size = kAltStackSize;
  if (stack_ && sigaltstack(&stack, nullptr) != 0) stack_.reset();
}

AlternateSignalStack::~AlternateSignalStack() {
  if (!stack_) return;
  stack_t none = {};
  none.ss_flags = SS_DISABLE;
  sigaltstack(&none, nullptr);
}
