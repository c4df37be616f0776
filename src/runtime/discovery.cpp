#include "runtime/discovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/mbstring.h"
#include "core/paths.h"
#include "runtime/version.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// One runtime found during a search; the payload's runtime has no version.
struct Candidate {
  std::string version;
  std::string path;
};

// What one call of GetPublicJREPath has found so far.
struct Search {
  std::vector<Candidate> kits;      // in the order found
  std::vector<Candidate> runtimes;  // in the order found
  // Every home probed, with the version it reported (empty: refused).
  std::vector<std::pair<std::string, std::string>> probed;
};

// Probes a runtime home found on the host (each home once per search) and
// files it under the kits or the plain runtimes when its version is accepted.
void TestHostRuntime(Search* search, const std::string& home) {
  const std::string* version = nullptr;
  for (const auto& entry : search->probed) {
    if (entry.first == home) version = &entry.second;
  }
  if (version == nullptr) {
    search->probed.emplace_back(home, CheckJREVersion(home.c_str()));
    version = &search->probed.back().second;
  }
  if (version->empty()) return;
  Candidate found = {*version, home};
  (IsJDK(home.c_str()) ? search->kits : search->runtimes).push_back(found);
}

// Cuts path at its last "/"; false when it holds none.
bool CutLastComponent(std::string* path) {
  const char* slash = _strrchr(path->c_str(), '/');
  if (slash == nullptr) return false;
  path->resize(slash - path->c_str());
  return true;
}

// The runtime home two levels above element/java, when that java may be
// executed and the directory there is a runtime home.
void SearchElement(Search* search, const std::string& element) {
  std::string java = Resolve(element.empty() ? "." : element.c_str(), "java");
  if (access(java.c_str(), X_OK) != 0) return;
  // A relative element such as "." or "bin" has no runtime home above it.
  if (!CutLastComponent(&java) || !CutLastComponent(&java)) return;
  std::string home = GetJREPath(java.c_str());
  if (!home.empty()) TestHostRuntime(search, home);
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
  const char* start = elements.c_str();
  for (;;) {
    const char* colon = _strchr(start, ':');
    SearchElement(search, colon ? std::string(start, colon) : std::string(start));
    if (colon == nullptr) return;
    start = colon + 1;
  }
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

std::string GetJREPath(const char* directory) {
  std::string dir = directory;
  std::string arch = GetArch();
  std::string home;
  if (Exists(dir + "/lib/" + arch + "/libjava.so")) {
    home = dir;
  } else if (Exists(dir + "/jre/lib/" + arch + "/libjava.so")) {
    home = dir + "/jre";
  } else if (Exists(dir + "/lib/libjava.so")) {
    // Java 9 and later keep their libraries directly under lib.
    home = dir;
  } else {
    return std::string();
  }
  return IsExecutable((home + "/bin/java").c_str()) ? home : std::string();
}

bool IsJDK(const char* runtimeHome) {
  const char* slash = _strrchr(runtimeHome, '/');
  std::string home = runtimeHome;
  if (slash != nullptr && strcmp(slash, "/jre") == 0) return Exists(home + "/../lib/tools.jar");
  return Exists(home + "/lib/tools.jar");
}

std::string GetPublicJREPath() {
  Candidate payloadKit, payloadRuntime;
  if (const char* bundled = GetBundledJREPath()) {
    (IsJDK(bundled) ? payloadKit : payloadRuntime).path = bundled;
  }
  Search search;
  struct stat st;
  if (stat("/usr/j2se", &st) == 0) {
    std::string home = GetJREPath("/usr/j2se");
    if (!home.empty()) TestHostRuntime(&search, home);
  }
  SearchPath(&search);

  if (!payloadKit.path.empty()) return payloadKit.path;
  if (const Candidate* kit = Newest(search.kits)) return kit->path;
  if (!payloadRuntime.path.empty()) return payloadRuntime.path;
  if (const Candidate* runtime = Newest(search.runtimes)) return runtime->path;
  return std::string();
}
