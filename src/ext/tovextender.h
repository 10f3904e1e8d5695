/* The TOV extender interface: the records an extender library exchanges with the Engine, the entry points it
 * exports and the Engine services it may call. An extender is compiled against this header alone (C or C++);
 * it never links against the Engine, which hands it every service through the service block.
 *
 * Layouts: every record is packed to 4 bytes. In 32-bit builds the records have the sizes given below; in
 * 64-bit builds each field that holds an address (pointers, handles, the string field of a value record)
 * widens to 8 bytes, the other fields keep their widths and order. Array handles are 32-bit ids of the
 * Engine's memory blocks in every build, carried zero-extended in the pointer-sized string field. */
#ifndef TOV_EXTENDER_H
#define TOV_EXTENDER_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define TOVX_CALL __stdcall
#define TOVX_EXPORT __declspec(dllexport)
#else
#define TOVX_CALL
#define TOVX_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The third argument of every call of an extender entry point. */
#define TOVX_STAMP 0x30030105u
/* Version and 32-bit size of the service block. */
#define TOVX_BLOCK_VERSION 1010u

/* Type flags of a value record. */
enum TovTypeFlags {
  TOVX_INTEGER = 0x1,
  TOVX_STRING = 0x2,
  TOVX_UNINIT = 0x8,
  TOVX_FLOAT = 0x20,
  TOVX_BINARY = 0x40,                /* with TOVX_INTEGER: the integer is a binary-buffer handle */
  TOVX_WSTRING = 0x80,
  TOVX_ARRAY = 0x100,                /* the string field carries the array handle */
  TOVX_OBJECT = 0x200,
  TOVX_OBJECT_REFERENCE = 0x600,
  TOVX_WSTRING_AT_INTEGER = 0x1000   /* answers of 32-bit extenders: a wide string whose address is the integer */
};

/* Interface kinds an extender may choose (the query adds 100000 for the wide entry). */
enum TovInterfaceKind {
  TOVX_KIND_STRINGS = 1,             /* TOVExtender: five string arguments */
  TOVX_KIND_RECORD20_A = 2,          /* TOVExtender2: 20-byte value records */
  TOVX_KIND_RECORD20_B = 3,
  TOVX_KIND_RECORD40_A = 4,          /* TOVExtender2: 40-byte value records */
  TOVX_KIND_RECORD40_B = 5,
  TOVX_KIND_WIDE = 100005            /* TOVExtender2W: 40-byte records, wide names */
};

/* Requests of the query entry and of the extender entry. */
enum TovRequest {
  TOVX_QUERY_VERSION = 1,            /* query: buffer of 2049 characters -> the extender's version */
  TOVX_QUERY_KIND = 2,               /* query: buffer of int32 kinds offered, size = count -> chosen kind */
  TOVX_INIT = -1,                    /* args: message buffer of 256 characters, argc 256 */
  TOVX_ENUMERATE = -2,               /* args: registration record, argc: index from 0 -> 1 when filled */
  TOVX_CLOSE = -3,
  TOVX1_ENUMERATE = 98,              /* kind 1 */
  TOVX1_CLOSE = 99
};

/* Results of a function call: 0 or more is success; a negative one fails the call. */
enum TovFailure {
  TOVX_FAIL_MINOR = -1,
  TOVX_FAIL_MODERATE = -2,
  TOVX_FAIL_SEVERE = -3,
  TOVX_FAIL_MEMORY = -4,
  TOVX_FAIL_CANCEL = -5,
  TOVX_FAIL_TERMINATE = -6,
  TOVX_FAIL_ARRAY = -7
};

#pragma pack(push, 4)

/* The value record: 40 bytes (32-bit), 44 bytes (64-bit). */
typedef struct TovValue {
  uint8_t internal[16];    /* the Engine's own words; copied out on reads, ignored on writes */
  double f;                /* TOVX_FLOAT */
  int32_t i;               /* TOVX_INTEGER; a binary-buffer handle with TOVX_BINARY */
  uint32_t type;           /* TovTypeFlags */
  const void* str;         /* TOVX_STRING, TOVX_WSTRING: the text; TOVX_ARRAY: the array handle */
  uint32_t unused;
} TovValue;

/* The value record of interface kinds 2 and 3: 20 bytes (32-bit), 24 bytes (64-bit). */
typedef struct TovValue20 {
  double f;
  int32_t i;
  uint32_t type;
  const void* str;
} TovValue20;

/* Registration of one function (request -2), kinds 2 to 5: the name is ANSI. */
typedef struct TovRegistration {
  uint32_t number;         /* the extender's function number, below 10000 */
  uint32_t kind;           /* 2 function, 4 command */
  uint32_t argTypesLow;    /* 4-bit argument type of argument n at bits 4(n-1) */
  uint32_t argTypesHigh;
  uint32_t value;          /* required arguments | optional arguments << 8 */
  uint16_t nameLength;
  char name[34];           /* at most 33 characters and a zero */
} TovRegistration;

/* Registration, kind 100005: the name is a wide string of at most 30 characters and a zero. */
typedef struct TovRegistrationW {
  uint32_t number, kind, argTypesLow, argTypesHigh, value;
  uint16_t nameLength;
  uint16_t name[34];
} TovRegistrationW;

/* Registration, kind 1 (request 98). */
typedef struct TovRegistration1 {
  int16_t number;
  int16_t kind;
  uint16_t value;
  uint16_t ignored;
  uint16_t nameLength;
  char name[34];
} TovRegistration1;

/* Array information (DllArrayServices request 1): 32 bytes. */
typedef struct TovArrayInfo {
  uint32_t dims[5];
  uint8_t rank;
  uint8_t elementKind;
  uint16_t reserved;
  uint32_t count;          /* elements */
  uint32_t dataSize;       /* bytes of element storage */
} TovArrayInfo;

struct TovServiceBlock;

/* The services. context is the service block's context handle. */
typedef intptr_t(TOVX_CALL* TovDLLServices)(void* context, int32_t request, intptr_t p2, intptr_t p3, intptr_t p4,
                                            intptr_t p5);
typedef int32_t(TOVX_CALL* TovVarHandler)(void* context, const char* name, TovValue* value, int32_t size,
                                          int32_t request);
typedef int32_t(TOVX_CALL* TovVarHandlerW)(void* context, const uint16_t* name, TovValue* value, int32_t size,
                                           int32_t request);
typedef int32_t(TOVX_CALL* TovArrHandler)(void* context, TovValue* array, int32_t i1, int32_t i2, int32_t i3,
                                          int32_t i4, int32_t i5, TovValue* element, int32_t size, int32_t request);
typedef int32_t(TOVX_CALL* TovArrayServices)(void* context, TovValue* array, int32_t size, void* block,
                                             int32_t block_size, int32_t request);
typedef int32_t(TOVX_CALL* TovStoreErrorInfo)(void* context, const char* text);
typedef intptr_t(TOVX_CALL* TovBinaryServices)(void* context, int32_t buffer, int32_t size, int32_t request);
typedef int32_t(TOVX_CALL* TovArrayStrings)(void* context, TovValue* array, int32_t size);
typedef int32_t(TOVX_CALL* TovArraySwap)(void* context, TovValue* array, int32_t size, int32_t i1, int32_t i2,
                                         int32_t i3, int32_t i4, int32_t i5, int32_t j1, int32_t j2, int32_t j3,
                                         int32_t j4, int32_t j5);

/* The service block: 68 bytes (32-bit), 124 bytes (64-bit). */
typedef struct TovServiceBlock {
  void* context;                 /* the run context handle */
  void* request;                 /* the Engine's result of the call in progress; opaque */
  uint32_t version;              /* TOVX_BLOCK_VERSION */
  uint32_t size;                 /* sizeof(TovServiceBlock) of the Engine's build */
  TovDLLServices dllServices;
  uintptr_t hostData;
  uint32_t impersonate;
  void* hostWindow;
  TovVarHandler varHandler;
  TovArrHandler arrHandler;
  TovArrayServices arrayServices;
  TovStoreErrorInfo storeErrorInfo;
  TovBinaryServices binaryServices;
  TovVarHandlerW varHandlerW;
  TovArrayStrings arrayStringsToAnsi;
  TovArrayStrings arrayStringsToUnicode;
  TovArraySwap arraySwapElements;
} TovServiceBlock;

#pragma pack(pop)

/* The answer routines the Engine passes as the fifth argument of a function call. */
typedef int32_t(TOVX_CALL* TovAnswer)(int32_t status, int32_t reserved, TovServiceBlock* block, TovValue* value);
typedef int32_t(TOVX_CALL* TovAnswer20)(int32_t status, int32_t reserved, TovServiceBlock* block,
                                        TovValue20* value);
/* kind: 0 integer, 2 a number written as text (becomes floating point), other: the text. */
typedef int32_t(TOVX_CALL* TovAnswer1)(int32_t status, int32_t reserved, TovServiceBlock* block, int32_t kind,
                                       int32_t integer, const char* text);

/* The entry points an extender exports (names in docs/extenders.md). */
typedef int32_t(TOVX_CALL* TovQueryEntry)(int32_t request, void* buffer, int32_t size);
typedef int32_t(TOVX_CALL* TovEntry2)(void* owner, void* host_module, uint32_t stamp, int32_t request, void* answer,
                                      TovServiceBlock* block, uint32_t* private_word, void* args, int32_t argc,
                                      void* result);
typedef int32_t(TOVX_CALL* TovEntry1)(void* owner, void* host_module, uint32_t stamp, int32_t request, void* answer,
                                      TovServiceBlock* block, uint32_t* private_word, const char* a1, const char* a2,
                                      const char* a3, const char* a4, const char* a5);

/* Requests of DllVarHandler (and DllArrHandler 1 to 5). */
enum TovVarRequest {
  TOVX_VAR_READ = 1,          /* strings as ANSI */
  TOVX_VAR_WRITE = 2,
  TOVX_VAR_DROP = 3,          /* DllArrHandler: free the element's value */
  TOVX_VAR_READ_WIDE = 4,     /* strings as wide strings */
  TOVX_VAR_READ_RAW = 5       /* strings in the form they are held */
};

/* Requests of DllArrayServices. */
enum TovArrayRequest { TOVX_ARRAY_INFO = 1, TOVX_ARRAY_CREATE = 2, TOVX_ARRAY_FILL = 3, TOVX_ARRAY_FREE = 4 };

/* Requests of DllBinaryServices. */
enum TovBinaryRequest {
  TOVX_BINARY_ALLOC = 1,
  TOVX_BINARY_FREE = 2,
  TOVX_BINARY_ADDRESS = 3,
  TOVX_BINARY_END = 4,
  TOVX_BINARY_SIZE = 5,
  TOVX_BINARY_SET_END = 6
};

/* Requests of DLLServices for extenders. */
enum TovServiceRequest {
  TOVX_SVC_SET_VARIABLE = 1,       /* p2 name, p3 data, p5 size */
  TOVX_SVC_GET_VARIABLE = 2,       /* p2 name, p3 buffer, p4 buffer size */
  TOVX_SVC_PUT_BINARY = 28,        /* p2 data, p3 size, p5 buffer handle */
  TOVX_SVC_STRING_ADDRESS = 41,    /* p5 string-memory offset */
  TOVX_SVC_STRING_NEW = 42,        /* p2 text -> offset */
  TOVX_SVC_BINARY_INFO = 43,       /* p2 variable name or p3 handle; p4 1 handle, 2 size, 3 end of data */
  TOVX_SVC_BINARY_SET_END = 44,    /* as 43, p4 -1, p5 new end of data */
  TOVX_SVC_ERROR_INFO = 47,        /* p2 text */
  TOVX_SVC_PARENT_WINDOW = 48
};

/* Handles of binary buffers: the first of the 128. */
#define TOVX_BINARY_FIRST 987659

#ifdef __cplusplus
}
#endif

#endif /* TOV_EXTENDER_H */
