// Java runtimes for the unit tests, whose bin/java is java_stand_in.py.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace test {

/// A Java 8 runtime (lib/<arch>/libjava.so), the same under jre/ (a Java 8
/// kit, whose home is dir/jre), or a later one (lib/libjava.so).
enum class Layout { kJava8, kJre8, kModern };

/// Makes a runtime under dir whose bin/java is the stand-in with conf (its
/// "key=value" lines), and returns its home.
inline std::string MakeRuntime(const std::string& dir, Layout layout, const std::string& conf = "") {
  std::string home = layout == Layout::kJre8 ? dir + "/jre" : dir;
  std::string lib = layout == Layout::kModern ? home + "/lib" : home + "/lib/" TEST_JAVA_ARCH;
  std::filesystem::create_directories(lib);
  std::filesystem::create_directories(home + "/bin");
  std::ofstream(lib + "/libjava.so");
  std::filesystem::copy_file(JAVA_STAND_IN, home + "/bin/java",
                             std::filesystem::copy_options::overwrite_existing);
  chmod((home + "/bin/java").c_str(), 0755);
  std::ofstream(home + "/bin/java.conf") << conf;
  return home;
}

}  // namespace test
