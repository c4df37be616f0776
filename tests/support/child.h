// Running a piece of test code in a child process: for code that changes
// process-wide state (locale, current directory, module caches), that must
// run as an unprivileged user, or that ends the process.
#pragma once

#include <functional>
#include <string>

namespace test {

/// The unprivileged user and group the tests run code as.
constexpr unsigned kNobody = 65534;

struct ChildOptions {
  /// Drop to uid/gid 65534 with no supplementary groups before running.
  bool unprivileged = false;
  /// Before dropping privileges: enter a private mount namespace (so that
  /// the code may bind-mount over system directories without affecting
  /// anything else). Runs as root.
  std::function<void()> asRoot;
};

struct ChildResult {
  int waitStatus = 0;    // as stored by waitpid
  std::string value;     // what the function returned
  std::string err;       // everything the child wrote to standard error
  std::string out;       // everything the child wrote to standard output
  bool exited(int code) const;
  /// The value, or a description of how the child ended when it did not
  /// return normally.
  std::string Describe() const;
};

/// Runs fn in a forked child and collects its result and output.
ChildResult RunInChild(const std::function<std::string()>& fn, const ChildOptions& options = {});

/// Shorthand: the function's value, or how the child ended instead.
std::string InChild(const std::function<std::string()>& fn, const ChildOptions& options = {});

/// Runs fn as the unprivileged user.
std::string AsNobody(const std::function<std::string()>& fn);

/// Sets LANG to lang and removes every other locale variable.
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
  /// path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  /// Creates the file name (with its parent directories) holding content.
  std::string Write(const std::string& name, const std::string& content, unsigned mode = 0644) const;
  std::string MakeDir(const std::string& name, unsigned mode = 0755) const;

 private:
  std::string path_;
};

/// Reads a whole file; empty when it can't be read.
std::string ReadFile(const std::string& path);

/// Hex dump of a byte string, for readable byte-for-byte comparisons.
std::string Hex(const std::string& bytes);

}  // namespace test
