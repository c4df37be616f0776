#include "core/options.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/exec_name.h"
#include "core/option_list.h"
#include "core/paths.h"
#include "core/profile.h"
#include "runtime/version.h"
#include "ui/output.h"
#include "ui/toolkit.h"
#include "workenv/tempdir.h"

bool isDebug = false;
bool noPortVerification = false;
bool noDomainCreation = false;
bool visiblePassword = false;
bool printWizardID = false;

namespace {


// Reports a failed option and the usage text.
bool Refuse(const char* key, const char* argument) {
  ShowError(key, argument);
  PrintUsage();
  return false;
}

// "/" + path joined to the current directory, unless path is absolute.
std::string MakeAbsolute(const std::string& path) {
  std::string cwd;
  if (path.empty() || IsAbsolutePath(path.c_str()) || !GetWorkingDirectory(&cwd)) return path;
  return cwd + '/' + path;
}

}  // namespace

void PrintUsage() {
  const char* key = strcmp(GetJavaClassName(), "bramlet_uninstall") == 0 ? "uninstallusage" : "installusage";
  ShowError(key, GetProgName(), kMinimumVersion);
}

bool ParseArguments(int argc, char** argv, std::vector<std::string>* wizardArgs, std::string* javaHome,
                    std::string* tempDir, bool* consoleMode, int* exitStatus) {
  *exitStatus = 1;
  javaHome->clear();
  *consoleMode = false;
  bool consoleRequested = false, silentRequested = false, saveStateRequested = false;
  std::string stateFile;
  std::string typedTempDir = *tempDir;

  wizardArgs->clear();
  bool ok = true;
  for (int i = 0; ok && i < argc && argv[i] != nullptr; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (strcmp(arg, "-help") == 0 || strcmp(arg, "-h") == 0) {
      *exitStatus = 0;
      PrintUsage();
      ok = false;
    } else if (strcmp(arg, "-console") == 0) {
      AddOption("-Djava.awt.headless=true");
      consoleRequested = true;
    } else if (strcmp(arg, "-silent") == 0) {
      if (IsStateFileRequired()) {
        if (value == nullptr) {
          ok = Refuse("missing_file_name", arg);
          break;
        }
        stateFile = value;
        ++i;
      }
      AddOption("-Djava.awt.headless=true");
      silentRequested = true;
    } else if (strcmp(arg, "-savestate") == 0) {
      if (value == nullptr) {
        ok = Refuse("missing_file_name", arg);
        break;
      }
      saveStateRequested = true;
      stateFile = value;
      ++i;
    } else if (strcmp(arg, "-javahome") == 0) {
      if (value == nullptr) {
        ok = Refuse("missing_jvm_dir", arg);
        break;
      }
      *javaHome = value;
      ++i;
    } else if (strcmp(arg, "-tmpdir") == 0) {
      if (value == nullptr) {
        ok = Refuse("missing_writable_dir", arg);
      } else if (!SetTempDir(value)) {
        ok = Refuse("no_writable_dir", value);
      } else {
        typedTempDir = value;
        ++i;
      }
    } else if (strcmp(arg, "-debug") == 0) {
      isDebug = true;
    } else if (strcmp(arg, "-noportcheck") == 0) {
      noPortVerification = true;
    } else if (strcmp(arg, "-nodomain") == 0) {
      noDomainCreation = true;
    } else if (strcmp(arg, "-passwordvisible") == 0) {
      visiblePassword = true;
    } else if (strcmp(arg, "-id") == 0) {
      printWizardID = true;
    } else {
      ok = Refuse("no_valid_arg", arg);
    }
  }

  if (ok) {
    *javaHome = MakeAbsolute(*javaHome);
    stateFile = MakeAbsolute(stateFile);
    if (!consoleRequested && !silentRequested) {
      const char* display = getenv("DISPLAY");
      if (display == nullptr) display = ":0.0";
      ShowStatus("connecting_x11", display);
      SetPrintToConsole(false);
      if (LoadX11(true) == nullptr) {
        ShowError("no_connect_x11", display);
        ShowError("no_connect_x11_usage", GetProgName());
        ok = false;
      }
    }
  }
  if (!ok) {
    javaHome->clear();
    tempDir->clear();
    return false;
  }

  std::vector<std::string>& wizard = *wizardArgs;
  if (consoleRequested) {
    *consoleMode = true;
    wizard.push_back("-nodisplay");
  }
  if (silentRequested) {
    SetPrintToConsole(true);
    wizard.push_back("-nodisplay");
    wizard.push_back("-noconsole");
    if (!stateFile.empty()) {
      wizard.push_back("-state");
      wizard.push_back(stateFile);
    }
  }
  if (saveStateRequested && !stateFile.empty()) {
    wizard.push_back("-saveState");
    wizard.push_back(stateFile);
  }
  if (printWizardID) wizard.push_back("-id");
  *tempDir = typedTempDir;
  return true;
}
