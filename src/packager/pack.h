// Making an installer: the steps from a command line to a finished file.
#pragma once

#include <optional>
#include <string>

#include "packager/command_line.h"

/// Makes the installer that command describes (kind kPack), with
/// defaultLauncher when the command names none, and describes it in *made
/// (its path, entries, size and bundled runtime). Warnings go to standard
/// error as they arise. False with a message in *err, and no file at the
/// output path written or replaced, when anything is refused or fails.
bool Pack(const Command& command, const std::string& defaultLauncher, std::string* made, std::string* err);

/// The main class the launcher file runs, as it notes it in its image;
/// none when it carries no such note.
std::optional<std::string> LauncherMainClass(const std::string& launcher);
