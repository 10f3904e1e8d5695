#include "builtins/varfuncs.h"

#include <cstdio>
#include <cstring>

#include "builtins/callframe.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/arrays.h"
#include "lang/eval.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"

namespace tov {

namespace {

// A variable named by a name-argument built-in: its frame and slot, or none.
struct NamedVar {
  bool isVariable;         // the argument was a variable name at all
  bool valid;              // a pointer argument was valid
  uint16_t frame;
  uint16_t slot;           // SLOT_NONE when the variable does not exist
  char name[VARNAME_BYTES];
};

bool expect_open_paren(RunContext* ctx, const char* name) {
  get_token(ctx);
  if (ctx->err) return false;
  if (tok_is(ctx, KW_LPAREN)) return true;
  ctx->err = ERR_NO_OPEN_PAREN;
  char buf[200];
  std::snprintf(buf, sizeof buf, "%s %s", name, "not followed by open parenthesis");
  AddErrorInfo(ctx, buf);
  return false;
}

bool expect_close_paren(RunContext* ctx) {
  if (tok_is(ctx, KW_RPAREN)) return true;
  ctx->err = ERR_WRONG_ARG_COUNT;
  AddErrorInfo(ctx, "or missing parenthesis");
  return false;
}

// Reads one name argument: a variable name, or "*" and the name of a variable holding a pointer. The
// token after the name is current on return. With create, a plain name is created by the tokenizer as
// usual; otherwise it is only looked up (in the current frame).
bool read_name(RunContext* ctx, NamedVar* nv, bool create, bool address_of = false) {
  *nv = NamedVar{false, true, ctx->nVarFrame, SLOT_NONE, {}};
  while (*ctx->tok.prog == ' ' || *ctx->tok.prog == '\t') ++ctx->tok.prog;
  const bool through_pointer = *ctx->tok.prog == '*';
  if (through_pointer) ++ctx->tok.prog;
  ctx->tok.derefPending = through_pointer || !create;
  ctx->tok.addressOfPending = address_of;
  get_token(ctx);
  if (ctx->err) return false;
  if (ctx->tok.tok_type != TT_VARIABLE) {
    // Any other argument (a number, a string, an expression) is read whole so the list can go on.
    if (tok_is(ctx, KW_RPAREN) || tok_is(ctx, KW_COMMA)) return true;
    Value skipped;
    value_init(skipped);
    ProcessSubExpression(ctx, &skipped, false, false);
    value_free(ctx, skipped);
    return !ctx->err;
  }
  nv->isVariable = true;
  std::strcpy(nv->name, ctx->tok.text);
  if (!through_pointer) {
    nv->slot = create ? ctx->tok.varSlot : slot_lookup(ctx, nv->name);
  } else {
    uint16_t ps = slot_lookup(ctx, nv->name);
    const ValueCore* pv = ps == SLOT_NONE ? nullptr : &slot_at(ctx, ps)->c;
    char text[POINTER_MAX + 2];
    const uint16_t saved = ctx->err;
    if (!pv || !(pv->type & VF_STRING) || std::strlen(str_at(ctx, pv->str)) > POINTER_MAX ||
        (std::strcpy(text, str_at(ctx, pv->str)), !parse_pointer(ctx, text, &nv->frame, nv->name))) {
      ctx->err = saved;
      nv->valid = false;
    } else {
      const uint16_t home = ctx->nVarFrame;
      if (nv->frame != home && !frame_switch(ctx, nv->frame)) {
        ctx->err = ERR_POINTER_ACCESS;
        return false;
      }
      nv->slot = slot_lookup(ctx, nv->name);
      if (nv->frame != home && !frame_switch(ctx, home)) {
        ctx->err = ERR_POINTER_TABLE;
        return false;
      }
    }
  }
  get_token(ctx);
  return !ctx->err;
}

// Runs fn with the table of the named variable's frame current.
template <typename Fn>
bool in_frame(RunContext* ctx, uint16_t frame, Fn fn) {
  const uint16_t home = ctx->nVarFrame;
  if (frame != home && !frame_switch(ctx, frame)) {
    ctx->err = ERR_POINTER_ACCESS;
    return false;
  }
  fn();
  if (frame != home && !frame_switch(ctx, home)) {
    if (!ctx->err) ctx->err = ERR_POINTER_TABLE;
    return false;
  }
  return true;
}

bool is_protected(RunContext* ctx, uint16_t frame, uint16_t slot) {
  const uint32_t key = uint32_t(frame) << 16 | slot;
  if (ctx->nTopTarget == key) return true;
  for (int32_t i = 0; i < ctx->nUdfCount; ++i)
    if (ctx->apUdf[i] && ctx->apUdf[i]->target == key) return true;
  return false;
}

void do_drop(RunContext* ctx, Value* result) {
  for (;;) {
    NamedVar nv;
    if (!read_name(ctx, &nv, false)) return;
    if (!nv.isVariable) {
      ctx->err = ERR_DROP_NOT_VARIABLE;
      return;
    }
    if (nv.valid && nv.slot != SLOT_NONE && !is_protected(ctx, nv.frame, nv.slot))
      in_frame(ctx, nv.frame, [&] { slot_drop(ctx, nv.slot); });
    if (ctx->err) return;
    if (tok_is(ctx, KW_COMMA)) continue;
    if (!expect_close_paren(ctx)) return;
    break;
  }
  set_integer(ctx, result->c, 1);
}

// isdefined, vartype and objecttypeget: one name, perhaps an array element.
void do_type_query(RunContext* ctx, int id, Value* result) {
  NamedVar nv;
  if (!read_name(ctx, &nv, true)) return;
  int32_t answer = -1;
  if (nv.isVariable && nv.valid) {
    // The variable is read in its frame; subscripts after it are read in the current one.
    ValueCore v{};
    in_frame(ctx, nv.frame, [&] {
      if (nv.slot != SLOT_NONE) v = slot_at(ctx, nv.slot)->c;
    });
    if (ctx->err) return;
    if (!value_has_value(v)) {
      answer = 0;
    } else if ((v.type & VF_ARRAY) && tok_is(ctx, KW_LBRACKET)) {
      const ValueCore* e = v.str ? array_element_address(ctx, v.str) : nullptr;
      if (!e) {
        if (!ctx->err) ctx->err = ERR_ARR_ACCESS;
        return;
      }
      answer = int32_t(e->type & 0xFFFF);
      get_token(ctx);
    } else {
      answer = id == KW_ISDEFINED ? 1 : int32_t(v.type & 0xFFFF);
    }
    if (id == KW_ISDEFINED && answer > 0) answer = 1;
  }
  if (!expect_close_paren(ctx)) return;
  if (id == KW_OBJECTTYPEGET) {
    // Only COM variants have a type name; every other value answers the empty string.
    set_string(ctx, result->c, "", 0);
    return;
  }
  set_integer(ctx, result->c, answer);
}

void pointer_error(RunContext* ctx, const char* text) {
  ctx->err = ERR_POINTER;
  AddErrorInfo(ctx, text);
}

bool set_pointer_result(RunContext* ctx, Value* result, uint16_t frame, const char* name) {
  char pointer[POINTER_MAX + 1];
  make_pointer(ctx, frame, name, pointer);
  return set_string(ctx, result->c, pointer, std::strlen(pointer));
}

void do_pointer(RunContext* ctx, int id, Value* result) {
  const bool defines = id == KW_PTRGLOBALDEFINE || id == KW_Q_MAKEPOINTER;
  const bool in_global = id == KW_PTRGLOBAL || id == KW_PTRGLOBALTEST || id == KW_PTRGLOBALDEFINE;
  if (id == KW_PTRGLOBALDEFINE && ctx->nVarFrame != 0) {
    pointer_error(ctx, "PtrGlobalDefine may only be called from the main script");
    return;
  }
  NamedVar nv;
  if (!read_name(ctx, &nv, !in_global || id == KW_PTRGLOBALDEFINE, defines)) return;
  if (!nv.isVariable || !nv.valid) {
    if (id == KW_Q_MAKEPOINTER) ctx->err = ERR_MAKEPOINTER_NAME;
    else if (id == KW_PTRGLOBALTEST) set_integer(ctx, result->c, 0);
    else pointer_error(ctx, "Not a variable name");
    if (ctx->err || !expect_close_paren(ctx)) return;
    return;
  }
  if (!expect_close_paren(ctx)) return;
  uint16_t frame = in_global ? 0 : nv.frame;
  uint16_t slot = nv.slot;
  if (in_global && id != KW_PTRGLOBALDEFINE)
    in_frame(ctx, 0, [&] { slot = slot_lookup(ctx, nv.name); });
  if (ctx->err) return;
  const VarSlot* s = nullptr;
  in_frame(ctx, frame, [&] { s = slot == SLOT_NONE ? nullptr : slot_at(ctx, slot); });
  if (id == KW_PTRGLOBAL || id == KW_PTRGLOBALTEST) {
    const bool exists = s && s->c.type;
    const bool global = exists && (uint8_t(s->name[VARNAME_BYTES - 1]) & VARNAME_FLAG_GLOBAL);
    if (id == KW_PTRGLOBALTEST) {
      set_integer(ctx, result->c, global ? 1 : 0);
      return;
    }
    if (!exists) return pointer_error(ctx, "Variable not found");
    if (!global) return pointer_error(ctx, "Not a global variable");
  }
  if (slot == SLOT_NONE || !s) return pointer_error(ctx, "Unable to create pointer variable");
  if (id == KW_PTRGLOBALDEFINE) {
    VarSlot* g = slot_at(ctx, slot);
    g->name[VARNAME_BYTES - 1] = char(uint8_t(g->name[VARNAME_BYTES - 1]) | VARNAME_FLAG_GLOBAL);
  }
  set_pointer_result(ctx, result, frame, s->name);
}

void do_persistent(RunContext* ctx, Value* result) {
  ctx->tok.persistentMode = 1;
  NamedVar nv;
  const bool ok = read_name(ctx, &nv, false);
  ctx->tok.persistentMode = 0;
  if (!ok) {
    if (ctx->err == ERR_VARNAME_TOO_LONG) {
      ctx->err = 0;
      pointer_error(ctx, "Persistent variable name cannot be longer than 25 characters");
    }
    return;
  }
  if (!nv.isVariable) return pointer_error(ctx, "Not a variable name");
  if (!tok_is(ctx, KW_COMMA)) {
    ctx->err = ERR_ILLEGAL_DELIMITER;
    return;
  }
  get_token(ctx);
  if (ctx->err) return;
  Value init;
  value_init(init);
  ProcessSubExpression(ctx, &init, false, false);
  if (!ctx->err && expect_close_paren(ctx)) {
    uint16_t slot = SLOT_NONE;
    in_frame(ctx, 0, [&] {
      slot = slot_find_or_create(ctx, nv.name, false);
      if (slot != SLOT_NONE && !value_has_value(slot_at(ctx, slot)->c)) slot_store(ctx, slot, init.c);
    });
    if (!ctx->err) {
      if (slot == SLOT_NONE) pointer_error(ctx, "Unable to create pointer variable");
      else set_pointer_result(ctx, result, 0, nv.name);
    }
  }
  value_free(ctx, init);
}

}  // namespace

void call_varfunc(RunContext* ctx, int id, const char* name, Value* result) {
  value_free(ctx, *result);
  value_init(*result);
  if (!expect_open_paren(ctx, name)) return;
  switch (id) {
    case KW_DROP: do_drop(ctx, result); break;
    case KW_ISDEFINED:
    case KW_VARTYPE:
    case KW_OBJECTTYPEGET: do_type_query(ctx, id, result); break;
    case KW_PTRPERSISTENT: do_persistent(ctx, result); break;
    default: do_pointer(ctx, id, result); break;
  }
  if (!ctx->err) get_token(ctx);
}

namespace {

// ?getviapointer(pointer) and ?setviapointer(pointer, value): reading and writing through a pointer.
void via_pointer(RunContext* ctx, Value* result, ArgBlock& args, bool set) {
  const char* text = str_at(ctx, args.slot[1].c.str);
  if (std::strlen(text) > POINTER_MAX) {
    ctx->err = ERR_NOT_POINTER;
    return;
  }
  char pointer[POINTER_MAX + 1];
  std::strcpy(pointer, text);
  const uint16_t home = ctx->nVarFrame;
  uint16_t frame;
  char name[VARNAME_BYTES];
  if (!parse_pointer(ctx, pointer, &frame, name)) return;
  in_frame(ctx, frame, [&] {
    if (set) {
      uint16_t slot = slot_find_or_create(ctx, name, false);
      if (slot != SLOT_NONE && slot_store(ctx, slot, args.slot[2].c)) set_integer(ctx, result->c, 1);
      return;
    }
    uint16_t slot = slot_lookup(ctx, name);
    if (slot == SLOT_NONE || !value_has_value(slot_at(ctx, slot)->c)) {
      ctx->err = ERR_POINTER_UNINIT;
      return;
    }
    value_read(ctx, slot_at(ctx, slot)->c, *result);
  });
  (void)home;
}

void bi_getviapointer(RunContext* ctx, Value* result, ArgBlock& args, int, bool) {
  via_pointer(ctx, result, args, false);
}
void bi_setviapointer(RunContext* ctx, Value* result, ArgBlock& args, int, bool) {
  via_pointer(ctx, result, args, true);
}

const BuiltinEntry kEntries[] = {
    {KW_Q_GETVIAPOINTER, bi_getviapointer},
    {KW_Q_SETVIAPOINTER, bi_setviapointer},
};

}  // namespace

extern const BuiltinFamily kPointerBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
