// File lists: entries separated by the run's file delimiter, TAB or "|", each a name or a
// wildcard pattern over the names of one directory; target names made from a target and a source; and
// what the file built-ins share for their results and failures.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tov {

struct RunContext;
struct Value;

constexpr size_t FILE_ENTRY_MAX = 280;   // characters of one entry

enum FileListFlags : uint32_t {
  LIST_FILES = 1,           // patterns match files
  LIST_DIRECTORIES = 2,     // patterns match directories
  LIST_ALLOW_NONE = 4,      // a list that yields nothing is no error
};

// The entries of a list, without empty ones. An entry longer than FILE_ENTRY_MAX raises
// 3054.
bool split_file_list(RunContext* ctx, const std::u16string& list, std::vector<std::u16string>* entries);

// The names of a directory ("" for the current one) that match a pattern, sorted without regard to case.
std::vector<std::u16string> matching_names(const std::u16string& dir, const std::u16string& pattern,
                                           uint32_t flags);

// Calls each(path) for every file of the list in list order: an entry without wildcards as it is,
// a pattern as its matches joined to its directory, taken when the entry is reached. Stops when
// each returns false or sets an error. A list that yields nothing at all raises 1002 "File List
// Processing - No Match" unless LIST_ALLOW_NONE. True when every file was visited without an error.
bool walk_file_list(RunContext* ctx, const std::u16string& list, uint32_t flags,
                    const std::function<bool(const std::u16string& path)>& each);

// The name that a source file gets from a target: a directory (a target that ends in a separator or a
// drive's colon, or names an existing directory) keeps the source's name; otherwise the target's name is a
// mask over the source's name (fname::map_name) in the target's directory.
std::u16string target_for(const std::u16string& target, const std::u16string& source);

// Raises a file built-in's error after a failed system call: the system's error code with the operation's
// name, and the file's name, go to the additional information.
void file_failure(RunContext* ctx, uint16_t number, uint32_t system_error, const char* api,
                  const std::u16string& path);
// Sets a byte count as the result by the size functions' format: 0 an integer, or a float when it does not
// fit; 1 always a float. Any other format raises 1073.
void size_result(RunContext* ctx, Value* result, uint64_t bytes, int32_t format);

}  // namespace tov
