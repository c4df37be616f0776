#include "runtime/version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "base/child_process.h"
#include "base/mbstring.h"
#include "base/paths.h"
#include "base/signals.h"
#include "base/unique_fd.h"

namespace {

// Searched in this order; the count bounds the search.
const char* const supported_vm_versions[] = {"1.4.1", "1.4.2", "1.4.3", "1.4.4", "1.4.5", "1.4.6", "1.4.7",
                                             "1.4.8", "1.4.9", "1.5",   "1.6",   "1.7",   "1.8",   "1.9"};

// Only this much of a runtime's "-version" output is looked at.
constexpr size_t kProbeBytes = 512;

// A probe may take this long before its runtime is rejected.
unsigned probeSeconds = 30;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsVersionSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+'; }

// The digits at the start of *text without their leading zeros; *text moves
// to the end of the component.
std::string TakeComponent(const char** text) {
  const char* p = *text;
  while (*p == '0' && IsDigit(p[1])) ++p;
  const char* digits = p;
  while (IsDigit(*p)) ++p;
  std::string number(digits, p);
  while (*p != '\0' && !IsVersionSeparator(*p)) ++p;
  *text = p;
  return number.empty() ? "0" : number;
}

// Numbers of any length, given as digits without leading zeros.
int CompareNumbers(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

const char* WithoutOldPrefix(const char* version) {
  return strncmp(version, "1.", 2) == 0 ? version + 2 : version;
}

// The version in a runtime's "-version" output: the first line, cut at its
// last double quote, then the text after the double quote before that; the
// line itself when no such quote is left.
std::string VersionFromOutput(const std::string& output) {
  std::string line = output.c_str();
  if (const char* newline = _strchr(line.c_str(), '\n')) line.resize(newline - line.c_str());
  if (const char* quote = _strrchr(line.c_str(), '"')) {
    line.resize(quote - line.c_str());
    if (const char* opening = _strrchr(line.c_str(), '"')) line.erase(0, opening + 1 - line.c_str());
  }
  return line;
}

}  // namespace

bool CheckVersion(const char* version) {
  for (const char* entry : supported_vm_versions) {
    if (strncmp(entry, version, strlen(entry)) == 0) return true;
  }
  // Java 9 and later number themselves "9", "11.0.2", "17.0.15".
  if (strncmp(version, "1.", 2) == 0 || !IsDigit(version[0])) return false;
  std::string major = TakeComponent(&version);
  return CompareNumbers(major, "9") >= 0;
}

int CompareVersions(const char* a, const char* b) {
  a = WithoutOldPrefix(a);
  b = WithoutOldPrefix(b);
  while (*a != '\0' || *b != '\0') {
    int order = CompareNumbers(TakeComponent(&a), TakeComponent(&b));
    if (order != 0) return order;
    if (*a != '\0') ++a;
    if (*b != '\0') ++b;
  }
  return 0;
}

std::optional<std::string> CheckJREVersion(const char* runtimeHome) {
  struct stat st;
  if (stat(runtimeHome, &st) != 0) return std::nullopt;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  ChildSpec probe;
  probe.program = Resolve(runtimeHome, "bin/java");
  probe.args = {probe.program, "-version"};
  probe.env = std::vector<std::string>();
  probe.stderrTo = writeEnd.get();
  probe.closeStdinStdout = true;
  probe.ownProcessGroup = true;
  pid_t pid = StartChild(probe);
  writeEnd.reset();
  if (pid == -1) return std::nullopt;
  // Only the first kProbeBytes are kept; a probe still running after the
  // time limit is killed with everything it started.
  std::string output;
  ChildOutput collected;
  collected.fd = readEnd.get();
  collected.text = &output;
  collected.limit = kProbeBytes;
  int status = 0;
  SetSignalRecipient(-pid);
  ChildWait waited = WaitForChild(pid, &status, static_cast<int>(probeSeconds * 1000), &collected);
  if (waited == ChildWait::kTimedOut) {
    kill(-pid, SIGKILL);
    waited = WaitForChild(pid, &status) == ChildWait::kEnded ? ChildWait::kTimedOut : ChildWait::kFailed;
  }
  SetSignalRecipient(0);
  if (waited != ChildWait::kEnded || !WIFEXITED(status) || output.empty()) return std::nullopt;
  std::string version = VersionFromOutput(output);
  if (!CheckVersion(version.c_str())) return std::nullopt;
  return version;
}

void SetProbeTimeLimit(unsigned seconds) { probeSeconds = seconds; }

bool CheckJavaVersion(const char* runtimeHome) { return CheckJREVersion(runtimeHome).has_value(); }

bool CheckJavaClassFile(const char* home, const char* className) {
  std::string file = Resolve(home, className) + ".class";
  return access(file.c_str(), R_OK) == 0;
}
