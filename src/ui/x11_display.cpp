#include "ui/x11_display.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "base/signals.h"
#include "base/unique_fd.h"

namespace {

// libX11's own names and types, with the display as an opaque pointer.
using OpenDisplayFunc = void* (*)(const char*);
using CloseDisplayFunc = int (*)(void*);

// Opens the display with a libX11 of its own, apart from the toolkit's, and
// closes it again.
bool OpenAndCloseDisplay() {
  void* libx11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (libx11 == nullptr) return false;
  auto openDisplay = reinterpret_cast<OpenDisplayFunc>(dlsym(libx11, "XOpenDisplay"));
  auto closeDisplay = reinterpret_cast<CloseDisplayFunc>(dlsym(libx11, "XCloseDisplay"));
  bool reachable = false;
  if (openDisplay != nullptr && closeDisplay != nullptr) {
    if (void* display = openDisplay(nullptr)) {
      closeDisplay(display);
      reachable = true;
    }
  }
  dlclose(libx11);
  return reachable;
}

}  // namespace

bool RunWatchingSignals(bool (*work)()) {
  int done[2];
  if (pipe2(done, O_CLOEXEC) != 0) return work();
  UniqueFd doneRead(done[0]), doneWrite(done[1]);
  struct Job {
    bool (*work)();
    int doneFd;
    bool result;
  } job = {work, doneWrite.get(), false};
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    auto* running = static_cast<Job*>(argument);
    running->result = running->work();
    ssize_t ignored = write(running->doneFd, "!", 1);
    (void)ignored;
    return nullptr;
  };
  if (pthread_create(&thread, nullptr, run, &job) != 0) return work();
  while (!WaitForReadable(doneRead.get(), -1)) {
  }
  pthread_join(thread, nullptr);
  return job.result;
}

bool IsDisplayReachable() { return RunWatchingSignals(OpenAndCloseDisplay); }
