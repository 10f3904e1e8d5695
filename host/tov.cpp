// tov: the command-line runner. It drives the Engine only through its entry points, as any host does:
// query the context size, initialise the context, hand over the variable table and the string heap, run
// one script, read the outcome from the context, shut down.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include "engine/tovengine.h"
#include "host/command_line.h"
#include "host/engine_session.h"
#include "host/menu_host.h"
#include "platform/memory.h"
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using tovhost::complain;

const char USAGE[] =
    "Usage: tov [OPTIONS] SCRIPT [ARG...]\n"
    "       tov [OPTIONS] --menu FILE [ARG...]\n"
    "Runs the TOV script SCRIPT ('-' reads it from standard input). Each ARG becomes one\n"
    "parameter of the script, param1 to paramN, and param0 holds N.\n"
    "With --menu, shows the menu of the menu file FILE and runs the code of each item chosen:\n"
    "on the console a numbered menu read from standard input, on Windows a window's menu bar.\n"
    "\n"
    "Options:\n"
    "  --console   messages, prompts and error reports use the console (always so on Linux)\n"
    "  --menu FILE host the menu file FILE instead of running a script\n"
    "  --popup     with --menu on Windows: a popup menu instead of a window with a menu bar\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "  --          end of options: the next argument is SCRIPT\n"
    "\n"
    "Exit status: 0 the script ended normally, 1 an error ended it, 2 it could not be\n"
    "started, 130 it was cancelled.\n";

// Reads the whole script; "-" is standard input, read as bytes like a file.
bool read_script(const std::string& name, std::string& text) {
  const bool from_stdin = name == "-";
  const std::string what = from_stdin ? "the script from standard input" : "script '" + name + "'";
#if defined(_WIN32)
  if (from_stdin) _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::FILE* f = from_stdin ? stdin : std::fopen(name.c_str(), "rb");
  if (!f) {
    complain("cannot open " + what + ": " + std::strerror(errno));
    return false;
  }
  char chunk[65536];
  size_t n;
  errno = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  const bool failed = std::ferror(f) != 0;
  const int reason = errno;
  if (!from_stdin) std::fclose(f);
  if (failed) complain("cannot read " + what + ": " + std::strerror(reason ? reason : EIO));
  return !failed;
}

}  // namespace

int main(int argc, char** argv) {
  const tovhost::CommandLine cl = tovhost::parse_command_line(argc, argv);
  switch (cl.action) {
    case tovhost::CommandLine::Help:
      std::fputs(USAGE, stdout);
      return tovhost::EXIT_NORMAL;
    case tovhost::CommandLine::Version:
      std::puts("tov " TOV_VERSION_STRING);
      return tovhost::EXIT_NORMAL;
    case tovhost::CommandLine::UsageError:
      complain(cl.error);
      std::fputs("Try 'tov --help' for more information.\n", stderr);
      return tovhost::EXIT_NOT_STARTED;
    case tovhost::CommandLine::Run:
      break;
  }

#if defined(_WIN32)
  const bool console = cl.console;
#else
  const bool console = true;    // Linux has no message boxes: the console is the only user interface
#endif
  tovhost::EngineSession session;
  if (!cl.menu.empty()) {
    if (!session.start(console, cl.menu, argc - cl.first_arg, argv + cl.first_arg)) return tovhost::EXIT_NOT_STARTED;
    return console ? tovhost::run_console_menu(session, cl.menu) : tovhost::run_window_menu(session, cl.menu, cl.popup);
  }

  std::string text;
  if (!read_script(cl.script, text)) return tovhost::EXIT_NOT_STARTED;
  const std::string file_name = cl.script == "-" ? "" : cl.script;
  if (!session.start(console, file_name, argc - cl.first_arg, argv + cl.first_arg))
    return tovhost::EXIT_NOT_STARTED;
  return session.run(text, cl.script == "-" ? "(standard input)" : cl.script);
}
