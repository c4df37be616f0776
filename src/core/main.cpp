// The launcher's entry point.
#include <cstdio>

#include "core/exec_name.h"
#include "ui/output.h"

int main(int argc, char** argv) {
  (void)argc;
  if (SetExecName(argv[0]) == nullptr) {
    ShowError("no_resolve_exec_path");
    return 1;
  }
  // The rest of the sequence (options, working directory, payload, runtime)
  // is not part of this build yet.
  return 1;
}
