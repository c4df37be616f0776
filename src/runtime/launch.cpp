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

// A regular file of the effective user that only it may write, with no
// other name that could lead to it.
bool IsTrustedFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
         st.st_nlink == 1;
}

// The upgrade script sits in the temporary directory, often one that every
// local user may write to, so it runs only when it is beyond doubt the
// launcher's own: no other user can rename or replace what that directory
// holds, and the file, opened without following a link, is checked on the
// open descriptor. Invalid when it is not trusted.
UniqueFd OpenTrustedScript(const char* path) {
  const char* slash = strrchr(path, '/');
  std::string directory = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
  if (!IsDirectoryOthersCannotChange(directory.c_str())) return UniqueFd();
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
  java.execFailureText = GetPrintedMessage("java_aborted");
  java.execFailureStatus = 1;
  pid_t pid = StartChild(java);
  if (pid == -1) return std::nullopt;
  // The installer must not go on working on files that the launcher's
  // cleanup deletes.
  SetSignalRecipient(pid);
  // The status window keeps the user company while the runtime starts; a
  // runtime that has ended leaves nothing to hold it up for.
  int status = 0;
  ChildWait waited = WaitForChild(pid, &status, static_cast<int>(command.holdSeconds * 1000));
  if (command.hideStatusWindow) HideStatusWindow();
  if (waited == ChildWait::kTimedOut) waited = WaitForChild(pid, &status);
  SetSignalRecipient(0);
  return waited == ChildWait::kEnded ? ExitCodeOr(status, 1) : 1;
}

bool InvokeUpgradeTool(const char* scriptPath, int* exitStatus) {
  *exitStatus = -1;
  UniqueFd fd = OpenTrustedScript(scriptPath);
  struct stat checked;
  if (!fd.valid() || fstat(fd.get(), &checked) != 0) return false;
  // Started by its path, so that a script sees where it lies in $0.
  ChildSpec script;
  script.program = scriptPath;
  script.expected = &checked;
  script.args = {scriptPath};
  script.env = std::vector<std::string>();
  pid_t pid = StartChild(script);
  if (pid == -1) return true;
  SetSignalRecipient(pid);
  int status = 0;
  if (WaitForChild(pid, &status) == ChildWait::kEnded) *exitStatus = ExitCodeOr(status, -1);
  SetSignalRecipient(0);
  return true;
}
