// Signals are acted on in two steps. The handler does only async-signal-safe
// work: it records the signal, makes the wake-up pipe readable and, when it
// runs on another thread, passes the signal on to the main thread so that a
// blocking call there returns with EINTR. The main thread then cleans up in
// ordinary code, at the places where it waits or finishes a step
// (HandlePendingSignal), so cleanup never runs while a lock of the C
// library, the allocator or the toolkit is held by the code it interrupted.
// A real fault (SIGSEGV and the like raised by the kernel, or our own
// abort) can't be returned from, so that one is cleaned up inside the
// handler.
#include "core/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "core/termination.h"

namespace {

volatile sig_atomic_t pendingSignal = 0;
int wakeFds[2] = {-1, -1};
pthread_t mainThread;

bool EndsByAbort(int sig) {
  return sig == SIGABRT || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGPIPE ||
         sig == SIGQUIT || sig == SIGSEGV;
}

// True for a fault the process can't continue from: the kernel raised it
// for an instruction of ours, or abort() raised it.
bool IsFault(int sig, const siginfo_t* info) {
  if (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL) return info->si_code > 0;
  if (sig == SIGABRT) return info->si_code <= 0 && info->si_pid == getpid();
  return false;
}

void OnSignal(int sig, siginfo_t* info, void*) {
  int savedErrno = errno;
  if (IsFault(sig, info)) HandleSignalAndAbort(sig);
  if (pendingSignal == 0) pendingSignal = sig;
  if (wakeFds[1] >= 0) {
    ssize_t ignored = write(wakeFds[1], "!", 1);
    (void)ignored;
  }
  if (!pthread_equal(pthread_self(), mainThread)) pthread_kill(mainThread, sig);
  errno = savedErrno;
}

void Install(int sig, bool ignore) {
  struct sigaction action = {};
  sigfillset(&action.sa_mask);
  if (ignore) {
    action.sa_handler = SIG_IGN;
  } else {
    action.sa_sigaction = OnSignal;
    action.sa_flags = SA_SIGINFO;  // no SA_RESTART: waits must return on a signal
  }
  sigaction(sig, &action, nullptr);
}

}  // namespace

void InstallSignalDispositions() {
  mainThread = pthread_self();
  if (wakeFds[0] < 0 && pipe(wakeFds) == 0) {
    for (int fd : wakeFds) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  Install(SIGHUP, true);
#ifdef SIGPWR
  Install(SIGPWR, true);
#endif
  Install(SIGWINCH, true);
  Install(SIGALRM, false);
  Install(SIGINT, false);
#ifdef SIGPOLL
  Install(SIGPOLL, false);
#endif
  Install(SIGTERM, false);
  Install(SIGVTALRM, false);
  Install(SIGABRT, false);
  Install(SIGBUS, false);
  Install(SIGFPE, false);
  Install(SIGILL, false);
  Install(SIGPIPE, false);
  Install(SIGQUIT, false);
  Install(SIGSEGV, false);
}

void HandlePendingSignal() {
  int sig = pendingSignal;
  if (sig == 0) return;
  // Further signals must not cut the cleanup short.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  if (EndsByAbort(sig)) HandleSignalAndAbort(sig);
  HandleSignalAndExit(sig);
}

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
