#include "core/memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

[[noreturn]] void OutOfMemory() {
  errno = ENOMEM;
  perror("Out of memory");
  exit(1);
}

// A failed operator new ends the process exactly as MemAlloc does, so that
// std::string and std::vector share the allocator's contract.
const bool newHandlerInstalled = [] {
  std::set_new_handler(OutOfMemory);
  return true;
}();

}  // namespace

void* MemAlloc(size_t size) {
  // malloc(0) may legitimately return null; one byte keeps "never null".
  void* p = malloc(size == 0 ? 1 : size);
  if (p == nullptr) OutOfMemory();
  return p;
}

char* StrDup(const char* s) {
  size_t n = strlen(s) + 1;
  char* copy = static_cast<char*>(MemAlloc(n));
  memcpy(copy, s, n);
  return copy;
}
