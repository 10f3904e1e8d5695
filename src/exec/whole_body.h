// Function bodies worked out on whole numbers alone: assignments of whole-number expressions and a Return.
#pragma once
#include <cstdint>

#include "exec/udf.h"

namespace tov {

struct RunContext;

// Whether function index's body has its whole-number steps under the names the context has now: looked at
// (again) from the compiled lines of its body when it has not been under them, until its lines are compiled.
bool whole_body_ready(RunContext* ctx, UdfRecord* rec, uint16_t index);

// Works the steps out with the arguments (one per parameter): false when a step would raise an error, with
// nothing done.
bool run_whole_body(const WholeBody& body, const int32_t* args, int argc, int32_t* out);

}  // namespace tov
