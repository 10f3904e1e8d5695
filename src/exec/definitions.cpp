#include "exec/definitions.h"

#include <cstring>

#include "diag/dispatch.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "engine/script.h"
#include "exec/compiled.h"
#include "platform/text.h"

namespace tov {

namespace {

enum class DefLine { None, DefineFunction, DefineSubroutine, EndFunction, EndSubroutine };

bool starts_with_nocase(const char* s, const char* word, size_t* len) {
  size_t i = 0;
  for (; word[i]; ++i)
    if (plat::lower_ascii(s[i]) != plat::lower_ascii(word[i])) return false;
  *len = i;
  return true;
}

DefLine classify(const char* line, size_t* len) {
  if (starts_with_nocase(line, "#DefineFunction", len)) return DefLine::DefineFunction;
  if (starts_with_nocase(line, "#DefineSubroutine", len)) return DefLine::DefineSubroutine;
  if (starts_with_nocase(line, "#EndFunction", len)) return DefLine::EndFunction;
  if (starts_with_nocase(line, "#EndSubroutine", len)) return DefLine::EndSubroutine;
  return DefLine::None;
}

// Record n of the table, its block allocated (zero-filled) when first needed.
UdfRecord* make_record(RunContext* ctx, int32_t n) {
  const int32_t block = n / int32_t(UDF_BLOCK_RECORDS);
  if (!ctx->aUdfBlock[block]) {
    plat::MemId id = plat::mem_alloc(UDF_BLOCK_RECORDS * sizeof(UdfRecord), true);
    auto* records = id ? static_cast<UdfRecord*>(plat::mem_lock(id)) : nullptr;
    if (!records) {
      if (id) plat::mem_free(id);
      return nullptr;
    }
    ctx->aUdfBlock[block] = id;
    for (uint32_t i = 0; i < UDF_BLOCK_RECORDS; ++i) ctx->apUdf[size_t(block) * UDF_BLOCK_RECORDS + i] = records + i;
    if (block > ctx->nUdfBlocks) ctx->nUdfBlocks = block;
  }
  return ctx->apUdf[n];
}

// Reads a name of at most 30 characters up to a blank, tab or one of the stop characters.
bool read_word(const char*& p, const char* stops, char* out) {
  size_t n = 0;
  while (*p && !is_blank(*p) && !std::strchr(stops, *p)) {
    if (n == UDF_NAME_BYTES - 1) return false;
    out[n++] = *p++;
  }
  out[n] = 0;
  return n > 0;
}

void skip_blanks(const char*& p) {
  while (is_blank(*p)) ++p;
}

// The header after the keyword: name ( [param {, param}] ) [; comment]. On a repeated name only the
// name is read and the definition is ignored.
bool parse_header(RunContext* ctx, const char* p, UdfRecord* rec) {
  skip_blanks(p);
  char name[UDF_NAME_BYTES];
  if (!read_word(p, "(", name)) return false;
  char lower[UDF_NAME_BYTES];
  size_t n = plat::lower_ansi(name, std::strlen(name), lower, sizeof lower);
  if (n >= sizeof lower) return false;
  for (int32_t i = 0; i < ctx->nUdfCount; ++i)
    if (ctx->apUdf[i] && std::strcmp(ctx->apUdf[i]->name, lower) == 0) {
      ctx->bDuplicateDef = 1;
      return true;
    }
  skip_blanks(p);
  if (*p++ != '(') return false;
  uint16_t count = 0;
  skip_blanks(p);
  if (*p == ')') {
    ++p;
  } else {
    for (;;) {
      skip_blanks(p);
      if (count == UDF_MAX_PARAMS) return false;
      if (!read_word(p, ",)", rec->params[count])) return false;
      ++count;
      skip_blanks(p);
      if (*p == ')') {
        ++p;
        break;
      }
      if (*p++ != ',') return false;
    }
  }
  skip_blanks(p);
  if (*p && *p != ';') return false;
  std::memcpy(rec->name, lower, n + 1);
  rec->nameLength = uint16_t(n);
  rec->paramCount = count;
  return true;
}

int definition_error(RunContext* ctx, uint16_t number, const char* line, uint32_t lineStart, const HeldScript* hs) {
  ctx->err = number;
  report_statement_error(ctx, line, lineStart, hs);
  return -1;
}

}  // namespace

int handle_definition_line(RunContext* ctx, const char* line, uint32_t lineStart, uint32_t pos, const HeldScript* hs) {
  size_t len = 0;
  const DefLine kind = classify(line, &len);
  if (kind == DefLine::None) return 0;
  const bool subroutine = kind == DefLine::DefineSubroutine || kind == DefLine::EndSubroutine;
  if (kind == DefLine::DefineFunction || kind == DefLine::DefineSubroutine) {
    if (ctx->bInDefinition)
      return definition_error(ctx, subroutine ? ERR_NESTED_DEFSUB : ERR_NESTED_DEFFUNC, line, lineStart, hs);
    if (ctx->nUdfCount >= int32_t(UDF_MAX)) return definition_error(ctx, ERR_TOO_MANY_UDFS, line, lineStart, hs);
    UdfRecord* rec = make_record(ctx, ctx->nUdfCount);
    if (!rec) return definition_error(ctx, ERR_UDF_TABLE_MEMORY, line, lineStart, hs);
    *rec = UdfRecord{};
    ctx->bDuplicateDef = 0;
    if (!parse_header(ctx, line + len, rec))
      return definition_error(ctx, subroutine ? ERR_DEFSUB_SYNTAX : ERR_DEFFUNC_SYNTAX, line, lineStart, hs);
    if (!ctx->bDuplicateDef) {
      std::strcpy(rec->file, ctx->szCurrentFile);
      rec->bodyStart = pos;
      rec->target = 0xFFFFFFFFu;
      rec->kind = subroutine ? UDF_SUBROUTINE : UDF_FUNCTION;
    }
    ctx->bInDefinition = 1;
    return 1;
  }
  if (!ctx->bInDefinition)
    return definition_error(ctx, subroutine ? ERR_ENDSUB_NO_DEF : ERR_ENDFUNC_NO_DEF, line, lineStart, hs);
  ctx->bInDefinition = 0;
  if (ctx->bDuplicateDef) {
    ctx->bDuplicateDef = 0;
    return 1;
  }
  // Either end word closes either kind of definition. The body is copied as it stands in the script.
  UdfRecord* rec = ctx->apUdf[ctx->nUdfCount];
  rec->bodyLength = lineStart >= rec->bodyStart ? lineStart - rec->bodyStart : 0;
  plat::MemId body = plat::mem_alloc(size_t(rec->bodyLength) + 1, false);
  char* text = body ? static_cast<char*>(plat::mem_lock(body)) : nullptr;
  if (text) {
    std::memcpy(text, hs->text + rec->bodyStart, rec->bodyLength);
    text[rec->bodyLength] = 0;
    rec->hBody = body;
    rec->bodyText = text;
    rec->bodyKey = linecache_new_key();
  } else if (body) {
    plat::mem_free(body);
  }
  ++ctx->nUdfCount;
  return 1;
}

void release_udf_table(RunContext* ctx) {
  for (int32_t i = 0; i < ctx->nUdfCount; ++i)
    if (ctx->apUdf[i] && ctx->apUdf[i]->hBody) plat::mem_free(ctx->apUdf[i]->hBody);
  for (uint32_t b = 0; b < UDF_BLOCKS; ++b) {
    if (ctx->aUdfBlock[b]) plat::mem_free(ctx->aUdfBlock[b]);
    ctx->aUdfBlock[b] = 0;
  }
  for (UdfRecord*& p : ctx->apUdf) p = nullptr;
  ctx->nUdfCount = 0;
  ctx->nUdfBlocks = -1;
}

}  // namespace tov
