// Built-ins that read their own argument list (StrCat, WinCloseNot): the evaluated arguments, and the
// reading of "expression {, expression} )" after the "(".
#pragma once
#include <cstddef>
#include <vector>

#include "diag/errors.h"
#include "engine/context.h"
#include "lang/values.h"

namespace tov {

// At most this many arguments: a longer list is a syntax error of the built-in.
constexpr size_t VARIADIC_MAX_ARGS = 1024;

// The evaluated arguments of one call: the first few without a heap allocation.
class VariadicArgs {
 public:
  explicit VariadicArgs(RunContext* ctx) : ctx_(ctx) {}
  ~VariadicArgs() {
    for (size_t i = 0; i < count_; ++i) value_free(ctx_, at(i));
  }
  VariadicArgs(const VariadicArgs&) = delete;
  VariadicArgs& operator=(const VariadicArgs&) = delete;
  size_t size() const { return count_; }
  Value& at(size_t i) { return i < LOCAL ? local_[i] : more_[i - LOCAL]; }
  Value& add() {
    if (count_ >= LOCAL) more_.emplace_back();
    Value& v = at(count_++);
    value_init(v);
    return v;
  }

 private:
  static constexpr size_t LOCAL = 16;
  RunContext* ctx_;
  Value local_[LOCAL];
  std::vector<Value> more_;
  size_t count_ = 0;
};

// Reads and evaluates the list after the "(": the ")" stays the current token. *wide is set when an
// argument is a wide string or a variant. A list that is not expressions separated by "," and closed by
// ")" raises syntax_error (unless an argument raised its own error).
bool read_variadic_args(RunContext* ctx, VariadicArgs& args, bool* wide, ErrorNumber syntax_error);

}  // namespace tov
