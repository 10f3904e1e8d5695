// The error fields of a run context.
#pragma once
#include <cstdint>
#include "platform/memory.h"

namespace tov {

enum ErrorModeValue : uint32_t { EM_OFF = 0, EM_CANCEL = 1, EM_NOTIFY = 2 };
enum HandlerMode : int32_t { HANDLER_OFF = 0, HANDLER_GOTO = 1, HANDLER_GOSUB = 2, HANDLER_UDF = 3,
                             HANDLER_CALLED_CODE = -1 };

constexpr uint32_t INFO_BLOCK_BYTES = 1025;

struct ErrorState {
  uint32_t lastError;
  uint32_t extendedCode;
  uint32_t errorMode;
  int32_t errorHandlerMode;
  int32_t cancelHandlerMode;
  char errorHandlerFunc[31];
  char cancelHandlerFunc[31];
  char userErrorText[256];
  char extenderErrorText[2050];
  uint32_t continueFlag;
  uint32_t quietMode;
  char quietLogFile[260];
  uint32_t stmtOffset;
  uint32_t assignTarget;
  char reportTitle[2050];
  char reportMessage[2050];
  uint32_t supportButton;
  char supportUrl[256];
  uint32_t executeSetting;       // IntControl 87
  uint32_t handlerFilledVars;    // the reserved variables were filled for the current error
  uint32_t handlerTried;         // the handler function has already declined the current error (assignment)
};

}  // namespace tov
