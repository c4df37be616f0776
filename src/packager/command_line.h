// mksetup's command line.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "packager/glibc_needs.h"

// A NAME=VALUE option's two sides, as given.
using NamedValue = std::pair<std::string, std::string>;

// The application that --app makes an installer of, with the installer kit.
struct AppOptions {
  std::string dir;          // --app DIR
  std::string name;         // --name
  std::string version;      // --version V
  std::string mainJar;      // --main-jar, relative to dir
  std::string license;      // --license FILE
  std::string icon;         // --icon PNG
  std::string uninstaller;  // --uninstaller FILE; empty for bramlet-uninstall beside mksetup
  bool terminal = false;    // --terminal
  bool menu = false;        // --menu: a desktop entry for a terminal application too
  std::vector<std::string> classPath;    // --class-path, split at ':'; empty for every jar of dir
  std::vector<std::string> javaOptions;  // --java-options, one JVM argument each
  std::vector<std::string> arguments;    // --arguments of the main command
  std::vector<NamedValue> commands;      // --launcher NAME=CLASS: more commands
  std::string title;                     // --title; empty for the name
  std::string description;               // --description
  std::string vendor;                    // --vendor
  std::vector<NamedValue> titles;        // --title-translation LANG=TEXT
  std::vector<NamedValue> descriptions;  // --description-translation LANG=TEXT
  std::vector<std::string> categories;   // --category; empty for Utility
  std::vector<NamedValue> fileTypes;     // --file-type EXT=MIME/TYPE
};

struct Command {
  enum Kind { kPack, kApp, kList, kVerify, kHelp, kVersion };
  Kind kind = kPack;
  std::string payload;                // PAYLOAD_DIR
  std::string output;                 // OUTPUT, or the SETUP of --list and --verify
  std::string launcher;               // --launcher FILE; empty for the default
  std::string mainClass;              // --main-class; empty for the launcher's own (--app: the jar's)
  std::string runtime;                // --runtime DIR
  std::string jlinkModules;           // --jlink MODULES
  std::string jdk;                    // --jdk DIR, whose jmods --jlink links; empty for jlink's own
  std::optional<GlibcVersion> glibc;  // --glibc: the newest glibc the installer may need
  int level = 6;                      // 0 for --store
  bool verbose = false;
  AppOptions app;  // --app and the options that go with it
};

/// Reads argv[1..argc-1] into *command. False with a message in *err for an
/// unknown option, a missing or bad value, conflicting options or the wrong
/// number of operands.
bool ParseCommandLine(int argc, char** argv, Command* command, std::string* err);

/// Prints the usage text.
void PrintUsage(FILE* to);

/// The directory of the program started as argv0 (links resolved), found as
/// a shell finds a command, with a trailing "/". Empty when mksetup can't
/// find itself.
std::string ToolDirectory(const char* argv0);

/// The launcher to use when --launcher is not given: bramlet-setup in
/// ToolDirectory(argv0). Empty when mksetup can't find itself.
std::string DefaultLauncher(const char* argv0);
