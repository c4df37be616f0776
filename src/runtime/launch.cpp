#include "runtime/launch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/paths.h"
#include "core/signals.h"
#include "core/profile.h"
#include "runtime/child_process.h"
#include "runtime/discovery.h"
#include "runtime/version.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "ui/windows.h"

extern char** environ;

namespace {

constexpr char kLibraryPathName[] = "LD_LIBRARY_PATH=";

// The time the status window stays up after the runtime was started.
constexpr time_t kStatusHoldSeconds = 10;

// The launcher's environment with the library path entry in place of any
// LD_LIBRARY_PATH of its own. The strings are borrowed.
std::vector<char*> EnvironmentWith(std::string& libraryPath) {
  std::vector<char*> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (strncmp(*e, kLibraryPathName, sizeof kLibraryPathName - 1) != 0) env.push_back(*e);
  }
  env.push_back(&libraryPath[0]);
  env.push_back(nullptr);
  return env;
}

// A catalogue text that takes no arguments, as printf would print it.
std::string PrintedText(const char* key) {
  std::string format = GetLocalizedMessage(key);
  std::string text;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') ++i;
    text += format[i];
  }
  return text;
}

// The exit code of a child that ended normally, else fallback.
int ExitCodeOr(bool waited, int status, int fallback) {
  return waited && WIFEXITED(status) ? WEXITSTATUS(status) : fallback;
}

// A regular file of the effective user that only it may write.
bool IsTrustedFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The upgrade script sits in a directory that every local user may write to,
// so it runs only when it is beyond doubt the launcher's own: checked without
// following a link, and checked again on the file that opening it reached.
bool IsTrustedScript(const char* path) {
  struct stat named;
  if (lstat(path, &named) != 0 || !IsTrustedFile(named)) return false;
  int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat opened;
  bool same = fstat(fd, &opened) == 0 && IsTrustedFile(opened) && opened.st_dev == named.st_dev &&
              opened.st_ino == named.st_ino;
  close(fd);
  return same;
}

}  // namespace

std::string LibraryPathEntry(const char* bundledLibraryPath, const char* inherited) {
  std::string entry = kLibraryPathName;
  if (bundledLibraryPath != nullptr) entry += std::string(bundledLibraryPath) + ":";
  if (inherited != nullptr) entry += std::string(inherited) + ":";
  if (entry.back() == ':') entry.pop_back();
  return entry;
}

int ExecuteJava(const char* jrePath, int numOptions, const JavaVMOption* options, int numWizardArgs,
                char* const* wizardArgs) {
  bool toConsole = GetPrintToConsole();
  const char* className = GetJavaClassName();
  if (!CheckJavaClassFile()) {
    ShowError(GetMessageKeyPrefix("no_files").c_str());
    return 1;
  }
  std::string program = Resolve(jrePath, "bin/java");
  if (!IsExecutable(program.c_str())) {
    ShowError("java_aborted");
    return 1;
  }

  // The child may only exec or end (the launcher may have threads), so its
  // argument vector, environment and failure message are made here.
  std::vector<char*> argv;
  argv.reserve(static_cast<size_t>(numOptions) + numWizardArgs + 3);
  argv.push_back(&program[0]);
  for (int i = 0; i < numOptions; ++i) argv.push_back(options[i].optionString);
  argv.push_back(const_cast<char*>(className));
  for (int i = 0; i < numWizardArgs; ++i) argv.push_back(wizardArgs[i]);
  argv.push_back(nullptr);
  std::string libraryPath = LibraryPathEntry(GetBundledLibraryPath(), getenv("LD_LIBRARY_PATH"));
  std::vector<char*> env = EnvironmentWith(libraryPath);
  std::string aborted = PrintedText("java_aborted");

  fflush(nullptr);
  pid_t pid = ForkForExec();
  if (pid == 0) {
    execve(program.c_str(), argv.data(), env.data());
    WriteText(STDERR_FILENO, aborted.data(), aborted.size());
    _exit(1);
  }
  if (pid < 0) {
    ShowError("java_aborted");
    return 1;
  }
  SleepFor(kStatusHoldSeconds);
  if (!toConsole) HideStatusWindow();
  int status = 0;
  bool waited = WaitForChild(pid, &status);
  return ExitCodeOr(waited, status, 1);
}

int InvokeUpgradeTool(const char* scriptPath) {
  if (!IsTrustedScript(scriptPath)) return kUpgradeScriptRefused;
  std::string program = scriptPath;
  char* const argv[] = {&program[0], nullptr};
  char* const noEnvironment[] = {nullptr};
  pid_t pid = ForkForExec();
  if (pid == 0) {
    execve(program.c_str(), argv, noEnvironment);
    _exit(127);
  }
  if (pid < 0) return -1;
  int status = 0;
  bool waited = WaitForChild(pid, &status);
  return ExitCodeOr(waited, status, -1);
}
