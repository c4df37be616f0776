#include "runtime/runtime_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace test {

std::string MakeRuntime(const std::string& dir, Layout layout, const std::string& conf, bool kit) {
  std::string home = layout == Layout::kJre8 ? dir + "/jre" : dir;
  std::string lib = layout == Layout::kModern ? home + "/lib" : home + "/lib/amd64";
  std::filesystem::create_directories(lib);
  std::filesystem::create_directories(home + "/bin");
  CopyStandIn(home + "/bin/java", conf);
  { std::ofstream(lib + "/libjava.so"); }
  if (kit) {
    std::filesystem::create_directories(dir + "/lib");
    std::ofstream(dir + "/lib/tools.jar");
  }
  return home;
}

std::string CopyStandIn(const std::string& path, const std::string& conf) {
  std::filesystem::copy_file(JAVA_STAND_IN, path, std::filesystem::copy_options::overwrite_existing);
  chmod(path.c_str(), 0755);
  std::ofstream(path + ".conf") << conf;
  return path;
}

std::string MakePayload(const ScratchDir& dir, const std::string& name, const std::string& out) {
  std::string zip = dir / (name + ".zip");
  std::string command = "cd " + (dir / name) + " && zip -q -r -1 -X " + zip + " .";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << command;
  std::ofstream(out, std::ios::binary) << "\x7f"
                                          "ELF launcher image\n"
                                       << std::ifstream(zip, std::ios::binary).rdbuf();
  chmod(out.c_str(), 0755);
  return out;
}

std::vector<std::string> Recorded(const std::string& record, const std::string& key) {
  std::vector<std::string> values;
  std::istringstream lines(ReadFile(record));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, key.size() + 1, key + "=") == 0) values.push_back(line.substr(key.size() + 1));
  }
  return values;
}

std::vector<ChildResult> RunConcurrently(const std::vector<std::function<std::string()>>& fns) {
  std::vector<ChildResult> results(fns.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < fns.size(); ++i) threads.emplace_back([&, i] { results[i] = RunInChild(fns[i]); });
  for (std::thread& t : threads) t.join();
  return results;
}

}  // namespace test
