// tov as a menu host: a menu file turned into a menu whose items run their code as scripts.
#pragma once
#include <string>
#include "host/engine_session.h"

namespace tovhost {

// On the console: a numbered, indented menu; the number read from standard input chooses the item to run,
// until 0 or the end of input. Returns the exit status.
int run_console_menu(EngineSession& session, const std::string& file);
// On Windows: a window with the menu as its menu bar (or, with popup, a popup menu shown again after each
// choice until it is dismissed), with hotkeys and help texts. Returns the exit status.
int run_window_menu(EngineSession& session, const std::string& file, bool popup);

}  // namespace tovhost
