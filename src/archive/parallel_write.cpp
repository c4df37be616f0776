#include "archive/parallel_write.h"

#include <fcntl.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "base/signals.h"
#include "base/unique_fd.h"

namespace {

constexpr unsigned kMaxThreads = 4;
// Files of this size and more are written first, one at a time; the others
// are taken in runs of up to this many files or bytes.
constexpr int32_t kLargeFile = 1 << 20;
constexpr size_t kRunFiles = 64;
constexpr int64_t kRunBytes = 1 << 20;

// What all threads share: runs of tasks, in the order they are taken.
struct Work {
  int archiveFd;
  int dirFd;
  std::vector<FileTask>* tasks;
  std::vector<size_t> order;
  std::vector<std::pair<size_t, size_t>> runs;  // [begin, end) of order
  std::atomic<size_t> next{0};
};

bool Interrupted() { return IsSignalPending(); }

void Run(Work* work) {
  auto buffers = std::make_unique<EntryBuffers>();
  for (size_t taken; !Interrupted() && (taken = work->next++) < work->runs.size();) {
    for (size_t i = work->runs[taken].first; i < work->runs[taken].second && !Interrupted(); ++i) {
      FileTask& task = (*work->tasks)[work->order[i]];
      task.started = true;
      // Not following a link, so that nothing is written where it points.
      UniqueFd fd(
          openat(work->dirFd, task.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0700));
      const char* failure = nullptr;
      task.written = fd.valid() && writeEntryData(work->archiveFd, task.data, fd.get(), buffers.get(),
                                                  Interrupted, &failure);
    }
  }
}

// The order of the tasks and its runs: the large files first, largest
// first, each a run of its own, so that one big file (a runtime's modules)
// runs beside all the rest; then the others in archive order, directory by
// directory as the file system writes them fastest, in runs that keep the
// threads apart from each other's directories.
void Plan(Work* work) {
  const std::vector<FileTask>& tasks = *work->tasks;
  work->order.resize(tasks.size());
  for (size_t i = 0; i < tasks.size(); ++i) work->order[i] = i;
  std::stable_sort(work->order.begin(), work->order.end(), [&tasks](size_t a, size_t b) {
    int32_t sizeA = tasks[a].data.size, sizeB = tasks[b].data.size;
    return sizeA > sizeB && sizeA >= kLargeFile;
  });
  for (size_t begin = 0; begin < work->order.size();) {
    size_t end = begin + 1;
    int64_t bytes = tasks[work->order[begin]].data.size;
    while (end < work->order.size() && end - begin < kRunFiles && bytes < kRunBytes &&
           tasks[work->order[end]].data.size < kLargeFile) {
      bytes += tasks[work->order[end]].data.size;
      ++end;
    }
    if (tasks[work->order[begin]].data.size >= kLargeFile) end = begin + 1;
    work->runs.emplace_back(begin, end);
    begin = end;
  }
}

}  // namespace

void WriteFiles(int archiveFd, int dirFd, std::vector<FileTask>* tasks) {
  Work work;
  work.archiveFd = archiveFd;
  work.dirFd = dirFd;
  work.tasks = tasks;
  Plan(&work);
  unsigned cores = std::max(1u, std::min(kMaxThreads, std::thread::hardware_concurrency()));
  size_t helpers = std::min<size_t>(cores - 1, work.runs.size() > 0 ? work.runs.size() - 1 : 0);
  // Signals go to the calling thread, which acts on them; the helpers get
  // only the faults of their own code.
  sigset_t blocked, previous;
  sigfillset(&blocked);
  for (int fault : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigdelset(&blocked, fault);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < helpers; ++i) {
    try {
      threads.emplace_back([&work] {
        AlternateSignalStack faultStack;
        Run(&work);
      });
    } catch (const std::system_error&) {
      break;  // fewer threads, then
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  Run(&work);
  for (std::thread& thread : threads) thread.join();
}
