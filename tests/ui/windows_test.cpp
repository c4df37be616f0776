// The graphical output calls where no window can be shown: the texts they
// compose reach the console, and a failed toolkit load leaves nothing behind.
// Under a real X server they are tested end to end (tests/e2e/test_gui*.py).
#include "ui/windows.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <sys/mount.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "support/child.h"
#include "ui/output.h"
#include "ui/toolkit.h"

namespace {

int StatusWindow(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = PrintToStatusWindow(format, args);
  va_end(args);
  return n;
}

int MessageBox(int kind, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = PrintToMessageBox(kind, format, args);
  va_end(args);
  return n;
}

bool MotifLoaded() {
  void* handle = dlopen("libXm.so.4", RTLD_LAZY | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

// A display name with no X server behind it.
std::string UnusedDisplay() {
  for (int n = 4242;; ++n) {
    std::string number = std::to_string(n);
    if (access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) != 0 &&
        access(("/tmp/.X" + number + "-lock").c_str(), F_OK) != 0)
      return ":" + number;
  }
}

// Where the system keeps the Motif library (the file behind its links).
std::string MotifLibraryPath() {
  void* handle = dlopen("libXm.so.4", RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) return "";
  link_map* map = nullptr;
  std::string path;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0) path = map->l_name;
  dlclose(handle);
  return path;
}

// Hides the Motif library of this process's mount namespace behind file.
void HideMotifBehind(const std::string& file) {
  std::string library = MotifLibraryPath();
  if (library.empty() || mount(file.c_str(), library.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    fprintf(stderr, "can't hide the Motif library '%s'\n", library.c_str());
    _exit(125);
  }
}

TEST(Windows, WithoutADisplayTextsReachTheConsoleWhole) {
  test::ChildResult r = test::RunInChild([] {
    unsetenv("DISPLAY");
    std::string longText(5000, 'x');
    std::string n = std::to_string(StatusWindow("%s\n", longText.c_str()));
    // The text is written as it is, not used as a format again.
    n += " " + std::to_string(StatusWindow("%s", "100%d done\n"));
    n += " " + std::to_string(MessageBox(kErrorBox, "%s %s\n", "an", "error"));
    n += " " + std::to_string(MessageBox(kInformationBox, "%s%%\n", "info"));
    return n;
  });
  EXPECT_EQ(r.Describe(), "5001 11 9 6");
  EXPECT_EQ(r.out, std::string(5000, 'x') + "\n100%d done\n");
  EXPECT_EQ(r.err, "an error\ninfo%\n");
}

TEST(Windows, AFormatTheFormatterRejectsGivesAnEmptyText) {
  test::ChildResult r = test::RunInChild([] {
    unsetenv("DISPLAY");
    setlocale(LC_ALL, "C");
    // A wide character that the C locale can't encode.
    std::string n = std::to_string(StatusWindow("%ls", L"\u00e9\n"));
    n += " " + std::to_string(MessageBox(kErrorBox, "%ls", L"\u00e9\n"));
    return n;
  });
  EXPECT_EQ(r.Describe(), "0 0");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST(Windows, HidingWithoutAToolkitDoesNothing) {
  test::ChildResult r = test::RunInChild([] {
    unsetenv("DISPLAY");
    HideStatusWindow();
    HideStatusWindow();
    return std::string(GetPrintToConsole() ? "console" : "windows");
  });
  EXPECT_EQ(r.Describe(), "console");
  EXPECT_EQ(r.out + r.err, "");
}

TEST(LoadX11, WithoutADisplayFallsBackAndClosesTheLibrary) {
  std::string noServer = UnusedDisplay();
  for (const char* display : {static_cast<const char*>(nullptr), noServer.c_str()}) {
    std::string r = test::InChild([display] {
      if (display != nullptr) {
        setenv("DISPLAY", display, 1);
      } else {
        unsetenv("DISPLAY");
      }
      SetPrintToConsole(false);
      std::string s = LoadX11(true) == nullptr ? "null" : "table";
      s += GetPrintToConsole() ? " console" : " windows";
      s += MotifLoaded() ? " loaded" : " closed";
      // A later call tries again, and fails the same way.
      s += LoadX11(true) == nullptr ? " null" : " table";
      return s;
    });
    EXPECT_EQ(r, "null console closed null") << (display ? display : "DISPLAY unset");
  }
}

TEST(LoadX11, WithoutMotifFallsBackForGood) {
  test::ScratchDir dir;
  std::string empty = dir.Write("empty", "");
  test::ChildOptions options;
  options.asRoot = [&empty] { HideMotifBehind(empty); };
  std::string r = test::InChild(
      [] {
        unsetenv("DISPLAY");
        std::string s;
        for (int call = 0; call < 2; ++call) {
          SetPrintToConsole(false);
          s += LoadX11(true) == nullptr ? "null" : "table";
          s += GetPrintToConsole() ? " console " : " windows ";
        }
        return s + (MotifLoaded() ? "loaded" : "closed");
      },
      options);
  // Whether a later call tries the library again shows only with a display:
  // tests/e2e/test_gui_fallback.py.
  EXPECT_EQ(r, "null console null console closed");
}

}  // namespace
