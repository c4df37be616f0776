// The Java runtime an installer may carry under "package/jre": checking a
// given one, or making a minimal one with the host JDK's jlink.
#pragma once

#include <string>

/// The entry name under which the launcher looks for its bundled runtime.
constexpr const char* kRuntimeEntry = "package/jre/";

/// The host JDK's tool name (jlink, jdeps): $JAVA_HOME/bin/NAME when that is
/// executable, else the first NAME along PATH. Empty when there is none.
std::string FindJdkTool(const char* name);

/// FindJdkTool("jlink").
std::string FindJlink();

/// Runs jlink to make a runtime of the comma-separated modules at output
/// (which must not exist), uncompressed, without debug attributes, man pages
/// and header files, and strips the symbols of its native files. The modules
/// come from jdk's jmods when jdk is not empty (a JDK of any machine, whose
/// runtime jlink then makes), else from jlink's own JDK. What jlink prints
/// goes to standard output when verbose, and is otherwise summed up by its
/// first line when it fails. Returns false with a message in *err when jlink
/// is missing or fails.
bool MakeJlinkRuntime(const std::string& modules, const std::string& jdk, const std::string& output,
                      bool verbose, std::string* err);
