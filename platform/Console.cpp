#include "platform/Console.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <vector>

#include "platform/Format.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace qnl {

void IConsole::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Write(text);
}

#if defined(_WIN32)
// The tool writes its own line ends ("\r\n"): standard output must not add a second CR.
StdConsole::StdConsole() {
    if (_fileno(stdout) >= 0) _setmode(_fileno(stdout), _O_BINARY);
}

void UseParentConsole() {
    auto handedOver = [](DWORD which) {
        HANDLE handle = ::GetStdHandle(which);
        return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
               ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    const bool output = handedOver(STD_OUTPUT_HANDLE);
    const bool error = handedOver(STD_ERROR_HANDLE);
    const bool input = handedOver(STD_INPUT_HANDLE);
    if (output && error && input) return;
    const bool attached = ::AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    if (!output) (void)std::freopen(attached ? "CONOUT$" : "NUL", "w", stdout);
    if (!error) (void)std::freopen(attached ? "CONOUT$" : "NUL", "w", stderr);
    if (!input) (void)std::freopen(attached ? "CONIN$" : "NUL", "r", stdin);
}
#else
StdConsole::StdConsole() = default;
void UseParentConsole() {}
#endif

void StdConsole::Write(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::optional<std::string> StdConsole::ReadLine() {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void MemoryConsole::Write(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ += text;
}

std::optional<std::string> MemoryConsole::ReadLine() {
    std::lock_guard lock(mutex_);
    if (nextInput_ >= input_.size()) return std::nullopt;
    return input_[nextInput_++];
}

std::string MemoryConsole::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void MemoryConsole::AddInput(const std::string& line) {
    std::lock_guard lock(mutex_);
    input_.push_back(line);
}

}  // namespace qnl
