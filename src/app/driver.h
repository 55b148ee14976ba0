// The whole control flow of the tool: picks the run mode from the argument count, builds
// the entries, loads each image once per run of equal paths, writes every picture and
// prints every message on standard output. Returns the process exit status (0 or -1).
// Memory exhaustion surfaces as std::bad_alloc, which main turns into its own message.
#pragma once

int run_kelvora(int argc, char** argv);
