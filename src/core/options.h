// The launcher's command line: settings for the run, options for the Java
// virtual machine and the wizard arguments for the installer.
#pragma once

#include <string>
#include <vector>

/// Flags that options set; each adds a system property to the JVM options.
extern bool isDebug;             // -debug: "-Ddebug=true"
extern bool noPortVerification;  // -noportcheck: "-Dno.port.verification=true"
extern bool noDomainCreation;    // -nodomain: "-Dno.domain=true"
extern bool visiblePassword;     // -passwordvisible: "-Dpassword.visible=true"
extern bool printWizardID;       // -id: the wizard argument "-id"

/// Reads the launcher's options (argv without the program name, argc of
/// them). Returns true when the run goes on: *wizardArgs then holds the
/// wizard arguments for the installer, *javaHome the -javahome
/// directory made absolute (or empty), *tempDir the -tmpdir argument as
/// typed (or unchanged), *consoleMode whether -console was given. Returns
/// false when the run is to end with *exitStatus (0 after -help, else 1),
/// after printing what went wrong and, for bad options, the usage text. In
/// graphical mode (neither -console nor -silent) it connects to the display.
bool ParseArguments(int argc, char** argv, std::vector<std::string>* wizardArgs, std::string* javaHome,
                    std::string* tempDir, bool* consoleMode, int* exitStatus);

/// Prints the profile's usage text on standard error.
void PrintUsage();
