#include "base/memory.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "support/child.h"

namespace {

#ifndef __SANITIZE_ADDRESS__  // the sanitizer reports exhausted memory itself
TEST(OutOfMemory, EndsTheProcessWithStatus1AfterItsMessage) {
#ifdef TEST_EMULATED
  GTEST_SKIP() << "qemu-user accepts setrlimit(RLIMIT_AS) but does not apply it; the native runs test this";
#endif
  EXPECT_EQ(test::InChild([] {
              struct rlimit limit = {1 << 30, 1 << 30};
              setrlimit(RLIMIT_AS, &limit);
              InstallOutOfMemoryHandler();
              std::string huge(size_t{1} << 31, 'x');
              return std::string("allocated");
            }),
            "<child exited 1>");
}
#endif

}  // namespace
