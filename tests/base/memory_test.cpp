#include "base/memory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/child.h"

namespace {

#ifndef __SANITIZE_ADDRESS__  // the sanitizer reports exhausted memory itself
TEST(OutOfMemory, EndsTheProcessWithStatus1AfterWhatWasPrintedAndItsMessage) {
#ifdef TEST_EMULATED
  GTEST_SKIP() << "qemu-user accepts setrlimit(RLIMIT_AS) but does not apply it; the native runs test this";
#endif
  test::ScratchDir dir;
  std::string log = dir / "log";
  EXPECT_EQ(test::InChild([&log] {
              // Both streams into one file, standard output buffered as it is then.
              int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
              if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0 || dup2(fd, STDERR_FILENO) < 0) return std::string("no log");
              setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
              struct rlimit limit = {1 << 30, 1 << 30};
              setrlimit(RLIMIT_AS, &limit);
              InstallOutOfMemoryHandler();
              fputs("progress\n", stdout);
              std::string huge(size_t{1} << 31, 'x');
              return std::string("allocated");
            }),
            "<child exited 1>");
  EXPECT_EQ(test::ReadFile(log), "progress\nOut of memory: Cannot allocate memory\n");
}
#endif

}  // namespace
