// mksetup --app: an installer of a Java application made with the
// installer kit, which installs the application, its runtime, a start
// script, a desktop entry and an uninstaller.
#pragma once

#include <string>

#include "packager/command_line.h"

/// Where mksetup finds the installer kit: share/bramlet/kit beside the
/// directory that holds mksetup (toolDir, which ends in "/"), in the build
/// tree as where it is installed.
std::string KitDirectory(const std::string& toolDir);

/// Makes the installer that command (kind kApp) describes, with the
/// launchers beside mksetup in toolDir unless the command names others.
/// As Pack: a description in *made, or false with a message in *err and no
/// file written.
bool PackApp(const Command& command, const std::string& toolDir, std::string* made, std::string* err);
