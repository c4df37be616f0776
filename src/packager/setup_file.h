// Putting an installer together: the launcher's image followed by the
// archive, written beside its final name and renamed into place only when
// complete, so that a failed or interrupted run leaves no partial installer.
#pragma once

#include <cstdint>
#include <string>

/// A private directory beside a file to be written (in the same directory,
/// so that a rename moves the finished file into place), removed with
/// everything in it when the object goes.
class StagingDir {
 public:
  StagingDir() = default;
  ~StagingDir();
  StagingDir(const StagingDir&) = delete;
  StagingDir& operator=(const StagingDir&) = delete;

  /// Creates the directory beside output (mode 0700). False with a message
  /// in *err when the directory that is to hold output can't take it.
  bool Create(const std::string& output, std::string* err);

  /// Its absolute path; empty before Create.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

/// Writes the launcher's bytes and then the archive's into staged (a new
/// file in a StagingDir), makes it mode 0755 and renames it to output,
/// replacing a file of that name. Refuses an installer of 2 GiB or more,
/// which the launcher could not read. Its size in bytes goes to *size. False
/// with a message in *err, output untouched, on failure.
bool WriteSetup(const std::string& launcher, const std::string& archive, const std::string& staged,
                const std::string& output, int64_t* size, std::string* err);
