// What the string built-ins share: the two forms of text, stepping by characters, comparison keys,
// substring search, and result strings built in place in the string heap.
//
// Every string built-in is written once over a form: Ansi (characters are whole double-byte characters
// or UTF-8 sequences of the context's code page) or Wide (every UTF-16 code unit is a character).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "builtins/args.h"
#include "builtins/ascii.h"
#include "platform/text.h"

namespace tov::strtext {

struct Ansi {
  using Unit = char;
  uint32_t codePage;
  // A byte below 0x80 is a character of its own in every ANSI code page: no lead byte is that low.
  size_t char_units(const char* p, size_t left) const {
    return left && uint8_t(*p) < 0x80 ? 1 : plat::char_size(p, left, codePage);
  }
};

struct Wide {
  using Unit = wchar;
  size_t char_units(const wchar*, size_t left) const { return left ? 1 : 0; }
};

template <class U>
struct Span {
  const U* p;
  size_t n;    // units, without the terminating NUL
};

// A blank, the default filler and padding of the family.
template <class U>
inline constexpr U kBlank[2] = {U(' '), U(0)};

// Runs fn with the form of this call.
template <class Fn>
void by_form(RunContext* ctx, bool wide, Fn&& fn) {
  if (wide) {
    fn(Wide{});
  } else {
    fn(Ansi{ctx->nCodePage});
  }
}

// Text argument n, in the form of the call (the frame converted it so).
inline Span<char> text_arg(RunContext* ctx, ArgBlock& a, int n, const Ansi&) {
  const char* s = arg_str(ctx, a, n);
  // The string whose length the context remembers is not measured again.
  const uint32_t text = a.slot[n].c.str;
  return {s, text && ctx->lengthMark.text == text ? ctx->lengthMark.length : std::strlen(s)};
}
inline Span<wchar> text_arg(RunContext* ctx, ArgBlock& a, int n, const Wide&) {
  const wchar* s = arg_wstr(ctx, a, n);
  return {s, wstr_len(s)};
}

// --- stepping -----------------------------------------------------------------------------------------

template <class F>
size_t count_chars(Span<typename F::Unit> s, const F& form) {
  if constexpr (std::is_same_v<F, Wide>) {
    return s.n;
  } else {
    // Plain ASCII has a character per byte.
    if (plain_ascii(s.p, s.n)) return s.n;
    size_t count = 0;
    for (size_t i = 0; i < s.n; i += form.char_units(s.p + i, s.n - i)) ++count;
    return count;
  }
}

// Units taken by the first k characters (all of s when it has fewer).
template <class F>
size_t skip_chars(Span<typename F::Unit> s, uint64_t k, const F& form) {
  if constexpr (std::is_same_v<F, Wide>) {
    return k < s.n ? size_t(k) : s.n;
  } else {
    size_t i = 0;
    for (; k && i < s.n; --k) i += form.char_units(s.p + i, s.n - i);
    return i;
  }
}

// --- comparison keys ----------------------------------------------------------------------------------
// A character's key is equal to another's exactly when the characters compare equal: its units, or with
// fold the units of its upper-case mapping.

uint32_t char_key(const Ansi& form, const char* p, size_t units, bool fold);
inline uint32_t char_key(const Wide&, const wchar* p, size_t, bool fold) {
  wchar c = *p;
  if (fold) plat::upper_wide(&c, 1);
  return c;
}

// Keys of every character of s, and with offsets the unit offset of each character plus the end.
template <class F>
void char_keys(Span<typename F::Unit> s, const F& form, bool fold, std::vector<uint32_t>& keys,
               std::vector<size_t>* offsets = nullptr) {
  keys.clear();
  if (offsets) offsets->clear();
  for (size_t i = 0; i < s.n;) {
    const size_t units = form.char_units(s.p + i, s.n - i);
    keys.push_back(char_key(form, s.p + i, units, fold));
    if (offsets) offsets->push_back(i);
    i += units;
  }
  if (offsets) offsets->push_back(s.n);
}

// A set of character keys (delimiters, the characters StrClean looks for).
class KeySet {
 public:
  template <class F>
  KeySet(Span<typename F::Unit> s, const F& form, bool fold) {
    char_keys(s, form, fold, keys_);
    sort_unique();
  }
  bool empty() const { return keys_.empty(); }
  bool contains(uint32_t key) const;

 private:
  void sort_unique();
  std::vector<uint32_t> keys_;
};

// --- substring search ---------------------------------------------------------------------------------

// Linear-time search for one pattern of keys (prefix-function automaton): fed one text character at a
// time, it tells where an occurrence ends.
class Finder {
 public:
  template <class F>
  Finder(Span<typename F::Unit> pattern, const F& form, bool fold) {
    char_keys(pattern, form, fold, pat_);
    build();
  }
  explicit Finder(std::vector<uint32_t> pattern) : pat_(std::move(pattern)) { build(); }

  size_t size() const { return pat_.size(); }
  const uint32_t* keys() const { return pat_.data(); }
  // True when an occurrence ends with this character. After a match the search continues from the
  // start of the pattern, so occurrences never overlap, unless overlap is asked for.
  bool feed(uint32_t key, bool overlap = false);
  // The first occurrence that lies wholly in keys[from, n), or n.
  size_t find(const uint32_t* keys, size_t n, size_t from) const;

 private:
  void build();
  size_t step(size_t state, uint32_t key) const;
  std::vector<uint32_t> pat_;
  std::vector<size_t> fail_;
  size_t state_ = 0;
};

// --- results ------------------------------------------------------------------------------------------

// A new result string of the given units, left for the caller to fill (its terminator is written);
// nullptr with 3096 when the string heap cannot hold it.
char* new_result(RunContext* ctx, Value* result, uint64_t units, const Ansi&);
wchar* new_result(RunContext* ctx, Value* result, uint64_t units, const Wide&);

// A count as an integer result (a count beyond the integers gives the largest one).
inline void set_count(RunContext* ctx, Value* result, uint64_t n) {
  set_integer(ctx, result->c, n > INT32_MAX ? INT32_MAX : int32_t(n));
}

inline bool set_result(RunContext* ctx, Value* result, const char* p, size_t n) {
  return set_string(ctx, result->c, p, n);
}
inline bool set_result(RunContext* ctx, Value* result, const wchar* p, size_t n) {
  return set_wstring(ctx, result->c, p, n);
}

// A part of a result: the pattern's units repeated and cut to total units (a copy when total == n).
template <class U>
struct Piece {
  const U* p;
  size_t n;
  uint64_t total;
};

template <class U>
Piece<U> copy_of(const U* p, size_t n) {
  return {p, n, n};
}
template <class U>
Piece<U> blanks(uint64_t count) {
  return {kBlank<U>, 1, count};
}

// The first k characters of fill repeated (fill is not empty).
template <class F>
Piece<typename F::Unit> repeated(Span<typename F::Unit> fill, uint64_t k, const F& form) {
  const size_t chars = count_chars(fill, form);
  return {fill.p, fill.n, k / chars * fill.n + skip_chars(fill, k % chars, form)};
}

// The result made of the pieces in order; false with the error set.
template <class F>
bool emit(RunContext* ctx, Value* result, const F& form, std::initializer_list<Piece<typename F::Unit>> pieces) {
  using U = typename F::Unit;
  uint64_t total = 0;
  for (const Piece<U>& piece : pieces) total += piece.n ? piece.total : 0;
  U* out = new_result(ctx, result, total, form);
  if (!out) return false;
  for (const Piece<U>& piece : pieces) {
    if (!piece.total || !piece.n) continue;
    // The pattern once, then the written part doubled until the piece is complete.
    uint64_t done = piece.n < piece.total ? piece.n : piece.total;
    std::memcpy(out, piece.p, size_t(done) * sizeof(U));
    while (done < piece.total) {
      const uint64_t more = done < piece.total - done ? done : piece.total - done;
      std::memcpy(out + done, out, size_t(more) * sizeof(U));
      done += more;
    }
    out += piece.total;
  }
  return true;
}

}  // namespace tov::strtext
