// Java runtime stand-ins and helpers for the runtime tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/child.h"

namespace test {

/// How a runtime home lays out its files.
enum class Layout {
  kJava8,   // lib/amd64/libjava.so, bin/java
  kJre8,    // jre/lib/amd64/libjava.so, jre/bin/java: the home is dir/jre
  kModern,  // lib/libjava.so, bin/java (Java 9 and later)
};

/// Makes a runtime under dir whose bin/java is the stand-in (java_stand_in.cpp)
/// with conf as its configuration, and returns its home. kit adds the
/// development kit's lib/tools.jar (beside jre/ for kJre8).
std::string MakeRuntime(const std::string& dir, Layout layout, const std::string& conf = "",
                        bool kit = false);

/// Copies the stand-in program to path (mode 0755) with conf beside it.
std::string CopyStandIn(const std::string& path, const std::string& conf = "");

/// Writes a self-extracting file at out, foreign bytes standing for the
/// launcher's image followed by a ZIP archive that Info-ZIP zip makes of the
/// tree staged under dir/name, and returns out.
std::string MakePayload(const ScratchDir& dir, const std::string& name, const std::string& out);

/// The values of the lines of a stand-in's record that begin with key + "=",
/// in order.
std::vector<std::string> Recorded(const std::string& record, const std::string& key);

/// Runs every function in its own child process, all at once, and returns
/// how each ended (ChildResult), in order.
std::vector<ChildResult> RunConcurrently(const std::vector<std::function<std::string()>>& fns);

}  // namespace test
