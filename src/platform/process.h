// Processes.
#pragma once
#include <cstdint>

namespace plat {

// Runs a program with the given arguments (argv[0] is the program, the list ends with nullptr) in
// directory cwd, its standard input read from stdin_path (nullptr: an empty input) and its standard output
// and error written to the given files (nullptr: discarded; the same file for both: one shared file).
// Waits at most timeout_ms (UINT32_MAX: no limit); a program still running then is killed.
// Returns its exit status (POSIX: 128 + the signal for one that a signal ended), or -1 when it could not
// be started or was killed.
int run_captured(const char* const* argv, const char* cwd, const char* stdin_path,
                 const char* stdout_path, const char* stderr_path, uint32_t timeout_ms);

}  // namespace plat
