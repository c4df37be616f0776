#include "packager/runtime_bundle.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/child_process.h"
#include "base/paths.h"
#include "base/unique_fd.h"
#include "packager/strip_symbols.h"
#include "runtime/home.h"

std::string FindJdkTool(const char* name) {
  if (const char* javaHome = getenv("JAVA_HOME")) {
    std::string tool = std::string(javaHome) + "/bin/" + name;
    if (IsExecutable(tool.c_str())) return tool;
  }
  return FindExecName(name).value_or("");
}

std::string FindJlink() { return FindJdkTool("jlink"); }

namespace {

// Strips every ELF file of the runtime at home.
bool StripRuntime(const std::string& home, std::string* err) {
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(home, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error) && !StripSymbols(it->path().string(), err))
      return false;
  }
  if (error) *err = home + ": " + error.message();
  return !error;
}

}  // namespace

bool MakeJlinkRuntime(const std::string& modules, const std::string& jdk, const std::string& output,
                      bool verbose, std::string* err) {
  std::string jlink = FindJlink();
  if (jlink.empty()) {
    *err = "--jlink needs a JDK's jlink (through JAVA_HOME or PATH); none found";
    return false;
  }
  ChildSpec run;
  run.program = jlink;
  // Uncompressed: the payload deflates the runtime better than jlink does,
  // and the runtime then starts without inflating its modules again. Native
  // symbols go afterwards (StripSymbols): jlink's own stripping needs
  // binutils' objcopy, which many hosts lack.
  run.args = {jlink,
              "--add-modules=" + modules,
              "--strip-java-debug-attributes",
              "--no-man-pages",
              "--no-header-files",
              "--output=" + output};
  if (!jdk.empty()) run.args.push_back("--module-path=" + jdk + "/jmods");
  // What jlink prints, kept beside its output for the one line that sums up a failure.
  std::string logPath = output + ".log";
  UniqueFd log(verbose ? -1 : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  run.stdoutTo = run.stderrTo = log.get();
  pid_t pid = StartChild(run);
  int status = 0;
  if (pid == -1 || WaitForChild(pid, &status) != ChildWait::kEnded) {
    *err = "can't run " + jlink;
    return false;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && GetJREPath(output.c_str())) return StripRuntime(output, err);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    *err = jlink + " could not be run";
  } else if (WIFEXITED(status)) {
    *err = "jlink --add-modules=" + modules + " failed (exit status " + std::to_string(WEXITSTATUS(status)) +
           ")";
  } else {
    *err = "jlink ended by signal " + std::to_string(WTERMSIG(status));
  }
  std::ifstream said(logPath);
  std::string line;
  while (std::getline(said, line) && line.empty()) {
  }
  if (!line.empty()) *err += ": " + line;
  return false;
}
