// The launcher's entry point: one fixed sequence from the launcher's own
// file to the installer's exit status. This file orders the steps and turns
// each failure into its messages and exit status; the work of every step
// lives in its subsystem. Each launcher executable is this file compiled
// with its own profile.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "base/memory.h"
#include "base/signals.h"
#include "launcher/exec_name.h"
#include "launcher/java_command.h"
#include "launcher/options.h"
#include "launcher/profile.h"
#include "launcher/termination.h"
#include "runtime/discovery.h"
#include "runtime/launch.h"
#include "runtime/version.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "workenv/lock.h"
#include "workenv/tempdir.h"
#include "workenv/workdir.h"

#ifndef BRAMLET_PROFILE
#define BRAMLET_PROFILE kSetupProfile
#endif
// The time the status window stays up after the runtime was started, and
// the time a runtime's version probe may take; the test build makes a
// launcher that waits less.
#ifndef BRAMLET_STATUS_HOLD_SECONDS
#define BRAMLET_STATUS_HOLD_SECONDS 10
#endif
#ifndef BRAMLET_PROBE_SECONDS
#define BRAMLET_PROBE_SECONDS 30
#endif

// The main class, noted in the image where mksetup reads it: the installer
// it packs must hold this class. Nothing refers to it, so it is kept by
// name from the compiler and from the link's dropping of unused sections.
[[gnu::used, gnu::retain]] extern const char kMainClassNote[] = "bramlet-main-class:" BRAMLET_MAIN_CLASS;

namespace {

const Profile& profile = BRAMLET_PROFILE;

// Room kept free beyond the payload's own size.
constexpr uint64_t kSpaceReserve = 100000;

const char* progname = nullptr;

int TempDirError(const char* tempDir) {
  HandlePendingSignal();
  ShowError("no_writable_system_tmpdir", tempDir);
  ShowError("no_writable_system_tmpdir_usage", progname);
  return 1;
}

int NoRoomError(const char* tempDir, uint64_t required, uint64_t available) {
  char requiredText[32], availableText[32];
  snprintf(requiredText, sizeof requiredText, "%lli", static_cast<long long>(required));
  snprintf(availableText, sizeof availableText, "%lli", static_cast<long long>(available));
  ShowError("no_space_system_tmpdir", tempDir, requiredText, availableText);
  ShowError("no_writable_system_tmpdir_usage", progname);
  return 1;
}

int CorruptedPayload(const char* execname) {
  HandlePendingSignal();
  ShowError("corrupted_zip_file", execname);
  return 1;
}

// Runs the installer's main class and returns its exit status; a main class
// that is missing or a runtime that can't be started gives 1, after its
// message, and the run ends like any other.
int RunInstaller(const std::string& jrePath, const char* home, const CommandLine& commandLine) {
  if (!CheckJavaClassFile(home, profile.className)) {
    ShowError(GetMessageKeyPrefix(profile, "no_files").c_str());
    return 1;
  }
  JavaCommand java;
  java.jrePath = jrePath;
  java.options = GetOptions();
  java.className = profile.className;
  java.wizardArgs = commandLine.wizardArgs;
  java.libraryPath = GetBundledLibraryPath(home);
  java.holdSeconds = BRAMLET_STATUS_HOLD_SECONDS;
  java.hideStatusWindow = !GetPrintToConsole();
  std::optional<int> javaStatus = ExecuteJava(java);
  if (!javaStatus) ShowError("java_aborted");
  return javaStatus.value_or(1);
}

int NoRuntimeError(const std::optional<std::string>& javaHome) {
  HandlePendingSignal();
  if (javaHome) {
    ShowError("no_find_specified_java", javaHome->c_str());
  } else {
    ShowError("no_find_java");
  }
  ShowError("no_find_java_usage", kMinimumVersion, BRAMLET_JAVA_DOWNLOAD_URL, progname);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  InstallOutOfMemoryHandler();
  SetTitleKey(GetMessageKeyPrefix(profile, "title").c_str());
  const char* execname = SetExecName(argv[0]);
  if (execname == nullptr) {
    ShowError("no_resolve_exec_path");
    return 1;
  }
  ExitIfNotOnlyInstance(execname, GetMessageKeyPrefix(profile, "already_started").c_str());
  progname = GetProgName();
  InstallSignalDispositions();

  CommandLine commandLine;
  int exitStatus = 1;
  if (!ParseArguments(argc - 1, argv + 1, profile, &commandLine, &exitStatus)) {
    HandlePendingSignal();
    return exitStatus;
  }
  ShowStatus("checking_disk_space");

  // The absolute form of -tmpdir, which still names the directory after the
  // change into the application home.
  const char* tempDir = GetTempDir();
  if (tempDir == nullptr) return TempDirError(kDefaultTempDir);
  // Everything is extracted through the directory's descriptor, so that
  // renaming the directory can't send the payload elsewhere.
  std::optional<WorkingDirectory> workdir = MakeWorkingDirectory(tempDir, progname);
  if (!workdir || !SetWorkdir(workdir->path.c_str())) return TempDirError(tempDir);
  HandlePendingSignal();

  // A launcher with nothing behind its image runs the installer files
  // beside it; one whose payload can't be read in full runs nothing.
  ZipError error;
  ZipArchive payload(OpenPayload(execname, &error));
  uint64_t payloadSize = 0;
  if (error == ZipError::kDamaged || (payload && !SumEntrySizes(payload.get(), &payloadSize)))
    return CorruptedPayload(execname);
  if (payload) SetApplicationHome(GetWorkdir());
  const char* home = GetApplicationHome();
  uint64_t required = payloadSize + kSpaceReserve;
  std::optional<uint64_t> available = AvailableSpace(workdir->fd.get());
  if (!available) return TempDirError(tempDir);
  if (required > *available) return NoRoomError(tempDir, required, *available);
  HandlePendingSignal();

  ShowStatus("checking_java");
  SetProbeTimeLimit(BRAMLET_PROBE_SECONDS);
  std::optional<std::string> jrePath =
      ChooseRuntime(commandLine.javaHome, payload.get(), home, workdir->fd.get());
  if (!jrePath) return NoRuntimeError(commandLine.javaHome);
  HandlePendingSignal();

  if (payload) {
    ShowStatus("unzipping_files");
    if (!UnzipFiles(payload.get(), workdir->fd.get(), nullptr)) return CorruptedPayload(execname);
    payload.reset();
  }
  workdir->fd.reset();
  HandlePendingSignal();

  AddOption(std::string("-Djava.io.tmpdir=") + GetWorkdir());
  AddOption(std::string("-Dtemp.dir=") + tempDir);
  AddOption(ClassPathOption(jrePath->c_str(), home, profile));
  AddOption("-Djava.endorsed.dirs=");
  AddOption("-Xmx256m");
  if (commandLine.isDebug) AddOption("-Ddebug=true");
  if (commandLine.noPortVerification) AddOption("-Dno.port.verification=true");
  if (commandLine.noDomainCreation) AddOption("-Dno.domain=true");
  if (commandLine.visiblePassword) AddOption("-Dpassword.visible=true");

  if (chdir(home) != 0) {
    ShowError("no_set_specified_working_dir", home);
    return 1;
  }
  if (commandLine.consoleMode) SetPrintToConsole(true);
  ShowStatus("executing_java");
  exitStatus = RunInstaller(*jrePath, home, commandLine);
  HandlePendingSignal();

  std::string upgradeScript = std::string(tempDir) + "/UpgradeInvoker.sh";
  int scriptStatus;
  // A script that is not safely ours is neither run nor removed.
  if (exitStatus == 10 && InvokeUpgradeTool(upgradeScript.c_str(), &scriptStatus))
    remove(upgradeScript.c_str());
  HandlePendingSignal();

  SetDoCleanup(profile.cleanup);
  PrepareToExit();
  HandlePendingSignal();
  return exitStatus;
}
