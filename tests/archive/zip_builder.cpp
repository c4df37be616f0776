#include "archive/zip_builder.h"

#include <sys/wait.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "archive/unzip.h"
#include "support/child.h"

namespace test {

std::string Le16(uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }

std::string Le32(uint32_t v) { return Le16(v) + Le16(v >> 16); }

std::string Deflate(const std::string& data) {
  uLongf length = compressBound(data.size());
  std::string out(length, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &length, reinterpret_cast<const Bytef*>(data.data()),
            data.size(), 6);
  return out.substr(2, length - 6);  // without the zlib header and trailer
}

std::string StoredBlock(const std::string& data) {
  return std::string(1, '\0') + Le16(data.size()) + Le16(~data.size()) + data;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                                     static_cast<uInt>(data.size())));
}

std::string Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

std::string ZipLayout::Build() const {
  std::string out = prefix;
  std::string central;
  for (const ZipEntryLayout& e : entries) {
    std::string bytes = e.compressed ? *e.compressed : e.method == 8 ? Deflate(e.data) : e.data;
    std::string localName = e.localName.value_or(e.name);
    // Both headers hold these fields, from the flags to the extra length.
    auto fields = [&](const std::string& name, const std::string& extra) {
      return Le16(e.flags) + Le16(e.method) + Le32(e.dosTime) + Le32(e.crc.value_or(Crc(e.data))) +
             Le32(e.compressedSize.value_or(bytes.size())) + Le32(e.size.value_or(e.data.size())) +
             Le16(name.size()) + Le16(extra.size());
    };
    central += Le32(0x02014b50) + Le16(0x031e) + Le16(20) + fields(e.name, e.centralExtra) +
               Le16(e.comment.size()) + std::string(8, '\0') +
               Le32(e.localOffset.value_or(out.size() - prefix.size())) + e.name + e.centralExtra + e.comment;
    out += Le32(0x04034b50) + Le16(20) + fields(localName, e.localExtra) + localName + e.localExtra + bytes;
  }
  size_t cenStart = out.size();
  out += central + cenTail;
  out += Le32(0x06054b50) + std::string(6, '\0') + Le16(entryCount.value_or(entries.size())) +
         Le32(cenSize.value_or(out.size() - cenStart)) + Le32(cenOffset.value_or(cenStart - prefix.size())) +
         Le16(comment.size()) + comment + trailing;
  return out;
}

std::string WriteArchive(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
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

std::string Unzip(const std::string& path, const std::string& destination, const char* prefix,
                  const char* lang) {
  return InChild([&] {
    UseLocaleEnvironment(lang);
    ZipArchive zip(zipOpen(path.c_str(), nullptr));
    if (!zip) return std::string("open failed");
    return std::to_string(UnzipFiles(zip.get(), destination.c_str(), prefix));
  });
}

std::string Extra(const ZipEntry* entry) {
  if (entry->extra.empty()) return "<none>";
  return std::string(reinterpret_cast<const char*>(entry->extra.data()) + 2, entry->extra[0] | (entry->extra[1] << 8));
}

std::map<std::string, std::string> ReadTree(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it); it.increment(ec)) {
    tree[it->path().lexically_relative(root).string()] = it->is_symlink()     ? "<link>"
                                                         : it->is_directory() ? "<dir>"
                                                                              : ReadFile(it->path().string());
  }
  return tree;
}

int Shell(const std::string& command) {
  fflush(nullptr);
  int status = system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace test
