// What the prompt families share: the button texts that ButtonNames sets.
#pragma once
#include <string>

namespace tov {

struct RunContext;

// The texts ButtonNames gave the OK and Cancel buttons (empty: the usual ones). They are used by one box
// or prompt: taking them clears them.
struct ButtonLabels {
  std::u16string ok, cancel;
};
ButtonLabels take_button_labels(RunContext* ctx);

}  // namespace tov
