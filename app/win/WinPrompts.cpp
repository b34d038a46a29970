#include "app/win/WinPrompts.h"

#include <commdlg.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "ui/win/ControlBinder.h"
#include "ui/win/DialogTemplate.h"
#include "ui/win/WinText.h"

namespace qnl::win {

namespace {

constexpr UINT kRunCall = WM_APP + 2;
constexpr wchar_t kBridgeClass[] = L"QnlPromptBridge";
constexpr WORD kIdEdit = 100;
constexpr WORD kIdLabel = 101;

UINT BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return MB_ICONINFORMATION;
        case MessageIcon::Warning:
            return MB_ICONWARNING;
        case MessageIcon::Error:
            return MB_ICONERROR;
        default:
            return 0;
    }
}

// A box shows "\r\n" as a line break; a lone "\n" is made one too.
std::wstring BoxText(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) shown += '\r';
        shown += text[i];
    }
    return Widen(shown);
}

// A box is as wide as its text; its title would be cut ("QNL7350A MPTool Ver 1.1..."): when
// the box is first activated, it is widened to its whole title and its buttons kept centred.
thread_local HHOOK boxHook = nullptr;

LRESULT CALLBACK WidenBoxToTitle(int code, WPARAM wParam, LPARAM lParam) {
    if (code != HCBT_ACTIVATE) return ::CallNextHookEx(boxHook, code, wParam, lParam);
    HWND box = reinterpret_cast<HWND>(wParam);
    ::UnhookWindowsHookEx(boxHook);
    boxHook = nullptr;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return 0;
    const std::wstring title = Widen(WindowText(box));
    HDC dc = ::GetDC(box);
    HFONT font = ::CreateFontIndirectW(&metrics.lfCaptionFont);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE text{};
    ::GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &text);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::ReleaseDC(box, dc);
    // The title, the close button and the frame, with room to spare.
    const int needed =
        text.cx + 2 * ::GetSystemMetrics(SM_CXSIZE) + 2 * ::GetSystemMetrics(SM_CXFIXEDFRAME) + 24;
    RECT area{};
    ::GetWindowRect(box, &area);
    const int width = area.right - area.left;
    if (width >= needed) return 0;
    const int grow = needed - width;
    ::SetWindowPos(box, nullptr, area.left - grow / 2, area.top, needed, area.bottom - area.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") != 0) continue;
        RECT place{};
        ::GetWindowRect(child, &place);
        ::MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&place), 2);
        ::SetWindowPos(child, nullptr, place.left + grow / 2, place.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return 0;
}

int ShowBox(HWND owner, const std::string& caption, const std::string& text, UINT type) {
    boxHook = ::SetWindowsHookExW(WH_CBT, WidenBoxToTitle, nullptr, ::GetCurrentThreadId());
    const int answer = ::MessageBoxW(owner, BoxText(text).c_str(), Widen(caption).c_str(), type);
    if (boxHook != nullptr) {
        ::UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
    }
    return answer;
}

}  // namespace

std::wstring ChooserFilter(const std::string& windowsFilter) {
    std::wstring filter = Widen(windowsFilter);
    // "A|*.a||": the pairs end at an empty description.
    while (!filter.empty() && filter.back() == L'|') filter.pop_back();
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    return filter;
}

WinPrompts::WinPrompts(std::string defaultCaption)
    : defaultCaption_(std::move(defaultCaption)),
      guiThread_(::GetCurrentThreadId()),
      messageBox_(ShowMessageBox),
      retryBox_(AskRetryBox),
      serialNumber_(RunSerialNumberDialog),
      login_(AskLoginDialog),
      fileChooser_(ChooseFileDialog) {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &WinPrompts::BridgeProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kBridgeClass;
        return ::RegisterClassW(&windowClass) != 0;
    }();
    (void)registered;
    bridge_ = ::CreateWindowExW(0, kBridgeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
}

WinPrompts::~WinPrompts() {
    ::DestroyWindow(bridge_);
}

LRESULT CALLBACK WinPrompts::BridgeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunCall) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void WinPrompts::OnGuiThread(const std::function<void()>& call) {
    if (::GetCurrentThreadId() == guiThread_) {
        call();
        return;
    }
    // The GUI thread runs it inside its message loop (or a modal one) and the worker waits.
    ::SendMessageW(bridge_, kRunCall, 0, reinterpret_cast<LPARAM>(&call));
}

void WinPrompts::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                             const std::string& /*consoleText*/) {
    const std::string shown = caption.empty() ? defaultCaption_ : caption;
    OnGuiThread([&] { messageBox_(owner_, shown, text, icon); });
}

bool WinPrompts::AskRetry(const std::string& text, const std::string& caption, MessageIcon icon) {
    const std::string shown = caption.empty() ? defaultCaption_ : caption;
    bool retry = false;
    OnGuiThread([&] { retry = retryBox_(owner_, shown, text, icon); });
    return retry;
}

bool WinPrompts::AskSerialNumber(ISerialNumberEntry& entry) {
    bool accepted = false;
    OnGuiThread([&] { accepted = serialNumber_(owner_, entry); });
    return accepted;
}

std::optional<std::string> WinPrompts::AskLogin(const LoginQuestion& question) {
    std::optional<std::string> answer;
    OnGuiThread([&] { answer = login_(owner_, question); });
    return answer;
}

std::optional<std::string> WinPrompts::ChooseFile(const FileQuestion& question) {
    std::optional<std::string> answer;
    OnGuiThread([&] { answer = fileChooser_(owner_, question); });
    return answer;
}

// --- The dialogs ------------------------------------------------------------------------------

void ShowMessageBox(HWND owner, const std::string& caption, const std::string& text,
                    MessageIcon icon) {
    ShowBox(owner, caption, text, MB_OK | BoxIcon(icon));
}

bool AskRetryBox(HWND owner, const std::string& caption, const std::string& text,
                 MessageIcon icon) {
    return ShowBox(owner, caption, text, MB_RETRYCANCEL | BoxIcon(icon)) == IDRETRY;
}

namespace {

struct LoginState {
    const LoginQuestion* question = nullptr;
    std::optional<std::string> answer;
};

INT_PTR CALLBACK LoginProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            const auto* state = reinterpret_cast<LoginState*>(lParam);
            ::SendDlgItemMessageW(dialog, kIdEdit, EM_LIMITTEXT, state->question->maxLength, 0);
            ::SetFocus(::GetDlgItem(dialog, kIdEdit));
            return FALSE;  // the focus is set
        }
        case WM_COMMAND: {
            auto* state = reinterpret_cast<LoginState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
            if (LOWORD(wParam) == IDOK) {
                state->answer = WindowText(::GetDlgItem(dialog, kIdEdit));
                ::EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<std::string> AskLoginDialog(HWND owner, const LoginQuestion& question) {
    DialogTemplate dialog(question.caption, 186, 50);
    dialog.Add(kStaticAtom, question.passwordLabel, kIdLabel, SS_LEFT, 7, 10, 50, 9);
    dialog.Add(kEditAtom, "", kIdEdit, WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL, 60, 8,
               119, 13);
    dialog.Add(kButtonAtom, question.acceptText, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 75, 29, 50,
               14);
    dialog.Add(kButtonAtom, question.cancelText, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 129, 29, 50,
               14);
    LoginState state{&question, std::nullopt};
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.Get(), owner, LoginProc,
                                  reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return std::nullopt;
    return state.answer;
}

std::optional<std::string> ChooseFileDialog(HWND owner, const FileQuestion& question) {
    std::vector<wchar_t> name(MAX_PATH * 4, L'\0');
    const std::wstring filter = ChooserFilter(question.filter);
    const std::wstring folder = Widen(question.startFolder);
    const std::wstring extension = Widen(question.defaultExtension);
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    chooser.lpstrFilter = filter.c_str();
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = name.data();
    chooser.nMaxFile = static_cast<DWORD>(name.size());
    chooser.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    chooser.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // The process's current folder stays: the version file and the workers depend on it.
    chooser.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_EXPLORER;
    bool chosen = false;
    if (question.mode == FileQuestion::Mode::Save) {
        if (question.confirmOverwrite) chooser.Flags |= OFN_OVERWRITEPROMPT;
        chosen = ::GetSaveFileNameW(&chooser) != FALSE;
    } else {
        chooser.Flags |= OFN_FILEMUSTEXIST;
        chosen = ::GetOpenFileNameW(&chooser) != FALSE;
    }
    if (!chosen || name[0] == L'\0') return std::nullopt;
    return Narrow(name.data());
}

namespace {

struct SerialState {
    ISerialNumberEntry* entry = nullptr;
};

INT_PTR CALLBACK SerialNumberProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<SerialState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            reinterpret_cast<SerialState*>(lParam)->entry->OnInitDialog();
            // The scanner types blindly: the dialog comes to the front with the edit focused.
            ::SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            ::SetForegroundWindow(dialog);
            ::SetFocus(::GetDlgItem(dialog, kIdEdit));
            return FALSE;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) ::SetFocus(::GetDlgItem(dialog, kIdEdit));
            return FALSE;
        case WM_COMMAND: {
            if (state == nullptr) return FALSE;
            HWND edit = ::GetDlgItem(dialog, kIdEdit);
            if (LOWORD(wParam) == kIdEdit && HIWORD(wParam) == EN_CHANGE) {
                if (Applying()) return TRUE;
                const std::string typed = WindowText(edit);
                const std::string shown = state->entry->OnEnChangeEdit(typed);
                if (shown != typed) {
                    ProgrammaticUpdate applying;
                    SetWindowTextUtf8(edit, shown);
                    const auto end = static_cast<WPARAM>(Widen(shown).size());
                    ::SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
                }
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK) {
                // Enter accepts a long enough number; otherwise the edit starts over.
                if (state->entry->OnEnter()) {
                    ::EndDialog(dialog, IDOK);
                } else {
                    ProgrammaticUpdate applying;
                    ::SetWindowTextW(edit, L"");
                }
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                state->entry->OnCancel();
                ::EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

bool RunSerialNumberDialog(HWND owner, ISerialNumberEntry& entry) {
    DialogTemplate dialog("Serial Number Entering", 200, 28);
    dialog.Add(kStaticAtom, "Serial Number :", kIdLabel, SS_LEFT, 7, 10, 52, 9);
    dialog.Add(kEditAtom, "", kIdEdit, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 62, 8, 131, 13);
    SerialState state{&entry};
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.Get(), owner,
                                     SerialNumberProc, reinterpret_cast<LPARAM>(&state)) == IDOK;
}

}  // namespace qnl::win
