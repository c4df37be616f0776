#include "packager/app_pack.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "base/unique_fd.h"
#include "packager/app_inputs.h"
#include "packager/build_scripts.h"
#include "packager/module_needs.h"
#include "packager/pack.h"
#include "packager/payload_walk.h"
#include "packager/product_description.h"

namespace {

// Where the kit finds what it installs, in the payload.
const char kAppPrefix[] = "package/app/";
const char kRuntimePrefix[] = "package/jre/";

bool Refuse(const std::string& message, std::string* err) {
  *err = message;
  return false;
}

// An entry for the file at source, as name in the payload.
bool AddFile(const std::string& name, const std::string& source, mode_t mode, std::vector<PayloadItem>* items,
             std::string* err) {
  struct stat st;
  if (stat(source.c_str(), &st) != 0) return Refuse(source + ": " + strerror(errno), err);
  if (!S_ISREG(st.st_mode)) return Refuse(source + ": not a regular file", err);
  if (!UniqueFd(open(source.c_str(), O_RDONLY | O_CLOEXEC)).valid())
    return Refuse(source + ": " + strerror(errno), err);
  PayloadItem item;
  item.name = name;
  item.source = source;
  item.size = st.st_size;
  item.mtime = st.st_mtime;
  item.mode = mode;
  items->push_back(item);
  return true;
}

void AddDirectory(const std::string& name, std::vector<PayloadItem>* items) {
  PayloadItem item;
  item.name = name;
  item.directory = true;
  item.mode = 0755;
  items->push_back(item);
}

// The launcher must run the class its payload will hold.
bool CheckRuns(const std::string& launcher, const char* mainClass, std::string* err) {
  std::optional<std::string> runs = LauncherMainClass(launcher);
  if (runs && *runs != mainClass)
    return Refuse(launcher + ": runs the main class " + *runs + ", not the kit's " + mainClass, err);
  return true;
}

// A path below a directory as the payload names it: relative, each part a
// name (no "", "." or ".."), so that it is found among the items.
bool IsPlainRelative(const std::string& path) {
  for (size_t at = 0; at <= path.size();) {
    size_t slash = std::min(path.find('/', at), path.size());
    std::string part = path.substr(at, slash - at);
    if (part.empty() || part == "." || part == "..") return false;
    at = slash + 1;
  }
  return true;
}

// The main jar: a file below the application's directory.
bool CheckMainJar(const AppOptions& app, std::string* mainClass, std::string* err) {
  const std::string& jar = app.mainJar;
  std::string path = app.dir + "/" + jar;
  struct stat st;
  if (!IsPlainRelative(jar))
    return Refuse("--main-jar '" + jar + "': give a path inside the --app directory, such as lib/app.jar",
                  err);
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return Refuse(path + ": no such jar; --main-jar names a jar inside the --app directory", err);
  for (char c : jar) {
    if (c < ' ' || c > '~' || c == '\\')
      return Refuse("--main-jar '" + jar + "': use a path of printable ASCII", err);
  }
  std::optional<std::string> named;
  if (!ReadJarMainClass(path, &named, err)) return false;
  // Gradle's jars name no Main-Class: its start scripts do.
  if (mainClass->empty() && !named) named = BuildScriptMainClass(app.dir);
  if (mainClass->empty()) {
    if (!named)
      return Refuse(path + ": its manifest names no Main-Class; name the class with --main-class", err);
    *mainClass = *named;
  }
  return CheckClassName(*mainClass, err);
}

// The names below dir that items hold under prefix must be ones the kit can
// install: it reads them as Java text and keeps them in lists of lines.
bool CheckNames(const std::vector<PayloadItem>& items, const std::string& prefix, const std::string& dir,
                std::string* err) {
  for (const PayloadItem& item : items) {
    if (item.name.size() <= prefix.size() || item.name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string name = item.name.substr(prefix.size(), item.name.size() - prefix.size() - item.directory);
    bool control =
        std::any_of(name.begin(), name.end(), [](char c) { return (c > 0 && c < ' ') || c == 0x7f; });
    if (!IsUtf8(name) || control)
      return Refuse(ShownName(dir + "/" + name) + ": a file name " +
                        (control ? "with a control character" : "that is not UTF-8") +
                        ", which the installer can't install",
                    err);
  }
  return true;
}

// Names the installer makes itself, which the application must not hold:
// for each command C the start script bin/C and the jar it runs, bin/C.jar.
bool CheckReserved(const std::vector<PayloadItem>& items, const AppOptions& app, std::string* err) {
  std::vector<std::string> reserved = {"uninstall", "runtime"};
  std::vector<std::string> commands = {app.name};
  for (const NamedValue& command : app.commands) commands.push_back(command.first);
  for (const std::string& command : commands) {
    reserved.push_back("bin/" + command);
    reserved.push_back("bin/" + command + ".jar");
  }
  if (FindItem(items, kAppPrefix + std::string("bin")) >= 0)
    return Refuse(
        app.dir + "/bin: a file where the installer makes a directory (bin holds the start scripts)", err);
  for (const std::string& name : reserved) {
    std::string entry = kAppPrefix + name;
    if (FindItem(items, entry) >= 0 || FindItem(items, entry + "/") >= 0)
      return Refuse(app.dir + ": holds " + name + ", which the installer makes itself", err);
  }
  return true;
}

// The class path after the main jar, relative to the application's
// directory: the --class-path entries, each a jar or directory of it, or
// every other *.jar file of it in the order of their names.
bool ChooseClassPath(const AppOptions& app, const std::vector<PayloadItem>& items, std::vector<std::string>* classPath,
                     std::string* err) {
  if (app.classPath.empty()) {
    for (const PayloadItem& item : items) {
      std::string name = item.name.substr(std::min(item.name.size(), strlen(kAppPrefix)));
      if (!item.directory && item.name.compare(0, strlen(kAppPrefix), kAppPrefix) == 0 && EndsWith(name, ".jar") &&
          name != app.mainJar)
        classPath->push_back(name);
    }
    std::sort(classPath->begin(), classPath->end());
  }
  for (const std::string& entry : app.classPath) {
    std::string path = entry;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (!IsPlainRelative(path))
      return Refuse("--class-path " + entry + ": give paths inside the --app directory, such as lib/a.jar",
                    err);
    int file = FindItem(items, kAppPrefix + path);
    if (file < 0 && FindItem(items, kAppPrefix + path + "/") < 0)
      return Refuse("--class-path " + entry + ": no file or directory of that name in " + app.dir, err);
    std::optional<std::string> unused;
    if (file >= 0 && !ReadJarMainClass(items[file].source, &unused, err)) return false;
    classPath->push_back(path);
  }
  return true;
}

// A runtime without java.desktop runs the installer in -console and
// -silent mode only.
void WarnWithoutDesktop(const std::string& runtime) {
  std::ifstream release(runtime + "/release");
  std::string line;
  while (std::getline(release, line)) {
    if (line.compare(0, 8, "MODULES=") == 0 && line.find("java.desktop") == std::string::npos) {
      fprintf(stderr,
              "mksetup: warning: %s has no java.desktop: the installer's window can't open, only -console "
              "and -silent work\n",
              runtime.c_str());
    }
  }
}

bool WriteText(const std::string& path, const std::string& text, std::string* err) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) return Refuse(path + ": can't be written", err);
  return true;
}

// package/modes: a line "MODE NAME" for every entry of the application and
// the runtime, since the launcher extracts everything for its owner alone.
std::string ModesText(const std::vector<PayloadItem>& items) {
  std::string text;
  for (const PayloadItem& item : items) {
    if (item.name.compare(0, strlen(kAppPrefix), kAppPrefix) != 0 &&
        item.name.compare(0, strlen(kRuntimePrefix), kRuntimePrefix) != 0)
      continue;
    std::string name = item.directory ? item.name.substr(0, item.name.size() - 1) : item.name;
    char mode[16];
    snprintf(mode, sizeof mode, "%04o ", static_cast<unsigned>(item.mode & 07777));
    text += mode + name + "\n";
  }
  return text;
}

}  // namespace

std::string KitDirectory(const std::string& toolDir) { return toolDir + "../share/bramlet/kit"; }

bool PackApp(const Command& given, const std::string& toolDir, std::string* made, std::string* err) {
  Command command = given;
  const AppOptions& app = command.app;
  std::string launcher, uninstaller, arch, uninstallerArch;
  if (!CheckProductName(app.name, err) || !CheckProductVersion(app.version, err) ||
      !ChooseLauncher(command.launcher, toolDir.empty() ? "" : toolDir + "bramlet-setup", "launcher",
                      "--launcher", &launcher, &arch, err) ||
      !CheckRuns(launcher, "bramlet", err) ||
      !ChooseLauncher(app.uninstaller, toolDir.empty() ? "" : toolDir + "bramlet-uninstall",
                      "uninstaller launcher", "--uninstaller", &uninstaller, &uninstallerArch, err) ||
      !CheckRuns(uninstaller, "bramlet_uninstall", err))
    return false;
  if (uninstallerArch != arch)
    return Refuse(uninstaller + " runs on " + uninstallerArch + ", " + launcher + " on " + arch +
                      "; give an uninstaller for the launcher's machine",
                  err);
  std::string kit = KitDirectory(toolDir);
  struct stat st;
  if (toolDir.empty() || stat((kit + "/PackageFormat.jar").c_str(), &st) != 0)
    return Refuse("no installer kit in " + kit + " (share/bramlet/kit beside mksetup's directory)", err);
  if (stat(app.dir.c_str(), &st) != 0) return Refuse(app.dir + ": " + strerror(errno), err);
  if (!S_ISDIR(st.st_mode)) return Refuse(app.dir + ": not a directory", err);
  std::string mainClass = command.mainClass;
  if (!CheckMainJar(app, &mainClass, err)) return false;
  if (!app.icon.empty() && !CheckPng(app.icon, err)) return false;

  std::vector<PayloadItem> items;
  AddDirectory("package/", &items);
  AddDirectory("package/uninstall/", &items);
  AddDirectory(kAppPrefix, &items);
  if (!AddFile("bramlet.class", kit + "/bramlet.class", 0644, &items, err) ||
      !AddFile("package/PackageFormat.jar", kit + "/PackageFormat.jar", 0644, &items, err) ||
      !AddFile("package/uninstall/bramlet_uninstall.class", kit + "/bramlet_uninstall.class", 0644, &items,
               err) ||
      !AddFile("package/uninstall/uninstall", uninstaller, 0755, &items, err) ||
      (!app.license.empty() && !AddFile("package/license.txt", app.license, 0644, &items, err)) ||
      (!app.icon.empty() && !AddFile("package/icon.png", app.icon, 0644, &items, err)))
    return false;
  std::vector<std::string> unused;
  if (!WalkTree(app.dir, kAppPrefix, WalkRules(), &items, &unused, err)) return false;
  LeaveOutBuildScripts(app.dir, kAppPrefix, &items);
  if (!CheckNames(items, kAppPrefix, app.dir, err) || !CheckReserved(items, app, err) ||
      !CheckOutputOutsidePayload(app.dir, command.output, err))
    return false;
  std::vector<std::string> classPath;
  if (!CheckProductDescription(app, err) || !ChooseClassPath(app, items, &classPath, err)) return false;
  if (command.verbose) {
    for (const std::string& entry : classPath) printf("mksetup: class path: %s\n", entry.c_str());
  }
  std::vector<std::string> jars = {app.dir + "/" + app.mainJar};
  for (const std::string& entry : classPath) jars.push_back(app.dir + "/" + entry);
  ModuleCheck modules;
  if (!PlanModuleCheck(&command, jars, &modules, err)) return false;
  // The installer's window is Swing's.
  if (!command.jlinkModules.empty() &&
      ("," + command.jlinkModules + ",").find(",java.desktop,") == std::string::npos)
    command.jlinkModules += ",java.desktop";
  if (!command.runtime.empty()) WarnWithoutDesktop(command.runtime);

  std::string product = ProductProperties(app, mainClass, classPath);
  auto complete = [&product](const std::string& staging, std::vector<PayloadItem>* items, std::string* err) {
    return WriteText(staging + "/product.properties", product, err) &&
           WriteText(staging + "/modes", ModesText(*items), err) &&
           AddFile("package/product.properties", staging + "/product.properties", 0644, items, err) &&
           AddFile("package/modes", staging + "/modes", 0644, items, err);
  };
  // The installation puts the runtime in runtime/.
  NeedsScope scope;
  scope.launchers = {uninstaller};
  scope.runtimeAs = "runtime/";
  // By then the runtime is among the items.
  auto checked = [&](const std::string& staging, std::vector<PayloadItem>* items, std::string* err) {
    WarnOfMissingModules(modules, command, *items);
    return CheckNames(*items, kRuntimePrefix, command.runtime.empty() ? staging + "/jre" : command.runtime,
                      err) &&
           complete(staging, items, err);
  };
  return Assemble(command, launcher, arch, std::move(items), checked, scope, made, err);
}
