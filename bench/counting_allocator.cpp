#include "counting_allocator.h"

#include <errno.h>
#include <malloc.h>
#include <stdlib.h>

// glibc's allocator under its own names; the replacements below forward to it, which is
// the interposition glibc documents for replacing malloc.
extern "C" {
void* __libc_malloc(size_t size);
void __libc_free(void* pointer);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
}

namespace {

constexpr size_t kLogRoom = 4096;

// Plain counters: every benchmark program runs its measured work on one thread.
AllocationCounts g_counts{0, 0, 0};
bool g_logging = false;
size_t g_logged = 0;
size_t g_log[kLogRoom];

void* counted(void* pointer, size_t size) {
  if (pointer == nullptr) return pointer;
  ++g_counts.allocations;
  g_counts.bytes += static_cast<int64_t>(size);
  if (g_logging) {
    if (g_logged < kLogRoom) g_log[g_logged] = size;
    ++g_logged;
  }
  return pointer;
}

}  // namespace

extern "C" {

void* malloc(size_t size) noexcept { return counted(__libc_malloc(size), size); }

void free(void* pointer) noexcept {
  if (pointer != nullptr) ++g_counts.frees;
  __libc_free(pointer);
}

void* calloc(size_t count, size_t size) noexcept {
  return counted(__libc_calloc(count, size), count * size);
}

void* realloc(void* pointer, size_t size) noexcept {
  if (pointer == nullptr) return counted(__libc_realloc(nullptr, size), size);
  void* moved = __libc_realloc(pointer, size);
  // A realloc to a new size is an allocation of that size; realloc(p, 0) frees p.
  if (moved != nullptr) {
    counted(moved, size);
    ++g_counts.frees;
  } else if (size == 0) {
    ++g_counts.frees;
  }
  return moved;
}

void* memalign(size_t alignment, size_t size) noexcept {
  return counted(__libc_memalign(alignment, size), size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
  return counted(__libc_memalign(alignment, size), size);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* pointer = counted(__libc_memalign(alignment, size), size);
  if (pointer == nullptr) return ENOMEM;
  *out = pointer;
  return 0;
}

void* valloc(size_t size) noexcept { return counted(__libc_valloc(size), size); }

void* pvalloc(size_t size) noexcept { return counted(__libc_pvalloc(size), size); }

}  // extern "C"

AllocationCounts allocation_counts() { return g_counts; }

void start_allocation_log() {
  g_logged = 0;
  g_logging = true;
}

size_t stop_allocation_log() {
  g_logging = false;
  return g_logged < kLogRoom ? g_logged : kLogRoom;
}

size_t allocation_log_size(size_t index) { return index < kLogRoom ? g_log[index] : 0; }

bool allocation_log_overflowed() { return g_logged > kLogRoom; }
