// Wildcard string built-ins: StrIndexWild, StrLenWild, StrSubWild.
//
// A pattern is literal characters, "?" (exactly one character) and "*" (any run). Matching goes left to
// right without backtracking: "*" makes the next literal run float to its first occurrence ahead, "?"
// takes one character, a literal run (compared without regard to case) must otherwise stand exactly
// where the text is. A pattern that ends floating takes the rest of the text; a text that ends first
// matches only when what is left of the pattern is all "*".
#include <algorithm>
#include <vector>

#include "builtins/registry.h"
#include "builtins/strings_text.h"
#include "lang/keywords.h"

namespace tov {

namespace {

using namespace strtext;

enum class Kind { Star, One, Run };

struct Element {
  Kind kind;
  size_t run;          // Run: index into the pattern's finders
  bool stars_after;    // everything from this element on is "*"
};

struct Pattern {
  std::vector<Element> elements;
  std::vector<Finder> runs;
  size_t fixed = 0;    // characters a match needs at least: all but the "*"
};

template <class F>
Pattern compile(Span<typename F::Unit> s, const F& form) {
  Pattern pat;
  std::vector<uint32_t> run;
  auto end_run = [&] {
    if (run.empty()) return;
    pat.fixed += run.size();
    pat.elements.push_back({Kind::Run, pat.runs.size(), false});
    pat.runs.emplace_back(std::move(run));
    run.clear();
  };
  for (size_t i = 0; i < s.n;) {
    const size_t units = form.char_units(s.p + i, s.n - i);
    const bool wild = units == 1 && (s.p[i] == '*' || s.p[i] == '?');
    if (wild) {
      end_run();
      pat.elements.push_back({s.p[i] == '*' ? Kind::Star : Kind::One, 0, false});
      if (s.p[i] == '?') ++pat.fixed;
    } else {
      run.push_back(char_key(form, s.p + i, units, true));
    }
    i += units;
  }
  end_run();
  bool stars = true;
  for (size_t k = pat.elements.size(); k-- > 0;) {
    stars = stars && pat.elements[k].kind == Kind::Star;
    pat.elements[k].stars_after = stars;
  }
  return pat;
}

// The case-folded keys of a text and the unit offset of each character (plus the end).
struct Text {
  std::vector<uint32_t> keys;
  std::vector<size_t> offsets;
  size_t size() const { return keys.size(); }
};

template <class F>
Text index_text(Span<typename F::Unit> s, const F& form) {
  Text t;
  char_keys(s, form, true, t.keys, &t.offsets);
  return t;
}

enum class Outcome { Match, Miss, Exhausted };   // Exhausted: no later start can match either

// The last floating search of an element: the first occurrence from `from` on is at `found`. Starts
// tried in turn reach each element at positions that never decrease, so the answer holds for every
// position from `from` to `found`.
struct Memo {
  size_t from = SIZE_MAX, found = 0;
};

// Matches the pattern at character p of the text; on Match *length is the characters matched.
Outcome match_at(const Pattern& pat, const Text& text, size_t p, size_t* length, std::vector<Memo>* memo) {
  const size_t n = text.size();
  size_t t = p;
  bool floating = false;
  for (size_t k = 0;; ++k) {
    if (k == pat.elements.size()) {
      *length = (floating ? n : t) - p;
      return Outcome::Match;
    }
    const Element& e = pat.elements[k];
    if (t == n) {
      if (!e.stars_after) return Outcome::Exhausted;
      *length = t - p;
      return Outcome::Match;
    }
    switch (e.kind) {
      case Kind::Star:
        floating = true;
        break;
      case Kind::One:
        ++t;
        floating = false;
        break;
      case Kind::Run: {
        const Finder& run = pat.runs[e.run];
        if (floating) {
          size_t at;
          if (memo && (*memo)[k].from <= t && t <= (*memo)[k].found) {
            at = (*memo)[k].found;
          } else {
            at = run.find(text.keys.data(), n, t);
            if (memo) (*memo)[k] = {t, at};
          }
          if (at == n) return Outcome::Exhausted;
          t = at;
        } else if (n - t < run.size() || !std::equal(run.keys(), run.keys() + run.size(), text.keys.data() + t)) {
          return Outcome::Miss;
        }
        t += run.size();
        floating = false;
        break;
      }
    }
  }
}

// StrIndexWild: the first position from start where the pattern matches.
template <class F>
int32_t index_wild(Span<typename F::Unit> s, Span<typename F::Unit> pattern, int32_t start, const F& form) {
  if (start == 0) start = 1;
  const Text text = index_text(s, form);
  const size_t n = text.size();
  if (start < 1 || size_t(start) > n) return 0;
  if (pattern.n == 0) return start;
  const Pattern pat = compile(pattern, form);
  std::vector<Memo> memo(pat.elements.size());
  // A pattern that begins with a literal run can only match where that run occurs.
  const Finder* lead = pat.elements.front().kind == Kind::Run ? &pat.runs.front() : nullptr;
  size_t length;
  for (size_t p = size_t(start) - 1; n - p >= pat.fixed; ++p) {
    if (lead && (p = lead->find(text.keys.data(), n, p)) == n) return 0;
    switch (match_at(pat, text, p, &length, &memo)) {
      case Outcome::Match: return int32_t(p + 1);
      case Outcome::Exhausted: return 0;
      case Outcome::Miss: break;
    }
  }
  return 0;
}

// StrLenWild, StrSubWild: the characters matched at start (0: no match) and their unit range.
template <class F>
size_t match_wild(Span<typename F::Unit> s, Span<typename F::Unit> pattern, int32_t start, const F& form,
                  size_t* from, size_t* to) {
  if (start == 0) start = 1;
  if (pattern.n == 0 || start < 1) return 0;
  const Text text = index_text(s, form);
  if (size_t(start) > text.size()) return 0;
  size_t length;
  const size_t p = size_t(start) - 1;
  if (match_at(compile(pattern, form), text, p, &length, nullptr) != Outcome::Match) return 0;
  *from = text.offsets[p];
  *to = text.offsets[p + length];
  return length;
}

void bi_strindexwild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    set_integer(ctx, result->c, index_wild(text_arg(ctx, a, 1, form), text_arg(ctx, a, 2, form), arg_int(a, 3), form));
  });
}

void bi_strlenwild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    size_t from, to;
    set_count(ctx, result, match_wild(text_arg(ctx, a, 1, form), text_arg(ctx, a, 2, form), arg_int(a, 3), form,
                                      &from, &to));
  });
}

void bi_strsubwild(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  by_form(ctx, wide, [&](auto form) {
    const auto s = text_arg(ctx, a, 1, form);
    size_t from = 0, to = 0;
    match_wild(s, text_arg(ctx, a, 2, form), arg_int(a, 3), form, &from, &to);
    set_result(ctx, result, s.p + from, to - from);
  });
}

const BuiltinEntry kEntries[] = {
    {KW_STRINDEXWILD, bi_strindexwild},
    {KW_STRLENWILD, bi_strlenwild},
    {KW_STRSUBWILD, bi_strsubwild},
};

}  // namespace

extern const BuiltinFamily kStringWildBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
