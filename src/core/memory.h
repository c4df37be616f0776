// Allocation that never fails back to its caller.
#pragma once

#include <cstddef>

/// Returns a new heap block of size bytes, never null. When memory is
/// exhausted it prints "Out of memory" through perror and ends the process
/// with exit status 1 (exit handlers run).
void* MemAlloc(size_t size);

/// Returns a copy of s made with MemAlloc; the caller frees it.
char* StrDup(const char* s);
