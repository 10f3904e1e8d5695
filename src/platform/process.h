// Processes: running a program with captured output (the test runners), starting programs for scripts,
// waiting for them, the system shell, and the list of running programs.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// Runs a program with the given arguments (argv[0] is the program, the list ends with nullptr) in
// directory cwd, its standard input read from stdin_path (nullptr: an empty input) and its standard output
// and error written to the given files (nullptr: discarded; the same file for both: one shared file).
// Waits at most timeout_ms (UINT32_MAX: no limit); a program still running then is killed.
// Returns its exit status (POSIX: 128 + the signal for one that a signal ended), or -1 when it could not
// be started or was killed.
int run_captured(const char* const* argv, const char* cwd, const char* stdin_path,
                 const char* stdout_path, const char* stderr_path, uint32_t timeout_ms);

// --- Programs started for scripts -----------------------------------------------------------------------
// Failures are Windows error numbers on every platform; the ones the launcher tells apart:
constexpr uint32_t SYSERR_FILE_NOT_FOUND = 2;
constexpr uint32_t SYSERR_PATH_NOT_FOUND = 3;
constexpr uint32_t SYSERR_ACCESS_DENIED = 5;
constexpr uint32_t SYSERR_NOT_SUPPORTED = 50;
constexpr uint32_t SYSERR_BAD_EXE_FORMAT = 193;     // the file exists but is no program
constexpr uint32_t SYSERR_DIRECTORY = 267;          // the working directory is invalid
constexpr uint32_t SYSERR_ELEVATION_REQUIRED = 740;
constexpr uint32_t SYSERR_NO_ASSOCIATION = 1155;

// The new program's window. POSIX programs have none there: the state is accepted and has no effect.
enum class ShowState { Hidden, Minimized, Normal, Maximized };

// A started program. The record owns the process handle until process_close.
struct Process {
  void* handle = nullptr;     // Windows: the process handle (null when the shell gave none)
  uint32_t pid = 0;
  bool ended = false;         // set by process_wait when it saw the end
  uint32_t exit_code = 0;     // valid once ended
};

// Creation flag that puts the program in a process group of its own (honoured on POSIX too, where the
// other Windows creation flags have no meaning).
constexpr uint32_t CREATE_NEW_GROUP = 0x200;

// Starts a program from a command line. The line's first word (in double quotes when it holds blanks)
// names the program, the rest are its arguments; POSIX splits the line into arguments by the same rules
// and looks for a program without a directory along PATH, then in the current directory. directory may
// be null or empty for the current one. Returns 0 and fills *out, or the Windows error number of the
// failure (file not found, not a program, invalid directory ...).
uint32_t process_start(const std::u16string& command_line, const std::u16string& directory, ShowState show,
                       uint32_t creation_flags, Process* out);

// Starting a program under another account needs the system's logon service (Windows only).
bool process_logon_supported();
// As process_start, under the account user@domain (domain empty: the local or UPN form of user).
// logon_flags: 1 load the user's profile, 2 use the account for network access only.
uint32_t process_start_as_user(const std::u16string& command_line, const std::u16string& directory,
                               ShowState show, uint32_t creation_flags, const std::u16string& user,
                               const std::u16string& domain, const std::u16string& password,
                               uint32_t logon_flags, Process* out);

enum class WaitResult { Ended, Woken, TimedOut };
// Waits at most ms for the program to end (then ended and exit_code are set), returning early with Woken
// for input messages or a stop request.
WaitResult process_wait(Process* p, uint32_t ms);
// Waits at most ms for a newly started program to be ready for input (Windows' input-idle state). True
// when it is ready, has ended, or has no such state (console programs, POSIX); false when time ran out.
bool process_wait_idle(Process* p, uint32_t ms);
// Releases the handle. A POSIX child that is still running is collected when it ends.
void process_close(Process* p);

// --- The system shell -----------------------------------------------------------------------------------
// True where the system has a shell that opens documents, follows associations and runs shortcut files
// (Windows). Elsewhere the Engine stands in for it with the associations of the registry store.
bool system_shell();
// Has the shell apply a verb ("" for the default one) to a file. Returns the shell's result: above 32 on
// success, else its failure number (2 file not found, 3 path not found, 5 access denied, 8 out of memory,
// 11 bad format, 26 sharing, 27 incomplete association, 28-30 DDE, 31 no association, 32 library not found).
// *out receives the program started when the shell tells which one (handle null otherwise); system_error
// the Windows error number behind a failure (0 when there is none).
uint32_t shell_execute(const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
                       const std::u16string& directory, ShowState show, Process* out, uint32_t* system_error);
// Reads a shortcut (.lnk) file: its target, arguments and working directory. False when it cannot be
// read as one (always on POSIX).
bool shortcut_read(const std::u16string& path, std::u16string* target, std::u16string* arguments,
                   std::u16string* directory);
// The shortcut file a program name stands for: the name as given when it ends in ".lnk", else the name with
// ".lnk" added, looked for along the system's search order. Empty when there is none (always on POSIX).
std::u16string find_shortcut(const std::u16string& name);
// The program the shell would run for a document without an extension (FindExecutable). Empty when
// there is none (always on POSIX).
std::u16string find_executable(const std::u16string& document, const std::u16string& directory);

// --- Running programs -----------------------------------------------------------------------------------
struct RunningProgram {
  uint32_t pid;
  std::u16string name;        // the program file's name without its directory ("notepad.exe", "sleep")
};
// The running programs, the calling process among them; ended POSIX children not yet collected are left out.
std::vector<RunningProgram> running_programs();
// File names compare without regard to case on Windows, exactly on POSIX.
bool program_names_equal(const std::u16string& a, const std::u16string& b);
bool process_running(uint32_t pid);
// Ends a process at once. Returns 0, or the Windows error number of the failure.
uint32_t process_terminate(uint32_t pid);
uint32_t current_process_id();
// Full path of the program file of the calling process (the Engine's host).
std::u16string host_program_path();

// The system's message text for a Windows error number, without trailing line ends ("" when unknown).
std::u16string system_error_text(uint32_t code);
// Expands %NAME% references to environment variables; unknown names stay as they are.
std::u16string expand_environment(const std::u16string& text);

}  // namespace plat
