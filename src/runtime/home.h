// What a Java runtime home is. The launcher and mksetup judge a runtime by
// the same rules.
#pragma once

#include <optional>
#include <string>

/// The name of this processor's directory under a Java 8 runtime's "lib"
/// ("amd64" on x86_64); a static string.
const char* GetArch();

/// The runtime home that directory stands for: the directory itself when it
/// holds lib/<arch>/libjava.so, directory + "/jre" when it holds
/// jre/lib/<arch>/libjava.so, else the directory itself when it holds
/// lib/libjava.so (Java 9 and later); in each case only when the home's
/// bin/java is executable. None when it is no runtime home. mksetup accepts
/// a runtime to bundle by the same rule, with the arch of the launcher it
/// packs.
std::optional<std::string> GetJREPath(const char* directory, const char* arch = GetArch());

/// True when the development kit's tools.jar exists for runtimeHome: a home
/// whose last component is "jre" is looked up as <home>/../lib/tools.jar,
/// any other as <home>/lib/tools.jar.
bool IsJDK(const char* runtimeHome);
