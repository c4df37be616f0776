#include "packager/command_line.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "packager/module_needs.h"

namespace {

bool TakeValue(int argc, char** argv, int* i, std::string* value, std::string* err) {
  if (*i + 1 >= argc) {
    *err = std::string(argv[*i]) + " needs a value";
    return false;
  }
  *value = argv[++*i];
  return true;
}

bool ParseLevel(const std::string& text, int* level, std::string* err) {
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '9') {
    *level = text[0] - '0';
    return true;
  }
  *err = "--level takes a deflate level from 1 to 9, not '" + text + "'";
  return false;
}

bool ParseGlibc(const std::string& text, std::optional<GlibcVersion>* version, std::string* err) {
  *version = ParseGlibcVersion(text);
  if (!*version) *err = "--glibc takes a glibc version such as 2.28, not '" + text + "'";
  return version->has_value();
}

// A NAME=VALUE value split at its first '='; false when it has none.
bool SplitNamed(const std::string& option, const std::string& text, NamedValue* named, std::string* err) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
    *err = option + " takes NAME=VALUE, not '" + text + "'";
    return false;
  }
  *named = {text.substr(0, equals), text.substr(equals + 1)};
  return true;
}

// Takes the option at argv[*i] when it is one of --app's; an error (a
// missing or bad value) goes to *err. False for any other option.
bool ParseAppOption(int argc, char** argv, int* i, AppOptions* app, bool* seen, std::string* err) {
  std::string arg = argv[*i];
  std::string* value = arg == "--app"           ? &app->dir
                       : arg == "--name"        ? &app->name
                       : arg == "--version"     ? &app->version
                       : arg == "--main-jar"    ? &app->mainJar
                       : arg == "--license"     ? &app->license
                       : arg == "--icon"        ? &app->icon
                       : arg == "--uninstaller" ? &app->uninstaller
                       : arg == "--title"       ? &app->title
                       : arg == "--description" ? &app->description
                       : arg == "--vendor"      ? &app->vendor
                                                : nullptr;
  std::vector<std::string>* list = arg == "--java-options" ? &app->javaOptions
                                   : arg == "--arguments"  ? &app->arguments
                                   : arg == "--category"   ? &app->categories
                                   : arg == "--class-path" ? &app->classPath
                                                           : nullptr;
  std::vector<NamedValue>* named = arg == "--title-translation"         ? &app->titles
                                   : arg == "--description-translation" ? &app->descriptions
                                   : arg == "--file-type"               ? &app->fileTypes
                                                                        : nullptr;
  bool* flag = arg == "--terminal" ? &app->terminal : arg == "--menu" ? &app->menu : nullptr;
  if (value == nullptr && list == nullptr && named == nullptr && flag == nullptr) return false;
  *seen = *seen || arg != "--app";
  err->clear();
  std::string text;
  if (flag != nullptr) {
    *flag = true;
  } else if (value != nullptr) {
    TakeValue(argc, argv, i, value, err);
  } else if (TakeValue(argc, argv, i, &text, err)) {
    if (named != nullptr) {
      NamedValue pair;
      if (SplitNamed(arg, text, &pair, err)) named->push_back(pair);
    } else if (list == &app->classPath) {
      // Entries as a class path lists them; a name with ':' is found without --class-path.
      size_t before = list->size();
      for (size_t at = 0; at <= text.size();) {
        size_t colon = std::min(text.find(':', at), text.size());
        if (colon > at) list->push_back(text.substr(at, colon - at));
        at = colon + 1;
      }
      if (list->size() == before) *err = "--class-path takes jars and directories separated by ':'";
    } else {
      list->push_back(text);
    }
  }
  return true;
}

// --launcher NAME=CLASS names a command with --app; any other value, as
// without --app, the launcher's file ("./a=b" for a file of that name).
bool IsCommandValue(const std::string& value) {
  return value.find('=') != std::string::npos && value.find('/') == std::string::npos;
}

bool CheckAppOptions(const AppOptions& app, std::string* err) {
  const std::pair<const char*, const std::string*> required[] = {
      {"--name", &app.name}, {"--version", &app.version}, {"--main-jar", &app.mainJar}};
  for (const auto& option : required) {
    if (option.second->empty()) {
      *err = std::string("--app needs ") + option.first;
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, Command* command, std::string* err) {
  std::vector<std::string> operands;
  bool store = false;
  bool level = false;
  // With --app, --version names the product's version, as packagers' tools have it.
  bool app = false;
  for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i) app = app || strcmp(argv[i], "--app") == 0;
  bool appOption = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
      command->kind = Command::kHelp;
      return true;
    } else if (arg == "--version" && !app) {
      command->kind = Command::kVersion;
      return true;
    } else if (ParseAppOption(argc, argv, &i, &command->app, &appOption, err)) {
      if (!err->empty()) return false;
    } else if (arg == "--list") {
      command->kind = Command::kList;
    } else if (arg == "--verify") {
      command->kind = Command::kVerify;
    } else if (arg == "-v") {
      command->verbose = true;
    } else if (arg == "--store") {
      store = true;
    } else if (arg == "--level") {
      if (!TakeValue(argc, argv, &i, &value, err) || !ParseLevel(value, &command->level, err)) return false;
      level = true;
    } else if (arg == "--glibc") {
      if (!TakeValue(argc, argv, &i, &value, err) || !ParseGlibc(value, &command->glibc, err)) return false;
    } else if (arg == "--launcher") {
      if (!TakeValue(argc, argv, &i, &value, err)) return false;
      NamedValue named;
      if (app && IsCommandValue(value)) {
        if (!SplitNamed(arg, value, &named, err)) return false;
        command->app.commands.push_back(named);
      } else {
        command->launcher = value;
      }
    } else if (arg == "--main-class") {
      if (!TakeValue(argc, argv, &i, &command->mainClass, err)) return false;
    } else if (arg == "--runtime") {
      if (!TakeValue(argc, argv, &i, &command->runtime, err)) return false;
    } else if (arg == "--jlink") {
      if (!TakeValue(argc, argv, &i, &command->jlinkModules, err)) return false;
    } else if (arg == "--jdk") {
      if (!TakeValue(argc, argv, &i, &command->jdk, err)) return false;
    } else if (arg == "--") {
      operands.insert(operands.end(), argv + i + 1, argv + argc);
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *err = "unknown option " + arg;
      return false;
    } else {
      operands.push_back(arg);
    }
  }
  if (store && level) {
    *err = "--store and --level exclude each other";
    return false;
  }
  if (store) command->level = 0;
  if (!command->runtime.empty() && !command->jlinkModules.empty()) {
    *err = "--runtime and --jlink exclude each other";
    return false;
  }
  if (!command->jdk.empty() && command->jlinkModules.empty()) {
    *err = "--jdk goes with --jlink";
    return false;
  }
  if (command->mainClass.find('/') != std::string::npos) {
    *err = "--main-class takes a class name";
    return false;
  }
  if (app) {
    if (command->kind != Command::kPack) {
      *err = "--app makes an installer; it goes with neither --list nor --verify";
      return false;
    }
    command->kind = Command::kApp;
    if (operands.size() != 1) {
      *err = "--app takes one output file";
      return false;
    }
    command->output = operands[0];
    return CheckAppOptions(command->app, err);
  }
  if (NamesAutoModules(command->jlinkModules)) {
    *err = "--jlink auto reads an application's jars; it goes with --app";
    return false;
  }
  if (appOption) {
    *err = "--name, --version, --main-jar and the other options of an application go with --app";
    return false;
  }
  if (command->kind == Command::kPack) {
    if (operands.size() != 2) {
      *err = "give a payload directory and an output file";
      return false;
    }
    command->payload = operands[0];
    command->output = operands[1];
  } else {
    if (operands.size() != 1) {
      *err = std::string(command->kind == Command::kList ? "--list" : "--verify") + " takes one installer";
      return false;
    }
    command->output = operands[0];
  }
  return true;
}

void PrintUsage(FILE* to) {
  fputs(
      "Usage: mksetup [options] PAYLOAD_DIR OUTPUT\n"
      "       mksetup --app DIR --name NAME --version V --main-jar JAR [options] OUTPUT\n"
      "       mksetup --list SETUP\n"
      "       mksetup --verify SETUP\n"
      "Writes OUTPUT, a self-extracting installer: the launcher followed by a ZIP\n"
      "archive of PAYLOAD_DIR, which must hold the installer's main class file;\n"
      "or, with --app, an installer of the application in DIR made with bramlet's\n"
      "installer kit (a window, a console dialogue or answers from a file).\n"
      "Options:\n"
      "  --launcher FILE    the launcher (default: bramlet-setup beside mksetup;\n"
      "                     with --app, ./FILE for a name with '=')\n"
      "  --main-class NAME  the main class the payload must hold (default: the one\n"
      "                     the launcher runs, read from it; another is refused)\n"
      "  --store            store files without compression\n"
      "  --level N          deflate level from 1 to 9 (default: 6)\n"
      "  --runtime DIR      bundle the Java runtime in DIR as package/jre\n"
      "  --jlink MODULES    bundle a runtime of these modules (comma-separated)\n"
      "                     made with the host JDK's jlink; with --app, \"auto\"\n"
      "                     among them stands for those the application's jars\n"
      "                     need, as the JDK's jdeps finds them\n"
      "  --jdk DIR          with --jlink: take the modules from the JDK in DIR,\n"
      "                     such as one for another machine\n"
      "  --glibc V          refuse to make an installer that needs a glibc newer\n"
      "                     than V (such as 2.28), the oldest it must start on\n"
      "  -v                 print a line per file, the jdeps command, and all\n"
      "                     that jlink prints\n"
      "With --app DIR (the application's files, installed with their modes):\n"
      "  --name NAME        the product's name: /opt/NAME, bin/NAME, NAME.desktop\n"
      "  --version V        the product's version\n"
      "  --main-jar JAR     the jar in DIR that the start script bin/NAME runs\n"
      "  --main-class C     its main class (default: the jar's Main-Class)\n"
      "  --license FILE     a licence (UTF-8 text) the user must accept\n"
      "  --icon PNG         the desktop entry's icon\n"
      "  --class-path P:Q   the jars and directories of DIR on the class path after\n"
      "                     the main jar (repeatable; default: every other *.jar\n"
      "                     below DIR)\n"
      "  --java-options OPT a JVM option of the start scripts; $APPDIR in it is\n"
      "                     the installation directory (repeatable)\n"
      "  --arguments ARG    an argument the main command always gets (repeatable)\n"
      "  --launcher NAME=CLASS  one more command, bin/NAME, that runs CLASS\n"
      "                     (repeatable; a value with '/' names the launcher)\n"
      "  --terminal         the application runs in a terminal: its commands go on\n"
      "                     PATH, and no desktop entry is made but with --menu\n"
      "  --menu             a desktop entry also for a terminal application\n"
      "  --title TEXT       the name the menus show (default: NAME)\n"
      "  --description TEXT the menus' comment on it\n"
      "  --vendor TEXT      who makes it\n"
      "  --title-translation LANG=TEXT, --description-translation LANG=TEXT\n"
      "                     the title or description in the language LANG (ll or\n"
      "                     ll_CC, such as es or pt_BR)\n"
      "  --category CAT     a freedesktop.org main category (repeatable; default:\n"
      "                     Utility)\n"
      "  --file-type EXT=MIME/TYPE  files *.EXT of that type open with the\n"
      "                     application (repeatable)\n"
      "  --uninstaller FILE the uninstaller's launcher (default: bramlet-uninstall\n"
      "                     beside mksetup)\n"
      "  --jlink adds java.desktop, which the installer's window needs, and mksetup\n"
      "  warns of modules the jars need that the runtime lacks.\n"
      "  --list SETUP       list the entries the launcher will extract\n"
      "  --verify SETUP     read every entry as the launcher will; status 0 when\n"
      "                     the payload is intact\n"
      "  -h, --help         print this text\n"
      "  --version          print mksetup's version\n"
      "Entry times come from SOURCE_DATE_EPOCH when it is set.\n",
      to);
}

std::string ToolDirectory(const char* argv0) {
  std::optional<std::string> self = FindExecName(argv0);
  char resolved[PATH_MAX];
  if (!self || realpath(self->c_str(), resolved) == nullptr) return std::string();
  std::string path = resolved;
  return path.substr(0, path.rfind('/') + 1);
}

std::string DefaultLauncher(const char* argv0) {
  std::string dir = ToolDirectory(argv0);
  return dir.empty() ? dir : dir + "bramlet-setup";
}
