#include "app/win/WindowApp.h"

#include <commctrl.h>

#include <atomic>
#include <exception>
#include <string>
#include <thread>

#include "app/win/MainWindow.h"
#include "ui/UiTextTable.h"
#include "ui/win/WinText.h"

namespace qnl {

namespace {

constexpr UINT kMsgStartUpDone = WM_APP + 20;
constexpr wchar_t kSplashClass[] = L"QnlStartUp";

HWND NewStartUpWindow() {
    static const bool registered = [] {
        WNDCLASSW splash{};
        splash.lpfnWndProc = DefWindowProcW;
        splash.hInstance = ::GetModuleHandleW(nullptr);
        splash.hCursor = ::LoadCursorW(nullptr, IDC_APPSTARTING);
        splash.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        splash.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        splash.lpszClassName = kSplashClass;
        return ::RegisterClassW(&splash) != 0;
    }();
    (void)registered;
    const std::wstring title = win::Widen(std::string(kProductName) + " " + kProductVersion);
    RECT frame{0, 0, 320, 70};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_MINIMIZEBOX;
    ::AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HWND window = ::CreateWindowExW(0, kSplashClass, title.c_str(), style,
                                    (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                    (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                    nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    HWND text = ::CreateWindowExW(0, WC_STATICW, win::Widen(kStatusSearching).c_str(),
                                  WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 0, 0, 320, 70,
                                  window, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
    return window;
}

}  // namespace

WindowApp::WindowApp(int& /*argc*/, char** /*argv*/) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                                       ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    prompts_ = std::make_unique<win::WinPrompts>(std::string(kProductName) + " " + kProductVersion);
}

WindowApp::~WindowApp() = default;

std::optional<std::int32_t> WindowApp::StartUp(
    const std::function<std::optional<std::int32_t>()>& startUp) {
    HWND splash = NewStartUpWindow();
    ::ShowWindow(splash, SW_SHOWNORMAL);
    ::UpdateWindow(splash);
    prompts_->SetWindow(splash);
    std::optional<std::int32_t> code;
    std::atomic<bool> done{false};
    // The boxes start-up shows are sent to this thread and shown here while the loop runs;
    // the loop ends when start-up has.
    std::thread thread([&] {
        try {
            code = startUp();
        } catch (const std::exception&) {
            code = 1;  // start-up handles its own failures; this is a last guard
        }
        done = true;
        ::PostMessageW(splash, kMsgStartUpDone, 0, 0);
    });
    MSG message{};
    while (!done && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    thread.join();
    prompts_->SetWindow(nullptr);
    ::DestroyWindow(splash);
    return code;
}

int WindowApp::Exec(CQNL735_MPToolDlg& dialog, ToolContext& context, win::PageViewFactories pages) {
    win::MainWindow window(dialog, context, std::move(pages));
    prompts_->SetWindow(window.Handle());
    ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
    ::UpdateWindow(window.Handle());
    MSG message{};
    while (!window.Closed() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    prompts_->SetWindow(nullptr);
    return window.ExitCode();
}

}  // namespace qnl
