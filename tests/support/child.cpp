#include "support/child.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace test {

bool ChildResult::exited(int code) const { return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == code; }

std::string ChildResult::Describe() const {
  if (exited(0)) return value;
  std::ostringstream s;
  if (WIFEXITED(waitStatus)) s << "<child exited " << WEXITSTATUS(waitStatus) << ">";
  else if (WIFSIGNALED(waitStatus)) s << "<child killed by signal " << WTERMSIG(waitStatus) << ">";
  else s << "<child status " << waitStatus << ">";
  if (!err.empty()) s << " stderr: " << err;
  return s.str();
}

namespace {

void WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads the three pipes until all are closed, so that no child can block on
// a full pipe while the parent waits.
void Drain(int fds[3], std::string* bufs[3]) {
  int open = 3;
  while (open > 0) {
    struct pollfd p[3];
    for (int i = 0; i < 3; ++i) p[i] = {fds[i], POLLIN, 0};
    if (poll(p, 3, -1) < 0) return;
    for (int i = 0; i < 3; ++i) {
      if (fds[i] < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t n = read(fds[i], buf, sizeof buf);
      if (n > 0) {
        bufs[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i]);
        fds[i] = -1;
        --open;
      }
    }
  }
}

}  // namespace

ChildResult RunInChild(const std::function<std::string()>& fn, const ChildOptions& options) {
  ChildResult result;
  int value[2], out[2], err[2];
  if (pipe(value) != 0 || pipe(out) != 0 || pipe(err) != 0) {
    ADD_FAILURE() << "pipe: " << strerror(errno);
    return result;
  }
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(value[0]);
    close(out[0]);
    close(err[0]);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[1]);
    close(err[1]);
    if (options.asRoot) {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        fprintf(stderr, "private mount namespace: %s\n", strerror(errno));
        _exit(125);
      }
      options.asRoot();
    }
    if (options.unprivileged) {
      if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
          setresuid(kNobody, kNobody, kNobody) != 0) {
        fprintf(stderr, "dropping privileges: %s\n", strerror(errno));
        _exit(125);
      }
    }
    std::string v = fn();
    WriteAll(value[1], v);
    fflush(nullptr);
    _exit(0);
  }
  close(value[1]);
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << strerror(errno);
    close(value[0]);
    close(out[0]);
    close(err[0]);
    return result;
  }
  int fds[3] = {value[0], out[0], err[0]};
  std::string* bufs[3] = {&result.value, &result.out, &result.err};
  Drain(fds, bufs);
  while (waitpid(pid, &result.waitStatus, 0) < 0 && errno == EINTR) {
  }
  return result;
}

std::string InChild(const std::function<std::string()>& fn, const ChildOptions& options) {
  return RunInChild(fn, options).Describe();
}

std::string AsNobody(const std::function<std::string()>& fn) {
  ChildOptions options;
  options.unprivileged = true;
  return InChild(fn, options);
}

void UseLocaleEnvironment(const char* lang) {
  static const char* const vars[] = {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LC_COLLATE", "LC_NUMERIC",
                                     "LC_TIME", "LC_MONETARY", "LANGUAGE"};
  for (const char* v : vars) unsetenv(v);
  if (lang) setenv("LANG", lang, 1);
  else unsetenv("LANG");
}

bool HaveLocale(const char* name) {
  std::string found = InChild([name] { return std::string(setlocale(LC_ALL, name) ? "yes" : "no"); });
  if (found != "yes") {
    ADD_FAILURE() << "the locale " << name
                  << " is not installed; scripts/install-deps.sh generates the locales the tests need";
    return false;
  }
  return true;
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
  if (path_.empty()) return;
  std::error_code ec;
  // Permission tests leave directories without search permission behind.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
  }
  chmod(path_.c_str(), 0700);
  std::filesystem::remove_all(path_, ec);
}

std::string ScratchDir::Write(const std::string& name, const std::string& content, unsigned mode) const {
  std::string file = *this / name;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  {
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f << content;
  }
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
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace test
