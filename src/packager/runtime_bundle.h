// The Java runtime an installer may carry under "package/jre": checking a
// given one, or making a minimal one with the host JDK's jlink.
#pragma once

#include <string>

/// The entry name under which the launcher looks for its bundled runtime.
constexpr const char* kRuntimeEntry = "package/jre/";

/// True when dir is a runtime home the launcher accepts, or a Java 8
/// development kit that holds one in dir/jre: an executable bin/java beside
/// lib/libjava.so (Java 9 and later) or lib/<processor>/libjava.so.
bool IsRuntimeHome(const std::string& dir);

/// The host JDK's jlink: $JAVA_HOME/bin/jlink when that is executable, else
/// the first jlink along PATH. Empty when there is none.
std::string FindJlink();

/// Runs jlink to make a runtime of the comma-separated modules at output
/// (which must not exist), without debug attributes, man pages and header
/// files. jlink's own messages go to standard error. Returns false with a
/// message in *err when jlink is missing or fails.
bool MakeJlinkRuntime(const std::string& modules, const std::string& output, std::string* err);
