// Java runtime stand-ins for the runtime tests.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/child.h"

namespace test {

/// Copies the stand-in program (java_stand_in.cpp) to path, mode 0755, with
/// conf as its configuration beside it.
inline std::string CopyStandIn(const std::string& path, const std::string& conf = "") {
  std::filesystem::copy_file(JAVA_STAND_IN, path, std::filesystem::copy_options::overwrite_existing);
  chmod(path.c_str(), 0755);
  std::ofstream(path + ".conf") << conf;
  return path;
}

/// Where a runtime keeps its files: lib/amd64/libjava.so and bin/java (Java 8),
/// the same under jre/ (a Java 8 kit: the home is dir/jre), or lib/libjava.so
/// and bin/java (Java 9 and later).
enum class Layout { kJava8, kJre8, kModern };

/// Makes a runtime under dir whose bin/java is the stand-in with conf, and
/// returns its home.
inline std::string MakeRuntime(const std::string& dir, Layout layout, const std::string& conf = "") {
  std::string home = layout == Layout::kJre8 ? dir + "/jre" : dir;
  std::string lib = layout == Layout::kModern ? home + "/lib" : home + "/lib/amd64";
  std::filesystem::create_directories(lib);
  std::filesystem::create_directories(home + "/bin");
  std::ofstream(lib + "/libjava.so");
  CopyStandIn(home + "/bin/java", conf);
  return home;
}

/// The values of the lines of a stand-in's log that begin with key + "=", in
/// order ("env=PATH" gives the values of PATH).
inline std::vector<std::string> Recorded(const std::string& log, const std::string& key) {
  std::vector<std::string> values;
  std::istringstream lines(ReadFile(log));
  for (std::string line; std::getline(lines, line);)
    if (line.compare(0, key.size() + 1, key + "=") == 0) values.push_back(line.substr(key.size() + 1));
  return values;
}

}  // namespace test
