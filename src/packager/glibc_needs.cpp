#include "packager/glibc_needs.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <tuple>

#include "base/unique_fd.h"

namespace {

// Version needs that name a feature of the loader, not a release: a
// program that needs one starts only on a glibc that has it.
struct AbiMarker {
  const char* name;
  GlibcVersion since;
};
const AbiMarker kAbiMarkers[] = {{"GLIBC_ABI_DT_RELR", {2, 36, 0}}};

}  // namespace

bool GlibcVersion::operator<(const GlibcVersion& other) const {
  return std::tie(major, minor, patch) < std::tie(other.major, other.minor, other.patch);
}

std::optional<GlibcVersion> ParseGlibcVersion(const std::string& text) {
  unsigned parts[3] = {0, 0, 0};
  size_t count = 0, digits = 0;
  for (char c : text) {
    if (c == '.' && digits > 0 && count < 2) {
      ++count;
      digits = 0;
    } else if (c >= '0' && c <= '9' && digits < 4) {
      parts[count] = parts[count] * 10 + static_cast<unsigned>(c - '0');
      ++digits;
    } else {
      return std::nullopt;
    }
  }
  if (count == 0 || digits == 0) return std::nullopt;
  return GlibcVersion{parts[0], parts[1], parts[2]};
}

std::string GlibcVersionText(const GlibcVersion& version) {
  std::string text = std::to_string(version.major) + "." + std::to_string(version.minor);
  return version.patch == 0 ? text : text + "." + std::to_string(version.patch);
}

std::optional<GlibcVersion> GlibcOfVersion(const std::string& name) {
  for (const AbiMarker& marker : kAbiMarkers) {
    if (name == marker.name) return marker.since;
  }
  static const char kPrefix[] = "GLIBC_";
  if (name.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return std::nullopt;
  return ParseGlibcVersion(name.substr(sizeof kPrefix - 1));
}

std::optional<GlibcVersion> GlibcNeeded(const ElfNeeds& needs) {
  std::optional<GlibcVersion> highest;
  for (const ElfVersionNeed& need : needs.versions) {
    std::optional<GlibcVersion> version = need.weak ? std::nullopt : GlibcOfVersion(need.version);
    if (version && (!highest || *highest < *version)) highest = version;
  }
  return highest;
}

bool FindGlibcNeed(const std::vector<NamedFile>& files, std::optional<GlibcNeed>* need,
                   std::vector<std::string>* damaged, std::string* err) {
  for (const NamedFile& file : files) {
    UniqueFd fd(open(file.path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
      *err = file.path + ": " + strerror(errno);
      return false;
    }
    std::optional<ElfNeeds> needs;
    std::string why;
    if (!ReadElfNeeds(fd.get(), &needs, &why)) {
      damaged->push_back(file.shown + " (" + why + ")");
      continue;
    }
    std::optional<GlibcVersion> version = needs ? GlibcNeeded(*needs) : std::nullopt;
    if (version && (!*need || (*need)->version < *version)) *need = GlibcNeed{*version, file.shown};
  }
  return true;
}
