// The launcher's command line: settings for the run, options for the Java
// virtual machine and the wizard arguments for the installer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/profile.h"

/// What the command line asks for.
struct CommandLine {
  std::optional<std::string> javaHome;  // -javahome, made absolute
  bool consoleMode = false;             // -console
  bool isDebug = false;                 // -debug: "-Ddebug=true"
  bool noPortVerification = false;      // -noportcheck: "-Dno.port.verification=true"
  bool noDomainCreation = false;        // -nodomain: "-Dno.domain=true"
  bool visiblePassword = false;         // -passwordvisible: "-Dpassword.visible=true"
  std::vector<std::string> wizardArgs;  // for the installer's main class
};

/// Reads the launcher's options (argv without the program name, argc of
/// them) into *commandLine; -console and -silent append their option for
/// the Java virtual machine (AddOption) and -tmpdir sets the temporary
/// directory. Returns true when the run goes on. A value (a state file, a
/// Java home) is made absolute against the current directory, so an empty
/// one names the current directory followed by "/". In graphical mode
/// (neither -console nor -silent) it connects to the display; when the
/// display works but the toolkit can't be loaded, the launcher's texts go to
/// the console and the installer keeps its graphical mode. Returns false
/// when the run is to end with *exitStatus (0 after -help, else 1), after
/// printing what went wrong and, for bad options, the usage text.
bool ParseArguments(int argc, char** argv, const Profile& profile, CommandLine* commandLine, int* exitStatus);

/// Prints the profile's usage text on standard error.
void PrintUsage(const Profile& profile);
