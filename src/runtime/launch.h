// Running the installer's Java program and the upgrade script it may leave.
#pragma once

#include <string>

#include "core/option_list.h"

/// What InvokeUpgradeTool returns when it refused to run the script; the
/// caller must then leave the file alone.
constexpr int kUpgradeScriptRefused = -2;

/// The environment entry that gives the runtime its library path:
/// "LD_LIBRARY_PATH=" followed by bundledLibraryPath and ":" (when not null),
/// then inherited and ":" (when not null), without the last ":" appended.
std::string LibraryPathEntry(const char* bundledLibraryPath, const char* inherited);

/// Runs jrePath/bin/java with the option texts in list order, the profile's
/// main class and the wizard arguments, in the launcher's environment with
/// LD_LIBRARY_PATH replaced (LibraryPathEntry of the payload's library
/// directory and the launcher's own value). Keeps the status window up for
/// the first 10 seconds, even when the runtime ends sooner, then hides it (in
/// graphical mode) and waits for the runtime. Returns the runtime's exit code
/// when it ended normally, else 1. Returns 1 at once, after the profile's
/// "no_files" message, when the main class file is missing from the
/// application home, and after "java_aborted" when bin/java is not
/// executable, the fork fails or the exec fails (the child of a failed exec
/// writes the message and ends with status 1 without running exit handlers).
int ExecuteJava(const char* jrePath, int numOptions, const JavaVMOption* options, int numWizardArgs,
                char* const* wizardArgs);

/// Runs the upgrade script at scriptPath as a program of its own, with
/// itself as the only argument and an empty environment, and waits for it.
/// The script runs only when it is a regular file (not a symbolic link),
/// owned by the effective user and writable by nobody else; otherwise the
/// result is kUpgradeScriptRefused. Returns its exit code when it ended
/// normally (a failed exec ends it with 127), else -1.
int InvokeUpgradeTool(const char* scriptPath);
