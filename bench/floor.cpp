// bench_floor ARCHIVE DEST: the least an extractor has to do, as a yardstick
// for the others. It reads each entry, inflates it with zlib, checks its
// CRC-32 and writes it under DEST; it keeps no index and no entry records
// and makes each directory once. Exit status 0 on success, 1 otherwise.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Compressed and stored data come in through the first buffer, inflated data
// go out through the second.
unsigned char input[64 * 1024];
unsigned char output[256 * 1024];

uint32_t Le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const unsigned char* p) { return Le16(p) | (Le16(p + 2) << 16); }

bool ReadAt(int fd, void* buffer, size_t length, off_t offset) {
  return pread(fd, buffer, length, offset) == static_cast<ssize_t>(length);
}

bool WriteAll(int fd, const unsigned char* data, size_t n) {
  return n == 0 || write(fd, data, n) == static_cast<ssize_t>(n);
}

// Copies or inflates compressed bytes at offset into out; returns the CRC-32
// of what was written, with *ok false on any failure.
uLong Extract(int fd, off_t offset, uint32_t compressed, int method, int out, bool* ok) {
  uLong crc = crc32(0, nullptr, 0);
  z_stream z{};
  if (method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK) return *ok = false;
  uint32_t done = 0;
  while (*ok && done < compressed) {
    size_t n = std::min<size_t>(compressed - done, sizeof input);
    if (!ReadAt(fd, input, n, offset + done)) {
      *ok = false;
      break;
    }
    done += static_cast<uint32_t>(n);
    if (method != 8) {
      *ok = WriteAll(out, input, n);
      crc = crc32(crc, input, static_cast<uInt>(n));
      continue;
    }
    z.next_in = input;
    z.avail_in = static_cast<uInt>(n);
    int status = Z_OK;
    while (*ok && status != Z_STREAM_END && (z.avail_in > 0 || z.avail_out == 0)) {
      z.next_out = output;
      z.avail_out = sizeof output;
      status = inflate(&z, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) *ok = false;
      size_t produced = sizeof output - z.avail_out;
      *ok = *ok && WriteAll(out, output, produced);
      crc = crc32(crc, output, static_cast<uInt>(produced));
      if (status == Z_BUF_ERROR) break;
    }
  }
  if (method == 8) inflateEnd(&z);
  return crc;
}

// Makes the directories of path from byte from on, skipping those under the
// directory made last.
void MakeParents(std::string* path, size_t from, std::string* made) {
  for (size_t slash = path->find('/', from); slash != std::string::npos; slash = path->find('/', slash + 1)) {
    if (slash <= made->size() && made->compare(0, slash, *path, 0, slash) == 0 &&
        (slash == made->size() || (*made)[slash] == '/'))
      continue;
    (*path)[slash] = '\0';
    mkdir(path->c_str(), 0700);
    (*path)[slash] = '/';
    made->assign(*path, 0, slash);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bench_floor ARCHIVE DEST\n");
    return 1;
  }
  int fd = open(argv[1], O_RDONLY);
  if (fd < 0) return 1;
  off_t length = lseek(fd, 0, SEEK_END);
  // The end record, with its comment, reaches to the end of the file.
  size_t tail = static_cast<size_t>(std::min<off_t>(length, 22 + 65535));
  std::vector<unsigned char> end(tail);
  if (!ReadAt(fd, end.data(), tail, length - static_cast<off_t>(tail))) return 1;
  off_t endPos = -1;
  for (size_t p = tail - 22 + 1; p-- > 0;) {
    if (Le32(&end[p]) == 0x06054b50 && p + 22 + Le16(&end[p + 20]) == tail) {
      endPos = length - static_cast<off_t>(tail - p);
      break;
    }
  }
  if (endPos < 0) return 1;
  const unsigned char* e = &end[static_cast<size_t>(endPos - (length - static_cast<off_t>(tail)))];
  uint32_t count = Le16(e + 10), cenSize = Le32(e + 12), cenOffset = Le32(e + 16);
  off_t cenPos = endPos - cenSize, start = cenPos - cenOffset;
  std::vector<unsigned char> cen(cenSize);
  if (!ReadAt(fd, cen.data(), cenSize, cenPos)) return 1;

  std::string destination = argv[2];
  mkdir(destination.c_str(), 0700);
  std::string made = destination;
  size_t p = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* h = &cen[p];
    int method = static_cast<int>(Le16(h + 10));
    uint32_t crc = Le32(h + 16), compressed = Le32(h + 20);
    uint32_t n = Le16(h + 28), extra = Le16(h + 30), comment = Le16(h + 32);
    off_t local = start + Le32(h + 42);
    std::string path = destination + "/" + std::string(reinterpret_cast<const char*>(h + 46), n);
    p += 46 + n + extra + comment;
    MakeParents(&path, destination.size() + 1, &made);
    if (path.back() == '/') continue;
    unsigned char loc[30];
    if (!ReadAt(fd, loc, sizeof loc, local)) return 1;
    int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0700);
    if (out < 0) return 1;
    bool ok = true;
    uLong written = Extract(fd, local + 30 + Le16(loc + 26) + Le16(loc + 28), compressed, method, out, &ok);
    close(out);
    if (!ok || written != crc) return 1;
  }
  return 0;
}
