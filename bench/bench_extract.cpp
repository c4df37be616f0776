// bench_extract ARCHIVE DEST: extracts all of ARCHIVE into DEST the way the
// launcher does (zipOpen, UnzipFiles with no prefix into the
// directory, made when missing). Exit status 0 on
// success, 1 otherwise.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "base/unique_fd.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bench_extract ARCHIVE DEST\n");
    return 1;
  }
  ZipFile* zip = zipOpen(argv[1], nullptr);
  if (zip == nullptr) return 1;
  mkdir(argv[2], 0700);
  UniqueFd destination(open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  bool result = UnzipFiles(zip, destination.get(), nullptr);
  zipClose(zip);
  return result ? 0 : 1;
}
