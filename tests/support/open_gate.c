/* An open to preload into a program (a Java runtime among them): a file
 * opened for writing whose path holds $OPEN_GATE_PATTERN waits, inside the
 * open, until the file $OPEN_GATE exists, and makes $OPEN_GATE.waiting while
 * it waits. A test so holds a program at a point of its own choosing,
 * whatever the machine's speed. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef int (*OpenFunction)(const char*, int, ...);
typedef int (*OpenAtFunction)(int, const char*, int, ...);

static void Wait(const char* path, int flags) {
  const char* pattern = getenv("OPEN_GATE_PATTERN");
  const char* gate = getenv("OPEN_GATE");
  if (pattern == NULL || gate == NULL || (flags & O_ACCMODE) == O_RDONLY || strstr(path, pattern) == NULL) return;
  char waiting[4096];
  if (snprintf(waiting, sizeof waiting, "%s.waiting", gate) < (int)sizeof waiting) {
    int fd = ((OpenFunction)dlsym(RTLD_NEXT, "open"))(waiting, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
  }
  struct timespec pause = {0, 10000000};
  while (access(gate, F_OK) != 0) nanosleep(&pause, NULL);
}

static mode_t Mode(int flags, va_list args) { return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(args, int) : 0; }

static int Open(const char* name, const char* path, int flags, mode_t mode) {
  Wait(path, flags);
  return ((OpenFunction)dlsym(RTLD_NEXT, name))(path, flags, mode);
}

static int OpenAt(const char* name, int dir, const char* path, int flags, mode_t mode) {
  Wait(path, flags);
  return ((OpenAtFunction)dlsym(RTLD_NEXT, name))(dir, path, flags, mode);
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = Mode(flags, args);
  va_end(args);
  return Open("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = Mode(flags, args);
  va_end(args);
  return Open("open64", path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = Mode(flags, args);
  va_end(args);
  return OpenAt("openat", dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  mode_t mode = Mode(flags, args);
  va_end(args);
  return OpenAt("openat64", dir, path, flags, mode);
}
