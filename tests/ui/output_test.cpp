#include "ui/output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/child.h"

namespace {

TEST(Output, ConsoleModeWritesEachTextToItsStream) {
  test::ChildResult r = test::RunInChild([] {
    std::string n = std::to_string(statusf("progress %s\n", "one"));
    n += " " + std::to_string(_fprintf(stderr, "error %s %d%%\n", "two", 3));
    n += " " + std::to_string(_printf("out\n"));
    n += " " + std::to_string(statusf(nullptr));
    return n;
  });
  EXPECT_EQ(r.Describe(), "13 13 4 0");
  EXPECT_EQ(r.out, "progress one\nout\n");
  EXPECT_EQ(r.err, "error two 3%\n");
}

TEST(Output, ErrorsAreFlushedAtOnce) {
  // _exit skips stdio's flush at exit: only what was flushed arrives.
  test::ChildResult r = test::RunInChild([] {
    statusf("pending");
    _fprintf(stderr, "flushed");
    _printf("also flushed");
    _exit(0);
    return std::string();
  });
  EXPECT_EQ(r.err, "flushed");
  EXPECT_EQ(r.out, "pendingalso flushed");
}

TEST(Output, WithoutADisplayGraphicalModeFallsBackToTheConsoleForGood) {
  test::ChildResult r = test::RunInChild([] {
    unsetenv("DISPLAY");
    SetPrintToConsole(false);
    std::string before = GetPrintToConsole() ? "console" : "windows";
    statusf("first\n");
    std::string after = GetPrintToConsole() ? "console" : "windows";
    _fprintf(stderr, "second\n");
    return before + " " + after;
  });
  EXPECT_EQ(r.Describe(), "windows console");
  EXPECT_EQ(r.out, "first\n");
  EXPECT_EQ(r.err, "second\n");
}

TEST(Output, CatalogueMessagesFillTheirPlaceholders) {
  test::ChildResult r = test::RunInChild([] {
    test::UseLocaleEnvironment("C");
    ShowStatus("connecting_x11", ":9");
    ShowError("no_valid_arg", "-bogus");
    return std::string();
  });
  EXPECT_EQ(r.out, "Connecting to X11 server ':9'.\n");
  EXPECT_EQ(r.err, "Error: '-bogus' is not a valid argument.\n");
}

}  // namespace
