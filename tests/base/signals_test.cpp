#include "base/signals.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

#include "base/child_process.h"
#include "base/cleanup_registry.h"
#include "support/child.h"

namespace {

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

[[gnu::noinline]] int Overflow(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return depth < 0 ? 0 : Overflow(depth + 1) + frame[0];
}

// A crash of the launcher's own code can't wait for the main sequence: its
// handler ends the run at once, on its alternate stack also when the stack
// is used up. It ends the child first (one that ignores SIGTERM gets
// SIGKILL), writes the notice and removes what the registry holds. (0 stands
// for the stack overflow.)
TEST(Signals, AFaultOfTheProcessItselfEndsInsideItsHandler) {
  for (int sig : {SIGSEGV, SIGBUS, 0}) {
    test::ScratchDir dir;
    std::string work = dir.MakeDir("work"), lock = dir.Write("lock", "");
    dir.Write("work/a/b/c", "x");
    std::string pidFile = dir / "pid";
    EXPECT_EQ(
        test::InChild([&] {
          SetSignalEndings([](int) { _exit(3); }, [](int) { _exit(4); });
          for (int handled : {SIGSEGV, SIGBUS}) SetSignalAction(handled, SignalAction::kAbort);
          RegisterCleanup(CleanupItem::kWorkingDirectory, work.c_str());
          RegisterCleanup(CleanupItem::kLockFile, lock.c_str());
          SetCleanupNotice("cleaning\n");
          dup2(open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDOUT_FILENO);
          if (sig == SIGSEGV) {
            ChildSpec stubborn;
            stubborn.program = "/bin/sh";
            stubborn.args = {"sh", "-c", "trap '' TERM; echo $$ >" + pidFile + "; while :; do sleep 1; done"};
            pid_t child = StartChild(stubborn);
            while (access(pidFile.c_str(), F_OK) != 0) usleep(1000);
            SetSignalRecipient(child);
          }
          alarm(20);  // a handler that returned would meet the same fault for ever
          if (sig == 0) return std::to_string(Overflow(0));
          volatile char* page = FaultingPage(sig);
          if (page == nullptr) return std::string("no page");
          page[0] = 1;
          return std::string("no fault");
        }),
        "<child killed by signal 6>")
        << sig;
    struct stat st;
    EXPECT_NE(lstat(work.c_str(), &st), 0) << sig;
    EXPECT_NE(lstat(lock.c_str(), &st), 0) << sig;
    EXPECT_EQ(test::ReadFile(dir / "out"), "cleaning\n") << sig;
    if (sig == SIGSEGV) {
      pid_t shell = std::stoi("0" + test::ReadFile(pidFile));
      EXPECT_TRUE(shell > 0 && kill(shell, 0) != 0 && errno == ESRCH) << sig;
    }
  }
}

}  // namespace
