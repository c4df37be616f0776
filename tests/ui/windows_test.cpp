// The graphical output calls where no window can be shown: the texts they
// compose reach the console, and a failed toolkit load leaves nothing behind.
// Under a real X server they are tested end to end (tests/e2e/test_gui*.py).
#include "ui/windows.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "support/child.h"
#include "ui/output.h"
#include "ui/toolkit.h"

namespace {

// PrintToStatusWindow for kind 0, else PrintToMessageBox of that kind.
int Print(int kind, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = kind == 0 ? PrintToStatusWindow(format, args) : PrintToMessageBox(kind, format, args);
  va_end(args);
  return n;
}

TEST(Windows, WithoutADisplayTextsReachTheConsoleWhole) {
  test::ChildResult r = test::RunInChild([] {
    unsetenv("DISPLAY");
    setlocale(LC_ALL, "C");
    // Nothing to hide, and nothing printed for it.
    HideStatusWindow();
    HideStatusWindow();
    std::string longText(5000, 'x');
    std::string n = std::to_string(Print(0, "%s\n", longText.c_str()));
    // The text is written as it is, not used as a format again.
    n += " " + std::to_string(Print(0, "%s", "100%d done\n"));
    n += " " + std::to_string(Print(kErrorBox, "%s %s\n", "an", "error"));
    n += " " + std::to_string(Print(kInformationBox, "%s%%\n", "info"));
    // A format that the formatter rejects (a wide character the C locale
    // can't encode) gives an empty text.
    n += " " + std::to_string(Print(0, "%ls", L"\u00e9\n"));
    n += " " + std::to_string(Print(kErrorBox, "%ls", L"\u00e9\n"));
    return n;
  });
  EXPECT_EQ(r.Describe(), "5001 11 9 6 0 0");
  EXPECT_EQ(r.out, std::string(5000, 'x') + "\n100%d done\n");
  EXPECT_EQ(r.err, "an error\ninfo%\n");
}

TEST(LoadX11, WithoutADisplayFallsBackAndClosesTheLibrary) {
  // DISPLAY unset, and a display number with no server behind it.
  for (const char* display : {static_cast<const char*>(nullptr), ":4711"}) {
    std::string r = test::InChild([display] {
      display != nullptr ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
      SetPrintToConsole(false);
      std::string s = LoadX11(true) == nullptr ? "null" : "table";
      s += GetPrintToConsole() ? " console" : " windows";
      void* motif = dlopen("libXm.so.4", RTLD_LAZY | RTLD_NOLOAD);
      s += motif != nullptr ? " loaded" : " closed";
      // A later call tries again, and fails the same way.
      s += LoadX11(true) == nullptr ? " null" : " table";
      return s;
    });
    EXPECT_EQ(r, "null console closed null") << (display ? display : "DISPLAY unset");
  }
}

}  // namespace
