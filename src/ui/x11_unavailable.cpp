// The graphical interface on a build without toolkit support: LoadX11 always
// reports that no toolkit is available, so every text takes the console path.
#include <cstdio>

#include "ui/output.h"
#include "ui/toolkit.h"
#include "ui/windows.h"

X11Funcs* LoadX11(bool) {
  SetPrintToConsole(true);
  return nullptr;
}

int PrintToStatusWindow(const char* format, va_list args) { return vfprintf(stdout, format, args); }

int PrintToMessageBox(int, const char* format, va_list args) { return vfprintf(stderr, format, args); }

void HideStatusWindow() {}
