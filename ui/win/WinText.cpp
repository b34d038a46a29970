#include "ui/win/WinText.h"

#include <vector>

namespace qnl::win {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), needed);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

std::string WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const int got = ::GetWindowTextW(window, buffer.data(), length + 1);
    return Narrow(std::wstring(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0)));
}

void SetWindowTextUtf8(HWND window, const std::string& text) {
    ::SetWindowTextW(window, Widen(text).c_str());
}

std::string WithMnemonic(const std::string& caption, const std::string& letters) {
    std::string shown;
    shown.reserve(caption.size() + 2);
    bool marked = false;
    for (const char c : caption) {
        if (c == '&') {
            shown += "&&";
            continue;
        }
        const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (!marked && (c & 0x80) == 0 && c != ' ')
            for (const char letter : letters) {
                const char wanted =
                    static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter);
                if (lower == wanted) {
                    shown += '&';
                    marked = true;
                    break;
                }
            }
        shown += c;
    }
    return shown;
}

std::string WithoutMnemonic(const std::string& shown) {
    std::string caption;
    caption.reserve(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '&') {
            caption += shown[i];
        } else if (i + 1 < shown.size() && shown[i + 1] == '&') {
            caption += '&';
            ++i;
        }
    }
    return caption;
}

std::string CaptionOf(HWND window) {
    return WithoutMnemonic(WindowText(window));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    const int got = ::GetClassNameW(window, name, 64);
    return std::wstring(name, static_cast<std::size_t>(got > 0 ? got : 0));
}

}  // namespace qnl::win
