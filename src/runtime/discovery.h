// Finding the Java runtime that runs the installer: on the command line's
// directory, inside the payload, or on the host.
#pragma once

#include <string>

/// The name of this processor's directory under a Java 8 runtime's "lib"
/// ("amd64" on x86_64); a static string.
const char* GetArch();

/// Returns the runtime home that directory stands for: the directory itself
/// when it holds lib/<arch>/libjava.so, directory + "/jre" when it holds
/// jre/lib/<arch>/libjava.so, else the directory itself when it holds
/// lib/libjava.so (Java 9 and later); in each case only when the home's
/// bin/java is executable (IsExecutable). Empty when it is no runtime home.
std::string GetJREPath(const char* directory);

/// True when the development kit's tools.jar exists for runtimeHome: a home
/// whose last component is "jre" is looked up as <home>/../lib/tools.jar,
/// any other as <home>/lib/tools.jar.
bool IsJDK(const char* runtimeHome);

/// The payload's library directory, the application home + "/package";
/// module-owned, null while there is no application home.
const char* GetBundledLibraryPath();

/// The runtime home of the payload's runtime, application home +
/// "/package/jre", extracting that subtree from the launcher's own archive
/// first when it is not there yet (showing "unzipping_java_files"). Once
/// found it is kept and returned by every later call; null while there is no
/// usable runtime, so a later call tries again. Module-owned.
const char* GetBundledJREPath();

/// Chooses the runtime to use. Candidates: the payload's runtime (never
/// probed), /usr/j2se, JAVA_HOME + "/bin" and the PATH elements, each of the
/// latter as the directory two levels above its "java" (links are not
/// followed), kept when CheckJREVersion accepts it (a home found twice is
/// probed once). The first of these wins: the payload's runtime when it is a
/// development kit, the newest kit on the host, the payload's plain runtime,
/// the newest plain runtime on the host; among equal versions the one found
/// last. Returns the chosen home, or empty when there is none.
std::string GetPublicJREPath();
