// The stand-in's path is compiled into this file alone, so that the other
// test sources don't depend on where the sources are.
#include "support/stand_in.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace test {

std::string MakeRuntime(const std::string& dir, Layout layout, const std::string& conf) {
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
