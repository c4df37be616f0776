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
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (int i = 0; i < zip->entryCount(); ++i) {
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) {
      result->problems.push_back(Unreadable(zip, i));
      continue;
    }
    std::string name = entry->name;
    result->bytes += entry->size;
    if (!IsSafeEntryName(name.c_str())) {
      result->problems.push_back(name + ": a name the launcher refuses to extract");
    } else if (!seen.insert(name).second) {
      result->problems.push_back(name + ": appears more than once; the last one replaces the others");
    } else if (name.back() != '/' && !zipReadEntry(zip, entry, "/dev/null")) {
      result->problems.push_back(name + ": damaged (its data, size or CRC-32 don't match)");
    }
    names.push_back(name);
    zipFreeEntry(zip, entry);
  }
  std::set<std::string> dirs = NeededDirectories(names);
  for (const std::string& name : names) {
    if (name.back() != '/' && dirs.count(name) != 0)
      result->problems.push_back(name + ": a file where other entries need a directory");
  }
  return true;
}
