// File names as text: their parts, wildcard patterns over names, and target names made from masks. Names
// are UTF-16; "\" and "/" both separate directories on every system, and where names have drive letters
// "C:" at the start is the drive.
#pragma once
#include <cstddef>
#include <string>

namespace tov::fname {

bool is_separator(char16_t c);
// Length of the drive and directory part, including its last separator (or the drive's colon).
size_t directory_length(const std::u16string& path);
inline std::u16string directory_of(const std::u16string& path) { return path.substr(0, directory_length(path)); }
inline std::u16string name_of(const std::u16string& path) { return path.substr(directory_length(path)); }
// The name without its extension, and the extension without its dot (the text after the name's last ".").
std::u16string root_of(const std::u16string& name);
std::u16string extension_of(const std::u16string& name);
bool has_wildcards(const std::u16string& text);
// A directory and a name joined with a separator when the directory does not end in one.
std::u16string join(const std::u16string& dir, const std::u16string& name);

// Whether a name matches a pattern of "*" (any run, dots too) and "?" (one character), without regard to
// case, by the rules of Windows: "*" and "*.*" match every name, a pattern ending in ".*" also matches the
// name without an extension ("abc.*" matches "abc"), and a pattern ending in "." only names without one.
bool name_matches(const std::u16string& pattern, const std::u16string& name);

// The name a source name gets from a target mask. Without a "." in the mask, the mask applies to the whole
// name; otherwise its two parts apply to the source's name and extension: "*" copies the rest of the
// source part, "?" its next character (nothing when it is used up), any other character stands for itself
// and passes over one source character. The parts are joined with "." when the extension is not empty.
// "*.bak" makes abc.bak of abc.txt, "x?y.*" makes xby.txt.
std::u16string map_name(const std::u16string& mask, const std::u16string& source_name);

}  // namespace tov::fname
