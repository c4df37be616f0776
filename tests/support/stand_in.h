// Java runtimes for the unit tests, whose bin/java is java_stand_in.py.
#pragma once

#include <string>

namespace test {

/// A Java 8 runtime (lib/<arch>/libjava.so), the same under jre/ (a Java 8
/// kit, whose home is dir/jre), or a later one (lib/libjava.so).
enum class Layout { kJava8, kJre8, kModern };

/// Makes a runtime under dir whose bin/java is the stand-in with conf (its
/// "key=value" lines), and returns its home.
std::string MakeRuntime(const std::string& dir, Layout layout, const std::string& conf = "");

}  // namespace test
