#include "packager/module_needs.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "base/child_process.h"
#include "base/paths.h"
#include "base/unique_fd.h"
#include "packager/runtime_bundle.h"

namespace {

// What jdeps prints for jars of any size is a line of modules, or an error
// and a stack trace; the first part of it is all that is read.
constexpr size_t kJdepsOutputLimit = 1 << 20;

// Class-file versions count on from Java 1.1's 45.
constexpr int kClassVersionOfJava0 = 44;

struct ZipDiscarder {
  void operator()(zip_t* za) const { zip_discard(za); }
};

bool Refuse(const std::string& message, std::string* err) {
  *err = message;
  return false;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(separator, at);
    if (end == std::string::npos) end = text.size();
    if (end > at) parts.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

// The value of key in a runtime's release file (KEY="VALUE" lines); none
// when the file or the key is missing.
std::optional<std::string> ReleaseValue(const std::string& path, const std::string& key) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    std::string value = line.substr(key.size() + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return std::nullopt;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The jdeps of the JDK that jlink belongs to: links such as /usr/bin/jlink
// resolved, so that both come from one JDK. Empty when it has none.
std::string JdepsBeside(const std::string& jlink) {
  std::string real = RealPath(jlink);
  std::string jdeps = real.substr(0, real.rfind('/') + 1) + "jdeps";
  return !real.empty() && IsExecutable(jdeps.c_str()) ? jdeps : std::string();
}

// The feature version (17 of 17.0.2, 8 of 1.8.0) of the JDK whose tool is
// at path, from the release file above its bin/.
std::optional<int> JdkFeature(const std::string& tool) {
  std::string real = RealPath(tool);
  size_t bin = real.rfind("/bin/");
  if (bin == std::string::npos) return std::nullopt;
  std::optional<std::string> version = ReleaseValue(real.substr(0, bin) + "/release", "JAVA_VERSION");
  if (!version) return std::nullopt;
  const char* text = version->c_str();
  char* end = nullptr;
  long feature = strtol(text, &end, 10);
  if (feature == 1 && *end == '.') feature = strtol(end + 1, &end, 10);
  if (end == text || feature < 1 || feature > 9999) return std::nullopt;
  return static_cast<int>(feature);
}

// Every class of jar that Java feature loads must be of a class-file version
// it knows: jdeps passes over newer ones without a word (or reads them, and
// the runtime then refuses them). Versioned entries for a later Java are
// never loaded.
bool CheckClassVersions(const std::string& jar, int feature, const std::string& jdeps, std::string* err) {
  int code = 0;
  std::unique_ptr<zip_t, ZipDiscarder> za(zip_open(jar.c_str(), ZIP_RDONLY, &code));
  if (!za) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    *err = jar + ": not a jar (" + zip_error_strerror(&error) + ")";
    zip_error_fini(&error);
    return false;
  }
  static const char kVersioned[] = "META-INF/versions/";
  zip_int64_t count = zip_get_num_entries(za.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(za.get(), static_cast<zip_uint64_t>(i), 0);
    if (name == nullptr || !EndsWith(name, ".class") ||
        (strncmp(name, kVersioned, sizeof kVersioned - 1) == 0 &&
         atoi(name + sizeof kVersioned - 1) > feature))
      continue;
    unsigned char head[8];
    zip_int64_t got = -1;
    if (zip_file_t* f = zip_fopen_index(za.get(), static_cast<zip_uint64_t>(i), 0)) {
      got = zip_fread(f, head, sizeof head);
      zip_fclose(f);
    }
    // What is no class file is jdeps' to judge.
    if (got != static_cast<zip_int64_t>(sizeof head) || head[0] != 0xca || head[1] != 0xfe ||
        head[2] != 0xba || head[3] != 0xbe)
      continue;
    int major = head[6] << 8 | head[7];
    if (major > feature + kClassVersionOfJava0)
      return Refuse(jar + ": " + name + " is for Java " + std::to_string(major - kClassVersionOfJava0) +
                        " (class-file version " + std::to_string(major) + "), newer than the JDK of " +
                        jdeps + " (Java " + std::to_string(feature) + ")",
                    err);
  }
  return true;
}

// What sums up jdeps' failure: its first line, without the words that begin
// a stack trace.
std::string FirstLine(const std::string& output) {
  for (const std::string& line : Split(output, '\n')) {
    static const char kTrace[] = "Exception in thread \"main\" ";
    if (line.compare(0, sizeof kTrace - 1, kTrace) == 0) return line.substr(sizeof kTrace - 1);
    if (line.find_first_not_of(" \t\r") != std::string::npos) return line;
  }
  return std::string();
}

// A module list as jdeps prints it: names joined by ",".
bool ParseModuleList(const std::string& line, std::vector<std::string>* modules) {
  *modules = Split(line, ',');
  for (const std::string& module : *modules) {
    if (module.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._") !=
        std::string::npos)
      return false;
  }
  return !modules->empty();
}

// Runs jdeps over jars and puts the modules they need, in jdeps' order,
// into *modules.
bool RunJdeps(const std::string& jdeps, const std::vector<std::string>& jars, bool verbose,
              std::vector<std::string>* modules, std::string* err) {
  std::optional<int> feature = JdkFeature(jdeps);
  if (!feature) return Refuse(jdeps + ": no release file names its JDK's version", err);
  for (const std::string& jar : jars) {
    if (!CheckClassVersions(jar, *feature, jdeps, err)) return false;
  }
  ChildSpec run;
  run.program = jdeps;
  // Multi-release jars are read as the runtime of that version reads them;
  // without the option jdeps refuses them.
  run.args = {jdeps, "--print-module-deps", "--ignore-missing-deps", "--multi-release",
              std::to_string(*feature)};
  run.args.insert(run.args.end(), jars.begin(), jars.end());
  if (verbose) printf("mksetup: %s\n", Join(run.args, " ").c_str());
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return Refuse("can't run " + jdeps + ": " + strerror(errno), err);
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  // Its errors and warnings go to standard output, a stack trace to standard error.
  run.stdoutTo = run.stderrTo = writeEnd.get();
  pid_t pid = StartChild(run);
  writeEnd.reset();
  std::string output;
  ChildOutput collected{readEnd.get(), &output, kJdepsOutputLimit};
  int status = 0;
  if (pid == -1 || WaitForChild(pid, &status, -1, &collected) != ChildWait::kEnded)
    return Refuse("can't run " + jdeps, err);
  std::string said = FirstLine(output);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    // The list is its last line; warnings may come before it.
    std::vector<std::string> lines = Split(output, '\n');
    if (!lines.empty() && ParseModuleList(lines.back(), modules)) return true;
    return Refuse(jdeps + " found no modules the application needs" + (said.empty() ? "" : ": " + said), err);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return Refuse(jdeps + " could not be run", err);
  *err = WIFEXITED(status) ? "jdeps failed on the application's jars (exit status " +
                                 std::to_string(WEXITSTATUS(status)) + ")"
                           : "jdeps ended by signal " + std::to_string(WTERMSIG(status));
  if (!said.empty()) *err += ": " + said;
  return false;
}

}  // namespace

bool NamesAutoModules(const std::string& modules) {
  std::vector<std::string> names = Split(modules, ',');
  return std::find(names.begin(), names.end(), kAutoModules) != names.end();
}

bool PlanModuleCheck(Command* command, const std::vector<std::string>& jars, ModuleCheck* check,
                     std::string* err) {
  bool automatic = NamesAutoModules(command->jlinkModules);
  std::string jdeps;
  if (!command->jlinkModules.empty()) {
    // Without jlink, making the runtime fails and says so.
    std::string jlink = FindJlink();
    if (jlink.empty()) return true;
    jdeps = JdepsBeside(jlink);
    if (jdeps.empty() && automatic)
      return Refuse("--jlink auto needs the jdeps of the JDK of " + jlink + "; it has none", err);
    if (jdeps.empty()) check->unchecked = "no jdeps beside " + jlink;
  } else if (!command->runtime.empty()) {
    // A runtime that names no modules (Java 8) holds them all, and one
    // bundled as it is is checked only where the host has a jdeps.
    jdeps = FindJdkTool("jdeps");
    if (jdeps.empty() || !ReleaseValue(command->runtime + "/release", "MODULES")) return true;
  } else {
    return true;
  }
  check->wanted = true;
  std::vector<std::string> found;
  if (!jdeps.empty() && RunJdeps(jdeps, jars, command->verbose, &found, &check->unchecked))
    check->needed = found;
  if (!automatic) return true;
  if (!check->needed) return Refuse(check->unchecked, err);
  std::vector<std::string> linked;
  for (const std::string& name : Split(command->jlinkModules, ',')) {
    for (const std::string& module : name == kAutoModules ? *check->needed : std::vector<std::string>{name}) {
      if (std::find(linked.begin(), linked.end(), module) == linked.end()) linked.push_back(module);
    }
  }
  command->jlinkModules = Join(linked, ",");
  return true;
}

void WarnOfMissingModules(const ModuleCheck& check, const Command& command,
                          const std::vector<PayloadItem>& items) {
  int release = FindItem(items, std::string(kRuntimeEntry) + "release");
  std::optional<std::string> listed =
      !check.wanted || release < 0 ? std::nullopt : ReleaseValue(items[release].source, "MODULES");
  if (!listed) return;
  std::string runtime = command.runtime.empty() ? "the runtime" : "the runtime in " + command.runtime;
  if (!check.needed) {
    fprintf(stderr, "mksetup: warning: the modules the application needs were not checked against %s: %s\n",
            runtime.c_str(), check.unchecked.c_str());
    return;
  }
  std::vector<std::string> has = Split(*listed, ' ');
  std::vector<std::string> missing;
  for (const std::string& module : *check.needed) {
    if (std::find(has.begin(), has.end(), module) == has.end()) missing.push_back(module);
  }
  if (missing.empty()) return;
  const char* them = missing.size() == 1 ? "it" : "them";
  std::string advice = command.runtime.empty() ? std::string("add ") + them + " to --jlink"
                                               : std::string("bundle a runtime with ") + them;
  fprintf(stderr, "mksetup: warning: the application needs %s, which %s lacks; %s or use --jlink auto\n",
          Join(missing, ", ").c_str(), runtime.c_str(), advice.c_str());
}
