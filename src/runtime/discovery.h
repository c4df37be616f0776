// Finding the Java runtime that runs the installer: in the directory the
// command line names, inside the payload, or on the host.
#pragma once

#include <optional>
#include <string>

#include "archive/zip.h"
#include "runtime/home.h"

/// The payload's library directory: home + "/package".
std::string GetBundledLibraryPath(const char* home);

/// The runtime home of the payload's runtime, home + "/package/jre". When it
/// is not there yet and payload is open, that subtree is extracted from it
/// first into home, open at homeFd (showing "unzipping_java_files"). None
/// when there is no usable runtime there.
std::optional<std::string> GetBundledJREPath(ZipFile* payload, const char* home, int homeFd);

/// Chooses among the runtimes found: the payload's (GetBundledJREPath, never
/// probed), /usr/j2se, JAVA_HOME + "/bin" and the PATH elements, each of the
/// latter as the directory two levels above its "java", or when that is no
/// runtime home and the "java" is a link, two levels above the file its
/// links lead to; each kept when CheckJREVersion accepts it (a home found
/// twice is probed once). The first of these wins: the payload's runtime
/// when it is a development kit, the newest kit on the host, the payload's
/// plain runtime, the newest plain runtime on the host; among equal versions
/// the one found last. None when there is none.
std::optional<std::string> GetPublicJREPath(ZipFile* payload, const char* home, int homeFd);

/// The runtime a run uses: javaHome's when javaHome (if given) holds a
/// runtime of a supported version, else GetPublicJREPath.
std::optional<std::string> ChooseRuntime(const std::optional<std::string>& javaHome, ZipFile* payload,
                                         const char* home, int homeFd);
