#include "builtins/strings_text.h"

#include <algorithm>

#include "diag/errors.h"
#include "lang/heap.h"

namespace tov::strtext {

namespace {

// The bytes of a character (at most four, none of them NUL) as one number.
uint32_t pack(const char* p, size_t n) {
  uint32_t key = 0;
  for (size_t i = 0; i < n && i < 4; ++i) key |= uint32_t(uint8_t(p[i])) << (8 * i);
  return key;
}

// A new result string of units characters of type U (its terminator written); nullptr with 3096 when the
// heap has no room.
template <class U>
U* new_text(RunContext* ctx, Value* result, uint64_t units) {
  constexpr bool wide = sizeof(U) == sizeof(wchar);
  const uint64_t bytes = (units + 1) * sizeof(U);
  const uint32_t off = bytes < 0xFFFFFFF0u ? VMalloc(ctx, uint32_t(bytes)) : 0;
  if (!off) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return nullptr;
  }
  value_free(ctx, result->c);
  (wide ? result->c.wstr : result->c.str) = off;
  result->c.type = wide ? VF_WSTRING : VF_STRING;
  U* p = reinterpret_cast<U*>(str_at(ctx, off));
  p[units] = 0;
  return p;
}

}  // namespace

uint32_t char_key(const Ansi&, const char* p, size_t units, bool fold) {
  if (!fold) return pack(p, units);
  if (units == 1 && uint8_t(*p) < 0x80) return uint8_t(plat::upper_ascii(*p));
  char upper[8];
  const size_t n = plat::upper_ansi(p, units, upper, sizeof upper);
  return n < 5 ? pack(upper, n) : pack(p, units);
}

void KeySet::sort_unique() {
  std::sort(keys_.begin(), keys_.end());
  keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
}

bool KeySet::contains(uint32_t key) const { return std::binary_search(keys_.begin(), keys_.end(), key); }

void Finder::build() {
  fail_.assign(pat_.size(), 0);
  for (size_t i = 1, k = 0; i < pat_.size(); ++i) {
    while (k && pat_[i] != pat_[k]) k = fail_[k - 1];
    if (pat_[i] == pat_[k]) ++k;
    fail_[i] = k;
  }
}

size_t Finder::step(size_t state, uint32_t key) const {
  while (state && key != pat_[state]) state = fail_[state - 1];
  return key == pat_[state] ? state + 1 : 0;
}

bool Finder::feed(uint32_t key, bool overlap) {
  if (pat_.empty()) return false;
  state_ = step(state_, key);
  if (state_ < pat_.size()) return false;
  state_ = overlap ? fail_[state_ - 1] : 0;
  return true;
}

size_t Finder::find(const uint32_t* keys, size_t n, size_t from) const {
  if (pat_.empty()) return from < n ? from : n;
  for (size_t i = from, state = 0; i < n; ++i) {
    state = step(state, keys[i]);
    if (state == pat_.size()) return i + 1 - pat_.size();
  }
  return n;
}

char* new_result(RunContext* ctx, Value* result, uint64_t units, const Ansi&) {
  return new_text<char>(ctx, result, units);
}

wchar* new_result(RunContext* ctx, Value* result, uint64_t units, const Wide&) {
  return new_text<wchar>(ctx, result, units);
}

}  // namespace tov::strtext
