#include "archive/zip_builder.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/child.h"

namespace test {

std::string Le16(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string Deflate(const std::string& data, int level) {
  z_stream s{};
  deflateInit2(&s, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, data.size()), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(&out[0]);
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string RawCentralHeader(uint16_t method, uint16_t flags, uint16_t nameLength, uint16_t extraLength,
                             uint16_t commentLength) {
  return Le32(0x02014b50) + Le16(20) + Le16(20) + Le16(flags) + Le16(method) + Le32(0) + Le32(0) + Le32(0) +
         Le32(0) + Le16(nameLength) + Le16(extraLength) + Le16(commentLength) + Le16(0) + Le16(0) + Le32(0) +
         Le32(0);
}

std::string ZipLayout::Build() const {
  std::string out = prefix;
  // Recorded offsets count from here.
  size_t origin = offsetsFromFileStart ? 0 : prefix.size();
  std::vector<std::string> central;
  for (const ZipEntryLayout& e : entries) {
    std::string bytes = e.compressed ? *e.compressed : e.method == 8 ? Deflate(e.data, e.level) : e.data;
    uint32_t crc = e.crc.value_or(Crc(e.data));
    uint32_t size = e.size.value_or(static_cast<uint32_t>(e.data.size()));
    uint32_t csize = e.compressedSize.value_or(static_cast<uint32_t>(bytes.size()));
    uint32_t offset = e.localOffset.value_or(static_cast<uint32_t>(out.size() - origin));
    std::string localName = e.localName.value_or(e.name);
    out += Le32(0x04034b50) + Le16(20) + Le16(e.flags) + Le16(static_cast<uint32_t>(e.method)) + Le32(e.dosTime) +
           Le32(crc) + Le32(csize) + Le32(size) + Le16(static_cast<uint32_t>(localName.size())) +
           Le16(static_cast<uint32_t>(e.localExtra.size())) + localName + e.localExtra + bytes;
    central.push_back(Le32(0x02014b50) + Le16(0x031e) + Le16(20) + Le16(e.flags) +
                      Le16(static_cast<uint32_t>(e.method)) + Le32(e.dosTime) + Le32(crc) + Le32(csize) +
                      Le32(size) + Le16(static_cast<uint32_t>(e.name.size())) +
                      Le16(static_cast<uint32_t>(e.centralExtra.size())) +
                      Le16(static_cast<uint32_t>(e.comment.size())) + Le16(0) + Le16(0) + Le32(0) + Le32(offset) +
                      e.name + e.centralExtra + e.comment);
  }
  size_t cenStart = out.size();
  for (const std::string& c : central) out += c;
  out += cenTail;
  uint32_t actualCenSize = static_cast<uint32_t>(out.size() - cenStart);
  out += Le32(0x06054b50) + endDiskFields + Le16(entryCount.value_or(static_cast<uint16_t>(entries.size()))) +
         Le32(cenSize.value_or(actualCenSize)) +
         Le32(cenOffset.value_or(static_cast<uint32_t>(cenStart - origin))) +
         Le16(commentLength.value_or(static_cast<uint16_t>(comment.size()))) + comment + trailing;
  return out;
}

namespace {

void Save(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void KeepForCorpus(const std::string& path) {
  const char* dir = getenv("BRAMLET_CORPUS_DIR");
  if (dir == nullptr) return;
  std::string bytes = ReadFile(path);
  if (bytes.empty() || bytes.size() > 64 * 1024) return;
  char name[64];
  snprintf(name, sizeof name, "/%08x-%zu.zip", Crc(bytes), bytes.size());
  Save(dir + std::string(name), bytes);
}

std::string WriteArchive(const std::string& path, const std::string& bytes) {
  Save(path, bytes);
  KeepForCorpus(path);
  return path;
}

ZipEntryLayout Entry(const std::string& name, const std::string& data, int method) {
  ZipEntryLayout e;
  e.name = name;
  e.data = data;
  e.method = method;
  return e;
}

std::string WriteEntries(const std::string& path, const std::vector<ZipEntryLayout>& entries) {
  ZipLayout layout;
  layout.entries = entries;
  return WriteArchive(path, layout.Build());
}

OpenZip::OpenZip(const std::string& path) : zip_(zipOpen(path.c_str(), &error_)) {}

OpenZip::~OpenZip() { zipClose(zip_); }

std::map<std::string, std::string> ReadTree(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string relative = it->path().lexically_relative(root).string();
    if (it->is_symlink()) {
      tree[relative] = "<link>";
    } else if (it->is_directory()) {
      tree[relative] = "<dir>";
    } else {
      tree[relative] = ReadFile(it->path().string());
    }
  }
  return tree;
}

int Shell(const std::string& command) {
  fflush(nullptr);
  int status = system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace test
