// The console UI: message boxes and the primitives of prompts on standard input and output. Standard
// input is read a byte at a time, so a prompt never takes more than its own line from a pipe or file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/hooks.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace plat {

void console_write(const char* text) {
  // Anything the C runtime still buffers goes first, so output keeps its order.
  std::fflush(stdout);
  os::console_write_raw(text, std::strlen(text));
}

bool console_read_line(char* out, size_t cap, bool echo) {
  if (!echo) os::console_echo(false);
  size_t n = 0;
  bool got_any = false, complete = false, stored_cr = false;
  for (;;) {
    unsigned char c;
    const os::ReadResult r = os::console_read_byte(&c);
    if (r == os::ReadResult::Stopped) {
      // The stop becomes the prompt's Cancel; it is not reported a second time.
      os::consume_stop();
      break;
    }
    if (r == os::ReadResult::End) {
      complete = got_any;
      break;
    }
    got_any = true;
    if (c == '\n') {
      complete = true;
      if (stored_cr) --n;
      break;
    }
    stored_cr = false;
    if (n + 1 < cap) {
      out[n++] = static_cast<char>(c);
      stored_cr = c == '\r';
    }
  }
  if (cap) out[complete ? n : 0] = 0;
  if (!echo) {
    os::console_echo(true);
    // The user's Enter was not echoed either.
    if (os::stdin_is_terminal()) console_write("\n");
  }
  return complete;
}

bool console_wait_key(uint32_t ms) {
  constexpr uint32_t SLICE_MS = 50;
  const bool terminal = os::stdin_is_terminal();
  if (terminal) os::console_key_mode(true);
  const uint32_t start = tick_count();
  bool key = false;
  for (;;) {
    if (os::stop_pending()) break;
    const uint32_t elapsed = tick_count() - start;
    if (elapsed >= ms) break;
    const uint32_t slice = std::min(SLICE_MS, ms - elapsed);
    if (!terminal) {
      sleep_ms(slice);
    } else if (os::console_key_slice(slice)) {
      key = true;
      break;
    }
  }
  if (terminal) os::console_key_mode(false);
  return key;
}

int console_message_box(const char* text, const char* caption, uint32_t flags) {
  std::string line;
  if (caption && *caption) {
    line = caption;
    line += ": ";
  }
  for (const char* p = text ? text : ""; *p; ++p)
    if (!(p[0] == '\r' && p[1] == '\n')) line += *p;
  const uint32_t buttons = flags & 0xF;
  // A terminal's user sees what to type; the answer follows on the same line.
  const bool yes_no = buttons == MB_YES_NO_CANCEL || buttons == MB_YES_NO;
  line += yes_no && os::stdin_is_terminal() ? " [y/n] " : "\n";
  console_write(line.c_str());

  if (buttons != MB_OK_CANCEL && buttons != MB_YES_NO_CANCEL && buttons != MB_YES_NO) return ID_OK;
  char answer[256];
  const bool got = console_read_line(answer, sizeof answer, true);
  if (buttons == MB_OK_CANCEL) return got ? ID_OK : ID_CANCEL;
  if (!got) return ID_CANCEL;
  const char* a = answer;
  while (*a == ' ' || *a == '\t') ++a;
  if (*a == 'y' || *a == 'Y') return ID_YES;
  if (*a == 'n' || *a == 'N') return ID_NO;
  return ID_CANCEL;
}

}  // namespace plat
