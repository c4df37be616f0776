#include "base/memory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <stdexcept>
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

// An exception that escapes ends the process with SIGABRT after saying what
// it was; where the C++ library is linked in (the launchers), through the
// handler that replaces the library's, whose demangler it leaves out.
TEST(Terminate, SaysWhatEscapedAndAborts) {
  test::ScratchDir dir;
  std::string log = dir / "log";
  EXPECT_EQ(test::InChild([&log] {
              int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
              if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) return std::string("no log");
              signal(SIGABRT, SIG_DFL);
              InstallOutOfMemoryHandler();  // as the launchers do, first thing
              try {
                throw std::length_error("a string too long");
              } catch (...) {
                std::terminate();  // as when it leaves a function that may not throw
              }
              return std::string("went on");
            }),
            "<child killed by signal " + std::to_string(SIGABRT) + ">");
  std::string said = test::ReadFile(log);
  EXPECT_NE(said.find("a string too long"), std::string::npos) << said;
#ifdef TEST_CXX_LIBRARY_INSIDE
  // qemu-user adds a line of its own about the signal.
  EXPECT_EQ(said.substr(0, said.find('\n') + 1), "terminate called after throwing an exception: a string too long\n");
#endif
}

}  // namespace
