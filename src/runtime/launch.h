// Running the installer's Java program and the upgrade script it may leave.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// The Java program to run.
struct JavaCommand {
  std::string jrePath;                  // the runtime home; its bin/java runs
  std::vector<std::string> options;     // for the virtual machine, in order
  std::string className;                // the main class
  std::vector<std::string> wizardArgs;  // for the main class, in order
  std::string libraryPath;              // the payload's library directory
  unsigned holdSeconds = 10;            // the status window stays up this long at most
  bool hideStatusWindow = false;        // and then goes (graphical mode)
};

/// The environment entry that gives the runtime its library path:
/// "LD_LIBRARY_PATH=" followed by bundledLibraryPath and ":" (when not null),
/// then inherited and ":" (when not null), without the last ":" appended.
std::string LibraryPathEntry(const char* bundledLibraryPath, const char* inherited);

/// Runs jrePath/bin/java with the options, the class name and the wizard
/// arguments, in this process's environment with LD_LIBRARY_PATH replaced
/// (LibraryPathEntry of libraryPath and the inherited value). Keeps the
/// status window up while the runtime runs, holdSeconds at most, then hides
/// it when asked and waits for the runtime; a signal's ending meanwhile ends
/// the runtime first. Returns the runtime's exit
/// code when it ended normally, else 1; none when it can't be started
/// (bin/java is not executable or the fork fails). A child whose exec fails
/// writes "java_aborted" and ends with status 1.
std::optional<int> ExecuteJava(const JavaCommand& command);

/// Runs the upgrade script at scriptPath as a program of its own, with
/// itself as the only argument and an empty environment, and waits for it;
/// *exitStatus is its exit code when it ended normally (127 when it could
/// not be executed), else -1. The script runs only when it lies in a
/// directory whose entries no other user can change
/// (IsDirectoryOthersCannotChange) and is a regular file (not a symbolic
/// link) with a single link, owned by the effective user and writable by
/// nobody else; otherwise this returns false, and the file must be left
/// alone. It is executed by its path (its $0), which must still name the
/// checked file right before the exec.
bool InvokeUpgradeTool(const char* scriptPath, int* exitStatus);
