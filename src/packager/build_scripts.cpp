#include "packager/build_scripts.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "base/paths.h"

namespace {

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The scripts X of dir/bin that come with an X.bat.
std::vector<std::string> BuildScripts(const std::string& dir) {
  std::vector<std::string> scripts;
  std::string bin = dir + "/bin/";
  DIR* d = opendir(bin.c_str());
  if (d == nullptr) return scripts;
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    struct stat st;
    if (EndsWith(name, ".bat") && name.size() > 4 &&
        stat((bin + name.substr(0, name.size() - 4)).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      scripts.push_back(name.substr(0, name.size() - 4));
  }
  closedir(d);
  std::sort(scripts.begin(), scripts.end());
  return scripts;
}

// The JVM options a build's start script passes: its DEFAULT_JVM_OPTS, or
// empty when it sets none.
std::string DefaultJvmOptions(const std::string& script) {
  std::ifstream in(script);
  std::string line;
  static const char kKey[] = "DEFAULT_JVM_OPTS=";
  while (std::getline(in, line)) {
    if (line.compare(0, sizeof kKey - 1, kKey) != 0) continue;
    std::string value = line.substr(sizeof kKey - 1);
    return value == "\"\"" || value == "''" || value == "'\"\"'" ? "" : value;
  }
  return "";
}

// The class that follows the class path in a script's java command
// (-classpath "$CLASSPATH" \, then the class on a line of its own).
std::optional<std::string> ScriptMainClass(const std::string& script) {
  std::ifstream in(script);
  std::string line;
  bool next = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (next && EndsWith(line, "\\")) return Trim(line.substr(0, line.size() - 1));
    next = line == "-classpath \"$CLASSPATH\" \\";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> BuildScriptMainClass(const std::string& dir) {
  std::set<std::string> classes;
  for (const std::string& script : BuildScripts(dir)) {
    if (std::optional<std::string> named = ScriptMainClass(dir + "/bin/" + script)) classes.insert(*named);
  }
  if (classes.size() != 1) return std::nullopt;
  return *classes.begin();
}

void LeaveOutBuildScripts(const std::string& dir, const std::string& prefix, std::vector<PayloadItem>* items) {
  for (const std::string& script : BuildScripts(dir)) {
    std::string name = prefix + "bin/" + script;
    printf("mksetup: leaving out bin/%s and bin/%s.bat, the build's start scripts; the installer makes its own\n",
           script.c_str(), script.c_str());
    fflush(stdout);
    std::string options = DefaultJvmOptions(dir + "/bin/" + script);
    if (!options.empty())
      fprintf(stderr, "mksetup: warning: bin/%s passes JVM options (%s); give them with --java-options\n",
              script.c_str(), options.c_str());
    items->erase(std::remove_if(items->begin(), items->end(),
                                [&](const PayloadItem& item) { return item.name == name || item.name == name + ".bat"; }),
                 items->end());
  }
}
