// Message boxes and prompts: Message, Pause, AskYesNo, Display, AskLine, AskPassword and ButtonNames.
#include <cstdlib>
#include <string>

#include "builtins/args.h"
#include "builtins/hex.h"
#include "builtins/prompts.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "platform/ui.h"

namespace tov {

namespace {

constexpr size_t BOX_TEXT_MAX = 20000;
constexpr size_t DISPLAY_TEXT_MAX = 1280;
constexpr int32_t DISPLAY_DEFAULT_SECONDS = 2;
constexpr int32_t DISPLAY_MAX_SECONDS = 3600;
constexpr uint32_t PROMPT_SETTLE_MS = 20;

// A box's text is cut at 20000 characters, and three dots show it was.
std::u16string box_text(RunContext* ctx, ArgBlock& a, int n, size_t max) {
  std::u16string t = arg_wide(ctx, a, n);
  if (t.size() > max) {
    t.resize(max);
    t += u"...";
  }
  return t;
}

int show_box(RunContext* ctx, ArgBlock& a, uint32_t flags, const char* sound) {
  if (ctx->bSounds) plat::play_system_sound(sound);
  const std::u16string title = arg_wide(ctx, a, 1), text = box_text(ctx, a, 2, BOX_TEXT_MAX);
  const ButtonLabels labels = take_button_labels(ctx);
  return plat::message_box_w(ctx->hwndHost, text.c_str(), title.c_str(), flags | plat::MB_SET_FOREGROUND,
                             labels.ok.c_str(), labels.cancel.c_str());
}

void bi_message(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  show_box(ctx, a, plat::MB_OK_ONLY, "SystemAsterisk");
  set_integer(ctx, result->c, 1);
}

void bi_pause(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (show_box(ctx, a, plat::MB_OK_CANCEL | plat::MB_ICON_EXCLAMATION, "SystemQuestion") != plat::ID_OK) {
    ctx->err = STATUS_CANCEL;
    return;
  }
  set_integer(ctx, result->c, 1);
}

void bi_askyesno(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int r = show_box(ctx, a, plat::MB_YES_NO_CANCEL | plat::MB_ICON_QUESTION, "SystemQuestion");
  if (r != plat::ID_YES && r != plat::ID_NO) {
    ctx->err = STATUS_CANCEL;
    return;
  }
  set_integer(ctx, result->c, r == plat::ID_YES ? 1 : 0);
}

void bi_display(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  int32_t seconds = arg_int(a, 1);
  // A negative time is a hidden wait that still keeps the host responsive.
  const bool hidden = seconds < 0;
  if (hidden) seconds = seconds == INT32_MIN ? DISPLAY_MAX_SECONDS : -seconds;
  if (seconds == 0) seconds = DISPLAY_DEFAULT_SECONDS;
  if (seconds > DISPLAY_MAX_SECONDS) seconds = DISPLAY_MAX_SECONDS;
  const uint32_t ms = uint32_t(seconds) * 1000u;
  if (hidden) {
    Wait(ctx, ms);
    set_integer(ctx, result->c, 0);
    return;
  }
  if (ctx->bSounds) plat::play_system_sound("SystemExclamation");
  const std::u16string title = arg_wide(ctx, a, 2), text = box_text(ctx, a, 3, DISPLAY_TEXT_MAX);
  const bool closed = plat::display_text(ctx->hwndHost, title.c_str(), text.c_str(), ms);
  set_integer(ctx, result->c, closed ? 1 : 0);
}

void ask(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide, bool password) {
  const int32_t format = (!password && argc >= 4) ? arg_int(a, 4) : 0;
  if (format < 0 || format > 3) {
    ctx->err = ERR_ASKLINE_FORMAT;
    return;
  }
  const std::u16string title = arg_wide(ctx, a, 1), prompt = arg_wide(ctx, a, 2);
  const std::u16string def = password ? std::u16string() : arg_wide(ctx, a, 3);
  const ButtonLabels labels = take_button_labels(ctx);
  std::u16string answer;
  const bool ok = plat::ask_line(ctx->hwndHost, title.c_str(), prompt.c_str(), def.c_str(), password,
                                 labels.ok.c_str(), labels.cancel.c_str(), &answer);
  Wait(ctx, PROMPT_SETTLE_MS);
  plat::set_cursor(ctx->hcurRun);
  if (!ok) {
    ctx->err = STATUS_CANCEL;
    return;
  }
  if (format >= 2) {
    const std::string hex = hex_of_units(answer.data(), answer.size());
    set_string(ctx, result->c, hex.data(), hex.size());
  } else {
    set_text_result(ctx, result, answer, format == 1 || (password && wide));
  }
}

void bi_askline(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  ask(ctx, result, a, argc, wide, false);
}
void bi_askpassword(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  ask(ctx, result, a, argc, wide, true);
}

void bi_buttonnames(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string ok = arg_wide(ctx, a, 1), cancel = arg_wide(ctx, a, 2);
  const std::string ok_a = arg_ansi(ctx, a, 1), cancel_a = arg_ansi(ctx, a, 2);
  auto put = [](const std::u16string& w, char16_t* wd, size_t wcap, const std::string& s, char* d, size_t cap) {
    const size_t wn = w.size() < wcap - 1 ? w.size() : wcap - 1;
    w.copy(wd, wn);
    wd[wn] = 0;
    const size_t n = s.size() < cap - 1 ? s.size() : cap - 1;
    s.copy(d, n);
    d[n] = 0;
  };
  put(ok, ctx->wszButtonOk, 64, ok_a, ctx->szButtonOk, sizeof ctx->szButtonOk);
  put(cancel, ctx->wszButtonCancel, 64, cancel_a, ctx->szButtonCancel, sizeof ctx->szButtonCancel);
  set_integer(ctx, result->c, 1);
}

const BuiltinEntry kEntries[] = {
    {KW_MESSAGE, bi_message},     {KW_PAUSE, bi_pause},           {KW_ASKYESNO, bi_askyesno},
    {KW_DISPLAY, bi_display},     {KW_ASKLINE, bi_askline},       {KW_ASKPASSWORD, bi_askpassword},
    {KW_BUTTONNAMES, bi_buttonnames},
};

}  // namespace

ButtonLabels take_button_labels(RunContext* ctx) {
  ButtonLabels b{ctx->wszButtonOk, ctx->wszButtonCancel};
  ctx->wszButtonOk[0] = ctx->wszButtonCancel[0] = 0;
  ctx->szButtonOk[0] = ctx->szButtonCancel[0] = 0;
  return b;
}

extern const BuiltinFamily kMessageBoxBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
