#include "ext/host_call.h"

#include "engine/context.h"
#include "lang/value.h"

namespace tov {

int32_t notify_host(RunContext* ctx, int32_t id, const char* t1, const char* t2, const char* t3,
                    const char* t4, const char* t5) {
  auto callback = reinterpret_cast<HostCallback>(ctx->lpfnHost);
  if (!callback) return 0;
  const char* texts[5] = {t1, t2, t3, t4, t5};
  ExtValue args[5] = {};
  for (int i = 0; i < 5; ++i) {
    args[i].type = VF_STRING;
    args[i].str = texts[i] ? texts[i] : "";
  }
  ExtValue result = {};
  return callback(ctx->hwndOwner, nullptr, INTERFACE_STAMP, id, nullptr, nullptr, nullptr, args, 5, &result);
}

}  // namespace tov
