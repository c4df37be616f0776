// The Java modules an application's jars need, as the JDK's jdeps finds
// them: what --jlink auto links, and what mksetup --app checks a bundled
// runtime against, since a runtime that lacks one installs fine and fails at
// the application's first start.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "packager/command_line.h"
#include "packager/payload_walk.h"

/// The word of --jlink that stands for what jdeps finds.
constexpr const char* kAutoModules = "auto";

/// True when the comma-separated modules hold kAutoModules.
bool NamesAutoModules(const std::string& modules);

/// What the application needs, found before the runtime is made and
/// compared with it afterwards (WarnOfMissingModules).
struct ModuleCheck {
  bool wanted = false;                             // a runtime to check
  std::optional<std::vector<std::string>> needed;  // jdeps' modules; none when it could not tell
  std::string unchecked;                           // why not, when needed is none
};

/// Runs the jdeps of the JDK whose jlink makes the runtime (beside it) over
/// jars (the main jar and the class path), or for --runtime the one of JAVA_HOME or PATH (none: no check).
/// With --jlink auto, "auto" in command->jlinkModules becomes the modules
/// jdeps finds, and false with a message in *err when it can't tell them.
/// Otherwise what it finds, or why it found nothing, goes to *check.
/// The command goes to standard output when command->verbose.
bool PlanModuleCheck(Command* command, const std::vector<std::string>& jars, ModuleCheck* check,
                     std::string* err);

/// Warns on standard error, in one line, of the modules check needs that the
/// runtime among items (its release file's MODULES) lacks, or that they were
/// not checked. Says nothing for a runtime that names no modules (Java 8).
void WarnOfMissingModules(const ModuleCheck& check, const Command& command,
                          const std::vector<PayloadItem>& items);
