// The list, text, file, folder, colour and font prompts: AskItemList, ItemSelect, TextSelect, TextBox,
// TextBoxSort, AskFileText, AskTextBox, AskFileName, AskDirectory, AskColor and AskFont. Cancel in any of
// them stops the run (status 9999) like the other prompts.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "builtins/args.h"
#include "builtins/prompts.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "lang/values.h"
#include "platform/dialog_ui.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr uint64_t TEXT_FILE_MAX = uint64_t(32) << 20;   // the largest file a list prompt shows
constexpr uint32_t PROMPT_SETTLE_MS = 20;

// The @SINGLE, @MULTIPLE and @EXTENDED constants.
enum SelectMode : int32_t { SELECT_SINGLE = 2, SELECT_MULTIPLE = 3, SELECT_EXTENDED = 4 };

std::u16string join(const std::vector<std::u16string>& items, char16_t sep) {
  std::u16string r;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) r += sep;
    r += items[i];
  }
  return r;
}

// A prompt's end: Cancel stops the run; otherwise the host's cursor comes back after a short pump.
bool finish(RunContext* ctx, bool ok) {
  Wait(ctx, PROMPT_SETTLE_MS);
  plat::set_cursor(ctx->hcurRun);
  if (!ok && !ctx->err) ctx->err = STATUS_CANCEL;
  return ok && !ctx->err;
}

bool bad_flags(RunContext* ctx, const char* what, int32_t value) {
  ctx->err = ERR_ASK_FLAGS;
  AddErrorInfo(ctx, (std::string(what) + "=" + std::to_string(value)).c_str());
  return false;
}

// The lines of a text file (ANSI in the run's code page, or UTF-16 with its byte-order mark; a UTF-8
// byte-order mark is skipped). Line ends are LF or CR LF.
bool read_lines(RunContext* ctx, const std::u16string& name, std::vector<std::u16string>* lines) {
  uint32_t sys = 0;
  plat::FileHandle f = plat::file_open_read_w(name.c_str(), &sys);
  uint64_t size = 0;
  std::string bytes;
  bool ok = f != plat::INVALID_FILE && plat::file_size(f, &size) && size <= TEXT_FILE_MAX;
  if (ok) {
    bytes.resize(size_t(size));
    ok = size == 0 || plat::file_read(f, bytes.data(), bytes.size()) == int64_t(size);
  }
  if (f != plat::INVALID_FILE) plat::file_close(f);
  if (!ok) {
    ctx->err = ERR_ASK_FILE;
    std::string shown;
    for (char16_t c : name) shown += c < 128 ? char(c) : '?';
    AddErrorInfo(ctx, shown.c_str());
    return false;
  }
  std::u16string text;
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
  } else {
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const int n = plat::ansi_to_wide(bytes.data() + skip, int(bytes.size() - skip), nullptr, 0, ctx->nCodePage);
    text.resize(n > 0 ? size_t(n) : 0);
    if (n > 0) plat::ansi_to_wide(bytes.data() + skip, int(bytes.size() - skip), text.data(), n, ctx->nCodePage);
  }
  lines->clear();
  for (std::u16string& line : plat::split_parts(text, u'\n')) {
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    lines->push_back(std::move(line));
  }
  // A final line end does not start another line.
  if (!lines->empty() && lines->back().empty()) lines->pop_back();
  return true;
}

// Shows items to choose from; the chosen ones are the result, joined by the separator.
void choose(RunContext* ctx, Value* result, bool wide, const std::u16string& title,
            const std::vector<std::u16string>& items, char16_t sep, bool sort, bool multiple, int32_t preselect) {
  const std::u16string pre =
      preselect >= 1 && size_t(preselect) <= items.size() ? items[size_t(preselect - 1)] : std::u16string();
  std::vector<std::u16string> chosen;
  const ButtonLabels labels = take_button_labels(ctx);
  const bool ok = plat::ask_item_list(ctx->hwndHost, title, u"", items, multiple, sort, pre, labels.ok.c_str(),
                                      labels.cancel.c_str(), &chosen);
  if (finish(ctx, ok)) set_text_result(ctx, result, join(chosen, sep), wide);
}

char16_t separator(RunContext* ctx, ArgBlock& a, int n) {
  const std::u16string s = arg_wide(ctx, a, n);
  return s.empty() ? u'\t' : s[0];
}

bool check_sort_select(RunContext* ctx, int32_t sort, int32_t select) {
  if (sort != 0 && sort != 1) return bad_flags(ctx, "sort", sort);
  if (select < SELECT_SINGLE || select > SELECT_EXTENDED) return bad_flags(ctx, "select", select);
  return true;
}

// AskItemList(title, list, delimiter, sort, select [, preselect]); ItemSelect(title, list, delimiter
// [, sort, select, preselect]).
void item_list(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide, int32_t sort, int32_t select) {
  const int32_t pre = argc >= 6 ? arg_int(a, 6) : 0;
  if (!check_sort_select(ctx, sort, select)) return;
  const char16_t sep = separator(ctx, a, 3);
  choose(ctx, result, wide, arg_wide(ctx, a, 1), plat::split_parts(arg_wide(ctx, a, 2), sep), sep, sort == 1,
         select != SELECT_SINGLE, pre);
}

void bi_askitemlist(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  item_list(ctx, result, a, argc, wide, arg_int(a, 4), arg_int(a, 5));
}

void bi_itemselect(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  item_list(ctx, result, a, argc, wide, argc >= 4 ? arg_int(a, 4) : 0, argc >= 5 ? arg_int(a, 5) : SELECT_SINGLE);
}

// TextSelect(title, list, delimiter): one item of the list, shown sorted.
void bi_textselect(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const char16_t sep = separator(ctx, a, 3);
  choose(ctx, result, wide, arg_wide(ctx, a, 1), plat::split_parts(arg_wide(ctx, a, 2), sep), sep, true, false, 0);
}

// TextBox(title, file) and TextBoxSort: one line of a text file.
void text_box(RunContext* ctx, Value* result, ArgBlock& a, bool wide, bool sort) {
  std::vector<std::u16string> lines;
  if (!read_lines(ctx, arg_wide(ctx, a, 2), &lines)) return;
  choose(ctx, result, wide, arg_wide(ctx, a, 1), lines, u'\t', sort, false, 0);
}
void bi_textbox(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) { text_box(ctx, result, a, wide, false); }
void bi_textboxsort(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  text_box(ctx, result, a, wide, true);
}

// AskFileText(title, file, sort, select [, preselect]): lines of a text file, joined by tabs.
void bi_askfiletext(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  const int32_t sort = arg_int(a, 3), select = arg_int(a, 4), pre = argc >= 5 ? arg_int(a, 5) : 0;
  if (!check_sort_select(ctx, sort, select)) return;
  std::vector<std::u16string> lines;
  if (!read_lines(ctx, arg_wide(ctx, a, 2), &lines)) return;
  choose(ctx, result, wide, arg_wide(ctx, a, 1), lines, u'\t', sort == 1, select != SELECT_SINGLE, pre);
}

// AskTextBox(title, prompt, default, flags, limit): flags 0 lets the user edit, 1 only shows the text;
// limit is the most characters the result may have (0: no limit).
void bi_asktextbox(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t flags = arg_int(a, 4), limit = arg_int(a, 5);
  if (flags != 0 && flags != 1) {
    bad_flags(ctx, "flags", flags);
    return;
  }
  if (limit < 0) {
    bad_flags(ctx, "limit", limit);
    return;
  }
  std::u16string text = arg_wide(ctx, a, 3);
  const ButtonLabels labels = take_button_labels(ctx);
  const bool ok = plat::ask_text_box(ctx->hwndHost, arg_wide(ctx, a, 1), arg_wide(ctx, a, 2), flags == 0,
                                     labels.ok.c_str(), labels.cancel.c_str(), &text);
  if (!finish(ctx, ok)) return;
  if (limit > 0 && text.size() > size_t(limit)) text.resize(size_t(limit));
  set_text_result(ctx, result, text, wide);
}

enum FileMode : int32_t { FILE_SAVE = 0, FILE_OPEN = 1, FILE_OPEN_MULTIPLE = 2 };

// AskFileName(title, directory, filetypes, default, mode): filetypes pairs "label|patterns|"; mode 0 saves,
// 1 opens one file, 2 opens several (their full paths joined by tabs).
void bi_askfilename(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t mode = arg_int(a, 5);
  if (mode < FILE_SAVE || mode > FILE_OPEN_MULTIPLE) {
    bad_flags(ctx, "mode", mode);
    return;
  }
  std::vector<plat::FileFilter> filters;
  const std::vector<std::u16string> parts = plat::split_parts(arg_wide(ctx, a, 3), u'|');
  for (size_t i = 0; i < parts.size(); i += 2) {
    const std::u16string patterns = i + 1 < parts.size() ? parts[i + 1] : std::u16string();
    if (parts[i].empty() && patterns.empty()) continue;
    filters.push_back(plat::FileFilter{parts[i], patterns.empty() ? parts[i] : patterns});
  }
  std::vector<std::u16string> files;
  const bool ok = plat::ask_file_name(ctx->hwndHost, arg_wide(ctx, a, 1), arg_wide(ctx, a, 2), filters,
                                      arg_wide(ctx, a, 4), mode == FILE_SAVE, mode == FILE_OPEN_MULTIPLE, &files);
  if (finish(ctx, ok)) set_text_result(ctx, result, join(files, u'\t'), wide);
}

// AskDirectory(prompt, root, start, confirm, flags): with a confirm text the user is asked to confirm the
// chosen folder (No chooses again). Flags 1 adds a field to type a folder, 2 a button for a new folder.
void bi_askdirectory(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t flags = arg_int(a, 5);
  if (flags < 0 || flags > 3) {
    bad_flags(ctx, "flags", flags);
    return;
  }
  const std::u16string prompt = arg_wide(ctx, a, 1), root = arg_wide(ctx, a, 2), confirm = arg_wide(ctx, a, 4);
  std::u16string start = arg_wide(ctx, a, 3), folder;
  for (;;) {
    if (!finish(ctx, plat::ask_directory(ctx->hwndHost, prompt, root, start, &folder))) return;
    if (confirm.empty()) break;
    const std::u16string question = confirm + u"\r\n" + folder;
    const int answer = plat::message_box_w(ctx->hwndHost, question.c_str(), prompt.c_str(),
                                           plat::MB_YES_NO_CANCEL | plat::MB_ICON_QUESTION, nullptr, nullptr);
    if (answer == plat::ID_YES) break;
    if (answer != plat::ID_NO) {
      ctx->err = STATUS_CANCEL;
      return;
    }
    start = folder;
  }
  set_text_result(ctx, result, folder, wide);
}

// AskColor(default, key, format): default "R|G|B" (empty: black); format 0 gives "R|G|B", 1 the colour as
// the integer 0x00BBGGRR.
void bi_askcolor(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int32_t format = arg_int(a, 3);
  if (format != 0 && format != 1) {
    bad_flags(ctx, "format", format);
    return;
  }
  const std::u16string def = arg_wide(ctx, a, 1);
  int32_t rgb = 0;
  if (!def.empty()) {
    const std::vector<std::u16string> parts = plat::split_parts(def, u'|');
    bool ok = parts.size() == 3;
    for (int i = 0; ok && i < 3; ++i) {
      const std::string p(parts[size_t(i)].begin(), parts[size_t(i)].end());
      int32_t n = 0;
      ok = parse_integer_text(p.c_str(), &n) && n >= 0 && n <= 255;
      rgb |= n << (8 * i);
    }
    if (!ok) {
      ctx->err = ERR_ASK_COLOR;
      return;
    }
  }
  if (!finish(ctx, plat::ask_color(ctx->hwndHost, arg_wide(ctx, a, 2), &rgb))) return;
  if (format == 1) {
    set_integer(ctx, result->c, rgb);
    return;
  }
  const std::string text =
      std::to_string(rgb & 0xFF) + "|" + std::to_string((rgb >> 8) & 0xFF) + "|" + std::to_string((rgb >> 16) & 0xFF);
  set_text_result(ctx, result, std::u16string(text.begin(), text.end()), wide);
}

// A dialog's font size for a height in points: sizes are 1024ths of the height in the vertical dialog
// units of a 16-pixel base at 96 pixels per inch.
int32_t dialog_font_size(int32_t points) { return (points * 96 / 72) * 1024 * 8 / 16; }

// AskFont(type, flags, default [, format]): type 0 any font, 1 fixed-pitch fonts only; flags 0, or 1 for
// scalable fonts only; default "face|points|weight|italic". Format 0 gives the same form, 1 a dialog
// font description ("face|size|style|pitch").
void bi_askfont(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool wide) {
  const int32_t type = arg_int(a, 1), flags = arg_int(a, 2), format = argc >= 4 ? arg_int(a, 4) : 0;
  if (type != 0 && type != 1) return (void)bad_flags(ctx, "type", type);
  if (flags != 0 && flags != 1) return (void)bad_flags(ctx, "flags", flags);
  if (format != 0 && format != 1) return (void)bad_flags(ctx, "format", format);
  plat::FontChoice font;
  Value& d = a.slot[3];
  if ((d.c.type & (VF_STRING | VF_WSTRING)) || to_string(ctx, d.c)) {
    const std::vector<std::u16string> parts = plat::split_parts(arg_wide(ctx, a, 3), u'|');
    int32_t n[3] = {font.points, font.weight, 0};
    bool ok = parts.empty() || parts.size() == 4;
    for (size_t i = 1; ok && i < parts.size(); ++i) {
      const std::string p(parts[i].begin(), parts[i].end());
      ok = parse_integer_text(p.c_str(), &n[i - 1]);
    }
    if (!ok || n[0] <= 0 || n[0] > 1638 || n[1] < 0 || n[1] > 1000 || (n[2] != 0 && n[2] != 1)) {
      if (!ctx->err) ctx->err = ERR_ASK_FONT;
      return;
    }
    if (!parts.empty()) {
      font.face = parts[0];
      font.points = n[0];
      font.weight = n[1];
      font.italic = n[2] == 1;
    }
  }
  if (ctx->err) return;
  font.fixedOnly = type == 1;
  font.scalableOnly = flags == 1;
  if (!finish(ctx, plat::ask_font(ctx->hwndHost, u"", &font))) return;
  std::string tail;
  if (format == 0)
    tail = "|" + std::to_string(font.points) + "|" + std::to_string(font.weight) + "|" + (font.italic ? "1" : "0");
  else
    tail = "|" + std::to_string(dialog_font_size(font.points)) + "|" +
           std::to_string(font.weight / 10 + (font.italic ? 100 : 0)) + "|0";
  set_text_result(ctx, result, font.face + std::u16string(tail.begin(), tail.end()), wide);
}

const BuiltinEntry kEntries[] = {
    {KW_ASKITEMLIST, bi_askitemlist}, {KW_ITEMSELECT, bi_itemselect},     {KW_TEXTSELECT, bi_textselect},
    {KW_TEXTBOX, bi_textbox},         {KW_TEXTBOXSORT, bi_textboxsort},   {KW_ASKFILETEXT, bi_askfiletext},
    {KW_ASKTEXTBOX, bi_asktextbox},   {KW_ASKFILENAME, bi_askfilename},   {KW_ASKDIRECTORY, bi_askdirectory},
    {KW_ASKCOLOR, bi_askcolor},       {KW_ASKFONT, bi_askfont},
};

}  // namespace

extern const BuiltinFamily kAskBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
