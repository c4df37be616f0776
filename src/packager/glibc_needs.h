// Which GNU C library an installer needs: the highest glibc version that
// its launchers and the native files of its runtime need, as their ELF
// files' version needs say.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "packager/elf_needs.h"

/// A glibc release, such as 2.34 or 2.2.5, compared part by part.
struct GlibcVersion {
  unsigned major = 0, minor = 0, patch = 0;

  bool operator<(const GlibcVersion& other) const;
};

/// "2.34", "2.2.5": a version as the user gives it. None for anything else.
std::optional<GlibcVersion> ParseGlibcVersion(const std::string& text);

/// As ParseGlibcVersion reads it ("2.34", "2.2.5").
std::string GlibcVersionText(const GlibcVersion& version);

/// The glibc release that a version need names: GLIBC_x.y[.z], or
/// GLIBC_ABI_DT_RELR, which glibc 2.36 began to provide. None for other
/// libraries' versions and for GLIBC_PRIVATE, which names no release.
std::optional<GlibcVersion> GlibcOfVersion(const std::string& name);

/// The highest glibc that needs ask for, counting the versions the loader
/// insists on (not weak ones); none when they name no glibc version.
std::optional<GlibcVersion> GlibcNeeded(const ElfNeeds& needs);

/// A file whose needs count, under the name the user knows it by (shown),
/// and where mksetup reads it (path).
struct NamedFile {
  std::string shown;
  std::string path;
};

/// The highest glibc some files need, and the first of them that needs it.
struct GlibcNeed {
  GlibcVersion version;
  std::string file;
};

/// Raises *need to what each of files needs, in their order, keeping the
/// earlier file of two that need as much. Files that are no ELF files count
/// for nothing; a damaged ELF file counts for nothing either, and goes to
/// *damaged as "SHOWN (what is damaged)". False with a message in *err
/// (naming its path) when a file can't be opened.
bool FindGlibcNeed(const std::vector<NamedFile>& files, std::optional<GlibcNeed>* need,
                   std::vector<std::string>* damaged, std::string* err);
