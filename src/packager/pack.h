// Making an installer: the steps from a command line to a finished file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "packager/command_line.h"
#include "packager/payload_walk.h"
#include "packager/runtime_bundle.h"

/// Makes the installer that command describes (kind kPack), with
/// defaultLauncher when the command names none, and describes it in *made
/// (its path, entries, size, machine, the glibc it needs and its bundled
/// runtime). Warnings go to standard error as they arise. False with a
/// message in *err, and no file at the output path written or replaced,
/// when anything is refused or fails.
bool Pack(const Command& command, const std::string& defaultLauncher, std::string* made, std::string* err);

/// The main class the launcher file runs, as it notes it in its image;
/// none when it carries no such note.
std::optional<std::string> LauncherMainClass(const std::string& launcher);

/// The launcher to use: given, else fallback (what is beside mksetup), and
/// the machine it runs on in *arch ("amd64", "aarch64", ...). False with a
/// message in *err (naming what and the option that names one) when there
/// is none, or it is no bare launcher.
bool ChooseLauncher(const std::string& given, const std::string& fallback, const char* what,
                    const char* option, std::string* launcher, std::string* arch, std::string* err);

/// Adds to the payload's items what depends on the runtime's entries (which
/// are in them by then); files it writes go into the staging directory.
using CompletePayload =
    std::function<bool(const std::string& staging, std::vector<PayloadItem>* items, std::string* err)>;

/// What an installer's summary and --glibc read glibc needs from, besides
/// its launcher: the other launchers its payload carries (the uninstaller's
/// of --app), named by their paths, and its runtime's files (the entries
/// below kRuntimeEntry), named runtimeAs and their path in the runtime, as
/// the user will find them.
struct NeedsScope {
  std::vector<std::string> launchers;
  std::string runtimeAs = kRuntimeEntry;
};

/// Writes command.output: launcher (which runs on arch) followed by an
/// archive of items, the runtime that command bundles (which must run on
/// arch too), and what complete adds (when set); the rest as for Pack. The
/// description names the highest glibc that the files of scope need, and
/// an installer that needs a glibc newer than command.glibc is refused.
bool Assemble(const Command& command, const std::string& launcher, const std::string& arch,
              std::vector<PayloadItem> items, const CompletePayload& complete, const NeedsScope& scope,
              std::string* made, std::string* err);

/// An installer written into the payload would be packed by the next run:
/// false with a message in *err when output lies below payload.
bool CheckOutputOutsidePayload(const std::string& payload, const std::string& output, std::string* err);
