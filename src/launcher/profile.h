// The installer profile: what the generic launcher asks about the program it
// launches. Each launcher executable hands one profile to the main sequence.
#pragma once

#include <string>
#include <vector>

struct Profile {
  /// The Java main class.
  const char* className;
  /// Class path elements, relative to the application home; each begins with "/".
  std::vector<const char*> classpathElements;
  /// The prefix of the profile's own message keys ("setup_").
  const char* keyPrefix;
  /// True when -silent must be followed by a state file.
  bool stateFileRequired;
  /// The profile's own clean-up step, run after the Java program returned.
  void (*cleanup)();
};

/// The installer: runs "bramlet".
extern const Profile kSetupProfile;
/// The uninstaller: runs "bramlet_uninstall" with its own texts; silent
/// mode needs no state file.
extern const Profile kUninstallProfile;

/// The profile's key prefix followed by suffix ("setup_" + suffix).
std::string GetMessageKeyPrefix(const Profile& profile, const char* suffix);
