/* A malloc to preload into the launcher: once the file named by
 * $MALLOC_FAULT_TRIGGER holds this process's id, the next allocation faults
 * while it holds the allocator's lock, as a crash inside malloc would; with
 * MALLOC_FAULT=overflow it runs out of stack there instead. */
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static int Triggered(void) {
  const char* path = getenv("MALLOC_FAULT_TRIGGER");
  char text[32] = {0};
  int fd = path != NULL ? open(path, O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) return 0;
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  return n > 0 && atoi(text) == getpid();
}

static int __attribute__((noinline)) Overflow(int depth) {
  volatile char frame[1024];
  frame[0] = (char)depth;
  return depth < 0 ? 0 : Overflow(depth + 1) + frame[0];
}

void* malloc(size_t size) {
  pthread_mutex_lock(&lock);
  if (Triggered()) {
    const char* how = getenv("MALLOC_FAULT");
    if (how != NULL && strcmp(how, "overflow") == 0) Overflow(0);
    *(volatile int*)NULL = 0;
  }
  void* block = __libc_malloc(size);
  pthread_mutex_unlock(&lock);
  return block;
}
