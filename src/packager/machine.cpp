#include "packager/machine.h"

#include <fcntl.h>

#include "base/elf_image.h"
#include "base/unique_fd.h"

std::optional<std::string> ProgramArch(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::optional<ElfImage> image = ReadElfImage(fd.get());
  const char* name = image ? ElfArchName(*image) : nullptr;
  if (name == nullptr) return std::nullopt;
  return std::string(name);
}

std::optional<std::string> RuntimeArch(const std::string& dir) {
  for (const char* home : {"", "/jre"}) {
    for (const char* program : {"/bin/java", "/lib/server/libjvm.so", "/lib/client/libjvm.so"}) {
      if (std::optional<std::string> arch = ProgramArch(dir + home + program)) return arch;
    }
  }
  return std::nullopt;
}

bool CheckRuntimeArch(const std::string& launcher, const std::string& arch, const std::string& dir,
                      const std::string& what, std::string* err) {
  std::optional<std::string> runtime = RuntimeArch(dir);
  if (!runtime || *runtime == arch) return true;
  *err = launcher + " runs on " + arch + ", " + what + " on " + *runtime +
         "; give a launcher and a runtime for the same machine";
  return false;
}
