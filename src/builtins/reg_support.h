// What the registry built-ins share: the context's table of opened keys, the view an open uses, the
// key-and-value strings, and the conversions between registry data and script text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "builtins/callframe.h"
#include "platform/registry.h"

namespace tov {

struct RunContext;

// Remote-platform marks of keys: below a key of another computer's registry the view follows that
// computer's platform, not this one's.
enum RegMark : uint8_t { MARK_LOCAL = 0, MARK_REMOTE32 = 1, MARK_REMOTE64 = 2 };

// The keys a context opened and has not closed, with their marks; closed at shutdown.
struct RegKeyList {
  struct Entry {
    plat::RegKey key;
    RegMark mark;
  };
  std::vector<Entry> entries;
};

// RegOpenFlags settings.
constexpr uint32_t REG_VIEW_SETTING_64 = 2;   // the 64-bit view by default (also 0)
constexpr uint32_t REG_VIEW_SETTING_32 = 1;   // the 32-bit view by default

// At the start of every run: the run's default view.
void registry_run_start(RunContext* ctx);
// At shutdown: every key the context still holds is closed.
void registry_shutdown(RunContext* ctx);

void remember_key(RunContext* ctx, plat::RegKey key, RegMark mark);
void forget_key(RunContext* ctx, plat::RegKey key);
RegMark mark_of(RunContext* ctx, plat::RegKey key);

// The view of an open or create below `parent` for a view argument (0, 32 or 64; 1822 otherwise), and
// whether it was chosen explicitly.
struct ViewChoice {
  plat::RegView view;
  bool explicit_view;
};
bool choose_view(RunContext* ctx, plat::RegKey parent, int32_t view_arg, ViewChoice* choice);

// The key (argument 1) and subkey (argument 2) of a call, with the view of the view argument; false with
// the error set when the view or the subkey is not valid.
struct SubkeyArgs {
  plat::RegKey parent;
  std::u16string subkey;
  ViewChoice choice;
};
bool subkey_args(RunContext* ctx, ArgBlock& a, int32_t view_arg, SubkeyArgs* out);

// Records a failed registry call (ReportApiError with the system's code and the operation) and raises error.
void api_failure(RunContext* ctx, uint32_t code, const char* api, uint16_t error);

// A subkey argument, checked: at most 2050 characters (1460) and, with an explicit view, no
// "WOW6432Node" in it (1458).
bool check_subkey(RunContext* ctx, const std::u16string& subkey, const ViewChoice& choice);

// Key-and-value strings: "sub\key[value]", "[value]", "sub\key" (its default value), "" (the key's own
// default value). 1402 when the value part does not end with "]"; the subkey is checked as above.
struct KeyAndValue {
  std::u16string subkey;
  std::u16string value;
};
bool split_key_value(RunContext* ctx, const std::u16string& text, const ViewChoice& choice, KeyAndValue* out);

// A key opened for the length of one call; closed when it goes out of scope. Without a subkey it is the
// given key itself.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  // Opens (or with create makes) the subkey; the platform's error number, 0 on success.
  uint32_t open(plat::RegKey parent, const std::u16string& subkey, plat::RegAccess access, bool create,
                plat::RegView view);
  plat::RegKey get() const { return key_; }

 private:
  plat::RegKey key_ = 0;
  bool owned_ = false;
};

// The optional integer argument n, 0 when the script left it out.
inline int32_t optional_int(ArgBlock& a, int argc, int n) { return argc >= n ? a.slot[n].c.i : 0; }

// --- data --------------------------------------------------------------------------------------------------

// Strings as the registry stores them: UTF-16, with the terminating NUL when asked for.
std::string bytes_of_text(const std::u16string& text, bool terminator);
// The text of stored string data: up to its first NUL.
std::u16string text_of_bytes(const std::string& data);
// Multi-strings: every delimiter character becomes a NUL, and a double NUL ends the data; back, every
// separating NUL becomes the delimiter.
std::string bytes_of_multi(const std::u16string& text, char16_t delimiter);
std::u16string multi_of_bytes(const std::string& data, char16_t delimiter);
// Two upper-case hexadecimal digits per byte, separated by blanks ("01 AB").
std::u16string spaced_hex(const std::string& data);
// The inverse: tokens of exactly two hexadecimal digits separated by blanks or tabs; false otherwise.
bool bytes_of_spaced_hex(const std::u16string& text, std::string* out);
// A 32-bit number: decimal (0 to 4294967295, or negative down to -2147483648), or with hex up to eight
// hexadecimal digits (an "0x" before them allowed). Blanks around it are ignored.
bool dword_of_text(const std::u16string& text, bool hex, uint32_t* out);
// The number of a DWORD value (big-endian ones byte-reversed), as "%lu" or "%lX".
std::u16string dword_text(const std::string& data, bool big_endian, bool hex);
// Environment-variable references (%NAME%) replaced by their values; unknown ones stay as written.
std::u16string expand_environment(const std::u16string& text);

}  // namespace tov
