#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include "app/win/PageView.h"
#include "ui/win/WinText.h"

namespace qnl::win {

namespace {
// A page control's command identifier: its ControlId plus this.
constexpr int kIdBase = 2000;
}  // namespace

BoundPage::BoundPage(ControlStateTable& table, HWND page, HFONT font)
    : page_(page), font_(font), binder_(table) {}

HWND BoundPage::Add(ControlId id, const wchar_t* windowClass, DWORD style, int x, int y, int width,
                    int height, ControlBinder::Applier applier) {
    const int commandId = id >= 0 ? kIdBase + id : -1;
    const std::string text = id >= 0 ? binder_.Table().Get(id).text : std::string();
    HWND control =
        ::CreateWindowExW(_wcsicmp(windowClass, WC_EDITW) == 0 ? WS_EX_CLIENTEDGE : 0, windowClass,
                          Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                          page_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(commandId)),
                          ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (id >= 0) binder_.Bind(id, control, std::move(applier));
    return control;
}

HWND BoundPage::AddOwn(const wchar_t* windowClass, DWORD style, const std::string& text, int x,
                       int y, int width, int height) {
    HWND control = ::CreateWindowExW(0, windowClass, Widen(WithMnemonic(text)).c_str(),
                                     WS_CHILD | WS_VISIBLE | style, x, y, width, height, page_,
                                     nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

HWND BoundPage::AddLabel(const std::string& text, int x, int y, int width, int height) {
    return AddOwn(WC_STATICW, SS_LEFT | SS_CENTERIMAGE, text, x, y, width, height);
}

HWND BoundPage::AddGroup(const std::string& caption, int x, int y, int width, int height) {
    return AddOwn(WC_BUTTONW, BS_GROUPBOX, caption, x, y, width, height);
}

void BoundPage::On(ControlId id, std::function<void(int, HWND)> handler) {
    handlers_[kIdBase + id] = std::move(handler);
}

bool BoundPage::Checked(HWND control) {
    return ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool BoundPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_COMMAND || lParam == 0) return false;
    result = 0;
    if (Applying()) return true;  // the binder's own update, not the operator's
    auto it = handlers_.find(LOWORD(wParam));
    if (it == handlers_.end()) return true;
    it->second(HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    // A check box has toggled itself: it shows the core's state again (the core may refuse).
    if (HIWORD(wParam) == BN_CLICKED) binder_.Apply(it->first - kIdBase);
    return true;
}

}  // namespace qnl::win
