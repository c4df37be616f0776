#include "launcher/options.h"

#include <cstdlib>
#include <cstring>

#include "base/paths.h"
#include "launcher/exec_name.h"
#include "launcher/java_command.h"
#include "runtime/version.h"
#include "ui/output.h"
#include "ui/toolkit.h"
#include "workenv/tempdir.h"

namespace {

// Reports a failed option and the usage text.
bool Refuse(const Profile& profile, const char* key, const char* argument) {
  ShowError(key, argument);
  PrintUsage(profile);
  return false;
}

// The value made absolute; as typed when the current directory can't be read.
std::string Absolute(const std::string& value) { return MakeAbsolute(value).value_or(value); }

// Connects to the display for graphical mode; false after the messages. A
// display that works without the toolkit still takes the installer's own
// window: the launcher's texts then go to the console.
bool ConnectDisplay() {
  const char* display = getenv("DISPLAY");
  if (display == nullptr) display = ":0.0";
  ShowStatus("connecting_x11", display);
  SetPrintToConsole(false);
  X11Failure failure = X11Failure::kNoDisplay;
  if (LoadX11(true, &failure) != nullptr) return true;
  if (failure == X11Failure::kNoToolkit) {
    ShowStatus("no_status_window");
    return true;
  }
  ShowError("no_connect_x11", display);
  ShowError("no_connect_x11_usage", GetProgName());
  return false;
}

}  // namespace

void PrintUsage(const Profile& profile) {
  const char* key = strcmp(profile.className, "bramlet_uninstall") == 0 ? "uninstallusage" : "installusage";
  ShowError(key, GetProgName(), kMinimumVersion);
}

bool ParseArguments(int argc, char** argv, const Profile& profile, CommandLine* commandLine, int* exitStatus) {
  *exitStatus = 1;
  CommandLine& line = *commandLine;
  bool consoleRequested = false, silentRequested = false, saveStateRequested = false, printWizardID = false;
  std::optional<std::string> stateFile;

  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (strcmp(arg, "-help") == 0 || strcmp(arg, "-h") == 0) {
      *exitStatus = 0;
      PrintUsage(profile);
      return false;
    } else if (strcmp(arg, "-console") == 0) {
      AddOption("-Djava.awt.headless=true");
      consoleRequested = true;
    } else if (strcmp(arg, "-silent") == 0) {
      if (profile.stateFileRequired) {
        if (value == nullptr) return Refuse(profile, "missing_file_name", arg);
        stateFile = argv[++i];
      }
      AddOption("-Djava.awt.headless=true");
      silentRequested = true;
    } else if (strcmp(arg, "-savestate") == 0) {
      if (value == nullptr) return Refuse(profile, "missing_file_name", arg);
      saveStateRequested = true;
      stateFile = argv[++i];
    } else if (strcmp(arg, "-javahome") == 0) {
      if (value == nullptr) return Refuse(profile, "missing_jvm_dir", arg);
      line.javaHome = argv[++i];
    } else if (strcmp(arg, "-tmpdir") == 0) {
      if (value == nullptr) return Refuse(profile, "missing_writable_dir", arg);
      if (!SetTempDir(value)) return Refuse(profile, "no_writable_dir", value);
      ++i;
    } else if (strcmp(arg, "-debug") == 0) {
      line.isDebug = true;
    } else if (strcmp(arg, "-noportcheck") == 0) {
      line.noPortVerification = true;
    } else if (strcmp(arg, "-nodomain") == 0) {
      line.noDomainCreation = true;
    } else if (strcmp(arg, "-passwordvisible") == 0) {
      line.visiblePassword = true;
    } else if (strcmp(arg, "-id") == 0) {
      printWizardID = true;
    } else {
      return Refuse(profile, "no_valid_arg", arg);
    }
  }

  if (line.javaHome) line.javaHome = Absolute(*line.javaHome);
  if (stateFile) stateFile = Absolute(*stateFile);
  if (!consoleRequested && !silentRequested && !ConnectDisplay()) return false;

  std::vector<std::string>& wizard = line.wizardArgs;
  if (consoleRequested) {
    line.consoleMode = true;
    wizard.push_back("-nodisplay");
  }
  if (silentRequested) {
    SetPrintToConsole(true);
    wizard.insert(wizard.end(), {"-nodisplay", "-noconsole"});
    if (stateFile) wizard.insert(wizard.end(), {"-state", *stateFile});
  }
  if (saveStateRequested && stateFile) wizard.insert(wizard.end(), {"-saveState", *stateFile});
  if (printWizardID) wizard.push_back("-id");
  return true;
}
