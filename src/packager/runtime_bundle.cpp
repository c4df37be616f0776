#include "packager/runtime_bundle.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/exec_name.h"
#include "core/paths.h"
#include "runtime/discovery.h"

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HoldsRuntime(const std::string& home) {
  return IsExecutable((home + "/bin/java").c_str()) &&
         (IsFile(home + "/lib/libjava.so") || IsFile(home + "/lib/" + GetArch() + "/libjava.so"));
}

}  // namespace

bool IsRuntimeHome(const std::string& dir) { return HoldsRuntime(dir) || HoldsRuntime(dir + "/jre"); }

std::string FindJlink() {
  if (const char* javaHome = getenv("JAVA_HOME")) {
    std::string jlink = std::string(javaHome) + "/bin/jlink";
    if (IsExecutable(jlink.c_str())) return jlink;
  }
  return FindExecName("jlink");
}

bool MakeJlinkRuntime(const std::string& modules, const std::string& output, std::string* err) {
  std::string jlink = FindJlink();
  if (jlink.empty()) {
    *err = "--jlink needs a JDK's jlink (through JAVA_HOME or PATH); none found";
    return false;
  }
  std::string addModules = "--add-modules=" + modules;
  std::string outputOption = "--output=" + output;
  std::vector<const char*> argv = {jlink.c_str(),       addModules.c_str(), "--strip-debug",
                                   "--no-man-pages",    "--no-header-files", "--compress=2",
                                   outputOption.c_str(), nullptr};
  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    *err = "can't start jlink";
    return false;
  }
  if (pid == 0) {
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *err = "lost track of jlink";
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && IsRuntimeHome(output)) return true;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    *err = jlink + " could not be run";
  } else if (WIFEXITED(status)) {
    *err = "jlink --add-modules=" + modules + " failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  } else {
    *err = "jlink ended by signal " + std::to_string(WTERMSIG(status));
  }
  return false;
}
