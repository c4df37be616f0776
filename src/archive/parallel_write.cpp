#include "archive/parallel_write.h"

#include <fcntl.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <system_error>
#include <thread>

#include "base/signals.h"
#include "base/unique_fd.h"

namespace {

constexpr unsigned kMaxThreads = 4;

// What all threads share: the tasks in the order they are taken.
struct Work {
  int archiveFd;
  int dirFd;
  std::vector<FileTask>* tasks;
  std::vector<size_t> order;
  std::atomic<size_t> next{0};
};

bool Interrupted() { return IsSignalPending(); }

void Run(Work* work) {
  auto buffers = std::make_unique<EntryBuffers>();
  for (size_t taken; !Interrupted() && (taken = work->next++) < work->order.size();) {
    FileTask& task = (*work->tasks)[work->order[taken]];
    task.started = true;
    // Not following a link, so that nothing is written where it points.
    UniqueFd fd(openat(work->dirFd, task.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0700));
    const char* failure = nullptr;
    task.written = fd.valid() && writeEntryData(work->archiveFd, task.data, fd.get(), buffers.get(), Interrupted,
                                                &failure);
  }
}

}  // namespace

void WriteFiles(int archiveFd, int dirFd, std::vector<FileTask>* tasks) {
  Work work;
  work.archiveFd = archiveFd;
  work.dirFd = dirFd;
  work.tasks = tasks;
  work.order.resize(tasks->size());
  for (size_t i = 0; i < tasks->size(); ++i) work.order[i] = i;
  // The largest first: one big file (a runtime's modules) then runs beside
  // all the rest.
  std::stable_sort(work.order.begin(), work.order.end(), [tasks](size_t a, size_t b) {
    return (*tasks)[a].data.size > (*tasks)[b].data.size;
  });
  unsigned cores = std::max(1u, std::min(kMaxThreads, std::thread::hardware_concurrency()));
  size_t helpers = std::min<size_t>(cores - 1, tasks->size() > 0 ? tasks->size() - 1 : 0);
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
