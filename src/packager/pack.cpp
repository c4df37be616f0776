#include "packager/pack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "archive/zip.h"
#include "base/unique_fd.h"
#include "packager/archive_writer.h"
#include "packager/glibc_needs.h"
#include "packager/machine.h"
#include "packager/payload_walk.h"
#include "packager/runtime_bundle.h"
#include "packager/setup_file.h"
#include "runtime/home.h"

namespace {

// The payload's jar that the launcher puts on the class path.
const char kClassPathJar[] = "package/PackageFormat.jar";

bool Refuse(const std::string& message, std::string* err) {
  *err = message;
  return false;
}

void Warn(const std::string& message) { fprintf(stderr, "mksetup: warning: %s\n", message.c_str()); }

// The launcher must be a readable program that carries no payload yet; its
// machine goes to *arch.
bool CheckLauncher(const std::string& launcher, std::string* arch, std::string* err) {
  struct stat st;
  if (stat(launcher.c_str(), &st) != 0) return Refuse(launcher + ": " + strerror(errno), err);
  if (!S_ISREG(st.st_mode)) return Refuse(launcher + ": not a launcher (not a regular file)", err);
  if (!UniqueFd(open(launcher.c_str(), O_RDONLY | O_CLOEXEC)).valid())
    return Refuse(launcher + ": " + strerror(errno), err);
  if (ZipArchive(zipOpen(launcher.c_str(), nullptr)))
    return Refuse(launcher + ": already carries a payload; give the bare launcher", err);
  std::optional<std::string> machine = ProgramArch(launcher);
  if (!machine) return Refuse(launcher + ": not a launcher (no program for a machine Java runs on)", err);
  *arch = *machine;
  return true;
}

// SOURCE_DATE_EPOCH, when set: a whole number of seconds.
bool ReadSourceDateEpoch(ArchiveSettings* settings, std::string* err) {
  const char* text = getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr) return true;
  char* end = nullptr;
  errno = 0;
  long long seconds = strtoll(text, &end, 10);
  if (*text == '\0' || *end != '\0' || errno != 0 || seconds < 0)
    return Refuse(std::string("SOURCE_DATE_EPOCH is not a number of seconds: '") + text + "'", err);
  settings->fixedTime = true;
  settings->time = static_cast<time_t>(seconds);
  return true;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool HoldsRuntimeEntries(const std::vector<PayloadItem>& items) {
  for (const PayloadItem& item : items) {
    if (item.name == "package/jre" || item.name.compare(0, strlen(kRuntimeEntry), kRuntimeEntry) == 0)
      return true;
  }
  return false;
}

// Adds the runtime in dir, for the machine arch, under package/jre, with the
// directory entries that lead to it.
bool AddRuntime(const std::string& dir, const std::string& arch, std::vector<PayloadItem>* items,
                std::string* err) {
  // The launcher will look at the extracted copy exactly so.
  if (!GetJREPath(dir.c_str(), arch.c_str()))
    return Refuse(dir + ": not a Java runtime the launcher accepts (no bin/java beside lib/libjava.so)", err);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return Refuse(dir + ": " + strerror(errno), err);
  for (const char* name : {"package/", kRuntimeEntry}) {
    if (FindItem(*items, name) >= 0) continue;
    PayloadItem item;
    item.name = name;
    item.directory = true;
    item.mtime = st.st_mtime;
    item.mode = 0755;
    items->push_back(item);
  }
  WalkRules rules;
  rules.skipDanglingLinks = true;
  std::vector<std::string> skipped;
  if (!WalkTree(dir, kRuntimeEntry, rules, items, &skipped, err)) return false;
  if (!skipped.empty())
    Warn("left out " + std::to_string(skipped.size()) + " link(s) of the runtime to missing files, such as " +
         skipped.front());
  if (items->size() > kMaxEntries)
    return Refuse("more than 65534 entries (files and directories); the launcher reads no more", err);
  return true;
}

// The main class the payload must hold: the launcher's own, which an
// explicit one must match; "bramlet" for a launcher that notes none.
bool ChooseMainClass(const Command& command, const std::string& launcher, std::string* mainClass,
                     std::string* err) {
  std::optional<std::string> own = LauncherMainClass(launcher);
  if (own && !command.mainClass.empty() && command.mainClass != *own)
    return Refuse(launcher + ": runs the main class " + *own + ", not " + command.mainClass +
                      "; drop --main-class or give another launcher",
                  err);
  *mainClass = own ? *own : command.mainClass.empty() ? "bramlet" : command.mainClass;
  return true;
}

// The JDK whose modules --jlink links must hold them, for the launcher's
// machine; checked before jlink runs.
bool CheckJlinkJdk(const std::string& launcher, const std::string& arch, const std::string& jdk,
                   std::string* err) {
  struct stat st;
  if (stat((jdk + "/jmods/java.base.jmod").c_str(), &st) != 0)
    return Refuse(jdk + ": no jmods/java.base.jmod; --jdk takes a JDK of Java 9 or later with its jmods",
                  err);
  return CheckRuntimeArch(launcher, arch, jdk, "the JDK in " + jdk, err);
}

// The runtime's files among items (in their order), named as scope says.
std::vector<NamedFile> RuntimeFiles(const std::vector<PayloadItem>& items, const NeedsScope& scope) {
  std::vector<NamedFile> files;
  const size_t prefix = strlen(kRuntimeEntry);
  for (const PayloadItem& item : items) {
    if (!item.directory && item.name.compare(0, prefix, kRuntimeEntry) == 0)
      files.push_back({scope.runtimeAs + item.name.substr(prefix), item.source});
  }
  return files;
}

// Raises *need to what files need, warning of damaged ELF files, and holds
// it to command's --glibc.
bool CheckGlibcNeed(const Command& command, const std::vector<NamedFile>& files,
                    std::optional<GlibcNeed>* need, std::string* err) {
  std::vector<std::string> damaged;
  if (!FindGlibcNeed(files, need, &damaged, err)) return false;
  if (!damaged.empty())
    Warn(std::to_string(damaged.size()) +
         " damaged ELF file(s), whose glibc needs are not counted, such as " + damaged.front());
  if (*need && command.glibc && *command.glibc < (*need)->version)
    return Refuse((*need)->file + ": needs glibc " + GlibcVersionText((*need)->version) +
                      ", newer than --glibc " + GlibcVersionText(*command.glibc),
                  err);
  return true;
}

}  // namespace

bool CheckOutputOutsidePayload(const std::string& payload, const std::string& output, std::string* err) {
  size_t slash = output.rfind('/');
  std::string dir = RealPath(slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash));
  std::string top = RealPath(payload);
  if (!dir.empty() && !top.empty() && (dir == top || dir.compare(0, top.size() + 1, top + "/") == 0))
    return Refuse(output + ": lies inside the payload directory " + payload, err);
  return true;
}

std::optional<std::string> LauncherMainClass(const std::string& launcher) {
  // The note, as the launcher's main.cpp writes it, stands once in its image.
  static const char kNote[] = "bramlet-main-class:";
  std::ifstream file(launcher, std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  size_t at = image.find(kNote);
  if (at == std::string::npos) return std::nullopt;
  at += sizeof kNote - 1;
  return image.substr(at, image.find('\0', at) - at);
}

bool ChooseLauncher(const std::string& given, const std::string& fallback, const char* what,
                    const char* option, std::string* launcher, std::string* arch, std::string* err) {
  *launcher = given;
  if (launcher->empty()) {
    if (fallback.empty() || access(fallback.c_str(), F_OK) != 0)
      return Refuse(std::string("no ") + what + " beside mksetup (" + fallback + "); name one with " + option,
                    err);
    *launcher = fallback;
  }
  return CheckLauncher(*launcher, arch, err);
}

bool Pack(const Command& command, const std::string& defaultLauncher, std::string* made, std::string* err) {
  std::string launcher, arch;
  if (!ChooseLauncher(command.launcher, defaultLauncher, "launcher", "--launcher", &launcher, &arch, err))
    return false;

  std::string mainClass;
  if (!ChooseMainClass(command, launcher, &mainClass, err)) return false;
  mainClass += ".class";

  std::vector<PayloadItem> items;
  std::vector<std::string> unused;
  if (!WalkTree(command.payload, "", WalkRules(), &items, &unused, err)) return false;
  if (FindItem(items, mainClass) < 0)
    return Refuse(
        command.payload + ": no " + mainClass + " at its top; the launcher would have nothing to run", err);
  if (FindItem(items, kClassPathJar) < 0)
    Warn(command.payload + ": no " + kClassPathJar + ", which the launcher puts on the class path");
  bool bundling = !command.runtime.empty() || !command.jlinkModules.empty();
  if (bundling && HoldsRuntimeEntries(items))
    return Refuse(command.payload + ": already holds package/jre; drop it or the runtime option", err);
  if (!CheckOutputOutsidePayload(command.payload, command.output, err)) return false;

  return Assemble(command, launcher, arch, std::move(items), nullptr, NeedsScope(), made, err);
}

bool Assemble(const Command& command, const std::string& launcher, const std::string& arch,
              std::vector<PayloadItem> items, const CompletePayload& complete, const NeedsScope& scope,
              std::string* made, std::string* err) {
  ArchiveSettings settings;
  settings.level = command.level;
  settings.verbose = command.verbose;
  if (!ReadSourceDateEpoch(&settings, err)) return false;
  if (!command.jdk.empty() && !CheckJlinkJdk(launcher, arch, command.jdk, err)) return false;
  // The launchers first, so that one that needs too much is refused before jlink runs.
  std::optional<GlibcNeed> glibc;
  std::vector<NamedFile> launchers = {{launcher, launcher}};
  for (const std::string& carried : scope.launchers) launchers.push_back({carried, carried});
  if (!CheckGlibcNeed(command, launchers, &glibc, err)) return false;
  StagingDir staging;
  if (!staging.Create(command.output, err)) return false;
  std::string runtime = command.runtime;
  std::string bundled = runtime.empty() ? "no runtime" : "the runtime in " + runtime;
  std::string runtimeName = bundled;
  if (!command.jlinkModules.empty()) {
    runtime = staging.path() + "/jre";
    bundled = "a runtime of " + command.jlinkModules + " made by jlink";
    runtimeName =
        command.jdk.empty() ? "the runtime jlink made from the host's JDK" : "the runtime jlink made";
    printf("mksetup: making a runtime of %s with jlink\n", command.jlinkModules.c_str());
    fflush(stdout);
    if (!MakeJlinkRuntime(command.jlinkModules, command.jdk, runtime, command.verbose, err)) return false;
  }
  if (!runtime.empty() && (!CheckRuntimeArch(launcher, arch, runtime, runtimeName, err) ||
                           !AddRuntime(runtime, arch, &items, err)))
    return false;
  if (complete && !complete(staging.path(), &items, err)) return false;
  SortItems(&items);
  if (!CheckGlibcNeed(command, RuntimeFiles(items, scope), &glibc, err)) return false;
  std::string archive = staging.path() + "/payload.zip";
  int64_t size = 0;
  if (!WriteArchive(items, settings, archive, err) ||
      !WriteSetup(launcher, archive, staging.path() + "/setup", command.output, &size, err))
    return false;
  *made = command.output + ": " + std::to_string(items.size()) +
          (items.size() == 1 ? " entry, " : " entries, ") + std::to_string(static_cast<long long>(size)) +
          " bytes, for " + arch +
          (glibc ? ", glibc " + GlibcVersionText(glibc->version) + " or newer (" + glibc->file + ")" : "") +
          ", with " + bundled;
  return true;
}
