// A script as the Engine holds it during a run: single-byte text with LF line ends, include files spliced
// in, and LineMarker lines carrying file names and line numbers.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/memory.h"

namespace tov {

// The blanks of a script line: space and tab.
inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

struct RunContext;
struct Value;

constexpr uint32_t LINE_BUFFER_BYTES = 2050;     // 2048 characters after the leading blanks, plus NUL
constexpr uint32_t LINE_MAX_CHARS = 2048;
constexpr uint32_t INCLUDE_NAME_MAX = 260;
constexpr int INCLUDE_MAX_LEVEL = 16;
constexpr uint32_t LABEL_COMPARE_MAX = 256;
constexpr uint32_t JUMP_OFFSET_LIMIT = 1u << 24;

constexpr uint8_t MARKER_BYTE = 0x0B;            // ";" 0x0B starts a LineMarker
constexpr uint8_t RESOLVED_GOTO = 0x9F;
constexpr uint8_t RESOLVED_GOSUB = 0x9E;
constexpr uint16_t NO_UDF = 65535;

struct HeldScript {
  char* text;              // NUL-terminated, in the in-memory form
  uint32_t length;         // offset of the terminating NUL
  plat::MemId block;       // the block holding text (locked once), 0 when not owned
  uint16_t udf;            // the user-defined function whose body this is, NO_UDF for a whole script
  uint32_t bodyOffset;     // for a function body: its offset in the script it was copied from
  uint32_t firstLine;      // for a function body: line number of its first line
  uint32_t cacheKey;       // names the text in the line cache; 0: its lines are not cached
};

constexpr size_t LINE_MARKER_HEAD = 8;
// The first bytes of a LineMarker for the line number; the file name and a LF follow them.
void line_marker_head(uint8_t* out, uint32_t line);

// Six bits per byte, most significant first, each byte OR 0x40 (LineMarker line numbers, jump targets).
void encode_24(uint8_t* out, uint32_t value);
uint32_t decode_24(const uint8_t* in);

// Turns host text (NUL-terminated in its block) into a HeldScript in a block of the Engine's.
// Returns false when the run cannot start (an #include failure has been reported; an unreadable or
// unconvertible text is refused without a message).
bool PrepareHostBuffer(RunContext* ctx, plat::HostHandle script, HeldScript* out);
void FreeHeldScript(HeldScript* hs);
// Reads a text file as script files are read: whole, Unicode text converted, line ends normalised and,
// when bit 0 of nIncludeMode is set, #include lines expanded relative to its directory. Returns 0 with the
// text held in *out (FreeHeldScript releases it), or the error number: 102 not found, 203, 204, 206, 215,
// 219 (an encoded file), 216, 217 (failingName, INCLUDE_NAME_MAX + 1 bytes, names the file), 218.
uint16_t LoadTextFile(RunContext* ctx, const char* path, HeldScript* out, char* failingName);
// Loads, prepares and runs a script file; returns the RunLoop result, or 0 after an error.
int LoadScriptFile(RunContext* ctx, Value* result, const char* path);

int FetchLine(RunContext* ctx, char* line, uint32_t size, const HeldScript* hs, uint32_t* lineStart,
              uint32_t* pos);
int SubstituteLine(RunContext* ctx, char* line);
int FindLabel(RunContext* ctx, const char* label, uint32_t* target, uint32_t stmtLineStart,
              uint32_t stmtOffset, const HeldScript* hs, bool noRewrite);
uint32_t LocateLine(RunContext* ctx, const HeldScript* hs, uint32_t offset, char* file, size_t fileSize,
                    char* lineText, size_t lineTextSize, uint32_t* lineInUdf, int* lineKind);
// ExpandIncludes on a block; returns the new length (>0), 0 when a file could not be read (its name in
// failingName), -1 out of memory, -2 nested too deeply.
int32_t ExpandIncludes(RunContext* ctx, plat::MemId* block, uint32_t length, const char* markerFile,
                       const char* baseDir, char* failingName, int level);

}  // namespace tov
