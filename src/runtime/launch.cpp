#include "runtime/launch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/child_process.h"
#include "base/paths.h"
#include "base/signals.h"
#include "base/unique_fd.h"
#include "ui/catalogue.h"
#include "ui/windows.h"

extern char** environ;

namespace {

constexpr char kLibraryPathName[] = "LD_LIBRARY_PATH=";

// This process's environment with libraryPath in place of any
// LD_LIBRARY_PATH of its own.
std::vector<std::string> EnvironmentWith(const std::string& libraryPath) {
  std::vector<std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (strncmp(*e, kLibraryPathName, sizeof kLibraryPathName - 1) != 0) env.push_back(*e);
  }
  env.push_back(libraryPath);
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

// A regular file of the effective user that only it may write, with no
// other name that could lead to it.
bool IsTrustedFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
         st.st_nlink == 1;
}

// The upgrade script sits in a directory that every local user may write to,
// so it runs only when it is beyond doubt the launcher's own. It is opened
// without following a link and checked on the open descriptor, which is what
// runs: nothing can be swapped in between. Invalid when it is not trusted.
UniqueFd OpenTrustedScript(const char* path) {
  UniqueFd fd(open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat opened;
  if (fd.valid() && (fstat(fd.get(), &opened) != 0 || !IsTrustedFile(opened))) fd.reset();
  return fd;
}

}  // namespace

std::string LibraryPathEntry(const char* bundledLibraryPath, const char* inherited) {
  std::string entry = kLibraryPathName;
  if (bundledLibraryPath != nullptr) entry += std::string(bundledLibraryPath) + ":";
  if (inherited != nullptr) entry += std::string(inherited) + ":";
  if (entry.back() == ':') entry.pop_back();
  return entry;
}

std::optional<int> ExecuteJava(const JavaCommand& command) {
  ChildSpec java;
  java.program = Resolve(command.jrePath.c_str(), "bin/java");
  if (!IsExecutable(java.program.c_str())) return std::nullopt;
  java.args.push_back(java.program);
  java.args.insert(java.args.end(), command.options.begin(), command.options.end());
  java.args.push_back(command.className);
  java.args.insert(java.args.end(), command.wizardArgs.begin(), command.wizardArgs.end());
  java.env = EnvironmentWith(LibraryPathEntry(command.libraryPath.c_str(), getenv("LD_LIBRARY_PATH")));
  java.execFailureText = PrintedText("java_aborted");
  java.execFailureStatus = 1;
  pid_t pid = StartChild(java);
  if (pid == -1) return std::nullopt;
  // The installer must not go on working on files that the launcher's
  // cleanup deletes.
  SetSignalRecipient(pid);
  SleepFor(command.holdSeconds);
  if (command.hideStatusWindow) HideStatusWindow();
  int status = 0;
  bool waited = WaitForChild(pid, &status);
  SetSignalRecipient(0);
  return waited ? ExitCodeOr(status, 1) : 1;
}

bool InvokeUpgradeTool(const char* scriptPath, int* exitStatus) {
  *exitStatus = -1;
  UniqueFd fd = OpenTrustedScript(scriptPath);
  if (!fd.valid()) return false;
  ChildSpec script;
  script.program = scriptPath;
  script.programFd = fd.get();
  script.args = {scriptPath};
  script.env = std::vector<std::string>();
  pid_t pid = StartChild(script);
  int status = 0;
  if (pid != -1 && WaitForChild(pid, &status)) *exitStatus = ExitCodeOr(status, -1);
  return true;
}
