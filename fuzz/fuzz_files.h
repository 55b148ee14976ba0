// Scratch files for the fuzz targets: each fuzzing process gets its own directory under
// /tmp, made on first use and removed at exit, so parallel jobs never share a file.
// Failures to make or write a file end the process: a harness that cannot set up its
// input would otherwise report nothing while testing nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The process's scratch directory followed by "/" and `name`.
std::string fuzz_file(const char* name);

// Writes `size` bytes to `path`, replacing it.
void write_fuzz_file(const std::string& path, const uint8_t* data, size_t size);

// Removes every entry of the scratch directory (not the directory itself).
void clear_fuzz_directory();
