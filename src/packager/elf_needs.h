// What an ELF file asks of the dynamic loader before it can run: the
// libraries it names and the symbol versions it needs of them. mksetup reads
// them to say which C library an installer needs; only it does, so this
// reader lives here and not beside the launcher's ELF header reader.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// One version an ELF file needs of a library (a DT_VERNEED record).
struct ElfVersionNeed {
  std::string library;  // the library's soname, such as "libc.so.6"
  std::string version;  // such as "GLIBC_2.34"
  bool weak = false;    // VER_FLG_WEAK: the loader starts the program without it
};

/// The dynamic needs of one ELF file.
struct ElfNeeds {
  std::vector<std::string> libraries;    // DT_NEEDED, in the file's order
  std::vector<ElfVersionNeed> versions;  // in the file's order
};

/// Reads the needs of the file open at fd from its dynamic segment, as the
/// loader finds them, whatever the file's class and byte order. None in
/// *needs when the file is no ELF file; empty needs for one without a
/// dynamic segment (a static program, an object file). False, with the
/// damage in *why ("its version needs lie outside it"), when it begins as an
/// ELF file but a header, table or name it points to lies outside the file,
/// has no end or is of an unknown format.
bool ReadElfNeeds(int fd, std::optional<ElfNeeds>* needs, std::string* why);
