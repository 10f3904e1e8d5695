// The keyword table, built at compile time from keywords.inc, and the keyword lookup.
#include "lang/keywords.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "engine/context.h"
#include "exec/udf.h"
#include "lang/variables.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tov {

namespace {

// --- Building the records -------------------------------------------------------------------------
// Every rule a record must follow is checked while the table is evaluated, so a mistake in
// keywords.inc stops the build (a throw in a constant expression is a compile error).

constexpr uint32_t arg_type_of_letter(char letter) {
  switch (letter) {
    case 'I': return ARG_INT;
    case 'S': return ARG_STRING;
    case 'F': return ARG_FLOAT;
    case 'A': return ARG_ARRAY;
    case 'V': return ARG_VARIANT;
    case 'W': return ARG_WSTRING;
    case 'T': return ARG_TEXT;
    case 'N': return ARG_TEXT_NT;
    case 'B': return ARG_TEXT_BOTH;
    case 'X': return ARG_ANY;
  }
  throw "unknown argument type letter";
}

template <size_t N>
constexpr KeywordEntry record(int id, const char (&text)[N], uint32_t kind, uint32_t value,
                              uint64_t argTypes = 0) {
  static_assert(N >= 2 && N - 1 <= KEYWORD_NAME_MAX, "keyword names have 1 to 33 characters");
  KeywordEntry e{};
  e.id = static_cast<uint32_t>(id);
  e.kind = kind;
  e.argTypesLow = static_cast<uint32_t>(argTypes);
  e.argTypesHigh = static_cast<uint32_t>(argTypes >> 32);
  e.value = value;
  e.nameLength = static_cast<uint16_t>(N - 1);
  for (size_t i = 0; i + 1 < N; ++i) {
    if (text[i] >= 'A' && text[i] <= 'Z') throw "keyword names are lower case";
    e.name[i] = text[i];
  }
  return e;
}

template <size_t N, size_t M>
constexpr KeywordEntry function(int id, const char (&text)[N], uint32_t required, uint32_t optional,
                                const char (&types)[M]) {
  const uint32_t letters = M - 1;
  if (required == VARIADIC) {
    if (optional != 0 || letters != 0) throw "a variadic function declares no arguments";
  } else if (letters != required + optional || letters > MAX_ARGS) {
    throw "one type letter per declared argument, at most 16";
  }
  uint64_t argTypes = 0;
  for (uint32_t n = 0; n < letters; ++n) argTypes |= uint64_t{arg_type_of_letter(types[n])} << (4 * n);
  return record(id, text, KW_FUNCTION, required | optional << 8, argTypes);
}

constexpr uint32_t integer_value(long long v) {
  if (v < -2147483648LL || v > 2147483647LL) throw "integer constants are 32-bit";
  return static_cast<uint32_t>(static_cast<int32_t>(v));
}

constexpr uint32_t CONSTANT_NUMBERS = 32;   // a constant's number is its value & 31

constexpr uint32_t numbered(uint32_t tag, uint32_t number) {
  if (number >= CONSTANT_NUMBERS) throw "constant numbers run from 0 to 31";
  return tag | number;
}

}  // namespace

// Defined constexpr so that the checks below run on it at compile time; the header's extern
// declaration gives it external linkage.
constexpr KeywordEntry g_keywordTable[NKEYTOKENS] = {
#define KW_SYMBOL(id, text, kind) record(id, text, kind, 0),
#define KW_CONST(id, text, value) record(id, text, KW_CONSTANT, integer_value(value)),
#define KW_FLOAT(id, text, number, value) record(id, text, KW_CONSTANT, numbered(FLOAT_CONSTANT_TAG, number)),
#define KW_STRING(id, text, number, value) record(id, text, KW_CONSTANT, numbered(STRING_CONSTANT_TAG, number)),
#define KW_WORD(id, text, kind) record(id, text, kind, 0),
#define KW_NAMEFN(id, text, names) record(id, text, KW_VARFUNC, names),
#define KW_FN(id, text, required, optional, types) function(id, text, required, optional, types),
#define KW_RESERVED_RECORD(id, text) record(id, text, KW_RESERVED, 0),
#include "lang/keywords.inc"
#include "lang/keywords_end.inc"
};

namespace {

// The lookup relies on the order: one contiguous run of records per first character.
constexpr bool table_in_order() {
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    if (g_keywordTable[i].id != i) return false;
    if (i > 0 && static_cast<unsigned char>(g_keywordTable[i].name[0]) <
                     static_cast<unsigned char>(g_keywordTable[i - 1].name[0]))
      return false;
  }
  return true;
}
static_assert(table_in_order(), "records sorted by first character, ids equal to positions");

// The values of the numbered constants, taken from the same lines as the records.
struct ConstantLists {
  std::array<double, CONSTANT_NUMBERS> floats{};
  std::array<const char*, CONSTANT_NUMBERS> strings{};
};

constexpr ConstantLists collect_constants() {
  ConstantLists lists;
  std::array<bool, CONSTANT_NUMBERS> floatSeen{}, stringSeen{};
  auto addFloat = [&](uint32_t n, double v) {
    if (floatSeen[n]) throw "two float constants with one number";
    floatSeen[n] = true;
    lists.floats[n] = v;
  };
  auto addString = [&](uint32_t n, const char* s) {
    if (stringSeen[n]) throw "two string constants with one number";
    stringSeen[n] = true;
    lists.strings[n] = s;
  };
#define KW_SYMBOL(...)
#define KW_CONST(...)
#define KW_WORD(...)
#define KW_NAMEFN(...)
#define KW_FN(...)
#define KW_RESERVED_RECORD(...)
#define KW_FLOAT(id, text, number, value) addFloat(number, value);
#define KW_STRING(id, text, number, value) addString(number, value);
#include "lang/keywords.inc"
#include "lang/keywords_end.inc"
  return lists;
}

constexpr ConstantLists kConstants = collect_constants();

}  // namespace

double keyword_float_constant(uint32_t value) {
  return kConstants.floats[value & (CONSTANT_NUMBERS - 1)];
}

const char* keyword_string_constant(uint32_t value) {
  const char* s = kConstants.strings[value & (CONSTANT_NUMBERS - 1)];
  return s ? s : "";
}

// --- The first-character index ------------------------------------------------------------------------

const char* const QUICKLOOK_ORDER_CHECK = "KWCHK-01";
const char* const QUICKLOOK_ID_CHECK = "KWCHK-02";

void build_first_char_index(const KeywordEntry* table, uint32_t count, uint32_t start[128],
                            QuickLookReport report, void* data) {
  for (int c = 0; c < 128; ++c) start[c] = 0;
  uint32_t previous = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const KeywordEntry& e = table[i];
    const unsigned char first = static_cast<unsigned char>(e.name[0]);
    char name[KEYWORD_NAME_BYTES];
    const size_t len = e.nameLength < KEYWORD_NAME_MAX ? e.nameLength : KEYWORD_NAME_MAX;
    std::memcpy(name, e.name, len);
    name[len] = '\0';
    if (first < previous) report(name, QUICKLOOK_ORDER_CHECK, data);
    if (e.id != i) report(name, QUICKLOOK_ID_CHECK, data);
    if (first > previous) {
      for (uint32_t c = previous + 1; c <= first && c < 128; ++c) start[c] = i;
      previous = first;
    }
  }
  for (uint32_t c = previous + 1; c < 128; ++c) start[c] = count;
}

namespace {

uint32_t g_quickPrimary[128];
uint32_t g_quickMirror[128];
std::atomic<bool> g_quickBuilt{false};

// Text characters are lower-cased through this table before they are compared with names. Bytes
// above 127 are mapped only in single-byte code pages: elsewhere they are parts of longer characters.
unsigned char g_lower[256];

void show_check_box(const char* name, const char* caption, void*) {
  plat::message_box(plat::focus_window(), name, caption, plat::MB_OK_ONLY);
}

void build_lower_table() {
  const bool singleByte = !plat::dbcs_enabled();
  for (int c = 0; c < 256; ++c) {
    g_lower[c] = static_cast<unsigned char>(c);
    if (c >= 'A' && c <= 'Z') {
      g_lower[c] = static_cast<unsigned char>(c - 'A' + 'a');
    } else if (c >= 128 && singleByte) {
      const char in = static_cast<char>(c);
      char out[8];
      if (plat::lower_ansi(&in, 1, out, sizeof out) == 1) g_lower[c] = static_cast<unsigned char>(out[0]);
    }
  }
}

// Whole-word lookups find the Engine's names through a hash index: a word matches a record only when the
// record's name is the whole word, so the longest-match scan of the bucket is not needed for them.
constexpr uint32_t NAME_INDEX_SIZE = 2048;     // a power of two, well above the 640 records

constexpr uint32_t NAME_HASH_START = 2166136261u;
constexpr uint32_t name_hash_step(uint32_t h, unsigned char c) { return (h ^ c) * 16777619u; }

constexpr bool is_word_name(const KeywordEntry& e) {
  if (e.nameLength == 0) return false;
  for (uint32_t i = 0; i < e.nameLength; ++i) {
    const unsigned char c = static_cast<unsigned char>(e.name[i]);
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '@')) return false;
  }
  return true;
}

// What the lookups know of the table besides its order, worked out when the Engine is compiled.
struct NameIndex {
  int16_t records[NAME_INDEX_SIZE];   // by name hash, -1 where empty
  uint8_t bucketLongest[128];         // the longest name of each first character: how much text to read
  // Within each first character's bucket, the records ordered by name length, longest first (table order
  // among equal lengths): the first one the text begins with is the longest match.
  uint16_t longestFirst[NKEYTOKENS];
};

constexpr NameIndex make_name_index() {
  NameIndex x{};
  for (int16_t& slot : x.records) slot = -1;
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    const KeywordEntry& e = g_keywordTable[i];
    const unsigned char first = static_cast<unsigned char>(e.name[0]);
    if (first < 128 && e.nameLength > x.bucketLongest[first]) x.bucketLongest[first] = uint8_t(e.nameLength);
    if (!is_word_name(e)) continue;
    uint32_t h = NAME_HASH_START;
    for (uint32_t k = 0; k < e.nameLength; ++k) h = name_hash_step(h, static_cast<unsigned char>(e.name[k]));
    h &= NAME_INDEX_SIZE - 1;
    while (x.records[h] >= 0) h = (h + 1) & (NAME_INDEX_SIZE - 1);
    x.records[h] = static_cast<int16_t>(i);
  }
  // The table is in first-character order, so a stable sort within runs of one first character suffices.
  for (uint32_t i = 0; i < NKEYTOKENS; ++i) {
    const KeywordEntry& e = g_keywordTable[i];
    uint32_t j = i;
    for (; j > 0; --j) {
      const KeywordEntry& before = g_keywordTable[x.longestFirst[j - 1]];
      if (before.name[0] != e.name[0] || before.nameLength >= e.nameLength) break;
      x.longestFirst[j] = x.longestFirst[j - 1];
    }
    x.longestFirst[j] = uint16_t(i);
  }
  return x;
}

constexpr NameIndex g_names = make_name_index();

// The record whose name is exactly the n lower-case characters at word, or -1; hash is name_hash_step over
// those characters from NAME_HASH_START.
int find_word_in_index(const unsigned char* word, uint32_t n, uint32_t hash) {
  for (uint32_t h = hash & (NAME_INDEX_SIZE - 1);; h = (h + 1) & (NAME_INDEX_SIZE - 1)) {
    const int16_t i = g_names.records[h];
    if (i < 0) return -1;
    const KeywordEntry& e = g_keywordTable[i];
    if (e.nameLength == n && std::memcmp(e.name, word, n) == 0) return i;
  }
}

bool build_quicklook() {
  build_lower_table();
  build_first_char_index(g_keywordTable, NKEYTOKENS, g_quickPrimary, show_check_box, nullptr);
  std::memcpy(g_quickMirror, g_quickPrimary, sizeof g_quickMirror);
  g_quickBuilt.store(true, std::memory_order_release);
  return true;
}

// Built once per process, at the first lookup, whichever thread gets there first.
inline void ensure_quicklook() {
  static const bool built = build_quicklook();
  (void)built;
}

}  // namespace

QuickLookStatus quicklook_status() {
  if (!g_quickBuilt.load(std::memory_order_acquire)) return QuickLookStatus::NotInitialized;
  return std::memcmp(g_quickPrimary, g_quickMirror, sizeof g_quickPrimary) == 0 ? QuickLookStatus::Okay
                                                                                : QuickLookStatus::Damaged;
}

uint32_t quicklook_start(unsigned char c) {
  ensure_quicklook();
  return c < 128 ? g_quickPrimary[c] : NKEYTOKENS;
}

// --- Lookup ---------------------------------------------------------------------------------------------

namespace {

// The text at prog, lower-cased once for every comparison of one lookup.
struct Probe {
  const char* text;
  uint32_t available;                      // characters before the line's end, at most 33
  bool wholeWord;
  unsigned char lower[KEYWORD_NAME_MAX];
};

// Characters that continue a name: letters and digits by the system's test, '@' and '_'.
inline bool continues_word(const char* p) {
  const unsigned char c = static_cast<unsigned char>(*p);
  if (c < 128) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '@' ||
           c == '_';
  }
  return plat::is_alnum(p);
}

inline bool ends_properly(const Probe& p, uint32_t len) {
  return !p.wholeWord || !continues_word(p.text + len);
}

// Names of the Engine's table and of user-defined functions are stored in lower case.
inline bool matches(const char* name, uint32_t len, const Probe& p) {
  if (len == 0 || len > p.available) return false;
  // Names are short: a loop beats a call of memcmp here.
  for (uint32_t i = 0; i < len; ++i)
    if (static_cast<unsigned char>(name[i]) != p.lower[i]) return false;
  return ends_properly(p, len);
}

// Extenders and hosts register names as they wrote them; folding them too keeps a name with a capital
// letter reachable instead of silently unmatchable.
inline bool matches_folded(const char* name, uint32_t len, const Probe& p) {
  if (len == 0 || len > p.available) return false;
  for (uint32_t i = 0; i < len; ++i) {
    if (g_lower[static_cast<unsigned char>(name[i])] != p.lower[i]) return false;
  }
  return ends_properly(p, len);
}

inline uint32_t clamp_length(uint32_t len, uint32_t max) { return len < max ? len : max; }

}  // namespace

const char* skip_subscripts(const char* p) {
  int depth = 0;
  while (*p) {
    const char c = *p;
    if (c == '"' || c == '\'' || c == '`') {
      p = plat::next_char(p);
      while (*p && *p != c) p = plat::next_char(p);
      if (!*p) return nullptr;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']' && --depth == 0) {
      return p + 1;
    }
    p = plat::next_char(p);
  }
  return nullptr;
}

namespace {

// `name.` and `name[...].` name an object member (code 26) whatever the name is; the subscripted form
// only when the variable holds an array.
bool is_member_reference(RunContext* ctx, const char* text) {
  const char* p = text;
  if (*p == '@') ++p;
  while (*p && static_cast<size_t>(p - text) <= VARNAMESIZE && *p != '@' && continues_word(p)) {
    p = static_cast<unsigned char>(*p) < 128 ? p + 1 : plat::next_char(p);
  }
  const size_t len = static_cast<size_t>(p - text);
  if (len == 0 || len > VARNAMESIZE) return false;
  if (*p == '.') return true;
  if (*p != '[') return false;
  const char* after = skip_subscripts(p);
  return after && *after == '.' && variable_names_array(ctx, text, len);
}

void show_bucket_bounds(uint32_t first, uint32_t end) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", first);
  plat::message_box(plat::focus_window(), text, "X'n'Y are:", plat::MB_OK_ONLY);
  std::snprintf(text, sizeof text, "%u", end);
  plat::message_box(plat::focus_window(), text, "X'n'Y are:", plat::MB_OK_ONLY);
}

constexpr uint32_t DIAG_BUCKET_BOUNDS = 12;

// Operators and other symbols: the longest name of the first character's bucket that the text begins with.
int find_in_engine_table(const RunContext* ctx, const Probe& p) {
  if (p.available == 0 || static_cast<unsigned char>(p.text[0]) >= 128) return -1;
  const unsigned char c = p.lower[0];
  const uint32_t first = g_quickPrimary[c];
  const uint32_t end = c < 127 ? g_quickPrimary[c + 1] : NKEYTOKENS;
  if (ctx->nDiagMode == DIAG_BUCKET_BOUNDS) show_bucket_bounds(first, end);
  for (uint32_t k = first; k < end; ++k) {
    const KeywordEntry& e = g_keywordTable[g_names.longestFirst[k]];
    if (matches(e.name, e.nameLength, p)) return g_names.longestFirst[k];
  }
  return -1;
}

int find_udf(const RunContext* ctx, const Probe& p) {
  const int count = ctx->nUdfCount < static_cast<int>(UDF_MAX) ? ctx->nUdfCount : static_cast<int>(UDF_MAX);
  for (int i = 0; i < count; ++i) {
    const UdfRecord* r = ctx->apUdf[i];
    if (r && matches(r->name, clamp_length(r->nameLength, UDF_NAME_BYTES - 1), p)) return UDFSTART + i;
  }
  return -1;
}

int find_extender_function(const RunContext* ctx, const Probe& p) {
  const uint32_t count = clamp_length(ctx->ext.nFunctions, EXT_FUNCTIONS_MAX);
  for (uint32_t i = 0; i < count; ++i) {
    const KeywordEntry& e = ctx->ext.functions[i];
    if (matches_folded(e.name, clamp_length(e.nameLength, KEYWORD_NAME_MAX), p))
      return ADDONSTART + static_cast<int>(i);
  }
  return -1;
}

int find_host_keyword(const RunContext* ctx, const Probe& p) {
  const auto* table = static_cast<const KeywordEntry*>(ctx->lpHostKeywords);
  for (int i = 0; i < HOST_KEYWORDS_MAX && table[i].nameLength != 0; ++i) {
    if (matches_folded(table[i].name, clamp_length(table[i].nameLength, KEYWORD_NAME_MAX), p))
      return PARENTSTART + i;
  }
  return -1;
}

}  // namespace

bool keyword_lookup(RunContext* ctx, bool wholeWord) {
  ensure_quicklook();
  const char* text = ctx->tok.prog;
  if (!text) return false;
  if (ctx->dbg.traceFlags & TRACE_KEYWORD_DUMP) trace_keyword_lookup_dump(ctx, text);

  int code = -1;
  if (wholeWord) {
    // The run of word characters at the text, lower-cased on the way.
    unsigned char word[KEYWORD_NAME_MAX];
    uint32_t n = 0;
    uint32_t hash = NAME_HASH_START;
    bool inner_at = false;
    const char* p = text;
    while (continues_word(p)) {
      if (n < KEYWORD_NAME_MAX) {
        word[n] = g_lower[static_cast<unsigned char>(*p)];
        hash = name_hash_step(hash, word[n]);
      }
      if (*p == '@' && p != text) inner_at = true;
      ++n;
      p = static_cast<unsigned char>(*p) < 128 ? p + 1 : plat::next_char(p);
    }
    if ((*p == '.' || *p == '[' || inner_at) && is_member_reference(ctx, text)) {
      code = OBJECT_REFERENCE_CODE;
    } else if (static_cast<unsigned char>(text[0]) < 128) {
      const unsigned char c = g_lower[static_cast<unsigned char>(text[0])];
      if (ctx->nDiagMode == DIAG_BUCKET_BOUNDS)
        show_bucket_bounds(g_quickPrimary[c], c < 127 ? g_quickPrimary[c + 1] : NKEYTOKENS);
      // A whole word matches only a name that is the entire word.
      if (n && n <= KEYWORD_NAME_MAX) code = find_word_in_index(word, n, hash);
    }
  }
  const bool other_tables = ctx->nUdfCount > 0 || ctx->ext.nFunctions > 0 || (wholeWord && ctx->lpHostKeywords);
  if (code < 0 && (!wholeWord || other_tables)) {
    Probe p;
    p.text = text;
    p.wholeWord = wholeWord;
    // Symbols need no more text than their bucket's longest name; the other tables may hold any name.
    const unsigned char first = static_cast<unsigned char>(text[0]);
    const uint32_t wanted = other_tables || first >= 128 ? KEYWORD_NAME_MAX : g_names.bucketLongest[first];
    uint32_t n = 0;
    while (n < wanted && text[n]) {
      p.lower[n] = g_lower[static_cast<unsigned char>(text[n])];
      ++n;
    }
    p.available = n;
    if (!wholeWord) code = find_in_engine_table(ctx, p);
    if (code < 0 && ctx->nUdfCount > 0) code = find_udf(ctx, p);
    if (code < 0 && ctx->ext.nFunctions > 0) code = find_extender_function(ctx, p);
    if (code < 0 && wholeWord && ctx->lpHostKeywords) code = find_host_keyword(ctx, p);
  }
  if (code < 0) return false;
  ctx->tok.delim_type = static_cast<int16_t>(code);
  return true;
}

// --- Read access by code ---------------------------------------------------------------------------------

namespace {

bool info_from_record(const KeywordEntry& e, KeywordInfo* out) {
  out->kind = e.kind;
  out->argTypes = keyword_arg_types(e);
  out->value = e.value;
  out->nameLength = static_cast<uint16_t>(clamp_length(e.nameLength, KEYWORD_NAME_MAX));
  out->name = e.name;
  return true;
}

}  // namespace

bool keyword_info(const RunContext* ctx, int code, KeywordInfo* out) {
  if (code >= 0 && code < static_cast<int>(NKEYTOKENS)) return info_from_record(g_keywordTable[code], out);

  if (code >= PARENTSTART && code < PARENTSTART + HOST_KEYWORDS_MAX) {
    const auto* table = static_cast<const KeywordEntry*>(ctx->lpHostKeywords);
    if (!table) return false;
    const int index = code - PARENTSTART;
    for (int i = 0; i <= index; ++i) {
      if (table[i].nameLength == 0) return false;
    }
    return info_from_record(table[index], out);
  }

  if (code >= UDFSTART && code < UDFSTART + static_cast<int>(UDF_MAX)) {
    const int index = code - UDFSTART;
    if (index >= ctx->nUdfCount || !ctx->apUdf[index]) return false;
    const UdfRecord& r = *ctx->apUdf[index];
    out->kind = KW_FUNCTION;
    out->argTypes = ~uint64_t{0};
    out->value = r.paramCount & 0xFF;
    out->nameLength = static_cast<uint16_t>(clamp_length(r.nameLength, UDF_NAME_BYTES - 1));
    out->name = r.name;
    return true;
  }

  if (code >= ADDONSTART && code < ADDONSTART + static_cast<int>(EXT_FUNCTIONS_MAX)) {
    const uint32_t index = static_cast<uint32_t>(code - ADDONSTART);
    if (index >= clamp_length(ctx->ext.nFunctions, EXT_FUNCTIONS_MAX)) return false;
    return info_from_record(ctx->ext.functions[index], out);
  }
  return false;
}

}  // namespace tov
