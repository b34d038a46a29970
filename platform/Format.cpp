#include "platform/Format.h"

#include <cstdio>
#include <vector>

namespace qnl {

std::string VFormat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<std::size_t>(needed));
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    return text;
}

std::string FormatBounded(std::size_t capacity, const char* format, va_list args) {
    if (capacity == 0) return {};
    std::vector<char> buffer(capacity, '\0');
    const int written = std::vsnprintf(buffer.data(), capacity, format, args);
    if (written < 0) return {};
    return std::string(buffer.data());
}

}  // namespace qnl
