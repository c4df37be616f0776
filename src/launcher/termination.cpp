#include "launcher/termination.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/delete_tree.h"
#include "base/signals.h"
#include "ui/output.h"

namespace {

std::optional<std::string> workdir;
void (*doCleanup)() = nullptr;

}  // namespace

void SetWorkdir(const char* path) { workdir = path; }

const char* GetWorkdir() { return workdir ? workdir->c_str() : nullptr; }

void SetDoCleanup(void (*cleanup)()) { doCleanup = cleanup; }

void InstallSignalDispositions() {
  SetSignalEndings(HandleSignalAndExit, HandleSignalAndAbort);
  const struct {
    int sig;
    SignalAction action;
  } dispositions[] = {
    {SIGHUP, SignalAction::kIgnore},
#ifdef SIGPWR
    {SIGPWR, SignalAction::kIgnore},
#endif
    {SIGWINCH, SignalAction::kIgnore}, {SIGALRM, SignalAction::kExit},
    {SIGINT, SignalAction::kExit},
#ifdef SIGPOLL
    {SIGPOLL, SignalAction::kExit},
#endif
    {SIGTERM, SignalAction::kExit},    {SIGVTALRM, SignalAction::kExit},
    {SIGABRT, SignalAction::kAbort},   {SIGBUS, SignalAction::kAbort},
    {SIGFPE, SignalAction::kAbort},    {SIGILL, SignalAction::kAbort},
    {SIGPIPE, SignalAction::kAbort},   {SIGQUIT, SignalAction::kAbort},
    {SIGSEGV, SignalAction::kAbort},
  };
  for (const auto& d : dispositions) SetSignalAction(d.sig, d.action);
}

void DeleteWorkingDirectory() {
  if (!workdir) return;
  DeleteFilesAndDirectories(workdir->c_str());
  workdir.reset();
}

void PrepareToExit() {
  ShowStatus("performing_cleanup");
  if (doCleanup != nullptr) doCleanup();
  DeleteWorkingDirectory();
}

// Standard output is flushed before the end, so that "performing_cleanup"
// and the progress before it reach a pipe or file, not only a terminal.
void HandleSignalAndExit(int) {
  PrepareToExit();
  fflush(stdout);
  _exit(255);
}

void HandleSignalAndAbort(int) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  PrepareToExit();
  fflush(stdout);
  sigaction(SIGABRT, &action, nullptr);
  abort();
}
