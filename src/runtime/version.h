// Which Java runtimes the launcher accepts, and the probe that asks a
// runtime for its version.
#pragma once

#include <optional>
#include <string>

/// The lowest supported runtime version, as users are told it.
constexpr char kMinimumVersion[] = "1.4.1";

/// True when version begins with one of the supported prefixes "1.4.1" to
/// "1.4.9", "1.5" to "1.9" (a plain prefix test: "1.4.10" passes, "1.4"
/// does not), or when it is numbered in the scheme of Java 9 and later: it
/// does not begin with "1." and its leading number is 9 or more ("9",
/// "11.0.2", "17.0.15").
bool CheckVersion(const char* version);

/// Orders two version strings by their numbers: a leading "1." is dropped,
/// then the components between ".", "_", "-" and "+" are compared as numbers
/// (their leading digits; a missing component counts as 0). Returns a
/// negative number, 0 or a positive number as a is older than, as new as or
/// newer than b. "1.8.0_91" is older than "1.8.0_101", "9" than "17.0.15".
int CompareVersions(const char* a, const char* b);

/// Runs runtimeHome/bin/java -version with an empty environment, descriptors
/// 0 and 1 closed and standard error on a pipe, and takes the version from
/// the first line of the first 512 bytes it writes: the text between the last
/// two double quotes, or the whole line when it holds no pair of quotes.
/// Returns the version when the runtime ended normally (any exit code)
/// within the time limit and the version is supported; none otherwise. A
/// runtime still running after the time limit is killed, with everything it
/// started. A termination signal meanwhile reaches the runtime too.
std::optional<std::string> CheckJREVersion(const char* runtimeHome);

/// Sets the time limit of a version probe (30 seconds unless set).
void SetProbeTimeLimit(unsigned seconds);

/// True when CheckJREVersion finds a supported version for runtimeHome.
bool CheckJavaVersion(const char* runtimeHome);

/// True when the installer's main class file, home + "/" + className +
/// ".class", is readable by the real user.
bool CheckJavaClassFile(const char* home, const char* className);
