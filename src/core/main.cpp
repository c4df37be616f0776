// The launcher's entry point: one fixed sequence from the launcher's own
// file to the installer's exit status. Every step's work lives in its
// subsystem; this file only orders the steps and turns failures into
// messages and exit statuses.
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "core/exec_name.h"
#include "core/option_list.h"
#include "core/options.h"
#include "core/profile.h"
#include "core/signals.h"
#include "core/termination.h"
#include "runtime/discovery.h"
#include "runtime/launch.h"
#include "runtime/version.h"
#include "ui/output.h"
#include "workenv/lock.h"
#include "workenv/tempdir.h"

namespace {

// Room kept free beyond the payload's own size.
const int64_t kSpaceReserve = 100000;
// Path suffixes that lead the class path when the runtime is a development kit.
const char* const jdkClassPath[] = {"/lib/tools.jar", "/classes"};

const char* progname = nullptr;

int TempDirError(const char* tempDir) {
  HandlePendingSignal();
  ShowError("no_writable_system_tmpdir", tempDir);
  ShowError("no_writable_system_tmpdir_usage", progname);
  return 1;
}

// Makes a fresh working directory, mode 0700, in one step. Its name begins
// with the program name.
bool MakeWorkingDirectory(const char* tempDir) {
  std::string base = tempDir;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string templ = base + "/" + progname + "XXXXXX";
    if (mkdtemp(&templ[0]) != nullptr) {
      SetWorkdir(templ.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// The uncompressed size of the payload, or 0 when the executable is no
// archive. Points the application home at the working directory when it is.
int64_t PayloadSize(const char* execname) {
  int64_t total = 0;
  ZipFile* zip = zipOpen(execname, nullptr);
  if (zip == nullptr) return 0;
  for (int i = 0;; ++i) {
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) break;
    total += static_cast<int64_t>(entry->size);
    zipFreeEntry(zip, entry);
  }
  zipClose(zip);
  SetApplicationHome(GetWorkdir());
  return total;
}

// Checks that the working directory's file system has room for required
// bytes; prints the failure and returns its status, or 0.
int CheckFreeSpace(const char* tempDir, int64_t required) {
  struct statvfs fs;
  uint64_t available;
  if (statvfs(GetWorkdir(), &fs) == 0) {
    available = static_cast<uint64_t>(fs.f_frsize) * static_cast<uint64_t>(fs.f_bavail);
  } else if (errno == EOVERFLOW) {
    available = static_cast<uint64_t>(required) + 1;
  } else {
    return TempDirError(tempDir);
  }
  if (static_cast<uint64_t>(required) > available) {
    char requiredText[32], availableText[32];
    snprintf(requiredText, sizeof requiredText, "%lli", static_cast<long long>(required));
    snprintf(availableText, sizeof availableText, "%lli", static_cast<long long>(available));
    ShowError("no_space_system_tmpdir", tempDir, requiredText, availableText);
    ShowError("no_writable_system_tmpdir_usage", progname);
    return 1;
  }
  return 0;
}

// Chooses the runtime: the -javahome one when it is usable and supported,
// else the best one found. Empty, after the messages, when there is none.
std::string ChooseRuntime(const std::string& javaHome) {
  std::string jrePath;
  if (!javaHome.empty()) {
    jrePath = GetJREPath(javaHome.c_str());
    if (!jrePath.empty() && CheckJavaVersion(jrePath.c_str())) return jrePath;
  }
  jrePath = GetPublicJREPath();
  if (!jrePath.empty()) return jrePath;
  HandlePendingSignal();
  if (!javaHome.empty()) ShowError("no_find_specified_java", javaHome.c_str());
  else ShowError("no_find_java");
  ShowError("no_find_java_usage", kMinimumVersion, BRAMLET_JAVA_DOWNLOAD_URL, progname);
  return std::string();
}

// "-Djava.class.path=": a development kit's own jars first, then the
// application home and the profile's elements inside it.
std::string ClassPathOption(const std::string& jrePath, const char* home) {
  std::string option = "-Djava.class.path=";
  if (IsJDK(jrePath.c_str())) {
    for (const char* suffix : jdkClassPath) option += jrePath + suffix + ":";
  }
  option += home;
  const char* const* elements = nullptr;
  int count = GetJavaClasspathElements(&elements);
  for (int i = 0; i < count; ++i) option += std::string(":") + home + elements[i];
  return option;
}

}  // namespace

int main(int argc, char** argv) {
  const char* execname = SetExecName(argv[0]);
  if (execname == nullptr) {
    ShowError("no_resolve_exec_path");
    return 1;
  }
  ExitIfNotOnlyInstance();
  progname = GetProgName();
  --argc;
  ++argv;
  InstallSignalDispositions();

  std::vector<std::string> wizardArgs;
  std::string javaHome, tempDir;
  bool consoleMode = false;
  int exitStatus = 1;
  if (!ParseArguments(argc, argv, &wizardArgs, &javaHome, &tempDir, &consoleMode, &exitStatus)) {
    HandlePendingSignal();
    return exitStatus;
  }
  ShowStatus("checking_disk_space");

  // SetTempDir keeps the absolute form of -tmpdir, which still names the
  // directory after the change into the application home.
  const char* tmp = GetTempDir();
  if (tmp == nullptr) return TempDirError(tempDir.empty() ? kDefaultTempDir : tempDir.c_str());
  tempDir = tmp;
  if (!MakeWorkingDirectory(tempDir.c_str())) return TempDirError(tempDir.c_str());
  HandlePendingSignal();

  int64_t required = PayloadSize(execname) + kSpaceReserve;
  if (int status = CheckFreeSpace(tempDir.c_str(), required)) return status;
  HandlePendingSignal();

  ShowStatus("checking_java");
  std::string jrePath = ChooseRuntime(javaHome);
  if (jrePath.empty()) return 1;
  HandlePendingSignal();

  if (ZipFile* zip = zipOpen(execname, nullptr)) {
    ShowStatus("unzipping_files");
    if (!UnzipFiles(zip, GetWorkdir(), nullptr)) {
      HandlePendingSignal();
      ShowError("corrupted_zip_file", execname);
      return 1;
    }
    zipClose(zip);
  }
  HandlePendingSignal();

  AddOption(std::string("-Djava.io.tmpdir=") + GetWorkdir());
  AddOption("-Dtemp.dir=" + tempDir);
  const char* home = GetApplicationHome();
  if (home == nullptr) {
    ShowError("no_find_exec_dir");
    return 1;
  }
  AddOption(ClassPathOption(jrePath, home));
  AddOption("-Djava.endorsed.dirs=");
  AddOption("-Xmx256m");
  if (isDebug) AddOption("-Ddebug=true");
  if (noPortVerification) AddOption("-Dno.port.verification=true");
  if (noDomainCreation) AddOption("-Dno.domain=true");
  if (visiblePassword) AddOption("-Dpassword.visible=true");

  if (chdir(home) != 0) {
    ShowError("no_set_specified_working_dir", home);
    return 1;
  }
  if (consoleMode) SetPrintToConsole(true);
  ShowStatus("executing_java");
  std::vector<char*> wizard;
  for (std::string& arg : wizardArgs) wizard.push_back(&arg[0]);
  wizard.push_back(nullptr);
  exitStatus = ExecuteJava(jrePath.c_str(), numOptions, options, static_cast<int>(wizardArgs.size()), wizard.data());
  HandlePendingSignal();

  std::string upgradeScript = tempDir + "/UpgradeInvoker.sh";
  if (exitStatus == 10) {
    // A script that is not safely ours is neither run nor removed.
    if (InvokeUpgradeTool(upgradeScript.c_str()) != kUpgradeScriptRefused) remove(upgradeScript.c_str());
  }
  HandlePendingSignal();

  SetDoCleanup();
  PrepareToExit();
  HandlePendingSignal();
  return exitStatus;
}
