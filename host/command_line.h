// The rules of the tov runner that do not touch the Engine: its command line and its exit status.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include "engine/tovengine.h"

namespace tovhost {

constexpr int EXIT_NORMAL = 0;        // end of text, Exit, a top-level Return, Terminate
constexpr int EXIT_ERROR = 1;         // an error ended the run
constexpr int EXIT_NOT_STARTED = 2;   // usage, script not readable, the Engine refused the run
constexpr int EXIT_CANCELLED = 130;   // user cancel or Ctrl+C, as a shell reports an interrupted program

constexpr uint32_t STATUS_EXIT = 9000;
constexpr uint32_t STATUS_TERMINATE = 9012;
constexpr uint32_t STATUS_REPORTED_IN_CALL = 9013;   // a called script ended; the extended code says how
constexpr uint32_t STATUS_CANCEL = 9999;

struct CommandLine {
  enum Action { Run, Help, Version, UsageError } action = UsageError;
  bool console = false;         // --console
  std::string menu;             // --menu FILE: the menu file to host instead of a script
  bool popup = false;           // --popup: the menu is a popup menu instead of a window's menu bar
  std::string script;           // the script's path as given; "-" reads standard input
  int first_arg = 0;            // index of the first script argument in argv
  std::string error;            // what was wrong, for UsageError
};

// Options come before SCRIPT; everything after SCRIPT belongs to the script, options included. With
// --menu FILE there is no SCRIPT, and the arguments after the options belong to the menu's items.
inline CommandLine parse_command_line(int argc, const char* const* argv) {
  CommandLine cl;
  int i = 1;
  for (; i < argc; ++i) {
    const char* a = argv[i];
    if (a[0] != '-' || a[1] == '\0') break;          // SCRIPT, or "-" for standard input
    if (std::strcmp(a, "--") == 0) { ++i; break; }
    if (std::strcmp(a, "--help") == 0) { cl.action = CommandLine::Help; return cl; }
    if (std::strcmp(a, "--version") == 0) { cl.action = CommandLine::Version; return cl; }
    if (std::strcmp(a, "--console") == 0) { cl.console = true; continue; }
    if (std::strcmp(a, "--popup") == 0) { cl.popup = true; continue; }
    if (std::strcmp(a, "--menu") == 0) {
      if (++i >= argc || !argv[i][0]) {
        cl.error = "option '--menu' needs a menu file";
        return cl;
      }
      cl.menu = argv[i];
      continue;
    }
    cl.error = std::string("unknown option '") + a + "'";
    return cl;
  }
  if (!cl.menu.empty()) {
    // A menu host takes no script: the arguments are the parameters of every item's run.
    cl.action = CommandLine::Run;
    cl.first_arg = i;
    return cl;
  }
  if (cl.popup) {
    cl.error = "option '--popup' needs '--menu'";
    return cl;
  }
  if (i >= argc) {
    cl.error = "no script given";
    return cl;
  }
  cl.action = CommandLine::Run;
  cl.script = argv[i];
  cl.first_arg = i + 1;
  return cl;
}

// The exit status for the outcome a run left in its context. A stop request wins: the user asked the
// run to end, whatever the script did afterwards.
inline int exit_status(const tov::RunContextHeader& h) {
  if (h.nRunError == STATUS_CANCEL || h.bCancel != 0) return EXIT_CANCELLED;
  if (h.nRunResult == 1 || h.nRunResult == -1) return EXIT_NORMAL;
  if (h.nRunError == STATUS_EXIT || h.nRunError == STATUS_TERMINATE) return EXIT_NORMAL;
  // Exit or Terminate in a script started by Call ends its callers too, as the run's normal end.
  if (h.nRunError == STATUS_REPORTED_IN_CALL && (h.nExtendedCode == STATUS_EXIT || h.nExtendedCode == STATUS_TERMINATE))
    return EXIT_NORMAL;
  return EXIT_ERROR;
}

}  // namespace tovhost
