#include "runtime/discovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "base/mbstring.h"
#include "base/paths.h"
#include "runtime/version.h"

namespace {

// One runtime found on the host during a search.
struct Candidate {
  std::string version;
  std::string path;
};

// What one call of GetPublicJREPath has found so far.
struct Search {
  std::vector<Candidate> kits;      // in the order found
  std::vector<Candidate> runtimes;  // in the order found
  // Every home probed, with the version it reported (none: refused).
  std::vector<std::pair<std::string, std::optional<std::string>>> probed;
};

// Probes a runtime home found on the host (each home once per search) and
// files it under the kits or the plain runtimes when its version is accepted.
void TestHostRuntime(Search* search, const std::string& home) {
  const std::optional<std::string>* version = nullptr;
  for (const auto& entry : search->probed) {
    if (entry.first == home) version = &entry.second;
  }
  if (version == nullptr) {
    search->probed.emplace_back(home, CheckJREVersion(home.c_str()));
    version = &search->probed.back().second;
  }
  if (!*version) return;
  Candidate found = {**version, home};
  (IsJDK(home.c_str()) ? search->kits : search->runtimes).push_back(found);
}

// The directory two levels above a java program, or none when the path
// holds fewer than two "/" to cut.
std::optional<std::string> TwoLevelsAbove(std::string java) {
  for (int level = 0; level < 2; ++level) {
    const char* slash = _strrchr(java.c_str(), '/');
    if (slash == nullptr) return std::nullopt;
    java.resize(slash - java.c_str());
  }
  return java;
}

// The runtime home two levels above element/java, when that java may be
// executed: where the link stands, or else, for a link such as the
// distributions' /usr/bin/java, where it leads.
void SearchElement(Search* search, const std::string& element) {
  // Made absolute here: the runtime runs after the change into the
  // application home, and must be the one probed now.
  std::string java = Resolve(MakeAbsolute(element).value_or(element).c_str(), "java");
  if (access(java.c_str(), X_OK) != 0) return;
  std::optional<std::string> home;
  if (std::optional<std::string> above = TwoLevelsAbove(java)) home = GetJREPath(above->c_str());
  struct stat st;
  char target[PATH_MAX];
  if (!home && lstat(java.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
      realpath(java.c_str(), target) != nullptr) {
    if (std::optional<std::string> above = TwoLevelsAbove(target)) home = GetJREPath(above->c_str());
  }
  if (home) TestHostRuntime(search, *home);
}

// JAVA_HOME + "/bin", then the elements of PATH.
void SearchPath(Search* search) {
  const char* javaHome = getenv("JAVA_HOME");
  const char* path = getenv("PATH");
  if (javaHome == nullptr && path == nullptr) return;
  std::string elements;
  if (javaHome != nullptr) elements = std::string(javaHome) + "/bin:";
  if (path != nullptr) elements += std::string(path) + ":";
  elements.pop_back();
  for (const std::string& element : SplitPathList(elements)) SearchElement(search, element);
}

// The newest candidate; the one found last among equal versions.
const Candidate* Newest(const std::vector<Candidate>& list) {
  const Candidate* best = nullptr;
  for (const Candidate& c : list) {
    if (best == nullptr || CompareVersions(c.version.c_str(), best->version.c_str()) >= 0) best = &c;
  }
  return best;
}

}  // namespace

std::optional<std::string> GetPublicJREPath(ZipFile* payload, const char* home, int homeFd) {
  std::optional<std::string> payloadKit, payloadRuntime;
  if (std::optional<std::string> bundled = GetBundledJREPath(payload, home, homeFd)) {
    (IsJDK(bundled->c_str()) ? payloadKit : payloadRuntime) = bundled;
  }
  Search search;
  struct stat st;
  if (stat("/usr/j2se", &st) == 0) {
    if (std::optional<std::string> found = GetJREPath("/usr/j2se")) TestHostRuntime(&search, *found);
  }
  SearchPath(&search);

  if (payloadKit) return payloadKit;
  if (const Candidate* kit = Newest(search.kits)) return kit->path;
  if (payloadRuntime) return payloadRuntime;
  if (const Candidate* runtime = Newest(search.runtimes)) return runtime->path;
  return std::nullopt;
}

std::optional<std::string> ChooseRuntime(const std::optional<std::string>& javaHome, ZipFile* payload,
                                         const char* home, int homeFd) {
  if (javaHome) {
    std::optional<std::string> jrePath = GetJREPath(javaHome->c_str());
    if (jrePath && CheckJavaVersion(jrePath->c_str())) return jrePath;
  }
  return GetPublicJREPath(payload, home, homeFd);
}
