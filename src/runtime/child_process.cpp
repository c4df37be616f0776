#include "runtime/child_process.h"

#include "core/signals.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// In the child only: handlers belong to the launcher's own state (its working
// directory, its lock file), so a signal that arrives before the exec must
// take its default action instead.
void ResetSignalsForExec() {
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction current;
    if (sigaction(sig, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) continue;
    struct sigaction initial = {};
    initial.sa_handler = SIG_DFL;
    sigemptyset(&initial.sa_mask);
    sigaction(sig, &initial, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace

pid_t ForkForExec() {
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  pid_t pid = fork();
  if (pid == 0) {
    ResetSignalsForExec();
    return 0;
  }
  int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = forkError;
  return pid;
}

bool WaitForChild(pid_t pid, int* status) {
  // waitpid can't also wait for the launcher's signal descriptor, so the
  // child is polled every few milliseconds while a signal wakes the wait at
  // once; a blocking waitpid could sleep through a signal that arrived just
  // before it.
  for (;;) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno != EINTR) return false;
    WaitForSignal(20);
  }
}

void WriteText(int fd, const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}
