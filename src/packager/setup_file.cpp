#include "packager/setup_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "base/delete_tree.h"
#include "base/paths.h"
#include "base/unique_fd.h"
#include "packager/interrupt.h"
#include "packager/payload_walk.h"

namespace {

// The directory part of path ("." when it has none), made absolute.
std::string AbsoluteDirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return MakeAbsolute(dir).value_or(dir);
}

bool SystemError(const std::string& path, std::string* err) {
  *err = path + ": " + strerror(errno);
  return false;
}

// Appends the whole file from to the descriptor out.
bool CopyInto(int out, const std::string& to, const std::string& from, std::string* err) {
  UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return SystemError(from, err);
  char buffer[65536];
  bool ok = true;
  for (;;) {
    if (Interrupted()) {
      *err = "interrupted";
      ok = false;
      break;
    }
    ssize_t n = read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = SystemError(from, err);
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return SystemError(to, err);
      done += w;
    }
  }
  return ok;
}

int64_t SizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

}  // namespace

StagingDir::~StagingDir() {
  if (!path_.empty()) DeleteFilesAndDirectories(path_.c_str());
}

bool StagingDir::Create(const std::string& output, std::string* err) {
  std::string dir = AbsoluteDirectoryOf(output);
  std::string templ = dir + "/.mksetup.XXXXXX";
  if (mkdtemp(&templ[0]) == nullptr) {
    *err = "can't write into " + dir + ": " + strerror(errno);
    return false;
  }
  path_ = templ;
  return true;
}

bool WriteSetup(const std::string& launcher, const std::string& archive, const std::string& staged,
                const std::string& output, int64_t* size, std::string* err) {
  int64_t launcherSize = SizeOf(launcher);
  int64_t archiveSize = SizeOf(archive);
  if (launcherSize < 0) return SystemError(launcher, err);
  if (archiveSize < 0) return SystemError(archive, err);
  if (launcherSize + archiveSize >= kSizeLimit) {
    *err = "the installer would be " + std::to_string(static_cast<long long>(launcherSize + archiveSize)) +
           " bytes; the launcher reads files below 2 GiB (2147483648 bytes) only";
    return false;
  }
  int out = open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) return SystemError(staged, err);
  bool ok = CopyInto(out, staged, launcher, err) && CopyInto(out, staged, archive, err);
  if (ok && fchmod(out, 0755) != 0) ok = SystemError(staged, err);
  if (ok && fsync(out) != 0) ok = SystemError(staged, err);
  if (close(out) != 0 && ok) ok = SystemError(staged, err);
  if (ok && rename(staged.c_str(), output.c_str()) != 0) ok = SystemError(output, err);
  *size = launcherSize + archiveSize;
  return ok;
}
