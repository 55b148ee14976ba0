// A counting allocator for the benchmark programs: the process's malloc family is
// replaced by thin wrappers around glibc's own allocator that count calls and bytes,
// and can log the size of every allocation made while recording is on. Linking
// counting_allocator.cpp into a program is all it takes; nothing here fails (a log that
// overflows keeps counting and says so).
#pragma once

#include <cstddef>
#include <cstdint>

struct AllocationCounts {
  int64_t allocations;  // successful malloc/calloc/aligned calls, and reallocs of null
  int64_t frees;        // free calls with a non-null pointer
  int64_t bytes;        // bytes asked for by those allocations
};

// Totals since the start of the process.
AllocationCounts allocation_counts();

// Starts logging the size of every allocation, dropping what was logged before.
void start_allocation_log();
// Stops logging; returns how many sizes were logged (entries beyond the log's room are
// counted but not kept: see allocation_log_overflowed).
size_t stop_allocation_log();
size_t allocation_log_size(size_t index);
bool allocation_log_overflowed();
