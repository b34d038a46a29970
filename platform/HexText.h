// Text helpers shared by the subsystems.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qnl {

// Hexadecimal digits to a 32-bit number, most significant digit first: each digit shifts the
// value left by 4 and adds the digit. '0'..'9' and 'A'..'F' (and 'a'..'f') count; any other
// character counts 0. An empty text gives 0.
std::uint32_t ParseHexText(std::string_view text);

// Decimal conversion as atoi does it: leading white space skipped, an optional sign, digits
// up to the first non-digit; 0 when there are none. Saturates instead of overflowing.
long AtoiLike(std::string_view text);

std::string TrimWhite(std::string_view text);
// A text from a file or the operator as a message echoes it: each control character (TAB, CR,
// LF, ESC, ...) shown as '?', so it cannot move the console's cursor, break a line or send the
// terminal a command.
std::string PrintableText(std::string_view text);
std::string ToUpperAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Removes every occurrence of `token` from `text`.
void RemoveAll(std::string& text, std::string_view token);

}  // namespace qnl
