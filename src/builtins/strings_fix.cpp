// String built-ins that build text to a width: StrFix and its left and byte-counting variants, StrFill,
// StrInsert and StrOverlay.
#include "builtins/registry.h"
#include "builtins/strings_text.h"
#include "diag/errors.h"
#include "lang/keywords.h"

namespace tov {

namespace {

using namespace strtext;

enum class Side { Right, Left };

template <class U>
Span<U> filler_or_blank(Span<U> filler) {
  return filler.n ? filler : Span<U>{kBlank<U>, 1};
}

// --- widths in characters: StrFix, StrFixChars, StrFixLeft, StrFixCharsL -------------------------------

template <class F>
void fix_chars(RunContext* ctx, Value* result, Span<typename F::Unit> s, Span<typename F::Unit> filler,
               int32_t length, Side side, const F& form) {
  if (length < 0) {
    ctx->err = ERR_STRFIX_LENGTH;
    return;
  }
  const size_t chars = count_chars(s, form);
  if (chars >= size_t(length)) {
    const size_t from = side == Side::Left ? skip_chars(s, chars - length, form) : 0;
    const size_t to = side == Side::Left ? s.n : skip_chars(s, length, form);
    set_result(ctx, result, s.p + from, to - from);
    return;
  }
  const auto pad = repeated(filler_or_blank(filler), length - chars, form);
  if (side == Side::Right) {
    emit(ctx, result, form, {copy_of(s.p, s.n), pad});
  } else {
    emit(ctx, result, form, {pad, copy_of(s.p, s.n)});
  }
}

void fix_chars_builtin(RunContext* ctx, Value* result, ArgBlock& a, bool wide, Side side) {
  by_form(ctx, wide, [&](auto form) {
    fix_chars(ctx, result, text_arg(ctx, a, 1, form), text_arg(ctx, a, 2, form), arg_int(a, 3), side, form);
  });
}
void bi_strfix(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  fix_chars_builtin(ctx, result, a, wide, Side::Right);
}
void bi_strfixleft(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  fix_chars_builtin(ctx, result, a, wide, Side::Left);
}

// --- widths in bytes: StrFixBytes, StrFixBytesL ---------------------------------------------------------
// Bytes are those of the ANSI code page in both forms: a wide text is measured by the bytes each of its
// characters (a surrogate pair is one) takes in the context's code page. Characters are never split;
// a gap narrower than the next character is made up with blanks at the outer end.

struct ByteChar {
  size_t units, bytes;
};

ByteChar byte_char(const char* p, size_t left, const Ansi& form) {
  const size_t units = form.char_units(p, left);
  return {units, units};
}

ByteChar byte_char(const wchar* p, size_t left, uint32_t code_page) {
  const size_t units = left >= 2 && p[0] >= 0xD800 && p[0] < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000 ? 2 : 1;
  if (units == 1 && p[0] < 0x80) return {1, 1};
  const int bytes = plat::wide_to_ansi(p, int(units), nullptr, 0, code_page);
  return {units, bytes > 0 ? size_t(bytes) : 1};
}

template <class U, class Measure>
uint64_t total_bytes(Span<U> s, Measure&& measure) {
  uint64_t bytes = 0;
  for (size_t i = 0; i < s.n;) {
    const ByteChar c = measure(s.p + i, s.n - i);
    bytes += c.bytes;
    i += c.units;
  }
  return bytes;
}

// The longest run of whole characters from the start of s that takes at most limit bytes.
template <class U, class Measure>
ByteChar prefix_within(Span<U> s, uint64_t limit, Measure&& measure) {
  ByteChar run{0, 0};
  while (run.units < s.n) {
    const ByteChar c = measure(s.p + run.units, s.n - run.units);
    if (run.bytes + c.bytes > limit) break;
    run.units += c.units;
    run.bytes += c.bytes;
  }
  return run;
}

template <class F, class Measure>
void fix_bytes(RunContext* ctx, Value* result, Span<typename F::Unit> s, Span<typename F::Unit> filler,
               int32_t length, Side side, const F& form, Measure&& measure) {
  using U = typename F::Unit;
  if (length < 0) {
    ctx->err = ERR_STRFIX_LENGTH;
    return;
  }
  const uint64_t width = uint64_t(length), bytes = total_bytes(s, measure);
  if (bytes > width) {
    if (side == Side::Right) {
      const ByteChar kept = prefix_within(s, width, measure);
      emit(ctx, result, form, {copy_of(s.p, kept.units), blanks<U>(width - kept.bytes)});
      return;
    }
    // Drop characters from the start until the rest fits.
    uint64_t rest = bytes;
    size_t from = 0;
    while (rest > width) {
      const ByteChar c = measure(s.p + from, s.n - from);
      rest -= c.bytes;
      from += c.units;
    }
    emit(ctx, result, form, {blanks<U>(width - rest), copy_of(s.p + from, s.n - from)});
    return;
  }
  filler = filler_or_blank(filler);
  const uint64_t gap = width - bytes, cycle = total_bytes(filler, measure);
  const ByteChar partial = prefix_within(filler, gap % cycle, measure);
  const Piece<U> pad{filler.p, filler.n, gap / cycle * filler.n + partial.units};
  const Piece<U> spaces = blanks<U>(gap % cycle - partial.bytes);
  if (side == Side::Right) {
    emit(ctx, result, form, {copy_of(s.p, s.n), pad, spaces});
  } else {
    emit(ctx, result, form, {spaces, pad, copy_of(s.p, s.n)});
  }
}

void fix_bytes_builtin(RunContext* ctx, Value* result, ArgBlock& a, bool wide, Side side) {
  const int32_t length = arg_int(a, 3);
  if (wide) {
    const uint32_t code_page = ctx->nCodePage;
    fix_bytes(ctx, result, text_arg(ctx, a, 1, Wide{}), text_arg(ctx, a, 2, Wide{}), length, side, Wide{},
              [code_page](const wchar* p, size_t left) { return byte_char(p, left, code_page); });
    return;
  }
  const Ansi form{ctx->nCodePage};
  fix_bytes(ctx, result, text_arg(ctx, a, 1, form), text_arg(ctx, a, 2, form), length, side, form,
            [&form](const char* p, size_t left) { return byte_char(p, left, form); });
}
void bi_strfixbytes(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  fix_bytes_builtin(ctx, result, a, wide, Side::Right);
}
void bi_strfixbytesl(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  fix_bytes_builtin(ctx, result, a, wide, Side::Left);
}

// --- StrFill ------------------------------------------------------------------------------------------

void bi_strfill(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t length = arg_int(a, 2);
  if (length < 0) {
    ctx->err = ERR_STRFILL_LENGTH;
    return;
  }
  by_form(ctx, wide, [&](auto form) {
    const auto pattern = filler_or_blank(text_arg(ctx, a, 1, form));
    // The fill is built in place: when its memory cannot be had, the work buffer is what failed.
    if (!emit(ctx, result, form, {repeated(pattern, uint64_t(length), form)}) && ctx->err == ERR_OUT_OF_STRINGS)
      ctx->err = ERR_WORK_MEMORY;
  });
}

// --- StrInsert, StrOverlay ----------------------------------------------------------------------------
// (base, new [, pad [, start [, length]]]): new, cut or padded to length characters (default: its own),
// goes in at character start (default 1; 0: after the end) of base, which is padded when it is shorter.
// StrInsert keeps every character of base; StrOverlay writes over length characters of it.

template <class F>
void place(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool overlay, const F& form) {
  using U = typename F::Unit;
  const Span<U> base = text_arg(ctx, a, 1, form), text = text_arg(ctx, a, 2, form);
  const Span<U> pad = argc >= 3 ? filler_or_blank(text_arg(ctx, a, 3, form)) : Span<U>{kBlank<U>, 1};
  int64_t start = argc >= 4 ? arg_int(a, 4) : 1;
  if (start < 0) {
    ctx->err = ERR_STRINSERT_START;
    return;
  }
  const size_t text_chars = count_chars(text, form);
  const int64_t length = argc >= 5 ? arg_int(a, 5) : int64_t(text_chars);
  if (length < 0) {
    ctx->err = ERR_STRINSERT_LENGTH;
    return;
  }
  const size_t base_chars = count_chars(base, form);
  if (start == 0) start = int64_t(base_chars) + 1;
  const uint64_t before = uint64_t(start - 1);
  const size_t head = skip_chars(base, before, form);
  const uint64_t base_pad = before > base_chars ? before - base_chars : 0;
  const uint64_t text_pad = uint64_t(length) > text_chars ? uint64_t(length) - text_chars : 0;
  const size_t tail = overlay ? head + skip_chars(Span<U>{base.p + head, base.n - head}, uint64_t(length), form)
                              : head;
  emit(ctx, result, form,
       {copy_of(base.p, head), repeated(pad, base_pad, form), copy_of(text.p, skip_chars(text, length, form)),
        repeated(pad, text_pad, form), copy_of(base.p + tail, base.n - tail)});
}

void bi_strinsert(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  by_form(ctx, wide, [&](auto form) { place(ctx, result, a, argc, false, form); });
}
void bi_stroverlay(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  by_form(ctx, wide, [&](auto form) { place(ctx, result, a, argc, true, form); });
}

const BuiltinEntry kEntries[] = {
    {KW_STRFIX, bi_strfix},           {KW_STRFIXCHARS, bi_strfix},       {KW_STRFIXLEFT, bi_strfixleft},
    {KW_STRFIXCHARSL, bi_strfixleft}, {KW_STRFIXBYTES, bi_strfixbytes},  {KW_STRFIXBYTESL, bi_strfixbytesl},
    {KW_STRFILL, bi_strfill},         {KW_STRINSERT, bi_strinsert},      {KW_STROVERLAY, bi_stroverlay},
};

}  // namespace

extern const BuiltinFamily kStringFixBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
