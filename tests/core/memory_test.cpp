#include "core/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"

namespace {

// Large enough that no allocator can satisfy it, small enough not to be
// refused as an impossible size before malloc is asked.
volatile size_t hugeSize = SIZE_MAX / 4;

void SayExitHandlerRan() { fputs("[exit handler ran]\n", stderr); }

TEST(MemAlloc, ReturnsWritableBlocksAndCopies) {
  char* p = static_cast<char*>(MemAlloc(16));
  memset(p, 'x', 16);
  free(p);
  char* copy = StrDup("abc");
  EXPECT_STREQ(copy, "abc");
  free(copy);
  char* empty = StrDup("");
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  free(empty);
}

TEST(MemAlloc, ExhaustedMemoryEndsWithPerrorAndStatusOne) {
  test::ChildResult r = test::RunInChild([] {
    atexit(SayExitHandlerRan);
    MemAlloc(hugeSize);
    return std::string("returned");
  });
  EXPECT_TRUE(r.exited(1)) << r.Describe();
  EXPECT_EQ(r.value, "");
  // exit, not _exit: the exit handlers run after the message.
  const std::string expected = "Out of memory: Cannot allocate memory\n[exit handler ran]\n";
  ASSERT_GE(r.err.size(), expected.size()) << r.err;
  EXPECT_EQ(r.err.substr(r.err.size() - expected.size()), expected);
}

TEST(MemAlloc, FailedOperatorNewEndsTheSameWay) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer replaces operator new and reports exhaustion itself";
#endif
  test::ChildResult r = test::RunInChild([] {
    std::vector<char> v;
    v.reserve(hugeSize);
    return std::string("returned");
  });
  EXPECT_TRUE(r.exited(1)) << r.Describe();
  const std::string expected = "Out of memory: Cannot allocate memory\n";
  ASSERT_GE(r.err.size(), expected.size()) << r.err;
  EXPECT_EQ(r.err.substr(r.err.size() - expected.size()), expected);
}

}  // namespace
