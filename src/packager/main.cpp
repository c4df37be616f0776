// mksetup: makes self-extracting installers, lists and verifies them.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "packager/app_pack.h"
#include "packager/command_line.h"
#include "packager/inspect.h"
#include "packager/interrupt.h"
#include "packager/pack.h"

namespace {

int Failure(const std::string& message) {
  fprintf(stderr, "mksetup: %s\n", message.c_str());
  ExitIfInterrupted();
  return 1;
}

int List(const Command& command) {
  std::vector<ListedEntry> entries;
  std::string err;
  if (!ListSetup(command.output, &entries, &err)) return Failure(err);
  long long total = 0;
  for (const ListedEntry& e : entries) {
    printf("%10ld  %-8s  %08x  %s\n", static_cast<long>(e.size), e.deflated ? "deflated" : "stored",
           static_cast<unsigned>(e.crc), e.name.c_str());
    total += e.size;
  }
  printf("%zu %s, %lld bytes\n", entries.size(), entries.size() == 1 ? "entry" : "entries", total);
  return 0;
}

int Verify(const Command& command) {
  VerifyResult result;
  std::string err;
  if (!VerifySetup(command.output, &result, &err)) return Failure(err);
  for (const std::string& problem : result.problems)
    fprintf(stderr, "mksetup: %s: %s\n", command.output.c_str(), problem.c_str());
  if (!result.problems.empty()) return 1;
  printf("%s: %d %s intact, %lld bytes\n", command.output.c_str(), result.entries,
         result.entries == 1 ? "entry" : "entries", static_cast<long long>(result.bytes));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Names are byte strings in the user's encoding, read as the launcher
  // reads them.
  setlocale(LC_ALL, "");
  Command command;
  std::string err;
  if (!ParseCommandLine(argc, argv, &command, &err)) {
    fprintf(stderr, "mksetup: %s\n", err.c_str());
    PrintUsage(stderr);
    return 1;
  }
  switch (command.kind) {
    case Command::kHelp:
      PrintUsage(stdout);
      return 0;
    case Command::kVersion:
      printf("mksetup %s\n", BRAMLET_VERSION);
      return 0;
    case Command::kList:
      return List(command);
    case Command::kVerify:
      return Verify(command);
    case Command::kPack:
    case Command::kApp:
      break;
  }
  InstallInterruptHandlers();
  std::string made;
  bool packed = command.kind == Command::kApp ? PackApp(command, ToolDirectory(argv[0]), &made, &err)
                                              : Pack(command, DefaultLauncher(argv[0]), &made, &err);
  if (!packed) return Failure(err);
  ExitIfInterrupted();
  printf("mksetup: made %s\n", made.c_str());
  return 0;
}
