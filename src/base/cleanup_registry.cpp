#include "base/cleanup_registry.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "base/delete_tree.h"

namespace {

struct Slot {
  char path[PATH_MAX];
  std::atomic<bool> set{false};
};

Slot slots[2];
char notice[512];
std::atomic<size_t> noticeLength{0};

Slot& SlotOf(CleanupItem item) { return slots[item == CleanupItem::kWorkingDirectory ? 0 : 1]; }

}  // namespace

bool RegisterCleanup(CleanupItem item, const char* path) {
  Slot& slot = SlotOf(item);
  slot.set = false;
  size_t length = strlen(path);
  if (length >= sizeof slot.path) return false;
  memcpy(slot.path, path, length + 1);
  slot.set = true;
  return true;
}

const char* GetCleanupPath(CleanupItem item) {
  Slot& slot = SlotOf(item);
  return slot.set ? slot.path : nullptr;
}

void ForgetCleanup(CleanupItem item) { SlotOf(item).set = false; }

void RunCleanup(CleanupItem item) {
  Slot& slot = SlotOf(item);
  // Taken before the removal, so that an ending that interrupts this one
  // doesn't start it again.
  if (!slot.set.exchange(false)) return;
  if (item == CleanupItem::kWorkingDirectory) {
    DeleteFilesAndDirectories(slot.path);
  } else {
    unlink(slot.path);
  }
}

void SetCleanupNotice(const char* text) {
  noticeLength = 0;
  size_t length = strnlen(text, sizeof notice - 1);
  memcpy(notice, text, length);
  noticeLength = length;
}

void WriteCleanupNotice() {
  size_t length = noticeLength;
  for (size_t done = 0; done < length;) {
    ssize_t n = write(STDOUT_FILENO, notice + done, length - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}
