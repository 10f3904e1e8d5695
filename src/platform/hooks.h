// What the OS-neutral parts of the platform layer need from each operating system. Internal to
// src/platform/: the rest of the Engine uses the facility headers only.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/files.h"

namespace plat::os {

// --- Backing store of the movable blocks (memory.cpp keeps the id table) -------------------------------
// The backing is an opaque OS block: a global-memory handle on Windows, the heap address on POSIX.
void* block_alloc(size_t size, bool zero_fill);
// Resizes a backing, returning the new one (the old one is then gone) or nullptr (the old one is kept).
// A locked backing stays locked across the call.
void* block_realloc(void* backing, size_t size, bool locked);
void* block_lock(void* backing);
void block_unlock(void* backing);
void block_free(void* backing);

// --- Paths (paths.cpp) ---------------------------------------------------------------------------------
char path_list_separator();                 // between the directories of PATH
char path_separator();                      // the one that full paths are written with
bool path_has_drive(const char* name);      // "C:..." on Windows
// The system's own search order for a bare file name (Windows: SearchPathA); NotFound elsewhere.
FileCheck system_search(const char* name, char* out, size_t out_cap);

// --- Console (console.cpp) ------------------------------------------------------------------------------
enum class ReadResult { Byte, End, Stopped };
bool stdin_is_terminal();
// Reads one byte of standard input, returning early with Stopped when a stop request is pending.
ReadResult console_read_byte(unsigned char* byte);
// Switches echo of terminal input off (false) or back on; does nothing when stdin is no terminal.
void console_echo(bool on);
// Switches the terminal to single-key input (no line editing, no echo) or back.
void console_key_mode(bool on);
// Waits at most ms for a key on the terminal and consumes it; true when one came.
bool console_key_slice(uint32_t ms);
bool stop_pending();                        // a stop request is waiting (not consumed)
void consume_stop();
void console_write_raw(const char* text, size_t n);

}  // namespace plat::os

namespace plat {
// The message box of the console UI (console.cpp), used by both message_box implementations.
int console_message_box(const char* text, const char* caption, uint32_t flags);
}  // namespace plat
