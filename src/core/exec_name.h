// Where the launcher's own file is, and the application home derived from it.
#pragma once

#include <string>

/// Finds the executable file that the command name leads to, as a shell
/// would: an absolute name is taken as "/" + name (so it begins with "//"),
/// a relative name with a "/" is joined to the current directory, a bare
/// name is searched along PATH (an empty element stands for "."). Returns the
/// path, or an empty string when no executable file is found.
std::string FindExecName(const char* name);

/// Sets the executable path from the command name unless it is already set;
/// returns it, or null when the search failed.
const char* SetExecName(const char* name);

/// Returns the executable path, or null before a successful SetExecName.
const char* GetExecName();

/// Returns the base name of the executable path (the text after its last
/// "/"), or null before a successful SetExecName.
const char* GetProgName();

/// Returns the application home: on first use, the executable path cut at its
/// last "/" (unless SetApplicationHome came first); null without an
/// executable path.
const char* GetApplicationHome();

/// Makes path the application home (the main sequence points it at the
/// working directory when the payload opens as an archive).
void SetApplicationHome(const char* path);
