// The clipboard on Windows.
#include <windows.h>

#include <cstring>

#include "platform/clipboard.h"
#include "platform/system.h"

namespace plat {

namespace {

// Another program may hold the clipboard for a moment.
constexpr int OPEN_TRIES = 10;
constexpr uint32_t OPEN_RETRY_MS = 20;

bool open_clipboard(WindowHandle owner) {
  for (int i = 0; i < OPEN_TRIES; ++i) {
    if (OpenClipboard(static_cast<HWND>(owner))) return true;
    sleep_ms(OPEN_RETRY_MS);
  }
  return false;
}

// Bytes of a character of a text format (0 for other formats).
size_t text_unit(uint32_t format) {
  switch (format) {
    case CF_TEXT: case CF_OEMTEXT: return 1;
    case CF_UNICODETEXT: return 2;
    default: return 0;
  }
}

// Characters of a text up to its terminator, within n bytes.
size_t text_bytes(const uint8_t* p, size_t n, size_t unit) {
  size_t i = 0;
  while (i + unit <= n && (p[i] || (unit == 2 && p[i + 1]))) i += unit;
  return i;
}

}  // namespace

bool clipboard_format_is_data(uint32_t format) {
  switch (format) {
    case CF_TEXT: case CF_SYLK: case CF_DIF: case CF_TIFF: case CF_OEMTEXT: case CF_DIB: case CF_PENDATA:
    case CF_RIFF: case CF_WAVE: case CF_UNICODETEXT: case CF_HDROP: case CF_LOCALE: case CF_DIBV5:
    case CF_DSPTEXT:
      return true;
    default:
      return (format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) || (format >= 0xC000 && format <= 0xFFFF);
  }
}

ClipStatus clipboard_get(uint32_t format, void* out, size_t out_cap, size_t* size) {
  if (!open_clipboard(nullptr)) return ClipStatus::CannotOpen;
  ClipStatus status = ClipStatus::NoData;
  if (HANDLE h = GetClipboardData(format)) {
    const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
    status = ClipStatus::Failed;
    if (p) {
      size_t n = GlobalSize(h);
      if (const size_t unit = text_unit(format)) n = text_bytes(p, n, unit);
      *size = n;
      status = n <= out_cap ? ClipStatus::Done : ClipStatus::TooLarge;
      if (status == ClipStatus::Done) std::memcpy(out, p, n);
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return status;
}

ClipStatus clipboard_put(WindowHandle owner, uint32_t format, const void* data, size_t n) {
  const size_t terminator = text_unit(format);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, n + terminator ? n + terminator : 1);
  void* p = h ? GlobalLock(h) : nullptr;
  if (!p) {
    if (h) GlobalFree(h);
    return ClipStatus::Failed;
  }
  std::memcpy(p, data, n);
  GlobalUnlock(h);
  if (!open_clipboard(owner)) {
    GlobalFree(h);
    return ClipStatus::CannotOpen;
  }
  // Once the clipboard has the block, it owns it.
  const bool ok = EmptyClipboard() && SetClipboardData(format, h);
  if (!ok) GlobalFree(h);
  CloseClipboard();
  return ok ? ClipStatus::Done : ClipStatus::Failed;
}

}  // namespace plat
