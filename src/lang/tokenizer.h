// The tokenizer: reads one token at a time from the line at ctx->tok.prog into the current token.
#pragma once
#include <cstddef>
#include <cstdint>

#include "lang/keywords.h"


namespace tov {

struct RunContext;

void get_token(RunContext* ctx);
void putback(RunContext* ctx);
void get_string_token(RunContext* ctx);

// Lower-cases the n bytes of a name into out (plain ASCII without the locale's help); returns the length.
size_t lower_name(const char* raw, size_t n, char* out, size_t cap);

// True when the current token is the delimiter with this code.
bool tok_is(const RunContext* ctx, int code);

}  // namespace tov
