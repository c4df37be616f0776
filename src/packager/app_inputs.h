// What mksetup --app reads from the maker's files, and the names it takes
// from the command line, checked before anything is packed.
#pragma once

#include <optional>
#include <string>

/// The Main-Class that the manifest of the jar at path names, in
/// *mainClass; none when the jar has no manifest or it names none. False
/// with a message in *err when path is no ZIP archive (so no jar).
bool ReadJarMainClass(const std::string& path, std::optional<std::string>* mainClass, std::string* err);

/// True when the file at path begins as a PNG image: its signature and a
/// header (IHDR) of a non-empty picture. False with a message in *err
/// otherwise.
bool CheckPng(const std::string& path, std::string* err);

/// A product name names a directory, a start script and a desktop entry:
/// letters, digits, ".", "_" and "-", not beginning with "." or "-".
bool CheckProductName(const std::string& name, std::string* err);

/// A version is shown and stored as it is: letters, digits and ".+-_~".
bool CheckProductVersion(const std::string& version, std::string* err);

/// A Java class name: identifiers of ASCII letters, digits, "_" and "$",
/// joined by ".".
bool CheckClassName(const std::string& name, std::string* err);
