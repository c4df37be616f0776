#include "packager/runtime_bundle.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "base/child_process.h"
#include "base/paths.h"
#include "base/unique_fd.h"
#include "runtime/home.h"

std::string FindJlink() {
  if (const char* javaHome = getenv("JAVA_HOME")) {
    std::string jlink = std::string(javaHome) + "/bin/jlink";
    if (IsExecutable(jlink.c_str())) return jlink;
  }
  return FindExecName("jlink").value_or("");
}

bool MakeJlinkRuntime(const std::string& modules, const std::string& jdk, const std::string& output,
                      bool verbose, std::string* err) {
  std::string jlink = FindJlink();
  if (jlink.empty()) {
    *err = "--jlink needs a JDK's jlink (through JAVA_HOME or PATH); none found";
    return false;
  }
  ChildSpec run;
  run.program = jlink;
  // Java debug attributes only: stripping native symbols needs binutils'
  // objcopy, which many hosts lack, and distributions' JDKs carry none.
  run.args = {jlink,
              "--add-modules=" + modules,
              "--strip-java-debug-attributes",
              "--no-man-pages",
              "--no-header-files",
              "--compress=2",
              "--output=" + output};
  if (!jdk.empty()) run.args.push_back("--module-path=" + jdk + "/jmods");
  // What jlink prints, kept beside its output for the one line that sums up a failure.
  std::string logPath = output + ".log";
  UniqueFd log(verbose ? -1 : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  run.stdoutTo = run.stderrTo = log.get();
  pid_t pid = StartChild(run);
  int status = 0;
  if (pid == -1 || !WaitForChild(pid, &status)) {
    *err = "can't run " + jlink;
    return false;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && GetJREPath(output.c_str())) return true;
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
