// Array built-ins: creating and describing arrays, changing their shape in place, swapping, filling,
// locating, searching and sorting elements.
#include <cstring>

#include "builtins/args.h"
#include "builtins/array_support.h"
#include "builtins/merge_sort.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/membuf.h"
#include "lang/arrays.h"
#include "lang/eval.h"
#include "lang/keywords.h"

namespace tov {

namespace {

constexpr int32_t ARRINFO_IS_ARRAY = -1, ARRINFO_RANK = 0, ARRINFO_COUNT = 6;
constexpr int32_t KEEP_SIZE = -1;           // arrayredim: the dimension keeps its size
constexpr int32_t LAST_ROW = -1;            // arraysort, arraysearch: the end of the range is the last row
constexpr int32_t NOT_FOUND = -1;

// Options of arraysort and arraysearch.
constexpr int32_t OPT_IGNORE_CASE = 1;
constexpr int32_t OPT_SORTED = 2;           // arraysearch: the rows are sorted, search by halving
constexpr int32_t OPT_DESCENDING = 16;      // @descending

void bi_arrdimension(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  int32_t d[ARRAY_MAX_DIMS] = {};
  for (int i = 0; i < argc && i < ARRAY_MAX_DIMS; ++i) d[i] = arg_int(a, i + 1);
  CreateMyArray(ctx, result, d[0], d[1], d[2], d[3], d[4], 0, argc);
}

void bi_arrinfo(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const ValueCore& v = a.slot[1].c;
  const int32_t request = arg_int(a, 2);
  const bool is_array = (v.type & VF_ARRAY) != 0;
  if (request == ARRINFO_IS_ARRAY) {
    set_integer(ctx, result->c, is_array ? 1 : 0);
    return;
  }
  if (!is_array) {
    ctx->err = ERR_ARR_NOT_ARRAY_PARAM;
    return;
  }
  const ArrayHeader* h = arg_array(ctx, a, 1);
  if (!h) return;
  if (request == ARRINFO_RANK) set_integer(ctx, result->c, h->rank);
  else if (request >= 1 && request <= ARRAY_MAX_DIMS) set_integer(ctx, result->c, int32_t(h->dims[request - 1]));
  else if (request == ARRINFO_COUNT) set_integer(ctx, result->c, int32_t(h->count));
  else ctx->err = ERR_ARRINFO_REQUEST;
}

// A value to be stored in elements: an array cannot be.
bool storable(RunContext* ctx, const ValueCore& v) {
  if (v.type & VF_ARRAY) ctx->err = ERR_EMBEDDED_ARRAY;
  return !ctx->err;
}

void bi_arrinitialize(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  if (!h || !storable(ctx, a.slot[2].c)) return;
  ValueCore* e = array_elements(h);
  for (uint32_t i = 0; i < h->count; ++i)
    if (!store_element(ctx, e[i], a.slot[2].c)) return;
  set_integer(ctx, result->c, 1);
}

// Gives the array new dimensions while its block, and so every holder, stays the same. Each element moves
// to the subscripts that place(from, to) gives it; an element that place refuses, or whose new subscripts
// lie outside the new dimensions, is freed. Nothing changes when an error is raised (1628, 1630, 1644,
// 1631).
template <class Place>
bool reshape(RunContext* ctx, uint32_t id, const int32_t* dims, Place place) {
  ArrayHeader* a = array_header(id);
  Value fresh;
  value_init(fresh);
  if (CreateMyArray(ctx, &fresh, dims[0], dims[1], dims[2], dims[3], dims[4], a->elementKind, ARRAY_MAX_DIMS) < 0)
    return false;
  const uint32_t staging = fresh.c.str;
  const size_t old_bytes = plat::mem_size(id), new_bytes = plat::mem_size(staging);
  if (new_bytes > old_bytes && !plat::mem_realloc(id, new_bytes)) {
    plat::mem_free(staging);
    ctx->err = ERR_ARR_ALLOC;
    return false;
  }
  a = array_header(id);
  ArrayHeader* b = array_header(staging);
  ValueCore* from = array_elements(a);
  ValueCore* to = array_elements(b);
  int32_t subs[ARRAY_MAX_DIMS] = {};
  for (uint32_t i = 0; i < a->count; ++i, next_subscripts(a, subs)) {
    int32_t where[ARRAY_MAX_DIMS] = {};
    uint32_t k;
    if (place(subs, where) && element_number(b, where, &k)) to[k] = from[i];
    else value_free(ctx, from[i]);
  }
  std::memcpy(a, b, new_bytes);
  if (new_bytes < old_bytes) plat::mem_realloc(id, new_bytes);   // a block that cannot shrink stays larger
  plat::mem_free(staging);
  return true;
}

bool keep_place(const int32_t* from, int32_t* to) {
  std::memcpy(to, from, ARRAY_MAX_DIMS * sizeof(int32_t));
  return true;
}

void bi_arrayredim(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  if (!h) return;
  int32_t d[ARRAY_MAX_DIMS] = {};
  for (int i = 0; i < ARRAY_MAX_DIMS && i + 2 <= argc; ++i) {
    d[i] = arg_int(a, i + 2);
    if (d[i] != KEEP_SIZE) continue;
    if (i >= h->rank) {
      ctx->err = ERR_ARR_INVALID_DIM;
      return;
    }
    d[i] = int32_t(h->dims[i]);
  }
  if (reshape(ctx, a.slot[1].c.str, d, keep_place)) set_integer(ctx, result->c, 1);
}

// The dimension argument n (1 when left out) as an index, or -1 with 1632.
int dimension_arg(RunContext* ctx, ArgBlock& a, int n, int argc, const ArrayHeader* h) {
  const int32_t dim = argc >= n ? arg_int(a, n) : 1;
  if (dim >= 1 && dim <= (h->rank ? h->rank : 1)) return dim - 1;
  ctx->err = ERR_ARRAY_DIMENSION;
  return -1;
}

// A new slice (row, column, ...) at subscript sub of a dimension; the slices from sub on move up by one.
// An empty array becomes a one-dimensional array of one element.
void bi_arrayinsert(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  if (!h) return;
  const int j = dimension_arg(ctx, a, 3, argc, h);
  if (j < 0) return;
  const bool filled = argc >= 4;
  if (filled && !storable(ctx, a.slot[4].c)) return;
  const int32_t sub = arg_int(a, 2);
  if (sub < 0 || uint32_t(sub) > h->dims[j]) {
    ctx->err = ERR_ARR_OUT_OF_BOUNDS;
    return;
  }
  int32_t d[ARRAY_MAX_DIMS];
  for (int i = 0; i < ARRAY_MAX_DIMS; ++i) d[i] = int32_t(h->dims[i]);
  ++d[j];
  const uint32_t id = a.slot[1].c.str;
  auto shift_up = [&](const int32_t* from, int32_t* to) {
    keep_place(from, to);
    if (to[j] >= sub) ++to[j];
    return true;
  };
  if (!reshape(ctx, id, d, shift_up)) return;
  set_integer(ctx, result->c, 1);
  if (!filled) return;
  h = array_header(id);
  int32_t subs[ARRAY_MAX_DIMS] = {};
  ValueCore* e = array_elements(h);
  for (uint32_t i = 0; i < h->count; ++i, next_subscripts(h, subs))
    if (subs[j] == sub && !store_element(ctx, e[i], a.slot[4].c)) return;
}

// Removes the slice at subscript sub of a dimension; the slices after it move down by one. Removing the
// last slice leaves an empty array.
void bi_arrayremove(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  if (!h) return;
  if (!h->rank) {
    ctx->err = ERR_ARR_EMPTY;
    return;
  }
  const int j = dimension_arg(ctx, a, 3, argc, h);
  if (j < 0) return;
  const int32_t sub = arg_int(a, 2);
  if (sub < 0 || uint32_t(sub) >= h->dims[j]) {
    ctx->err = ERR_ARR_OUT_OF_BOUNDS;
    return;
  }
  int32_t d[ARRAY_MAX_DIMS] = {};
  if (h->dims[j] > 1)
    for (int i = 0; i < ARRAY_MAX_DIMS; ++i) d[i] = int32_t(h->dims[i]) - (i == j ? 1 : 0);
  auto shift_down = [&](const int32_t* from, int32_t* to) {
    keep_place(from, to);
    if (to[j] > sub) --to[j];
    return from[j] != sub;
  };
  if (reshape(ctx, a.slot[1].c.str, d, shift_down)) set_integer(ctx, result->c, 1);
}

// Five subscripts from arguments first..first+4 (left-out arguments are 0), checked against the array.
bool subscripts_arg(RunContext* ctx, ArgBlock& a, int first, int argc, const ArrayHeader* h, int32_t* subs,
                    uint32_t* number) {
  for (int i = 0; i < ARRAY_MAX_DIMS; ++i) subs[i] = first + i <= argc ? arg_int(a, first + i) : 0;
  if (!h->rank) ctx->err = ERR_ARR_EMPTY;
  else if (!element_number(h, subs, number)) ctx->err = ERR_ARR_OUT_OF_BOUNDS;
  return !ctx->err;
}

void bi_arrayswapelements(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  int32_t s[ARRAY_MAX_DIMS], t[ARRAY_MAX_DIMS];
  uint32_t i, k;
  if (!h || !subscripts_arg(ctx, a, 2, argc, h, s, &i) || !subscripts_arg(ctx, a, 7, argc, h, t, &k)) return;
  ValueCore* e = array_elements(h);
  const ValueCore held = e[i];
  e[i] = e[k];
  e[k] = held;
  set_integer(ctx, result->c, 1);
}

// Order of two elements for sorting and searching: by the language's comparison, with elements that
// were never assigned before all others.
int element_order(RunContext* ctx, const ValueCore& x, const ValueCore& y, bool ignore_case) {
  const bool hx = value_has_value(x), hy = value_has_value(y);
  if (!hx || !hy) return int(hx) - int(hy);
  const int r = compare_values(ctx, x, y, false, ignore_case);
  return r == 2 ? 0 : r;
}

bool element_equals(RunContext* ctx, const ValueCore& e, const ValueCore& v, bool ignore_case) {
  return value_has_value(e) && compare_values(ctx, e, v, true, ignore_case) == 0 && !ctx->err;
}

// The subscripts of the first element equal to the value (by "=="), from the starting element on in
// row-major order; every subscript is -1 when there is none.
void bi_arraylocate(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  if (!h) return;
  const uint32_t id = a.slot[1].c.str;
  int32_t subs[ARRAY_MAX_DIMS] = {};
  uint32_t i = 0;
  bool found = false;
  if (h->rank) {
    if (!subscripts_arg(ctx, a, 3, argc, h, subs, &i)) return;
    const ValueCore* e = array_elements(h);
    for (; i < h->count && !found; ++i) {
      found = element_equals(ctx, e[i], a.slot[2].c, false);
      if (ctx->err) return;
    }
    --i;
  }
  const int rank = h->rank ? h->rank : 1;
  Value out;
  value_init(out);
  if (CreateMyArray(ctx, &out, rank, 0, 0, 0, 0, 0, 1) < 0) return;
  h = array_header(id);
  ValueCore* r = array_elements(array_header(out.c.str));
  for (int n = rank; n-- > 0;) {
    r[n].type = VF_INTEGER;
    r[n].i = found ? int32_t(i % h->dims[n]) : NOT_FOUND;
    if (found) i /= h->dims[n];
  }
  value_free(ctx, *result);
  value_move(out, *result);
}

// The rows that arraysort and arraysearch work on: a one- or two-dimensional array, the column whose
// elements are compared, and a range of rows.
struct Rows {
  ValueCore* e;
  uint32_t width;      // elements per row
  int32_t column, first, last;
  const ValueCore& key(int32_t row) const { return e[uint32_t(row) * width + uint32_t(column)]; }
};

bool rows_arg(RunContext* ctx, ArgBlock& a, int first, int argc, ArrayHeader* h, Rows* r) {
  if (h->rank > 2) {
    ctx->err = ERR_ARRAY_RANK;
    return false;
  }
  const int32_t rows = int32_t(h->dims[0]);
  r->e = array_elements(h);
  r->width = h->rank == 2 ? h->dims[1] : 1;
  r->column = argc >= first ? arg_int(a, first) : 0;
  r->first = argc >= first + 1 ? arg_int(a, first + 1) : 0;
  r->last = argc >= first + 2 ? arg_int(a, first + 2) : LAST_ROW;
  if (r->last == LAST_ROW) r->last = rows - 1;
  if (!h->rank) return true;
  if (r->column < 0 || uint32_t(r->column) >= r->width || r->first < 0 || r->first >= rows || r->last >= rows ||
      r->last < LAST_ROW) {
    ctx->err = ERR_ARR_OUT_OF_BOUNDS;
    return false;
  }
  return true;
}

bool options_arg(RunContext* ctx, ArgBlock& a, int n, int argc, int32_t allowed, int32_t* options) {
  *options = argc >= n ? arg_int(a, n) : 0;
  if (*options & ~allowed) ctx->err = ERR_ARRAY_OPTIONS;
  return !ctx->err;
}

// Sorts whole rows by the elements of one column, stably; never-assigned elements sort as the smallest.
void bi_arraysort(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  int32_t options;
  Rows r;
  if (!h || !options_arg(ctx, a, 2, argc, OPT_IGNORE_CASE | OPT_DESCENDING, &options) ||
      !rows_arg(ctx, a, 3, argc, h, &r))
    return;
  set_integer(ctx, result->c, 1);
  if (!h->rank || r.last < r.first) return;
  const size_t n = size_t(r.last - r.first) + 1, row_bytes = r.width * sizeof(ValueCore);
  MemBuf work;
  if (!work.reserve(n * row_bytes + 2 * n * sizeof(uint32_t))) {
    ctx->err = ERR_ARR_ALLOC;
    return;
  }
  ValueCore* rows = reinterpret_cast<ValueCore*>(work.data());
  uint32_t* keys = reinterpret_cast<uint32_t*>(work.data() + n * row_bytes);
  for (size_t i = 0; i < n; ++i) keys[i] = uint32_t(r.first) + uint32_t(i);
  const bool ignore_case = options & OPT_IGNORE_CASE, descending = options & OPT_DESCENDING;
  merge_sort(keys, keys + n, n, [&](uint32_t x, uint32_t y) {
    if (ctx->err) return false;
    const int order = element_order(ctx, r.key(int32_t(x)), r.key(int32_t(y)), ignore_case);
    return descending ? order > 0 : order < 0;
  });
  if (ctx->err) return;
  ValueCore* block = r.e + size_t(r.first) * r.width;
  std::memcpy(rows, block, n * row_bytes);
  for (size_t i = 0; i < n; ++i)
    std::memcpy(block + i * r.width, rows + size_t(keys[i] - uint32_t(r.first)) * r.width, row_bytes);
}

int32_t linear_search(RunContext* ctx, const Rows& r, const ValueCore& v, bool ignore_case) {
  for (int32_t row = r.first; row <= r.last && !ctx->err; ++row)
    if (element_equals(ctx, r.key(row), v, ignore_case)) return row;
  return NOT_FOUND;
}

// Halving over rows in ascending (sense 1) or descending (sense -1) order: the first row not ordered
// before the value, when it equals it.
int32_t sorted_search(RunContext* ctx, const Rows& r, const ValueCore& v, bool ignore_case, int sense) {
  int32_t lo = r.first, hi = r.last + 1;
  while (lo < hi && !ctx->err) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (sense * element_order(ctx, r.key(mid), v, ignore_case) < 0) lo = mid + 1;
    else hi = mid;
  }
  return lo <= r.last && !ctx->err && element_order(ctx, r.key(lo), v, ignore_case) == 0 ? lo : NOT_FOUND;
}

// The first row (in the range) whose column element equals the value, or -1. Sorted rows are searched by
// halving; they must be in the order arraysort gives with the same options.
void bi_arraysearch(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  ArrayHeader* h = arg_array(ctx, a, 1);
  int32_t options;
  Rows r;
  if (!h || !options_arg(ctx, a, 3, argc, OPT_IGNORE_CASE | OPT_SORTED | OPT_DESCENDING, &options) ||
      !rows_arg(ctx, a, 4, argc, h, &r))
    return;
  const bool ignore_case = options & OPT_IGNORE_CASE;
  const int sense = (options & OPT_DESCENDING) ? -1 : 1;
  const int32_t found = !h->rank                  ? NOT_FOUND
                        : (options & OPT_SORTED) ? sorted_search(ctx, r, a.slot[2].c, ignore_case, sense)
                                                 : linear_search(ctx, r, a.slot[2].c, ignore_case);
  if (!ctx->err) set_integer(ctx, result->c, found);
}

const BuiltinEntry kEntries[] = {
    {KW_ARRAYINSERT, bi_arrayinsert},
    {KW_ARRAYLOCATE, bi_arraylocate},
    {KW_ARRAYREDIM, bi_arrayredim},
    {KW_ARRAYREMOVE, bi_arrayremove},
    {KW_ARRAYSEARCH, bi_arraysearch},
    {KW_ARRAYSORT, bi_arraysort},
    {KW_ARRAYSWAPELEMENTS, bi_arrayswapelements},
    {KW_ARRDIMENSION, bi_arrdimension},
    {KW_ARRINFO, bi_arrinfo},
    {KW_ARRINITIALIZE, bi_arrinitialize},
};

}  // namespace

extern const BuiltinFamily kArrayBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
