// The traceback: one line per open structure and call frame, in the format of the traceback dialog.
#pragma once
#include <string>
#include <vector>

namespace tov {

struct RunContext;

// The heading, an empty line, one line per record of the structure stack (oldest first) and the line of
// the failing statement.
std::vector<std::string> traceback_lines(RunContext* ctx);

// A statement's text with a resolved GoTo or GoSub spelled "goto " or "gosub" again.
std::string jumps_spelled(const char* text);
// How a record kind is listed ("for", "if", "gosub", "<udf>" ...).
const char* struct_kind_name(uint16_t kind, uint32_t resume);

}  // namespace tov
