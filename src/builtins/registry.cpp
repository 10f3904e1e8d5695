#include "builtins/registry.h"


#include "lang/keywords.h"

namespace tov {

// The families' tables, one line each.
extern const BuiltinFamily kArrayBuiltins;
extern const BuiltinFamily kArrayTextBuiltins;
extern const BuiltinFamily kBinaryBuiltins;
extern const BuiltinFamily kBinaryDataBuiltins;
extern const BuiltinFamily kBinaryFileBuiltins;
extern const BuiltinFamily kBinarySearchBuiltins;
extern const BuiltinFamily kAskBuiltins;
extern const BuiltinFamily kCharBuiltins;
extern const BuiltinFamily kDialogBuiltins;
extern const BuiltinFamily kDebugBuiltins;
extern const BuiltinFamily kDirBuiltins;
extern const BuiltinFamily kDllBuiltins;
extern const BuiltinFamily kErrorBuiltins;
extern const BuiltinFamily kExtenderBuiltins;
extern const BuiltinFamily kFileAttrBuiltins;
extern const BuiltinFamily kFileBuiltins;
extern const BuiltinFamily kFileCopyBuiltins;
extern const BuiltinFamily kFileHandleBuiltins;
extern const BuiltinFamily kFileTimeBuiltins;
extern const BuiltinFamily kIniBuiltins;
extern const BuiltinFamily kIntControlBuiltins;
extern const BuiltinFamily kItemListBuiltins;
extern const BuiltinFamily kKeyBuiltins;
extern const BuiltinFamily kMathBuiltins;
extern const BuiltinFamily kMessageBoxBuiltins;
extern const BuiltinFamily kMouseBuiltins;
extern const BuiltinFamily kPointerBuiltins;
extern const BuiltinFamily kProgramBuiltins;
extern const BuiltinFamily kRegistryKeyBuiltins;
extern const BuiltinFamily kRegistryValueBuiltins;
extern const BuiltinFamily kScriptCallBuiltins;
extern const BuiltinFamily kStringBuiltins;
extern const BuiltinFamily kStringCharBuiltins;
extern const BuiltinFamily kStringFixBuiltins;
extern const BuiltinFamily kStringWildBuiltins;
extern const BuiltinFamily kSystemBuiltins;
extern const BuiltinFamily kTimeBuiltins;
extern const BuiltinFamily kWindowBuiltins;

namespace {

const BuiltinFamily* const kFamilies[] = {
    &kArrayBuiltins,
    &kArrayTextBuiltins,
    &kBinaryBuiltins,
    &kBinaryDataBuiltins,
    &kBinaryFileBuiltins,
    &kBinarySearchBuiltins,
    &kAskBuiltins,
    &kCharBuiltins,
    &kDialogBuiltins,
    &kDebugBuiltins,
    &kDirBuiltins,
    &kDllBuiltins,
    &kErrorBuiltins,
    &kExtenderBuiltins,
    &kFileAttrBuiltins,
    &kFileBuiltins,
    &kFileCopyBuiltins,
    &kFileHandleBuiltins,
    &kFileTimeBuiltins,
    &kIniBuiltins,
    &kIntControlBuiltins,
    &kItemListBuiltins,
    &kKeyBuiltins,
    &kMathBuiltins,
    &kMessageBoxBuiltins,
    &kMouseBuiltins,
    &kPointerBuiltins,
    &kProgramBuiltins,
    &kRegistryKeyBuiltins,
    &kRegistryValueBuiltins,
    &kScriptCallBuiltins,
    &kStringBuiltins,
    &kStringCharBuiltins,
    &kStringFixBuiltins,
    &kStringWildBuiltins,
    &kSystemBuiltins,
    &kTimeBuiltins,
    &kWindowBuiltins,
};

BuiltinFn g_table[NKEYTOKENS];

bool build() {
  for (const BuiltinFamily* family : kFamilies)
    for (size_t i = 0; i < family->count; ++i) g_table[family->entries[i].id] = family->entries[i].fn;
  return true;
}

}  // namespace

BuiltinFn builtin_for(int id) {
  // Built once per process by whichever thread comes first; every call looks here, so no heavier guard.
  static const bool built = build();
  (void)built;
  return (id >= 0 && id < int(NKEYTOKENS)) ? g_table[id] : nullptr;
}

}  // namespace tov
