/* hello_extender: a small TOV extender in C.
 *
 * It adds three functions to scripts:
 *   HelloGreet(name)           "Hello, NAME!"
 *   HelloSum(a, b)             a + b
 *   HelloRemember(name, text)  stores text in the script variable NAME; returns 1
 * and counts its calls in its private word: HelloCalls() gives the count.
 *
 * Build lines (from the repository root; the header is src/ext/tovextender.h):
 *   Linux:          gcc -shared -fPIC -O2 -Isrc -o hello_extender.so examples/extender/hello_extender.c
 *   64-bit Windows: x86_64-w64-mingw32-gcc -shared -O2 -Isrc -o hello_extender.dll examples/extender/hello_extender.c
 *   32-bit Windows: i686-w64-mingw32-gcc -shared -O2 -Isrc -o hello_extender.dll examples/extender/hello_extender.c \
 *                     examples/extender/hello_extender.def
 * A script loads it with AddExtender("hello_extender") when the library lies beside the program that runs
 * the Engine (or give its full path). */
#include <stdio.h>
#include <string.h>

#include "ext/tovextender.h"

enum { HELLO_GREET, HELLO_SUM, HELLO_REMEMBER, HELLO_CALLS, HELLO_FUNCTIONS };

/* Argument types, four bits per argument: 0 integer, 1 string. */
static const struct {
  const char* name;
  uint32_t argTypes;
  uint32_t required;
} functions[HELLO_FUNCTIONS] = {
    {"HelloGreet", 0x1, 1},
    {"HelloSum", 0x00, 2},
    {"HelloRemember", 0x11, 2},
    {"HelloCalls", 0, 0},
};

/* Answers through the Engine's answer routine; the extender returns what the routine returns. */
static int32_t answer(void* reply, TovServiceBlock* block, TovValue* value) {
  return ((TovAnswer)reply)(0, 0, block, value);
}

static int32_t answer_integer(void* reply, TovServiceBlock* block, int32_t i) {
  TovValue v;
  memset(&v, 0, sizeof v);
  v.type = TOVX_INTEGER;
  v.i = i;
  return answer(reply, block, &v);
}

static int32_t fail(void* reply, TovServiceBlock* block, const char* message) {
  TovValue v;
  memset(&v, 0, sizeof v);
  v.str = message; /* type 0: the string is the message */
  return ((TovAnswer)reply)(TOVX_FAIL_MINOR, 0, block, &v);
}

static int32_t call(int32_t number, void* reply, TovServiceBlock* block, uint32_t* calls, TovValue* args) {
  TovValue v;
  char text[300];
  ++*calls;
  memset(&v, 0, sizeof v);
  switch (number) {
    case HELLO_GREET:
      snprintf(text, sizeof text, "Hello, %s!", (const char*)args[0].str);
      v.type = TOVX_STRING;
      v.str = text; /* the Engine copies it */
      return answer(reply, block, &v);
    case HELLO_SUM:
      return answer_integer(reply, block, args[0].i + args[1].i);
    case HELLO_REMEMBER:
      /* A string written to a variable must lie in the extender's own memory, not the Engine's. */
      snprintf(text, sizeof text, "%s", (const char*)args[1].str);
      v.type = TOVX_STRING;
      v.str = text;
      if (block->varHandler(block->context, (const char*)args[0].str, &v, (int32_t)sizeof v, TOVX_VAR_WRITE) != 0)
        return fail(reply, block, "HelloRemember: the variable could not be set");
      return answer_integer(reply, block, 1);
    case HELLO_CALLS:
      return answer_integer(reply, block, (int32_t)*calls);
    default:
      return fail(reply, block, "hello_extender: no such function");
  }
}

/* The query: the version, and the interface kind chosen from those the Engine offers. */
TOVX_EXPORT int32_t TOVX_CALL TOVExtenderQuery(int32_t request, void* buffer, int32_t size) {
  int32_t i;
  if (request == TOVX_QUERY_VERSION) return 1;
  for (i = 0; i < size; ++i)
    if (((const int32_t*)buffer)[i] == TOVX_KIND_RECORD40_B) return TOVX_KIND_RECORD40_B;
  return 0;
}

/* The one entry: initialisation, registration, the close request and the calls of the functions. */
TOVX_EXPORT int32_t TOVX_CALL TOVExtender2(void* owner, void* host_module, uint32_t stamp, int32_t request,
                                           void* reply, TovServiceBlock* block, uint32_t* private_word, void* args,
                                           int32_t argc, void* result) {
  (void)owner;
  (void)host_module;
  (void)result;
  if (stamp != TOVX_STAMP) return TOVX_FAIL_SEVERE;
  switch (request) {
    case TOVX_INIT:
      return 0; /* a negative result with a message in args (256 characters) refuses the load */
    case TOVX_ENUMERATE: {
      TovRegistration r;
      if (argc < 0 || argc >= HELLO_FUNCTIONS) return 0; /* no more functions */
      memset(&r, 0, sizeof r);
      r.number = (uint32_t)argc;
      r.kind = 2; /* a function */
      r.argTypesLow = functions[argc].argTypes;
      r.value = functions[argc].required;
      r.nameLength = (uint16_t)strlen(functions[argc].name);
      strcpy(r.name, functions[argc].name);
      memcpy(args, &r, sizeof r);
      return 1;
    }
    case TOVX_CLOSE:
      return 0;
    default:
      return call(request, reply, block, private_word, (TovValue*)args);
  }
}
