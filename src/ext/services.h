// The extender service interface inside the Engine: the service block handed to host and extender calls,
// the answer routines through which they deliver results, the value records that cross the boundary, and
// the services themselves (exported under their own names by engine/exports.cpp).
#pragma once
#include <cstddef>
#include <cstdint>

#include "ext/tovextender.h"

namespace tov {

struct RunContext;
struct Value;
struct ValueCore;

using ExtValue = TovValue;
using ExtValue20 = TovValue20;
using ServiceBlock = TovServiceBlock;
constexpr uint32_t INTERFACE_STAMP = TOVX_STAMP;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ExtValue) == 40 && sizeof(ExtValue20) == 20 && sizeof(ServiceBlock) == 68);
static_assert(sizeof(TovArrayInfo) == 32 && sizeof(TovRegistration) == 56 && sizeof(TovRegistration1) == 44);
#else
static_assert(sizeof(ExtValue) == 44 && sizeof(ExtValue20) == 24 && sizeof(ServiceBlock) == 124);
#endif
static_assert(offsetof(ExtValue, f) == 16 && offsetof(ExtValue, i) == 24 && offsetof(ExtValue, type) == 28 &&
              offsetof(ExtValue, str) == 32);

// Fills a service block for a call whose result goes to request (nullptr outside function calls).
void make_service_block(RunContext* ctx, ServiceBlock* block, Value* request);

// Which string a record built from a value points to.
enum class RecordText { Ansi, Wide, AsHeld };
// A record describing a value (strings and arrays are referred to, not copied). A form that the value
// lacks is not made here.
void record_of(RunContext* ctx, const ValueCore& v, RecordText text, ExtValue* out);

// Answer routines: they store an answer as the result of the call in progress and return its status.
int32_t TOVX_CALL viper_answer(int32_t status, int32_t reserved, ServiceBlock* block, ExtValue* value);
int32_t TOVX_CALL viper_answer20(int32_t status, int32_t reserved, ServiceBlock* block, ExtValue20* value);
int32_t TOVX_CALL viper_answer1(int32_t status, int32_t reserved, ServiceBlock* block, int32_t kind,
                                int32_t integer, const char* text);

// Stores the message of a failed host or extender call as the extender error text and (cut to 255
// characters) the user error text; nullptr stands for the message of an undefined error.
void set_extender_message(RunContext* ctx, const char* text);

// Turns a negative result of a host or extender function into the run's error (and reports it where the
// error model says so).
void extender_failure(RunContext* ctx, int32_t status);

// --- The services -------------------------------------------------------------------------------------
intptr_t TOVX_CALL dll_services(void* context, int32_t request, intptr_t p2, intptr_t p3, intptr_t p4, intptr_t p5);
int32_t TOVX_CALL dll_var_handler(void* context, const char* name, ExtValue* value, int32_t size, int32_t request);
int32_t TOVX_CALL dll_var_handler_w(void* context, const uint16_t* name, ExtValue* value, int32_t size,
                                    int32_t request);
int32_t TOVX_CALL dll_arr_handler(void* context, ExtValue* array, int32_t i1, int32_t i2, int32_t i3, int32_t i4,
                                  int32_t i5, ExtValue* element, int32_t size, int32_t request);
int32_t TOVX_CALL dll_array_services(void* context, ExtValue* array, int32_t size, void* block, int32_t block_size,
                                     int32_t request);
int32_t TOVX_CALL dll_store_error_info(void* context, const char* text);
intptr_t TOVX_CALL dll_binary_services(void* context, int32_t buffer, int32_t size, int32_t request);
int32_t TOVX_CALL dll_array_strings_to_ansi(void* context, ExtValue* array, int32_t size);
int32_t TOVX_CALL dll_array_strings_to_unicode(void* context, ExtValue* array, int32_t size);
int32_t TOVX_CALL dll_array_swap_elements(void* context, ExtValue* array, int32_t size, int32_t i1, int32_t i2,
                                          int32_t i3, int32_t i4, int32_t i5, int32_t j1, int32_t j2, int32_t j3,
                                          int32_t j4, int32_t j5);

}  // namespace tov
