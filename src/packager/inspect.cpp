#include "packager/inspect.h"

#include <cerrno>
#include <cstring>
#include <set>

#include "archive/unzip.h"
#include "archive/zip.h"

namespace {

bool NoArchive(const std::string& path, ZipError error, std::string* err) {
  if (error == ZipError::kCannotOpen) {
    *err = path + ": " + strerror(errno);
  } else {
    *err = path + (error == ZipError::kDamaged ? ": a damaged archive at its end, which the launcher refuses"
                                               : ": no archive the launcher can read at its end");
  }
  return false;
}

std::string Unreadable(ZipFile* zip, int index) {
  return "entry " + std::to_string(index) + ": " + (zip->lastError ? zip->lastError : "can't be read") +
         "; the launcher refuses the payload";
}

// Every directory that the names need: each name's text before each "/".
std::set<std::string> NeededDirectories(const std::vector<std::string>& names) {
  std::set<std::string> dirs;
  for (const std::string& name : names) {
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
      dirs.insert(name.substr(0, slash));
  }
  return dirs;
}

}  // namespace

bool ListSetup(const std::string& path, std::vector<ListedEntry>* entries, std::string* err) {
  ZipError error;
  ZipArchive archive(OpenPayload(path.c_str(), &error));
  ZipFile* zip = archive.get();
  if (zip == nullptr) return NoArchive(path, error, err);
  for (int i = 0; i < zip->entryCount(); ++i) {
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) {
      *err = path + ": " + Unreadable(zip, i);
      return false;
    }
    entries->push_back({entry->name, entry->size, entry->compressedSize != 0, entry->crc});
    zipFreeEntry(zip, entry);
  }
  return true;
}

bool VerifySetup(const std::string& path, VerifyResult* result, std::string* err) {
  ZipError error;
  ZipArchive archive(OpenPayload(path.c_str(), &error));
  ZipFile* zip = archive.get();
  if (zip == nullptr) return NoArchive(path, error, err);
  result->entries = zip->entryCount();
  // The names as the file system resolves them (a directory's with its "/"),
  // as the launcher compares them: "a/./b" is the file of "a/b".
  std::vector<std::string> names, spelled;
  std::set<std::string> seen;
  for (int i = 0; i < zip->entryCount(); ++i) {
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) {
      result->problems.push_back(Unreadable(zip, i));
      continue;
    }
    std::string name = entry->name;
    bool isDirectory = !name.empty() && name.back() == '/';
    std::string resolved = ResolveEntryName(name.c_str()) + (isDirectory ? "/" : "");
    result->bytes += entry->size;
    if (!IsSafeEntryName(name.c_str())) {
      result->problems.push_back(name + ": a name the launcher refuses to extract");
    } else if (!seen.insert(resolved).second) {
      result->problems.push_back(name + ": appears more than once; the last one replaces the others");
    } else if (!isDirectory && !zipReadEntry(zip, entry, "/dev/null")) {
      result->problems.push_back(name + ": damaged (its data, size or CRC-32 don't match)");
    }
    spelled.push_back(name);
    names.push_back(resolved);
    zipFreeEntry(zip, entry);
  }
  std::set<std::string> dirs = NeededDirectories(names);
  for (size_t i = 0; i < names.size(); ++i) {
    if (!names[i].empty() && names[i].back() != '/' && dirs.count(names[i]) != 0)
      result->problems.push_back(spelled[i] + ": a file where other entries need a directory");
  }
  return true;
}
