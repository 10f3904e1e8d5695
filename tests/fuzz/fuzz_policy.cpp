// The fuzz targets' host policy: only built-ins whose effects stay inside the process and that end quickly
// are dispatched; every other one is refused as a function this host does not offer. It wraps the Engine's
// own table of implementations, so families added later are refused until they are listed here.
#define builtin_for builtin_for_unrestricted
#include "builtins/registry.cpp"
#undef builtin_for

#include <array>
#include <cstring>

#include "diag/errors.h"
#include "engine/context.h"

namespace tov {

namespace {

// Built-ins that only compute, touch the run's own memory, or talk to the console (whose standard input
// is empty, so every prompt answers Cancel).
const char* const kAllowed[] = {
    "?getviapointer", "?setviapointer", "abs", "acos", "arrayfromstr", "arrayinsert", "arrayize", "arraylocate",
    "arrayredim", "arrayremove", "arraysearch", "arraysort", "arrayswapelements", "arraytostr", "arrdimension",
    "arrinfo", "arrinitialize", "asin", "askline", "askpassword", "askyesno", "atan", "average", "binaryalloc",
    "binaryallocarray", "binaryand", "binarybufinfo", "binarychecksum", "binarycomp", "binarycompare", "binaryconvert",
    "binarycopy", "binaryeodget", "binaryeodset", "binaryfree", "binaryhashrec", "binaryincr", "binaryincr2",
    "binaryincr4", "binaryincrflt", "binaryindex", "binaryindexbin", "binaryindexex", "binaryindexnc",
    "binaryor", "binarypeek", "binarypeek2", "binarypeek4", "binarypeekflt", "binarypeekhex", "binarypeekstr",
    "binarypeekstrw", "binarypoke", "binarypoke2", "binarypoke4", "binarypokeflt", "binarypokehex",
    "binarypokestr", "binarypokestrw", "binaryreplace", "binarysort", "binarystrcnt", "binarytagextr",
    "binarytagfind", "binarytagindex", "binarytaginit", "binarytaglen", "binarytagrepl", "binaryuncomp",
    "binaryxlate", "binaryxor", "buttonnames", "call", "ceiling", "char2num", "chrhextostring",
    "chrhextounicode", "chrstringtohex", "chrstringtounicode", "chrunicodetohex", "chrunicodetostring", "cos",
    "cosh", "datetime", "decimals", "errorevent", "errormode", "exp", "fabs", "filebasename", "fileextension",
    "filefullname", "filepath", "fileroot", "floor", "getexacttime",
    "gettickcount", "int", "intcontrol", "isfloat", "isint", "isnumber", "itemcount", "itemcountcsv",
    "itemextract", "itemextractcsv", "iteminsert", "itemlocate", "itemremove", "itemreplace", "itemsort",
    "itemsortnc", "lasterror", "log10", "loge", "max", "message", "min", "num2char", "parsedata", "pause",
    "random", "sin", "sinh", "sqrt", "strbytecount", "strcat", "strcharcount", "strclean", "strcmp", "strcnt",
    "strfill", "strfix", "strfixbytes", "strfixbytesl", "strfixchars", "strfixcharsl", "strfixleft", "stricmp",
    "strindex", "strindexnc", "strindexwild", "strinsert", "strlen", "strlenwild", "strlower", "stroverlay",
    "strreplace", "strscan", "strsub", "strsubwild", "strtrim", "strtypeinfo", "strupper", "tan", "tanh",
    "timeadd", "timedate", "timediff", "timediffdays", "timediffsecs", "timejulianday", "timejultoymd",
    "timesubtract", "timeymdhms", "version", "versiondll",
};

// IntControl requests that change only the run's own error handling and YmdHms format.
const int kAllowedIntControl[] = {41, 72, 73, 87};

// Arrays may take up to 4 GB; this host keeps them to a million elements so inputs stay fast and small.
constexpr double MAX_ARRAY_ELEMENTS = 1e6;
// Binary buffers likewise: a megabyte each.
constexpr int32_t MAX_BINARY_BYTES = 1 << 20;

void refused(RunContext* ctx, Value*, ArgBlock&, int, bool) { ctx->err = ERR_NOT_AVAILABLE; }

void arrdimension_limited(RunContext* ctx, Value* result, ArgBlock& args, int argc, bool wide) {
  double count = 1;
  for (int n = 1; n <= argc; ++n)
    if (args.slot[n].c.i > 0) count *= args.slot[n].c.i;
  if (count > MAX_ARRAY_ELEMENTS) {
    ctx->err = ERR_ARR_TOO_LARGE;
    return;
  }
  builtin_for_unrestricted(KW_ARRDIMENSION)(ctx, result, args, argc, wide);
}

void binaryalloc_limited(RunContext* ctx, Value* result, ArgBlock& args, int argc, bool wide) {
  if (args.slot[1].c.i > MAX_BINARY_BYTES) {
    ctx->err = ERR_BINARY_ALLOC;
    return;
  }
  builtin_for_unrestricted(KW_BINARYALLOC)(ctx, result, args, argc, wide);
}

void intcontrol_checked(RunContext* ctx, Value* result, ArgBlock& args, int argc, bool wide) {
  for (int request : kAllowedIntControl)
    if (args.slot[1].c.i == request) return builtin_for_unrestricted(KW_INTCONTROL)(ctx, result, args, argc, wide);
  ctx->err = ERR_NOT_AVAILABLE;
}

const std::array<bool, NKEYTOKENS>& allowed_ids() {
  static const std::array<bool, NKEYTOKENS> ids = [] {
    std::array<bool, NKEYTOKENS> a{};
    for (uint32_t id = 0; id < NKEYTOKENS; ++id)
      for (const char* name : kAllowed)
        if (std::strlen(name) == g_keywordTable[id].nameLength &&
            std::memcmp(name, g_keywordTable[id].name, g_keywordTable[id].nameLength) == 0)
          a[id] = true;
    return a;
  }();
  return ids;
}

}  // namespace

BuiltinFn builtin_for(int id) {
  BuiltinFn fn = builtin_for_unrestricted(id);
  if (!fn) return nullptr;
  if (id == KW_INTCONTROL) return intcontrol_checked;
  if (id == KW_ARRDIMENSION) return arrdimension_limited;
  if (id == KW_BINARYALLOC) return binaryalloc_limited;
  return allowed_ids()[size_t(id)] ? fn : refused;
}

}  // namespace tov
