#include "packager/interrupt.h"

#include <signal.h>

#include <csignal>
#include <initializer_list>

namespace {

volatile sig_atomic_t arrived = 0;

void Note(int signal) { arrived = signal; }

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action = {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool Interrupted() { return arrived != 0; }

void ExitIfInterrupted() {
  int signal = arrived;
  if (signal == 0) return;
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}
