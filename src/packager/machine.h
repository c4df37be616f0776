// Which machine a launcher and a Java runtime are built for. An installer
// pairs the two, and a pair of two machines could only fail on its users'.
#pragma once

#include <optional>
#include <string>

/// The machine the program at path runs on, as a Java 8 runtime names its
/// directory under "lib" ("amd64", "aarch64", …); none when it is no ELF
/// program, or one of a machine no Java runtime names.
std::optional<std::string> ProgramArch(const std::string& path);

/// The machine of the Java runtime or JDK in dir, as the first of its
/// bin/java, lib/server/libjvm.so and lib/client/libjvm.so (or those under
/// jre/) that is a program tells; none when none of them does, as when its
/// java is a script.
std::optional<std::string> RuntimeArch(const std::string& dir);

/// True when the runtime or JDK in dir runs on arch, the machine of the
/// launcher, or tells no machine. Otherwise false with a message in *err
/// that names both machines; what names the runtime ("the runtime in DIR").
bool CheckRuntimeArch(const std::string& launcher, const std::string& arch, const std::string& dir,
                      const std::string& what, std::string* err);
