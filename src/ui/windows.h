// The status window and the modal message boxes of graphical mode.
#pragma once

#include <cstdarg>

/// Message box kinds.
constexpr int kErrorBox = 1;
constexpr int kInformationBox = 2;

/// Shows a progress text in the status window once it ends with a newline.
int PrintToStatusWindow(const char* format, va_list args);

/// Shows a text in a modal box of the given kind and returns when it closed.
int PrintToMessageBox(int kind, const char* format, va_list args);

/// Removes the status window.
void HideStatusWindow();
