#include "base/signals.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>

#include "support/child.h"

namespace {

// A crash of the launcher's own code can't wait for the main sequence: its
// handler ends the run at once. Here the abort ending exits with 4.
TEST(Signals, AFaultOfTheProcessItselfEndsInsideItsHandler) {
  EXPECT_EQ(test::InChild([] {
              SetSignalEndings([](int) { _exit(3); }, [](int sig) { _exit(sig == SIGSEGV ? 4 : 5); });
              SetSignalAction(SIGSEGV, SignalAction::kAbort);
              alarm(10);  // a handler that returned would meet the same fault for ever
              void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
              if (page != MAP_FAILED) static_cast<volatile char*>(page)[0] = 1;
              return std::string("no fault");
            }),
            "<child exited 4>");
}

}  // namespace
