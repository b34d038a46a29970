#include "ui/win/ProgressBar.h"

// After windows.h.
#include <commctrl.h>

namespace qnl::win {

namespace {

LRESULT CALLBACK PaintGreen(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            UINT_PTR /*id*/, DWORD_PTR /*data*/) {
    switch (message) {
        case WM_ERASEBKGND:
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = ::BeginPaint(window, &paint);
            RECT area{};
            ::GetClientRect(window, &area);
            ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_WINDOW));
            const auto low = static_cast<int>(::SendMessageW(window, PBM_GETRANGE, TRUE, 0));
            const auto high = static_cast<int>(::SendMessageW(window, PBM_GETRANGE, FALSE, 0));
            const auto position = static_cast<int>(::SendMessageW(window, PBM_GETPOS, 0, 0));
            if (high > low && position > low) {
                RECT bar = area;
                const int span = area.right - area.left;
                bar.right = area.left + ::MulDiv(span, position - low, high - low);
                HBRUSH green = ::CreateSolidBrush(kProgressGreen);
                ::FillRect(dc, &bar, green);
                ::DeleteObject(green);
            }
            ::EndPaint(window, &paint);
            return 0;
        }
        default:
            return ::DefSubclassProc(window, message, wParam, lParam);
    }
}

}  // namespace

void PaintProgressGreen(HWND progress) {
    // A sunken edge as the classic control has it.
    ::SetWindowLongPtrW(progress, GWL_EXSTYLE,
                        ::GetWindowLongPtrW(progress, GWL_EXSTYLE) | WS_EX_STATICEDGE);
    ::SetWindowSubclass(progress, PaintGreen, 1, 0);
    ::SetWindowPos(progress, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOACTIVATE);
}

}  // namespace qnl::win
