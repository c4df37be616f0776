#include "launcher/java_command.h"

#include "runtime/home.h"

namespace {

std::vector<std::string> options;

// Path suffixes that lead the class path when the runtime is a development kit.
const char* const jdkClassPath[] = {"/lib/tools.jar", "/classes"};

}  // namespace

void AddOption(std::string text) { options.push_back(std::move(text)); }

const std::vector<std::string>& GetOptions() { return options; }

std::string ClassPathOption(const char* jrePath, const char* home, const Profile& profile) {
  std::string option = "-Djava.class.path=";
  if (IsJDK(jrePath)) {
    for (const char* suffix : jdkClassPath) option += std::string(jrePath) + suffix + ":";
  }
  option += home;
  for (const char* element : profile.classpathElements) option += std::string(":") + home + element;
  return option;
}
