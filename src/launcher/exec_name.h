// Where the launcher's own file is, and the application home: the directory
// that holds the installer's files.
#pragma once

/// Sets the executable path from the command name (FindExecName), and the
/// application home to the directory that holds it, unless the path is
/// already set; returns it, or null when the search failed.
const char* SetExecName(const char* name);

/// The executable path, or null before a successful SetExecName.
const char* GetExecName();

/// The base name of the executable path (the text after its last "/"), or
/// null before a successful SetExecName.
const char* GetProgName();

/// The application home, or null without an executable path.
const char* GetApplicationHome();

/// Makes path the application home (the main sequence points it at the
/// working directory when the payload opens as an archive).
void SetApplicationHome(const char* path);
