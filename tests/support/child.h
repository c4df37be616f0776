// Running a piece of test code in a child process (for code that changes
// process-wide state, or that must run as an unprivileged user), and
// scratch files.
#pragma once

#include <functional>
#include <string>

namespace test {

/// The unprivileged user and group the tests run code as.
constexpr unsigned kNobody = 65534;

struct ChildOptions {
  /// Drop to uid/gid 65534 with no supplementary groups before running.
  bool unprivileged = false;
  /// Run first, as root, in a private mount namespace.
  std::function<void()> asRoot;
};

/// Runs fn in a forked child and returns what it returned, or how the child
/// ended when it did not return.
std::string InChild(const std::function<std::string()>& fn, const ChildOptions& options = {});

/// Runs fn as the unprivileged user.
std::string AsNobody(const std::function<std::string()>& fn);

/// Sets LANG to lang (unset for null) and removes every other locale variable.
void UseLocaleEnvironment(const char* lang);

/// Fails the calling test (with a hint) unless the system has this locale.
bool HaveLocale(const char* name);

/// A fresh directory under /tmp, removed with its contents at destruction.
class ScratchDir {
 public:
  explicit ScratchDir(unsigned mode = 0700);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  /// Creates the file name (with its parent directories) holding content.
  std::string Write(const std::string& name, const std::string& content, unsigned mode = 0644) const;
  std::string MakeDir(const std::string& name, unsigned mode = 0755) const;

 private:
  std::string path_;
};

/// A whole file; empty when it can't be read.
std::string ReadFile(const std::string& path);

/// Hex dump of a byte string, for readable byte-for-byte comparisons.
std::string Hex(const std::string& bytes);

}  // namespace test
