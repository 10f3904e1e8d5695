#include "builtins/variadic.h"

#include "lang/eval.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"

namespace tov {

bool read_variadic_args(RunContext* ctx, VariadicArgs& args, bool* wide, ErrorNumber syntax_error) {
  for (;;) {
    get_token(ctx);
    if (ctx->err) return false;
    Value& v = args.add();
    ProcessSubExpression(ctx, &v, false, false);
    if (ctx->err) return false;
    if (v.c.type & (VF_WSTRING | VF_VARIANT)) *wide = true;
    if (tok_is(ctx, KW_RPAREN)) return true;
    if (!tok_is(ctx, KW_COMMA) || args.size() == VARIADIC_MAX_ARGS) {
      ctx->err = syntax_error;
      return false;
    }
  }
}

}  // namespace tov
