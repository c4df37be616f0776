// The handler does only async-signal-safe work: it records the signal, makes
// the wake-up pipe readable and, when it runs on another thread, passes the
// signal on to the main thread so that a blocking call there returns with
// EINTR.
#include "base/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

namespace {

volatile sig_atomic_t pendingSignal = 0;
// Written by the main thread before any handler is installed.
SignalAction actions[NSIG];
int wakeFds[2] = {-1, -1};
pthread_t mainThread;
void (*exitEnding)(int) = nullptr;
void (*abortEnding)(int) = nullptr;
pid_t recipient = 0;

// True for a fault the process can't continue from: the kernel raised it
// for an instruction of ours, or abort() raised it.
bool IsFault(int sig, const siginfo_t* info) {
  if (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL) return info->si_code > 0;
  if (sig == SIGABRT) return info->si_code <= 0 && info->si_pid == getpid();
  return false;
}

void OnSignal(int sig, siginfo_t* info, void*) {
  if (IsFault(sig, info)) abortEnding(sig);
  int savedErrno = errno;
  if (pendingSignal == 0) pendingSignal = sig;
  if (wakeFds[1] >= 0) {
    ssize_t ignored = write(wakeFds[1], "!", 1);
    (void)ignored;
  }
  if (!pthread_equal(pthread_self(), mainThread)) pthread_kill(mainThread, sig);
  errno = savedErrno;
}

}  // namespace

void SetSignalEndings(void (*onExit)(int), void (*onAbort)(int)) {
  exitEnding = onExit;
  abortEnding = onAbort;
  mainThread = pthread_self();
  if (wakeFds[0] < 0 && pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) wakeFds[0] = wakeFds[1] = -1;
}

void SetSignalAction(int sig, SignalAction action) {
  actions[sig] = action;
  struct sigaction disposition = {};
  sigfillset(&disposition.sa_mask);
  if (action == SignalAction::kIgnore) {
    disposition.sa_handler = SIG_IGN;
  } else {
    disposition.sa_sigaction = OnSignal;
    disposition.sa_flags = SA_SIGINFO;  // no SA_RESTART: waits must return on a signal
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
  if (actions[sig] == SignalAction::kAbort) abortEnding(sig);
  if (recipient != 0) kill(recipient, sig);
  exitEnding(sig);
}

void SetSignalRecipient(pid_t pid) { recipient = pid; }

void WaitForSignal(int ms) {
  HandlePendingSignal();
  struct pollfd p = {wakeFds[0], POLLIN, 0};
  poll(&p, 1, ms);
  HandlePendingSignal();
}

namespace {

long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

}  // namespace

void SleepFor(unsigned seconds) {
  long long end = NowMs() + seconds * 1000LL;
  for (long long now = NowMs(); now < end; now = NowMs()) WaitForSignal(static_cast<int>(end - now));
}
