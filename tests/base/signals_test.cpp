#include "base/signals.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "support/child.h"

namespace {

int expected = 0;  // the signal the abort ending must be given

// A page whose first byte faults: one with no access at all (SIGSEGV), or
// one of a file that ends before it (SIGBUS).
volatile char* FaultingPage(int sig) {
  int fd = -1;
  if (sig == SIGBUS) {
    FILE* empty = tmpfile();
    if (empty == nullptr) return nullptr;
    fd = fileno(empty);
  }
  void* page = mmap(nullptr, 4096, sig == SIGBUS ? PROT_READ | PROT_WRITE : PROT_NONE,
                    sig == SIGBUS ? MAP_SHARED : MAP_PRIVATE | MAP_ANONYMOUS, fd, 0);
  return page == MAP_FAILED ? nullptr : static_cast<volatile char*>(page);
}

// A crash of the launcher's own code can't wait for the main sequence: its
// handler ends the run at once. Here the abort ending exits with 4.
TEST(Signals, AFaultOfTheProcessItselfEndsInsideItsHandler) {
  for (int sig : {SIGSEGV, SIGBUS}) {
    expected = sig;
    EXPECT_EQ(test::InChild([sig] {
                SetSignalEndings([](int) { _exit(3); }, [](int s) { _exit(s == expected ? 4 : 5); });
                SetSignalAction(sig, SignalAction::kAbort);
                alarm(10);  // a handler that returned would meet the same fault for ever
                volatile char* page = FaultingPage(sig);
                if (page == nullptr) return std::string("no page");
                page[0] = 1;
                return std::string("no fault");
              }),
              "<child exited 4>")
        << strsignal(sig);
  }
}

}  // namespace
