#include "base/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "base/signals.h"

extern char** environ;

namespace {

// In the child only: handlers belong to this process's own state (its
// working directory, its lock file), so a signal that arrives before the
// exec must take its default action instead.
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

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// In the child, where no handler can interrupt a write.
void WriteText(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

[[noreturn]] void RunChild(const ChildSpec& spec, char* const* argv, char* const* envp) {
  ResetSignalsForExec();
  if (spec.ownProcessGroup) setpgid(0, 0);
  if (spec.stdoutTo >= 0) dup2(spec.stdoutTo, STDOUT_FILENO);
  if (spec.stderrTo >= 0) dup2(spec.stderrTo, STDERR_FILENO);
  if (spec.closeStdinStdout) {
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
  }
  char** env = envp != nullptr ? const_cast<char**>(envp) : environ;
  // The last look before the exec: the path must still lead to the file the
  // parent checked.
  struct stat now;
  if (spec.expected == nullptr ||
      (stat(spec.program.c_str(), &now) == 0 && now.st_dev == spec.expected->st_dev &&
       now.st_ino == spec.expected->st_ino))
    execve(spec.program.c_str(), argv, env);
  WriteText(STDERR_FILENO, spec.execFailureText);
  _exit(spec.execFailureStatus);
}

}  // namespace

pid_t StartChild(const ChildSpec& spec) {
  std::vector<char*> argv = Pointers(spec.args);
  std::vector<char*> envp;
  if (spec.env) envp = Pointers(*spec.env);
  fflush(nullptr);
  WatchChildren();
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  pid_t pid = fork();
  if (pid == 0) RunChild(spec, argv.data(), spec.env ? envp.data() : nullptr);
  int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = forkError;
  return pid;
}

namespace {

long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// Reads once from output's pipe; false at its end or on a failure.
bool ReadOutput(ChildOutput* output) {
  char buffer[4096];
  ssize_t n = read(output->fd, buffer, sizeof buffer);
  if (n < 0 && errno == EINTR) return true;
  if (n <= 0) return false;
  size_t room = output->limit - std::min(output->limit, output->text->size());
  output->text->append(buffer, std::min(static_cast<size_t>(n), room));
  return true;
}

}  // namespace

ChildWait WaitForChild(pid_t pid, int* status, int limitMs, ChildOutput* output) {
  // The end of a child wakes the wait (WatchChildren), and so does a signal:
  // whichever comes between the look at the child and the wait leaves the
  // wake-up pipe readable, so none is slept through.
  long long deadline = limitMs < 0 ? -1 : NowMs() + limitMs;
  int fd = output != nullptr ? output->fd : -1;
  for (;;) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) {
      for (pollfd waiting = {fd, POLLIN, 0}; fd >= 0 && poll(&waiting, 1, 0) > 0 && ReadOutput(output);) {
      }
      return ChildWait::kEnded;
    }
    if (done < 0 && errno != EINTR) return ChildWait::kFailed;
    long long left = deadline < 0 ? -1 : deadline - NowMs();
    if (deadline >= 0 && left <= 0) return ChildWait::kTimedOut;
    if (WaitForReadable(fd, static_cast<int>(left)) && fd >= 0 && !ReadOutput(output)) fd = -1;
  }
}

int ExitCodeOr(int status, int fallback) { return WIFEXITED(status) ? WEXITSTATUS(status) : fallback; }
