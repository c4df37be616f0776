#include "base/memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
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

// What std::terminate does when an exception escapes (nothing here throws
// on purpose): the C++ library's own handler does the same but names the
// exception's type through the library's demangler, which the launchers
// carry inside them; this one takes its place and leaves 48 KB out of every
// installer. The abort ends the run through the fault signal's cleanup.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  fflush(stdout);
  const char* what = "(not a std::exception)";
  if (std::exception_ptr escaped = std::current_exception()) {
    try {
      std::rethrow_exception(escaped);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
  }
  fprintf(stderr, "terminate called after throwing an exception: %s\n", what);
  abort();
}
}  // namespace __gnu_cxx
