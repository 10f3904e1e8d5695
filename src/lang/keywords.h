// The keyword table and the keyword lookup.
//
// Every operator, punctuation mark, @ constant, statement word and built-in function that the Engine
// knows is one record of a single static table, sorted by the byte value of the first character of
// its name. A record's id is its position; token codes 0..639 are these ids. The same lookup also
// searches the run's user-defined functions (codes 4000..4998), the process-wide extender functions
// (10000..10500) and the host's keyword table (1000..1998).
#pragma once
#include <cstddef>
#include <cstdint>

namespace tov {

struct RunContext;

// Kinds of keyword records (kind 7 marks the reserved records, which no script word can reach).
enum KeywordKind : uint32_t {
  KW_OPERATOR = 0,     // binary operators, punctuation and separator words
  KW_UNARY = 1,        // operators that may also stand before an operand
  KW_FUNCTION = 2,     // built-in functions
  KW_CONSTANT = 3,     // @ constants
  KW_COMMAND = 4,      // statement words without a parenthesised argument list
  KW_RELATIONAL = 5,   // comparison operators
  KW_VARFUNC = 6,      // functions whose arguments are variable names
  KW_RESERVED = 7,     // placeholders that keep the ids of the records after them
  KW_STRUCTURE = 8,    // structured-statement words
};

// Conversion of one argument before a built-in runs; 4 bits per argument in a record.
enum ArgType : uint32_t {
  ARG_INT = 0,
  ARG_STRING = 1,
  ARG_FLOAT = 2,
  ARG_ARRAY = 3,
  ARG_VARIANT = 4,
  ARG_WSTRING = 5,
  ARG_TEXT = 6,        // wide in a wide call, else single-byte
  ARG_TEXT_NT = 7,     // wide while the NT-platform flag is set
  ARG_TEXT_BOTH = 8,   // wide in a wide call on the NT platform
  ARG_ANY = 15,        // passed as evaluated
};

constexpr uint32_t NKEYTOKENS = 640;
constexpr int PARENTSTART = 1000;   // code 1000 + i: record i of the host's keyword table
constexpr int UDFSTART = 4000;      // code 4000 + i: user-defined function i
constexpr int ADDONSTART = 10000;   // code 10000 + i: extender function i
constexpr int HOST_KEYWORDS_MAX = 999;
constexpr uint32_t KEYWORD_NAME_BYTES = 34;
constexpr uint32_t KEYWORD_NAME_MAX = KEYWORD_NAME_BYTES - 1;
constexpr uint32_t VARIADIC = 255;   // required count of a function that parses its own arguments
constexpr uint32_t MAX_ARGS = 16;

#pragma pack(push, 4)
// One keyword record; the same layout serves the host's keyword table and the extender functions.
struct KeywordEntry {
  uint32_t id;
  uint32_t kind;                  // KeywordKind
  uint32_t argTypesLow;           // ArgType of argument n at bits 4(n-1).. of the 64-bit word
  uint32_t argTypesHigh;
  uint32_t value;                 // constant: value or code; function: required | optional << 8
  uint16_t nameLength;
  char name[KEYWORD_NAME_BYTES];  // lower case, NUL-padded
};
#pragma pack(pop)
static_assert(sizeof(KeywordEntry) == 56);
static_assert(offsetof(KeywordEntry, value) == 16);
static_assert(offsetof(KeywordEntry, nameLength) == 20);
static_assert(offsetof(KeywordEntry, name) == 22);

// Token codes of the table's records: KW_ABS, KW_STRLEN, KW_NOT_EQUAL ... in table order.
enum KeywordId : int {
#define KW_ID_ONLY(id, ...) id,
#define KW_SYMBOL KW_ID_ONLY
#define KW_CONST KW_ID_ONLY
#define KW_FLOAT KW_ID_ONLY
#define KW_STRING KW_ID_ONLY
#define KW_WORD KW_ID_ONLY
#define KW_NAMEFN KW_ID_ONLY
#define KW_FN KW_ID_ONLY
#define KW_RESERVED_RECORD KW_ID_ONLY
#include "lang/keywords.inc"
#undef KW_ID_ONLY
#include "lang/keywords_end.inc"
  KW_COUNT
};
static_assert(KW_COUNT == NKEYTOKENS);

// Code of an object member reference (`obj.prop`); shared with the record of `?oleobject`.
constexpr int OBJECT_REFERENCE_CODE = KW_Q_OLEOBJECT;

extern const KeywordEntry g_keywordTable[NKEYTOKENS];

// --- Reading a record's fields ---------------------------------------------------------------------

inline uint64_t keyword_arg_types(const KeywordEntry& e) {
  return static_cast<uint64_t>(e.argTypesHigh) << 32 | e.argTypesLow;
}
// Type of argument n (1..16) of a 64-bit argument-type word.
inline ArgType arg_type(uint64_t argTypes, int n) {
  return static_cast<ArgType>((argTypes >> (4 * (n - 1))) & 0xF);
}
inline uint32_t required_args(uint32_t value) { return value & 0xFF; }
inline uint32_t optional_args(uint32_t value) { return (value >> 8) & 0xFF; }
// A descriptor that declares more than 16 arguments cannot be called (error 3070).
inline bool too_many_args(uint32_t value) {
  return required_args(value) != VARIADIC && required_args(value) + optional_args(value) > MAX_ARGS;
}

// --- Constants ------------------------------------------------------------------------------------

constexpr uint32_t FLOAT_CONSTANT_TAG = 0xF0F0F000;   // upper 24 bits of a float constant's value
constexpr uint32_t STRING_CONSTANT_TAG = 0xFFF0F000;  // upper 24 bits of a string constant's value
inline bool is_float_constant(uint32_t value) { return (value & 0xFFFFFF00) == FLOAT_CONSTANT_TAG; }
inline bool is_string_constant(uint32_t value) { return (value & 0xFFFFFF00) == STRING_CONSTANT_TAG; }
// Value of float constant number (value & 31); 0.0 for a number without a constant.
double keyword_float_constant(uint32_t value);
// Text of string constant number (value & 31); "" for a number without a constant.
const char* keyword_string_constant(uint32_t value);

// --- Read access by token code ----------------------------------------------------------------------

struct KeywordInfo {
  uint32_t kind;
  uint64_t argTypes;
  uint32_t value;
  uint16_t nameLength;
  const char* name;     // nameLength characters, not necessarily NUL-terminated
  uint32_t required() const { return required_args(value); }
  uint32_t optional() const { return optional_args(value); }
};

// Fields of the record behind a code of any of the four ranges; false for a code that names nothing.
// User-defined functions answer kind 2, ARG_ANY for every argument, their parameter count as the
// required count and no optional arguments.
bool keyword_info(const RunContext* ctx, int code, KeywordInfo* out);

// Kind of a code, and the length of its name (what putting a delimiter back moves over); ~0u and 0 for a
// code that names nothing.
inline uint32_t keyword_kind(const RunContext* ctx, int code) {
  if (code >= 0 && code < int(NKEYTOKENS)) return g_keywordTable[code].kind;
  KeywordInfo info;
  return keyword_info(ctx, code, &info) ? info.kind : ~0u;
}
inline uint16_t keyword_name_length(const RunContext* ctx, int code) {
  if (code >= 0 && code < int(NKEYTOKENS)) return g_keywordTable[code].nameLength;
  KeywordInfo info;
  return keyword_info(ctx, code, &info) ? info.nameLength : 0;
}
// A kind word with this bit names a function this product does not offer.
constexpr uint32_t KW_NOT_AVAILABLE_BIT = 0x2000;

// --- Lookup -----------------------------------------------------------------------------------------

// Does the text at ctx->tok.prog begin with a known name? On success the code goes to
// ctx->tok.delim_type. prog is never moved. wholeWord is set when the tokenizer stands at a name
// (the match must then end the word) and clear at an operator character (the longest symbol wins).
bool keyword_lookup(RunContext* ctx, bool wholeWord);

// Given p at "[", the position after the matching "]" (brackets nest; brackets inside strings in any
// of the three quote characters do not count), or null when the line ends first.
const char* skip_subscripts(const char* p);

// --- The first-character index ------------------------------------------------------------------------

enum class QuickLookStatus { NotInitialized, Okay, Damaged };
QuickLookStatus quicklook_status();
// First record whose first character is c or greater (640 above the table's last first character).
// Builds the index on first use.
uint32_t quicklook_start(unsigned char c);

// Caption of the box shown when building the index meets a record out of order, and when it meets a
// record whose id is not its position.
extern const char* const QUICKLOOK_ORDER_CHECK;
extern const char* const QUICKLOOK_ID_CHECK;

// Builds a first-character index over any table, reporting each failed check through report (the
// Engine's index shows message boxes). Exposed for the build checks' own tests.
using QuickLookReport = void (*)(const char* name, const char* caption, void* data);
void build_first_char_index(const KeywordEntry* table, uint32_t count, uint32_t start[128],
                            QuickLookReport report, void* data);

}  // namespace tov
