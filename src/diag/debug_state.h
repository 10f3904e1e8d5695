// The debugging fields of a run context: the trace file, the step debugger and their settings.
#pragma once
#include <cstdint>

namespace tov {

enum TraceMode : uint32_t { TRACE_OFF = 0, TRACE_FULL = 1, TRACE_ERROR_DUMP = 2 };
enum TraceFlags : uint32_t {
  TRACE_NO_TIMES = 1,          // no "(ms) " times in the records
  TRACE_DUMP_AT_ERROR = 2,     // a failing end writes the error dump (variables) instead of the full end
  TRACE_KEYWORD_DUMP = 4,      // the keyword lookup dump at every keyword lookup
};

constexpr uint32_t TRACE_FILE_BYTES = 260;
constexpr uint32_t STEP_VARIABLE_BYTES = 256;
constexpr uint32_t TRACE_OUTCOME_BYTES = 1281;   // an outcome line is cut at 1280 characters
constexpr uint32_t TRACE_CALLED_BYTES = 260;

struct DebugState {
  uint32_t traceMode;
  char traceFile[TRACE_FILE_BYTES];     // "*DEBUGDATA*": to the system debugger
  uint32_t traceFlags;
  uint32_t startTick;                   // 0: the trace is not yet initialised in this run
  uint16_t lastTracedUdf;               // function whose "In UDF" header was written last
  uint32_t savedTraceMode;              // DebugTrace 22 inside called code turns this back on
  int32_t stepMode;                     // 0 off, 1 on, -1 on also inside silent structures
  char stepVariable[STEP_VARIABLE_BYTES];
  // The function or script of the last call record (called_name reads it): a script's name is copied here; a
  // function's lives in the function's record, as long as the context, and is only pointed to.
  char calledName[TRACE_CALLED_BYTES];
  const char* calledFunction;           // null: calledName holds the name
  uint32_t calledFunctionLength;
  // The step dialog's view of the statement just run.
  char stepOutcome[TRACE_OUTCOME_BYTES];
  char stepError[TRACE_OUTCOME_BYTES];
  char stepPrevious[2050];
  int32_t stepX, stepY;                 // last position of the step dialog; stepPlaced when set
  uint32_t stepPlaced;
  int32_t switchValue;                  // the value the last Switch or Case tested
  uint16_t raisedError;                 // the error the last statement raised, before its dispatch
  uint32_t handlerGosub;                // the statement's error started a GoSub handler: 1 cancel, 2 error
};

}  // namespace tov
