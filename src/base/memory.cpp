#include "base/memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void OutOfMemory() {
  errno = ENOMEM;
  perror("Out of memory");
  exit(1);
}

}  // namespace

void InstallOutOfMemoryHandler() { std::set_new_handler(OutOfMemory); }
