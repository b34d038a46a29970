// printf-style formatting into owned strings and fixed-size buffers.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace qnl {

// Formats by the printf rules. Never overflows; the result is complete (grows as needed).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string VFormat(const char* format, va_list args);

// Formats into a buffer of `capacity` bytes (including the terminating NUL), cutting the text
// if needed, as a fixed message buffer does.
std::string FormatBounded(std::size_t capacity, const char* format, va_list args);

}  // namespace qnl
