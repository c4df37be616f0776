#include "launcher/termination.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "base/cleanup_registry.h"
#include "base/signals.h"
#include "ui/catalogue.h"
#include "ui/output.h"

namespace {

void (*doCleanup)() = nullptr;

}  // namespace

bool SetWorkdir(const char* path) {
  // Rendered now, in the locale the run settled on: a fault's ending can
  // only write what is ready.
  SetCleanupNotice(GetPrintedMessage("performing_cleanup").c_str());
  return RegisterCleanup(CleanupItem::kWorkingDirectory, path);
}

const char* GetWorkdir() { return GetCleanupPath(CleanupItem::kWorkingDirectory); }

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
      {SIGWINCH, SignalAction::kIgnore}, {SIGALRM, SignalAction::kExit},   {SIGINT, SignalAction::kExit},
#ifdef SIGPOLL
      {SIGPOLL, SignalAction::kExit},
#endif
      {SIGTERM, SignalAction::kExit},    {SIGVTALRM, SignalAction::kExit}, {SIGABRT, SignalAction::kAbort},
      {SIGBUS, SignalAction::kAbort},    {SIGFPE, SignalAction::kAbort},   {SIGILL, SignalAction::kAbort},
      {SIGPIPE, SignalAction::kAbort},   {SIGQUIT, SignalAction::kAbort},  {SIGSEGV, SignalAction::kAbort},
  };
  for (const auto& d : dispositions) SetSignalAction(d.sig, d.action);
}

void DeleteWorkingDirectory() { RunCleanup(CleanupItem::kWorkingDirectory); }

void PrepareToExit() {
  ShowStatus("performing_cleanup");
  if (doCleanup != nullptr) doCleanup();
  DeleteWorkingDirectory();
}

// The exit handlers don't run after a signal, so the lock file goes here.
// Standard output is flushed before the end, so that "performing_cleanup"
// and the progress before it reach a pipe or file, not only a terminal.
void HandleSignalAndExit(int) {
  PrepareToExit();
  RunCleanup(CleanupItem::kLockFile);
  fflush(stdout);
  _exit(255);
}

void HandleSignalAndAbort(int) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  PrepareToExit();
  RunCleanup(CleanupItem::kLockFile);
  fflush(stdout);
  sigaction(SIGABRT, &action, nullptr);
  abort();
}
