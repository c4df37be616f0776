// The graphical interface on a build without toolkit support: LoadX11 always
// reports that no toolkit is available, so every text takes the console path.
// A display that can be reached is still told apart from none, since the
// installer's own window needs no toolkit of the launcher's.
#include <cstdio>

#include "ui/output.h"
#include "ui/toolkit.h"
#include "ui/windows.h"
#include "ui/x11_display.h"

X11Funcs* LoadX11(bool, X11Failure* failure) {
  SetPrintToConsole(true);
  if (failure != nullptr) *failure = IsDisplayReachable() ? X11Failure::kNoToolkit : X11Failure::kNoDisplay;
  return nullptr;
}

int PrintToStatusWindow(const char* format, va_list args) { return vfprintf(stdout, format, args); }

int PrintToMessageBox(int, const char* format, va_list args) { return vfprintf(stderr, format, args); }

void HideStatusWindow() {}
