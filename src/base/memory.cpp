#include "base/memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void OutOfMemory() {
  // What standard output holds goes first, so that both streams into one
  // file keep the order of the run.
  fflush(stdout);
  errno = ENOMEM;
  perror("Out of memory");
  exit(1);
}

}  // namespace

void InstallOutOfMemoryHandler() { std::set_new_handler(OutOfMemory); }
