// The tokenizer: reads one token at a time from the line at ctx->tok.prog into the current token.
#pragma once
#include <cstdint>

#include "lang/keywords.h"


namespace tov {

struct RunContext;

void get_token(RunContext* ctx);
void putback(RunContext* ctx);
void get_string_token(RunContext* ctx);

// True when the current token is the delimiter with this code.
bool tok_is(const RunContext* ctx, int code);

}  // namespace tov
