// The file family's state in the run context: the table of files that FileOpen opened, and the settings
// of the file built-ins that IntControl changes. Plain data: a zero-filled block is a valid empty table
// (the settings get their values when the context is initialised and at the start of every run).
#pragma once
#include <cstdint>

#include "platform/memory.h"

namespace tov {

struct RunContext;
struct ValueCore;

constexpr int OPEN_FILE_SLOTS = 128;

struct FileSlot {
  intptr_t handle;         // the platform's file handle, also the script's; 0 when the entry is free
  uint32_t flags;          // OpenFileFlags
  plat::MemId buffer;      // read buffer (files opened for reading), locked while the file is open
  void* data;              // the read buffer's address: it stays where it is while locked
  uint32_t next;           // read cursor in the buffer, in characters (bytes or 16-bit units)
  uint32_t filled;         // characters in the buffer
  uint32_t size;           // capacity of the buffer in characters
  uint32_t chunk;          // characters read from the file at a time (1 when reading without a buffer)
  uint32_t encoding;       // FileEncoding
  uint32_t wideResults;    // lines are returned as wide strings
};

struct FileSettings {
  int32_t readShare;       // sharing of files opened for reading (FileShare bits)
  int32_t writeShare;      // sharing of files opened for writing or appending
  int32_t readBuffer;      // 0 none, > 0 characters, < 0 the file's size within 4096..32768
  int32_t lineTerminator;  // LineTerminator
  char16_t delimiter;      // the file-list delimiter besides TAB and "|"
};

struct FileState {
  FileSlot open[OPEN_FILE_SLOTS];
  FileSettings settings;
};

// The settings' values at the start of a run.
void file_settings_reset(RunContext* ctx);
// FileRead into a variable holding no array or object, as assigning the call's result would leave it: true
// when done, a failure leaving the variable as it was (ctx->err set); false with nothing done for a handle
// that is not a file open for reading with lines to give as narrow text (the call reports it).
bool file_read_into(RunContext* ctx, int32_t handle, ValueCore& variable);
// Closes every open file and frees its buffer (at shutdown of the context).
void close_all_files(RunContext* ctx);

}  // namespace tov
