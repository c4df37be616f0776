#include "ui/output.h"

#include <atomic>
#include <string>

#include "ui/catalogue.h"
#include "ui/toolkit.h"
#include "ui/windows.h"

namespace {

// Written by the main thread, the toolkit's error handlers and the cleanup
// path; a lock-free atomic keeps those unsynchronised accesses well defined.
std::atomic<bool> printToConsole{true};

// True when this text is to take the graphical path.
bool UseWindows() {
  if (printToConsole.load()) return false;
  return LoadX11(true) != nullptr && !printToConsole.load();
}

int vroute(FILE* stream, int kind, const char* format, va_list args) {
  // Progress is buffered and errors are not: the progress shown so far goes
  // first, so that both streams into one file read in the order of the run.
  if (stream != stdout) fflush(stdout);
  int n = UseWindows() ? PrintToMessageBox(kind, format, args) : vfprintf(stream, format, args);
  fflush(stream);
  return n;
}

}  // namespace

bool GetPrintToConsole() { return printToConsole.load(); }

void SetPrintToConsole(bool toConsole) { printToConsole.store(toConsole); }

int vstatusf(const char* format, va_list args) {
  if (format == nullptr) return 0;
  return UseWindows() ? PrintToStatusWindow(format, args) : vfprintf(stdout, format, args);
}

int statusf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vstatusf(format, args);
  va_end(args);
  return n;
}

int _fprintf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vroute(stream, stream == stderr ? kErrorBox : kInformationBox, format, args);
  va_end(args);
  return n;
}

int _printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vroute(stdout, kInformationBox, format, args);
  va_end(args);
  return n;
}

void ShowStatus(const char* key, ...) {
  std::string text = GetLocalizedMessage(key);
  va_list args;
  va_start(args, key);
  vstatusf(text.c_str(), args);
  va_end(args);
}

void ShowError(const char* key, ...) {
  std::string text = GetLocalizedMessage(key);
  va_list args;
  va_start(args, key);
  vroute(stderr, kErrorBox, text.c_str(), args);
  va_end(args);
}
