#include "lang/vartable.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "diag/error_model.h"
#include "diag/errors.h"
#include "lang/arrays.h"
#include "lang/values.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr char POINTER_PREFIX[] = "#VAR$PTR#";
constexpr size_t POINTER_PREFIX_LEN = 9;
constexpr size_t POINTER_NAME_AT = 37;     // the name follows the prefix and the frame identity

// Most names differ in their first byte: that check saves the call for them.
bool name_equals(const VarSlot& s, const char* name) { return s.name[0] == name[0] && std::strcmp(s.name, name) == 0; }

void clear_slot(VarSlot& s) {
  std::memset(&s, 0, sizeof s);
}

}  // namespace

// Slot 0 is the scratch slot that carries the name after a "*", marked by the top bit of its first byte.
// A name that starts with a non-ASCII letter has that bit set already, so the scratch name could match a
// real lookup (and drop would then clear the reserved slot): name searches start at slot 1.
constexpr uint16_t FIRST_NAMED_SLOT = 1;

uint16_t slot_lookup(RunContext* ctx, const char* name) {
  const VarSlot* slots = ctx->lpVars;
  for (uint16_t i = FIRST_NAMED_SLOT; i < ctx->nVarUsed; ++i)
    if (slots[i].c.type && name_equals(slots[i], name)) return i;
  return SLOT_NONE;
}

namespace {

// Layout numbers follow the names made: a name made in a slot of a table whose layout number was from leads
// to the number the same step led to before, so that tables filled alike (a function's frame on every call)
// share numbers and the slots found in one hold in the next.
LayoutStep& step_at(RunContext* ctx, LayoutNumber from, uint16_t slot, const uint64_t (&name)[4]) {
  static_assert(LAYOUT_STEPS == 64);
  const uint32_t hash = uint32_t(from + slot) * 0x9E3779B1u + uint32_t(name[0]) * 0x85EBCA77u;
  return ctx->aLayoutStep[hash >> 26];
}

bool is_step(const LayoutStep& step, LayoutNumber from, uint16_t slot, const uint64_t (&name)[4]) {
  return step.from == from && step.to && step.slot == slot && step.name[0] == name[0] && step.name[1] == name[1] &&
         step.name[2] == name[2] && step.name[3] == name[3];
}

// The name (zero-padded, flag byte cleared) was just made in slot; appended: at the end of a table whose
// slots were all in use, the name in none of them.
void note_new_name(RunContext* ctx, uint16_t slot, const uint64_t (&name)[4], bool appended) {
  const LayoutNumber from = ctx->nVarLayout;
  LayoutStep& step = step_at(ctx, from, slot, name);
  if (is_step(step, from, slot, name)) {
    ctx->nVarLayout = step.to;
    return;
  }
  new_layout(ctx);
  step.from = from;
  step.to = ctx->nVarLayout;
  step.slot = slot;
  step.appended = appended;
  std::memcpy(step.name, name, sizeof name);
}

// A slot's name as 32 bytes: the flag byte at the end does not belong to the name.
void read_padded_name(const VarSlot& s, uint64_t (&name)[4]) {
  std::memcpy(name, s.name, VARNAME_BYTES);
  reinterpret_cast<char*>(name)[VARNAME_BYTES - 1] = 0;
}

// A name appended before to a table with this layout number and every slot in use: when this table's slots
// are all in use too, they hold the same names, so the name is not among them and goes at the end again,
// without a search. SLOT_NONE when that is not known.
uint16_t append_known_name(RunContext* ctx, const uint64_t (&name)[4]) {
  const uint16_t slot = ctx->nVarUsed;
  if (slot >= ctx->nVarCapacity) return SLOT_NONE;
  const LayoutStep& step = step_at(ctx, ctx->nVarLayout, slot, name);
  if (!step.appended || !is_step(step, ctx->nVarLayout, slot, name)) return SLOT_NONE;
  return slot_append_again(ctx, reinterpret_cast<const char*>(name), slot, step.to);
}

}  // namespace

uint16_t slot_append_again(RunContext* ctx, const char* name, uint16_t slot, LayoutNumber to) {
  if (slot != ctx->nVarUsed || slot >= ctx->nVarCapacity) return SLOT_NONE;
  VarSlot* const slots = ctx->lpVars;
  for (uint16_t i = FIRST_NAMED_SLOT; i < slot; ++i)
    if (!slots[i].c.type) return SLOT_NONE;
  ctx->nVarUsed = uint16_t(slot + 1);
  // Every byte of the slot is written: the name, its flag byte cleared, and the value.
  VarSlot& s = slots[slot];
  std::memcpy(s.name, name, VARNAME_BYTES - 1);
  s.name[VARNAME_BYTES - 1] = 0;
  set_uninitialised(s.c);
  ctx->nVarLayout = to;
  return slot;
}

// A cleared slot for a new name: the free one found by the search, else the next unused one. The caller
// writes the name and notes it.
static uint16_t claim_slot(RunContext* ctx, uint16_t free_slot) {
  uint16_t slot = free_slot;
  if (slot == SLOT_NONE) {
    if (ctx->nVarUsed >= ctx->nVarCapacity) {
      ctx->err = ERR_OUT_OF_VARIABLES;
      return SLOT_NONE;
    }
    slot = ctx->nVarUsed++;
  }
  clear_slot(ctx->lpVars[slot]);
  return slot;
}

uint16_t slot_find_or_create(RunContext* ctx, const char* name, bool as_integer) {
  VarSlot* slots = ctx->lpVars;
  uint16_t free_slot = SLOT_NONE;
  for (uint16_t i = FIRST_NAMED_SLOT; i < ctx->nVarUsed; ++i) {
    if (!slots[i].c.type) free_slot = i;
    else if (name_equals(slots[i], name)) return i;
  }
  const uint16_t slot = claim_slot(ctx, free_slot);
  if (slot == SLOT_NONE) return SLOT_NONE;
  VarSlot& s = slots[slot];
  std::strncpy(s.name, name, VARNAME_BYTES - 1);
  s.c.i = -1;
  s.c.type = as_integer ? VF_INTEGER : VF_UNINIT;
  uint64_t padded[4];
  read_padded_name(s, padded);
  note_new_name(ctx, slot, padded, free_slot == SLOT_NONE);
  return slot;
}

uint16_t slot_find_or_create_padded(RunContext* ctx, const char* name) {
  VarSlot* slots = ctx->lpVars;
  uint64_t want[4];
  std::memcpy(want, name, VARNAME_BYTES - 1);
  reinterpret_cast<char*>(want)[VARNAME_BYTES - 1] = 0;
  if (const uint16_t appended = append_known_name(ctx, want); appended != SLOT_NONE) return appended;
  uint16_t free_slot = SLOT_NONE;
  for (uint16_t i = FIRST_NAMED_SLOT; i < ctx->nVarUsed; ++i) {
    if (!slots[i].c.type) {
      free_slot = i;
      continue;
    }
    // Both comparisons below need the first bytes to agree.
    if (slots[i].name[0] != name[0]) continue;
    uint64_t have[4];
    read_padded_name(slots[i], have);
    if (have[0] == want[0] && have[1] == want[1] && have[2] == want[2] && have[3] == want[3]) return i;
    // A slot whose name has bytes after its end is compared as a string.
    if (name_equals(slots[i], name)) return i;
  }
  const uint16_t slot = claim_slot(ctx, free_slot);
  if (slot == SLOT_NONE) return SLOT_NONE;
  VarSlot& s = slots[slot];
  std::memcpy(s.name, name, VARNAME_BYTES - 1);
  s.c.i = -1;
  s.c.type = VF_UNINIT;
  note_new_name(ctx, slot, want, free_slot == SLOT_NONE);
  return slot;
}

void slot_drop(RunContext* ctx, uint16_t slot) {
  VarSlot& s = ctx->lpVars[slot];
  value_free(ctx, s.c, VFREE_HOLDER);
  clear_slot(s);
  new_layout(ctx);
  if (slot + 1 == ctx->nVarUsed) --ctx->nVarUsed;
}

bool slot_store(RunContext* ctx, uint16_t slot, const ValueCore& v) {
  VarSlot& s = ctx->lpVars[slot];
  if ((v.type & VF_ARRAY) && (s.c.type & VF_ARRAY) && v.str == s.c.str) return true;
  ValueCore copy{};
  if (!value_copy(ctx, v, copy, VCOPY_DUP_STRINGS | VCOPY_DUP_VARIANT | VCOPY_LOCK_ARRAY)) return false;
  // The old value goes only after the new one is safely copied (it may be the source's own array).
  VarSlot& target = ctx->lpVars[slot];
  value_free(ctx, target.c, VFREE_HOLDER);
  target.c = copy;
  return true;
}

uint16_t find_var(RunContext* ctx, const char* name, uint32_t report) {
  uint16_t slot = slot_lookup(ctx, name);
  if (slot == SLOT_NONE) {
    ctx->err = ERR_UNDEFINED_VARIABLE;
    return SLOT_NONE;
  }
  if (!value_has_value(ctx->lpVars[slot].c)) {
    ctx->err = ERR_UNINITIALIZED;
    if (report && !block_is_skipping(ctx)) {
      char head[128], info[256];
      load_string(ctx, 880, head, sizeof head);
      std::snprintf(info, sizeof info, "%s\n\n    %s", head, name);
      AddErrorInfo(ctx, info);
    }
    return SLOT_NONE;
  }
  return slot;
}

void fold_name(const char* name, char* out) {
  uint8_t folded[VARNAME_BYTES] = {};
  size_t top = 0;
  if (*name) {
    folded[0] = uint8_t(plat::lower_ascii(*name));
    top = 1;
    size_t pos = 1;
    for (const char* p = name + 1; *p; ++p) {
      folded[pos] = uint8_t(folded[pos] + uint8_t(plat::lower_ascii(*p)));
      if (pos + 1 > top) top = pos + 1;
      pos = pos == VARNAMESIZE - 1 ? 5 : pos + 1;
    }
  }
  std::memcpy(out, folded, top);
  out[top] = 0;
}

bool set_variable_by_name(RunContext* ctx, const char* name, const void* value, uint32_t type) {
  char folded[VARNAME_BYTES];
  fold_name(name, folded);
  ValueCore v{};
  switch (type) {
    case VF_INTEGER:
      v.i = *static_cast<const int32_t*>(value);
      v.type = VF_INTEGER;
      break;
    case VF_STRING: {
      const char* s = value ? static_cast<const char*>(value) : "";
      if (!(v.str = str_new(ctx, s, std::strlen(s)))) return false;
      v.type = VF_STRING;
      break;
    }
    case VF_WSTRING: {
      const auto* w = value ? static_cast<const wchar*>(value) : u"";
      if (!(v.wstr = wstr_new(ctx, w, wstr_len(w)))) return false;
      v.type = VF_WSTRING;
      break;
    }
    case VF_ARRAY:
      v.str = *static_cast<const uint32_t*>(value);
      v.type = VF_ARRAY;
      break;
    default: return false;
  }
  uint16_t slot = slot_find_or_create(ctx, folded, false);
  bool ok = slot != SLOT_NONE && slot_store(ctx, slot, v);
  if (type != VF_ARRAY) value_free(ctx, v);
  return ok;
}

bool set_script_parameters(RunContext* ctx, const char* const* args, size_t count) {
  uint16_t p0 = slot_lookup(ctx, "param0");
  if (p0 != SLOT_NONE && (ctx->lpVars[p0].c.type & VF_INTEGER)) {
    for (int32_t i = 1; i <= ctx->lpVars[p0].c.i; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "param%d", int(i));
      uint16_t s = slot_lookup(ctx, name);
      if (s != SLOT_NONE) slot_drop(ctx, s);
    }
  }
  for (size_t i = 0; i < count; ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "param%u", unsigned(i + 1));
    if (!set_variable_by_name(ctx, name, args[i], VF_STRING)) return false;
  }
  int32_t n = int32_t(count);
  return set_variable_by_name(ctx, "param0", &n, VF_INTEGER);
}

void release_all_variables(RunContext* ctx) {
  for (uint16_t i = 0; i < ctx->nVarUsed; ++i) {
    VarSlot& s = ctx->lpVars[i];
    if ((s.c.type & VF_ARRAY) && s.c.str) array_release(ctx, s.c.str, true);
    s.c.str = (s.c.type & VF_ARRAY) ? 0 : s.c.str;
    if (s.c.type & VF_VARIANT) {
      plat::variant_clear(&s.c.variant);
      s.c.type &= ~uint32_t(VF_VARIANT);
    }
  }
}

long variable_value_as_text(RunContext* ctx, const char* name, char* out, size_t out_cap) {
  char folded[VARNAME_BYTES];
  // A subscript list may follow the name; only the name is folded.
  const char* bracket = std::strchr(name, '[');
  char bare[256];
  size_t blen = bracket ? size_t(bracket - name) : std::strlen(name);
  if (blen >= sizeof bare) return -1;
  // A name without subscripts is folded where it stands.
  const char* plain = name;
  if (bracket) {
    std::memcpy(bare, name, blen);
    bare[blen] = 0;
    plain = bare;
  }
  fold_name(plain, folded);
  uint16_t slot = slot_lookup(ctx, folded);
  if (slot == SLOT_NONE) return -1;
  const ValueCore* v = &ctx->lpVars[slot].c;
  ValueCore element{};
  if ((v->type & VF_ARRAY) && bracket) {
    const char* close = std::strrchr(bracket, ']');
    if (!close || close[1] || size_t(close - bracket - 1) > 40) return -1;
    int32_t subs[ARRAY_MAX_DIMS] = {};
    if (!parse_subscript_text(ctx, v->str, bracket, subs)) return -1;
    const ValueCore* e = array_element_at(ctx, v->str, subs);
    if (!e) {
      ctx->err = 0;
      return -1;
    }
    element = *e;
    v = &element;
  }
  const char* text = nullptr;
  size_t len = SIZE_MAX;     // known already for a number written here
  char buf[FLOAT_TEXT_BYTES];
  Value tmp;
  value_init(tmp);
  if (v->type & VF_ARRAY) {
    text = "<array>";
  } else if (v->type & VF_STRING) {
    text = str_at(ctx, v->str);
  } else if (v->type & (VF_WSTRING | VF_INTEGER | VF_FLOAT)) {
    if (v->type & VF_WSTRING) {
      tmp.c.wstr = v->wstr;
      tmp.c.type = VF_WSTRING;
      const uint16_t saved = ctx->err;
      bool ok = to_string(ctx, tmp.c);
      ctx->err = saved;
      if (!ok) return -1;
      text = str_at(ctx, tmp.c.str);
      tmp.c.wstr = 0;
      tmp.c.type = VF_STRING;
    } else if (v->type & VF_INTEGER) {
      // Decimal digits written from the end of the buffer.
      char* q = buf + sizeof buf - 1;
      *q = 0;
      uint32_t u = v->i < 0 ? 0u - uint32_t(v->i) : uint32_t(v->i);
      do *--q = char('0' + u % 10); while (u /= 10);
      if (v->i < 0) *--q = '-';
      text = q;
      len = size_t(buf + sizeof buf - 1 - q);
    } else {
      const uint16_t saved = ctx->err;
      bool ok = float_to_text(ctx, v->f, buf);
      ctx->err = saved;
      if (!ok) return -1;
      text = buf;
    }
  } else if (v->type & VF_VARIANT) {
    // The text is made on a copy that shares the variant and keeps only the text.
    tmp.c.variant = v->variant;
    tmp.c.type = VF_VARIANT;
    const uint16_t saved = ctx->err;
    const bool ok = to_string(ctx, tmp.c);
    ctx->err = saved;
    tmp.c.type &= ~uint32_t(VF_VARIANT);
    if (!ok) return -1;
    text = str_at(ctx, tmp.c.str);
  } else {
    return -1;
  }
  if (len == SIZE_MAX) len = std::strlen(text);
  if (out_cap) {
    size_t n = len < out_cap - 1 ? len : out_cap - 1;
    std::memcpy(out, text, n);
    out[n] = 0;
  }
  if (tmp.c.type & VALUE_OWNS) value_free(ctx, tmp);
  return long(len);
}

// --- pointers -----------------------------------------------------------------------------------------

void make_pointer(RunContext* ctx, uint16_t frame, const char* name, char* out) {
  VarFrame& f = ctx->aVarFrame[frame];
  if (!f.tick) {
    const uint32_t now = plat::tick_count();
    f.tick = now ? now : 1;
  }
  std::snprintf(out, POINTER_MAX + 1, "%s%04X%08lX%08lX%08lX%s", POINTER_PREFIX, unsigned(frame),
                static_cast<unsigned long>(f.tableId), static_cast<unsigned long>(f.sequence),
                static_cast<unsigned long>(f.tick), name);
}

bool parse_pointer(RunContext* ctx, const char* text, uint16_t* frame, char* name) {
  size_t len = std::strlen(text);
  if (len < POINTER_MIN || len > POINTER_MAX || std::strncmp(text, POINTER_PREFIX, POINTER_PREFIX_LEN) != 0) {
    ctx->err = ERR_NOT_POINTER;
    return false;
  }
  unsigned f = 0;
  unsigned long table = 0, seq = 0, tick = 0;
  char fields[POINTER_NAME_AT - POINTER_PREFIX_LEN + 1];
  std::memcpy(fields, text + POINTER_PREFIX_LEN, sizeof fields - 1);
  fields[sizeof fields - 1] = 0;
  if (std::sscanf(fields, "%4X%8lX%8lX%8lX", &f, &table, &seq, &tick) != 4 || f >= VAR_FRAMES) {
    ctx->err = ERR_INVALID_POINTER;
    return false;
  }
  const VarFrame& vf = ctx->aVarFrame[f];
  if (!vf.slots || vf.tableId != table || vf.sequence != seq || vf.tick != tick) {
    ctx->err = ERR_INVALID_POINTER;
    return false;
  }
  *frame = uint16_t(f);
  size_t n = 0;
  for (const char* p = text + POINTER_NAME_AT; *p && n < VARNAMESIZE; ++p) name[n++] = plat::lower_ascii(*p);
  name[n] = 0;
  return true;
}

uint16_t pointer_target(RunContext* ctx, const char* text, uint16_t* frame) {
  char name[VARNAME_BYTES];
  if (!parse_pointer(ctx, text, frame, name)) return SLOT_NONE;
  if (*frame != ctx->nVarFrame && !frame_switch(ctx, *frame)) {
    ctx->err = ERR_POINTER_ACCESS;
    return SLOT_NONE;
  }
  uint16_t slot = slot_lookup(ctx, name);
  if (slot == SLOT_NONE) ctx->err = ERR_POINTER_UNINIT;
  return slot;
}

}  // namespace tov

namespace tov {

bool variable_names_array(RunContext* ctx, const char* name, size_t len) {
  if (!ctx->lpVars || len > VARNAMESIZE) return false;
  char lower[VARNAME_BYTES * 2];
  const size_t n = plat::lower_ansi(name, len, lower, sizeof lower);
  if (n > VARNAMESIZE) return false;
  const uint16_t slot = slot_lookup(ctx, lower);
  if (slot == SLOT_NONE) return false;
  const ValueCore& v = slot_at(ctx, slot)->c;
  if (v.type & VF_ARRAY) return true;
  if ((v.type & VF_VARIANT) && (v.variant.vt & 0x2000)) return true;
  if (!(v.type & VF_STRING)) return false;
  const char* text = str_at(ctx, v.str);
  if (std::strlen(text) > POINTER_MAX) return false;
  char pointer[POINTER_MAX + 1];
  std::strcpy(pointer, text);
  const uint16_t saved = ctx->err, home = ctx->nVarFrame;
  uint16_t frame;
  const uint16_t target = pointer_target(ctx, pointer, &frame);
  const bool is_array = target != SLOT_NONE && (slot_at(ctx, target)->c.type & VF_ARRAY);
  if (ctx->nVarFrame != home) frame_switch(ctx, home);
  ctx->err = saved;
  return is_array;
}

}  // namespace tov
