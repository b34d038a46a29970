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

// A caption as a button or label shows it: an "&" of the caption itself doubled (the control
// would otherwise underline the next letter), and an "&" before the first of `letters` (ASCII,
// either case) it holds, which makes that letter the control's Alt key. The caption stays the
// control's accessible name: the system drops the marks when it reads the text out.
std::string WithMnemonic(const std::string& caption, const std::string& letters = {});
// What such a text reads as: the marks dropped, "&&" back to "&".
std::string WithoutMnemonic(const std::string& shown);
// A button's or label's text as the operator reads it.
std::string CaptionOf(HWND window);

// The class of a window ("Button", "Edit", ...), as registered.
std::wstring ClassOf(HWND window);

}  // namespace qnl::win
