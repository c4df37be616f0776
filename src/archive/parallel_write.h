// Writing an extraction's files on every core: what UnzipFiles hands to its
// worker threads. Inside the archive layer only.
#pragma once

#include <string>
#include <vector>

#include "archive/zip_internal.h"

/// One file of an extraction.
struct FileTask {
  int index = 0;     // the entry's position in the archive
  std::string path;  // below the directory, without a leading "/"
  EntryData data;
  bool started = false;  // a thread took it: its file may exist, whole or in part
  bool written = false;  // whole, and its CRC-32 matched
};

/// Writes the files of tasks below the directory open at dirFd, reading the
/// archive open at archiveFd, on one thread per core (the calling thread
/// among them, four at most), the largest files first. Threads stop taking
/// files, and give up the one at hand between chunks, once a handled signal
/// is pending; the caller acts on it after this returns, when every thread
/// has stopped. The tasks record how each went.
void WriteFiles(int archiveFd, int dirFd, std::vector<FileTask>* tasks);
