// Making an installer: the steps from a command line to a finished file.
#pragma once

#include <string>

#include "packager/command_line.h"

/// Makes the installer that command describes (kind kPack), with
/// defaultLauncher when the command names none. Warnings go to standard
/// error as they arise. False with a message in *err, and no file at the
/// output path written or replaced, when anything is refused or fails.
bool Pack(const Command& command, const std::string& defaultLauncher, std::string* err);
