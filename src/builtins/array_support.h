// What the array built-ins share: the array argument, subscripts given as five
// integers, and the text of elements.
#pragma once
#include <cstdint>

#include "builtins/callframe.h"
#include "diag/errors.h"
#include "lang/arrays.h"

namespace tov {

// The array of argument n, or nullptr with 1637 when its block is gone.
ArrayHeader* arg_array(RunContext* ctx, ArgBlock& a, int n);

// The element number of five subscripts (those beyond the rank must be 0), or false when they are
// outside the array.
bool element_number(const ArrayHeader* h, const int32_t* subs, uint32_t* number);
// An element takes a copy of the value, as an assignment to it would; false with 3096 when its strings
// cannot be copied.
bool store_element(RunContext* ctx, ValueCore& e, const ValueCore& v);
// Steps five subscripts to the next element in row-major order.
void next_subscripts(const ArrayHeader* h, int32_t* subs);

// The text of an element in ANSI or wide form: its own string, or one converted for this holder and freed
// with it (numbers as the language writes them, strings converted with the run's code page). ok() is false,
// with 3056 (ANSI) or 3820 (wide) set, for a value that has no text, and with 3096 when the string heap is
// exhausted.
class ElementText {
 public:
  ElementText(RunContext* ctx, const ValueCore& e, bool wide);
  ~ElementText();
  ElementText(const ElementText&) = delete;
  ElementText& operator=(const ElementText&) = delete;

  bool ok() const { return text_ != 0; }
  const char* ansi() const;
  const char16_t* wide() const;
  size_t bytes() const;        // without the terminator

 private:
  RunContext* ctx_;
  bool wide_;
  uint32_t text_ = 0;          // heap offset of the text
  uint32_t made_ = 0;          // heap offset of a converted string to free
};

}  // namespace tov
