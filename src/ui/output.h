// Output routing: every user message goes through these calls, which send it
// to the console or, in graphical mode, to the status window and message boxes.
#pragma once

#include <cstdarg>
#include <cstdio>

/// Shows a progress text: in the status window in graphical mode, otherwise
/// on standard output (not flushed). A null format prints nothing and gives 0.
int statusf(const char* format, ...);
int vstatusf(const char* format, va_list args);

/// Writes an error or information text: a message box in graphical mode (an
/// error box for standard error), otherwise to stream. Flushes standard
/// output first (when stream is another) and stream after.
int _fprintf(FILE* stream, const char* format, ...);

/// Writes to standard output, or an information box in graphical mode.
/// Flushes standard output.
int _printf(const char* format, ...);

/// The switch between console output (true, the start-up value) and the
/// graphical user interface.
bool GetPrintToConsole();
void SetPrintToConsole(bool toConsole);

/// Shows the catalogue text of key as a progress text, with args filling its
/// placeholders.
void ShowStatus(const char* key, ...);

/// Writes the catalogue text of key to standard error through _fprintf.
void ShowError(const char* key, ...);
