// The menu entry points for hosts: building a menu from a menu file, extracting an item's code, and the
// help text of a highlighted item.
#pragma once
#include <cstdint>
#include "engine/tovengine.h"

namespace tov {

void* load_standard_menu(void* hContext, void* hwnd, uint32_t firstId, uint32_t lastId, MenuFileState* state,
                         const char* caption, void* hotkeys, uintptr_t kind);
void* parse_standard_menu(void* hContext, void* hwnd, uint32_t chosenId, bool leadingCode, uint32_t firstId,
                          MenuFileState* state, const char* caption);
int32_t menu_select_processing(void* hContext, void* hwnd, uintptr_t wparam, intptr_t lparam, uint32_t firstId,
                               uint32_t lastId, char* buffer, int32_t size, const MenuFileState* state,
                               bool useGivenMenu);

}  // namespace tov
