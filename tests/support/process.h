// Runs a program as a child process and collects what it printed and how it ended, so the
// end-to-end tests can check the real binary's output byte for byte.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
  std::string out;        // everything written to standard output
  std::string err;        // everything written to standard error
  int exit_status = -1;   // exit status 0..255 when it exited, -1 otherwise
  int signal = 0;         // the signal that ended it, 0 when it exited
  bool timed_out = false; // killed after the time limit
};

// Runs `program` with `args` (argv[1..]) in directory `cwd` (empty: the current one),
// killing it after `timeout_seconds`.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd = "", int timeout_seconds = 60);

// The kelvora binary under test.
ProcessResult run_kelvora_binary(const std::vector<std::string>& args, const std::string& cwd = "",
                                 int timeout_seconds = 60);

// Whole content of a file; empty when it cannot be read.
std::string read_file_bytes(const std::string& path);
bool file_exists(const std::string& path);
void write_text_file(const std::string& path, const std::string& content);
// Names in a directory (not "." and ".."), sorted.
std::vector<std::string> list_directory(const std::string& path);
