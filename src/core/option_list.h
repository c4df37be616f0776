// The ordered list of options handed to the Java virtual machine.
#pragma once

#include <string>

/// One option of the list: its text (owned by the list) and an
/// extra-information pointer that is always null.
struct JavaVMOption {
  char* optionString;
  void* extraInfo;
};

/// The list itself, read directly by the runtime launch: `numOptions` entries
/// in use out of `maxOptions`. Entries are only ever appended and live until
/// the process ends.
extern JavaVMOption* options;
extern int numOptions;
extern int maxOptions;

/// Appends a copy of text. Room starts at 4 entries and doubles when full.
void AddOption(const std::string& text);
