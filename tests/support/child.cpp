#include "support/child.h"

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace test {

std::string InChild(const std::function<std::string()>& fn, const ChildOptions& options) {
  int value[2];
  if (pipe(value) != 0) return "<pipe failed>";
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(value[0]);
    if (options.asRoot) {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(125);
      options.asRoot();
    }
    if (options.unprivileged && (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                                 setresuid(kNobody, kNobody, kNobody) != 0))
      _exit(125);
    std::string v = fn();
    for (size_t done = 0; done < v.size();) {
      ssize_t n = write(value[1], v.data() + done, v.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    fflush(nullptr);
    _exit(0);
  }
  close(value[1]);
  std::string result;
  char buf[4096];
  for (ssize_t n; (n = read(value[0], buf, sizeof buf)) > 0;) result.append(buf, static_cast<size_t>(n));
  close(value[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return result;
  if (WIFSIGNALED(status)) return "<child killed by signal " + std::to_string(WTERMSIG(status)) + ">";
  return "<child exited " + std::to_string(WEXITSTATUS(status)) + ">";
}

std::string AsNobody(const std::function<std::string()>& fn) {
  ChildOptions options;
  options.unprivileged = true;
  return InChild(fn, options);
}

void UseLocaleEnvironment(const char* lang) {
  for (const char* v : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LC_COLLATE", "LC_NUMERIC", "LC_TIME", "LC_MONETARY",
                        "LANGUAGE"})
    unsetenv(v);
  lang ? setenv("LANG", lang, 1) : unsetenv("LANG");
}

bool HaveLocale(const char* name) {
  if (InChild([name] { return std::string(setlocale(LC_ALL, name) ? "yes" : "no"); }) == "yes") return true;
  ADD_FAILURE() << "the locale " << name << " is not installed; scripts/install-deps.sh generates those the tests need";
  return false;
}

ScratchDir::ScratchDir(unsigned mode) {
  char templ[] = "/tmp/bramlet-test.XXXXXX";
  if (mkdtemp(templ) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    return;
  }
  path_ = templ;
  chmod(path_.c_str(), mode);
}

ScratchDir::~ScratchDir() {
  // Permission tests leave directories without search permission behind.
  if (!path_.empty() && system(("chmod -R u+rwx " + path_ + "; rm -rf " + path_).c_str()) != 0) ADD_FAILURE();
}

std::string ScratchDir::Write(const std::string& name, const std::string& content, unsigned mode) const {
  std::string file = *this / name;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
  chmod(file.c_str(), mode);
  return file;
}

std::string ScratchDir::MakeDir(const std::string& name, unsigned mode) const {
  std::string dir = *this / name;
  std::filesystem::create_directories(dir);
  chmod(dir.c_str(), mode);
  return dir;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += std::string(out.empty() ? "" : " ") + digits[c >> 4] + digits[c & 15];
  return out;
}

}  // namespace test
