// The variable tables: slots of the current frame, lookups, creation, frames and variable pointers.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/context.h"
#include "lang/value.h"
#include "lang/variables.h"

namespace tov {

constexpr uint16_t SLOT_NONE = 65535;

inline VarSlot* slot_at(RunContext* ctx, uint16_t i) { return &ctx->lpVars[i]; }

// The current table's names changed, or another table with no layout noted became current: a new layout
// number, so that no slot found before is taken for a name again without a look.
inline void new_layout(RunContext* ctx) { ctx->nVarLayout = ++ctx->nLayoutSerial; }

// The value of a name just made: the integer -1, uninitialised.
inline void set_uninitialised(ValueCore& c) {
  c = ValueCore{};
  c.i = -1;
  c.type = VF_UNINIT;
}

// The reserved first slot of every table: empty name, integer -1, uninitialised. (Inline: every call of a
// function starts its table with it.)
inline void init_reserved_slot(VarSlot* slot) {
  *slot = VarSlot{};
  set_uninitialised(slot->c);
}

// Slot of an exact (lower-case) name among the used slots of the current table, or SLOT_NONE.
uint16_t slot_lookup(RunContext* ctx, const char* name);
// The tokenizer's lookup: finds the name or creates it (the last free slot met, else a new one at the end)
// as uninitialised, or as the integer -1 when as_integer. SLOT_NONE with 3097 when the table is full.
uint16_t slot_find_or_create(RunContext* ctx, const char* name, bool as_integer);
// The same for a name zero-padded to 31 bytes (a compiled line's reference), compared a word at a time.
uint16_t slot_find_or_create_padded(RunContext* ctx, const char* name);
// A name (zero-padded to 31 bytes) made before in slot, the next one, of a table with the layout number the
// current table has: made there again as uninitialised, the table taking the number to it took then. Only
// while every slot before it is in use (a free one would take the name); SLOT_NONE otherwise, nothing done.
uint16_t slot_append_again(RunContext* ctx, const char* name, uint16_t slot, LayoutNumber to);
// Frees a slot's value and clears it (type 0, empty name); the table shrinks when it was the last one.
void slot_drop(RunContext* ctx, uint16_t slot);
// Stores a value into a slot: the old value is released (its array loses a hold), strings are duplicated,
// an array is shared. Assigning an array to the variable that holds it changes nothing.
bool slot_store(RunContext* ctx, uint16_t slot, const ValueCore& v);

// find_var: the slot of a variable that exists and has a value; 3051 when it does not exist, 3052 when it
// has no value (with the name as additional information when report is set).
uint16_t find_var(RunContext* ctx, const char* name, uint32_t report);

// Folds a name handed over by a host or extender into a variable name (lower case, at most 30 bytes).
void fold_name(const char* name, char* out);

// Sets a variable by name: type 1 integer (value points to an int32_t), 2 string (const char*), 128 wide
// string (const char16_t*), 256 array (value points to the array block id).
bool set_variable_by_name(RunContext* ctx, const char* name, const void* value, uint32_t type);

// param0 .. paramN for a script run by the host: the previous parameter variables are dropped first.
bool set_script_parameters(RunContext* ctx, const char* const* args, size_t count);

// Releases every variable of the current table (shutdown).
void release_all_variables(RunContext* ctx);

// --- frames -------------------------------------------------------------------------------------------
// Switches the current table to frame n (its used count is kept in the frame). False when the frame has
// no table. (Inline: every call of a function switches twice.)
inline bool frame_switch(RunContext* ctx, uint16_t n) {
  if (n >= VAR_FRAMES || !ctx->aVarFrame[n].slots) return false;
  VarFrame& cur = ctx->aVarFrame[ctx->nVarFrame];
  cur.used = ctx->nVarUsed;
  cur.layout = ctx->nVarLayout;
  VarFrame& f = ctx->aVarFrame[n];
  ctx->nVarFrame = n;
  // A table left since has not changed: the slots found in it under its layout are still its names'.
  if (f.layout) ctx->nVarLayout = f.layout;
  else new_layout(ctx);
  ctx->lpVars = f.slots;
  ctx->nVarCapacity = f.capacity;
  ctx->nVarUsed = f.used;
  return true;
}

// --- variable pointers --------------------------------------------------------------------------------
constexpr size_t POINTER_MIN = 38, POINTER_MAX = 67;
// Writes "#VAR$PTR#" and the frame's identity and the slot's name for a slot of the current frame.
void make_pointer(RunContext* ctx, uint16_t frame, const char* name, char* out);
// Validates a pointer string (3813, 3814) and gives its frame and (lower-case) name.
bool parse_pointer(RunContext* ctx, const char* text, uint16_t* frame, char* name);
// The slot a valid pointer names, after switching to its frame; SLOT_NONE with 3817 when the name is not
// there. The caller switches back with frame_switch(ctx, saved).
uint16_t pointer_target(RunContext* ctx, const char* text, uint16_t* frame);

}  // namespace tov
