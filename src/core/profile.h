// The installer profile: what the generic launcher asks about the program it
// launches. Exactly one profile source is compiled into each launcher.
#pragma once

#include <string>

/// The Java main class name (a static string).
const char* GetJavaClassName();

/// Points *elements at the profile's class path elements (paths relative to
/// the application home, each beginning with "/") and returns their number.
int GetJavaClasspathElements(const char* const** elements);

/// Returns the profile's key prefix followed by suffix ("setup_" + suffix).
std::string GetMessageKeyPrefix(const char* suffix);

/// The localised window title, fetched once and kept for the run.
const char* GetTitle();

/// True when -silent must be followed by a state file.
bool IsStateFileRequired();

/// The profile's own clean-up step, run after the Java program returned.
void Cleanup();
