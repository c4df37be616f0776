#include "core/termination.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "core/delete_tree.h"
#include "core/memory.h"
#include "core/profile.h"
#include "ui/output.h"

namespace {

char* workdir = nullptr;
bool doCleanup = false;

}  // namespace

void SetWorkdir(const char* path) {
  free(workdir);
  workdir = path ? StrDup(path) : nullptr;
}

const char* GetWorkdir() { return workdir; }

void SetDoCleanup() { doCleanup = true; }

void DeleteWorkingDirectory() {
  if (workdir == nullptr) return;
  DeleteFilesAndDirectories(workdir, nullptr);
  free(workdir);
  workdir = nullptr;
}

void PrepareToExit() {
  ShowStatus("performing_cleanup");
  if (doCleanup) Cleanup();
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
  action.sa_flags = 0;
  PrepareToExit();
  fflush(stdout);
  sigaction(SIGABRT, &action, nullptr);
  abort();
}
