// Text between the core (UTF-8) and the system's controls (UTF-16): every caption, edit and
// message goes through here and the W functions, so "取消" shows as written.
#pragma once

#include <windows.h>

#include <string>

namespace qnl::win {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// A window's text as UTF-8, and set from UTF-8.
std::string WindowText(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);

// The class of a window ("Button", "Edit", ...), as registered.
std::wstring ClassOf(HWND window);

}  // namespace qnl::win
