// Making a bundled runtime's native files smaller without binutils: the
// symbol tables and debugging sections that no program loads are dropped.
#pragma once

#include <string>

/// Drops from the ELF file at path every section that is not loaded (the
/// symbol table and its strings, debugging information, comments, notes
/// for tracers, a debug link) by cutting the file behind the last byte that
/// is loaded and writing a section table of what is left. The file is
/// replaced, keeping its mode. A file that is no ELF file, or has nothing
/// to drop, stays as it is. False, with a message in *err, when the file
/// can't be read or replaced.
bool StripSymbols(const std::string& path, std::string* err);
