// Hexadecimal text of strings: two digits per byte, or four per UTF-16 unit with the low byte first.
#pragma once
#include <cstddef>
#include <string>

namespace tov {

// Upper-case digits, no separators.
std::string hex_of_bytes(const char* bytes, size_t n);
void hex_into(const char* bytes, size_t n, char* out);   // 2n digits and a NUL

std::string hex_of_units(const char16_t* units, size_t n);
// The inverse: an even number of digits (four per unit), either case, nothing else. False for any other
// text and for a zero byte or unit, which a string cannot hold.
bool bytes_of_hex(const char* hex, std::string* out);
bool units_of_hex(const char* hex, std::u16string* out);

// Hex text of binary data: pairs of digits (either case) that blanks, carriage returns and line feeds may
// separate, never inside a pair; zero bytes are data like any other.
bool is_hex_separator(char c);
size_t hex_digit_count(const char* text);      // the characters that are not separators
bool bytes_of_hex_pairs(const char* text, std::string* out);

}  // namespace tov
