#include "packager/payload_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "base/unique_fd.h"

namespace {

// The identity of a directory on the way down, to catch links that lead
// back into an ancestor.
struct DirId {
  dev_t dev;
  ino_t ino;
};

struct Walk {
  const WalkRules& rules;
  std::vector<PayloadItem>* items;
  std::vector<std::string>* skipped;
  std::string* err;
  std::vector<DirId> ancestors;
};

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "a special file";
}

bool Fail(Walk* walk, const std::string& path, const std::string& why) {
  *walk->err = path + ": " + why;
  return false;
}

bool Add(Walk* walk, PayloadItem item) {
  if (walk->items->size() >= kMaxEntries) {
    *walk->err = "more than 65534 entries (files and directories); the launcher reads no more";
    return false;
  }
  walk->items->push_back(std::move(item));
  return true;
}

bool CanRead(const std::string& path, bool directory) {
  return UniqueFd(open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (directory ? O_DIRECTORY : 0))).valid();
}

bool WalkDirectory(Walk* walk, const std::string& dir, const std::string& prefix);

// One name found in a directory: a file, a directory to descend into, or
// something refused.
bool WalkEntry(Walk* walk, const std::string& path, const std::string& name) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    int error = errno;
    struct stat link;
    bool dangling = lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && error == ENOENT;
    if (dangling && walk->rules.skipDanglingLinks) {
      walk->skipped->push_back(name);
      return true;
    }
    if (dangling) return Fail(walk, path, "symbolic link to a missing file");
    if (error == ELOOP) return Fail(walk, path, "symbolic link loop");
    return Fail(walk, path, strerror(error));
  }
  PayloadItem item;
  item.mtime = st.st_mtime;
  item.mode = st.st_mode & 07777;
  if (S_ISDIR(st.st_mode)) {
    for (const DirId& up : walk->ancestors) {
      if (up.dev == st.st_dev && up.ino == st.st_ino)
        return Fail(walk, path, "symbolic link back into a directory that holds it");
    }
    if (!CanRead(path, true)) return Fail(walk, path, "directory can't be read");
    item.name = name + "/";
    item.directory = true;
    if (!Add(walk, item)) return false;
    walk->ancestors.push_back({st.st_dev, st.st_ino});
    bool done = WalkDirectory(walk, path, item.name);
    walk->ancestors.pop_back();
    return done;
  }
  if (!S_ISREG(st.st_mode))
    return Fail(walk, path, std::string(KindOf(st.st_mode)) + "; only regular files and directories are packed");
  if (st.st_size >= kSizeLimit)
    return Fail(walk, path, std::to_string(static_cast<long long>(st.st_size)) +
                                " bytes; the launcher reads files below 2 GiB (2147483648 bytes) only");
  if (!CanRead(path, false)) return Fail(walk, path, "file can't be read");
  item.name = name;
  item.source = path;
  item.size = st.st_size;
  return Add(walk, item);
}

bool WalkDirectory(Walk* walk, const std::string& dir, const std::string& prefix) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return Fail(walk, dir, strerror(errno));
  std::vector<std::string> names;
  errno = 0;
  while (struct dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    errno = 0;
  }
  int error = errno;
  closedir(d);
  if (error != 0) return Fail(walk, dir, strerror(error));
  // Sorted here too, so that the first of several problems is always the
  // same one.
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    if (!WalkEntry(walk, dir + "/" + n, prefix + n)) return false;
  }
  return true;
}

}  // namespace

bool WalkTree(const std::string& dir, const std::string& prefix, const WalkRules& rules,
              std::vector<PayloadItem>* items, std::vector<std::string>* skipped, std::string* err) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) {
    *err = dir + ": " + strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *err = dir + ": not a directory";
    return false;
  }
  Walk walk = {rules, items, skipped, err, {{st.st_dev, st.st_ino}}};
  return WalkDirectory(&walk, dir, prefix);
}

void SortItems(std::vector<PayloadItem>* items) {
  std::sort(items->begin(), items->end(),
            [](const PayloadItem& a, const PayloadItem& b) { return a.name < b.name; });
}

int FindItem(const std::vector<PayloadItem>& items, const std::string& name) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].name == name) return static_cast<int>(i);
  }
  return -1;
}
