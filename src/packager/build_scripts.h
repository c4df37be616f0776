// The start scripts that Java builds (Gradle's installDist) leave in an
// application's directory: bin/X and bin/X.bat. They would not find a
// bundled runtime, so the installer's own take their place; what they
// know (the main class, the JVM options) is read from them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "packager/payload_walk.h"

/// The main class the build's start scripts in dir/bin run, when they name
/// one and all the same; none otherwise.
std::optional<std::string> BuildScriptMainClass(const std::string& dir);

/// Leaves out of *items (the application in dir, named below prefix) every
/// pair of build start scripts, saying so on standard output, and warns on
/// standard error of a script that passes JVM options.
void LeaveOutBuildScripts(const std::string& dir, const std::string& prefix, std::vector<PayloadItem>* items);
