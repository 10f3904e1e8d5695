// The current token: one token at a time, read from the line at prog.
#pragma once
#include <cstdint>
#include "lang/value.h"

namespace tov {

enum TokenType : uint8_t { TT_END = 0, TT_DELIMITER = 1, TT_VARIABLE = 2, TT_INTEGER = 3, TT_STRING = 4, TT_FLOAT = 5 };

constexpr uint32_t TOKEN_TEXT_BYTES = 2050;
constexpr uint32_t STRING_LITERAL_MAX = 2049;
constexpr int16_t DELIM_STRING_TOKEN = -1;  // 65535 as unsigned: set by get_string_token

struct TokenState {
  const char* prog;            // next unread character of the line
  const char* tokenStart;      // where the current token began (putback of tokens whose text differs)
  uint8_t tok_type;
  int16_t delim_type;
  uint8_t prevType;            // type and code of the previous token (address-of rule)
  int16_t prevDelim;
  uint8_t addressOfPending;
  uint8_t derefPending;
  uint8_t persistentMode;
  uint16_t curUdfNumber;       // user function being executed, for persistent names
  uint16_t varSlot;            // slot of the last TT_VARIABLE token
  char varName[VARNAME_BYTES];
  char text[TOKEN_TEXT_BYTES];
  uint8_t scanOnly;            // reading a line to compile it: names are not looked up or created
};

}  // namespace tov
