// What the Windows user-interface files share. Internal to src/platform/win32/.
#pragma once
#include <windows.h>

namespace plat::win32 {

// True while a stop request waits to be reported by ctrl_break_pressed. Ctrl+Break held down is made a
// waiting request here, so that the run loop still sees it after the keys are released. Consumes nothing.
bool stop_requested();
// Signalled while a console stop request waits; null before install_break_handler.
HANDLE stop_event();
// Moves a top-level window to the middle of the screen.
void center_on_screen(HWND w);

}  // namespace plat::win32
