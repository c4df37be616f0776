// The processor's name among the directories of a Java 8 runtime's "lib" on
// Linux, fixed when the launcher is built.
#include "runtime/home.h"

const char* GetArch() {
#if defined(__x86_64__)
  return "amd64";
#elif defined(__i386__)
  return "i386";
#elif defined(__aarch64__)
  return "aarch64";
#elif defined(__arm__)
  return "arm";
#elif defined(__powerpc64__) && defined(__LITTLE_ENDIAN__)
  return "ppc64le";
#elif defined(__powerpc64__)
  return "ppc64";
#elif defined(__s390x__)
  return "s390x";
#elif defined(__sparc__) && defined(__arch64__)
  return "sparcv9";
#elif defined(__sparc__)
  return "sparc";
#else
#error "Unknown processor: add the name of its directory under a Java runtime's lib/"
#endif
}
