// bench_extract ARCHIVE DEST: extracts all of ARCHIVE into DEST the way the
// launcher does (zipOpen, UnzipFiles with no prefix). Exit status 0 on
// success, 1 otherwise.
#include <cstdio>

#include "archive/unzip.h"
#include "archive/zip.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bench_extract ARCHIVE DEST\n");
    return 1;
  }
  ZipFile* zip = zipOpen(argv[1], nullptr);
  if (zip == nullptr) return 1;
  int result = UnzipFiles(zip, argv[2], nullptr);
  zipClose(zip);
  return result == 1 ? 0 : 1;
}
