#include "base/child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

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
  if (spec.programFd >= 0) {
    // A script started from its descriptor is read by its interpreter
    // through /dev/fd, so the descriptor must survive the exec.
    fcntl(spec.programFd, F_SETFD, 0);
    fexecve(spec.programFd, argv, env);
  } else {
    execve(spec.program.c_str(), argv, env);
  }
  WriteText(STDERR_FILENO, spec.execFailureText);
  _exit(spec.execFailureStatus);
}

}  // namespace

pid_t StartChild(const ChildSpec& spec) {
  std::vector<char*> argv = Pointers(spec.args);
  std::vector<char*> envp;
  if (spec.env) envp = Pointers(*spec.env);
  fflush(nullptr);
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

bool WaitForChild(pid_t pid, int* status) {
  // waitpid can't also wait for the signal descriptor, so the child is polled
  // every few milliseconds while a signal wakes the wait at once; a blocking
  // waitpid could sleep through a signal that arrived just before it.
  for (;;) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno != EINTR) return false;
    WaitForSignal(20);
  }
}

int ExitCodeOr(int status, int fallback) { return WIFEXITED(status) ? WEXITSTATUS(status) : fallback; }
