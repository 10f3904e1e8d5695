// The initialisation phases and the run of one script buffer, behind the exported entry points.
#pragma once
#include <cstdint>

namespace tov {

uint32_t engine_init(void* hwnd, void* hContext, uintptr_t a2, int16_t phase, uintptr_t a4, const char* text5,
                     void* p6);
uint32_t engine_run(void* hwnd, void* hContext, void* hScript, void* lpfnHost, void* lpHostKeywords);
// The words after a default menu help text: " popup menu" (message 730) or " menu item" (731), loaded once.
const char* menu_word(bool popup);
uint32_t hotkey_check(void* hContext, void* hwnd, uint32_t message, uint32_t key, const void* table);

}  // namespace tov
