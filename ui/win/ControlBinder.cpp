#include "ui/win/ControlBinder.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "ui/win/WinText.h"

namespace qnl::win {

namespace {

thread_local int applyingDepth = 0;
constexpr UINT kApplyPending = WM_APP + 1;
constexpr wchar_t kMessageClass[] = L"QnlControlBinder";

void RegisterMessageClass() {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kMessageClass;
        return ::RegisterClassW(&windowClass) != 0;
    }();
    (void)registered;
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int length = static_cast<int>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
        std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max(length, 0)));
        items.push_back(Narrow(text));
    }
    return items;
}

bool IsClass(HWND window, const wchar_t* name) {
    return _wcsicmp(ClassOf(window).c_str(), name) == 0;
}

// A control the operator types into or chooses from, which the label before it names.
bool IsInput(HWND window) {
    return window != nullptr && (IsClass(window, WC_EDITW) || IsClass(window, WC_COMBOBOXW) ||
                                 IsClass(window, WC_LISTVIEWW) || IsClass(window, WC_LISTBOXW));
}

// A static control showing text (not an icon, a picture or a drawing of the view's own).
bool IsLabel(HWND window) {
    if (window == nullptr || !IsClass(window, WC_STATICW)) return false;
    const LONG type = ::GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK;
    return type != SS_BITMAP && type != SS_ICON && type != SS_OWNERDRAW && type != SS_ENHMETAFILE &&
           type != SS_ETCHEDFRAME && type != SS_ETCHEDHORZ && type != SS_ETCHEDVERT;
}

}  // namespace

ProgrammaticUpdate::ProgrammaticUpdate() {
    ++applyingDepth;
}
ProgrammaticUpdate::~ProgrammaticUpdate() {
    --applyingDepth;
}
bool Applying() {
    return applyingDepth > 0;
}

ControlBinder::ControlBinder(ControlStateTable& table)
    : table_(table), guiThread_(::GetCurrentThreadId()) {
    RegisterMessageClass();
    messages_ = ::CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(messages_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(messages_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageProc));
    token_ = table_.Subscribe([this](ControlId id) { OnChanged(id); });
}

ControlBinder::~ControlBinder() {
    // After this no worker posts; what was posted dies with the message window.
    table_.Unsubscribe(token_);
    ::DestroyWindow(messages_);
}

LRESULT CALLBACK ControlBinder::MessageProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == kApplyPending) {
        auto* binder = reinterpret_cast<ControlBinder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (binder != nullptr) binder->ApplyPending();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void ControlBinder::OnChanged(ControlId id) {
    if (::GetCurrentThreadId() == guiThread_) {
        Apply(id);
        return;
    }
    // One posted message carries every change made before the GUI thread gets to it.
    bool post = false;
    {
        std::lock_guard lock(pendingMutex_);
        post = pending_.empty();
        pending_.insert(id);
    }
    if (post) ::PostMessageW(messages_, kApplyPending, 0, 0);
}

void ControlBinder::ApplyPending() {
    std::set<ControlId> ids;
    {
        std::lock_guard lock(pendingMutex_);
        ids.swap(pending_);
    }
    for (ControlId id : ids) Apply(id);
}

void ControlBinder::Bind(ControlId id, HWND control, Applier applier) {
    bindings_[id] = Binding{control, std::move(applier), {}};
    Apply(id);
}

void ControlBinder::SetMnemonic(ControlId id, const std::string& letters) {
    auto it = bindings_.find(id);
    if (it == bindings_.end()) return;
    it->second.mnemonics = letters;
    Apply(id);
}

HWND ControlBinder::Control(ControlId id) const {
    auto it = bindings_.find(id);
    return it == bindings_.end() ? nullptr : it->second.control;
}

ControlId ControlBinder::IdOf(HWND control) const {
    for (const auto& [id, binding] : bindings_)
        if (binding.control == control) return id;
    return -1;
}

void ControlBinder::Apply(ControlId id) {
    auto it = bindings_.find(id);
    if (it == bindings_.end() || !::IsWindow(it->second.control)) return;
    HWND control = it->second.control;
    const ControlState state = table_.Get(id);
    ProgrammaticUpdate applying;
    bool enabled = state.enabled;
    if (IsLabel(control)) {
        HWND buddy = ::GetWindow(control, GW_HWNDNEXT);
        if (IsInput(buddy)) enabled = enabled && ::IsWindowEnabled(buddy) != FALSE;
    }
    if ((::IsWindowEnabled(control) != FALSE) != enabled)
        ::EnableWindow(control, enabled ? TRUE : FALSE);
    const bool shown = (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != state.visible) ::ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
    if (it->second.applier)
        it->second.applier(control, state);
    else
        ApplyStandard(control, state, it->second.mnemonics);
    if (IsInput(control)) FollowBuddy(control);
}

bool ControlBinder::OwnEnabled(HWND label) const {
    const ControlId id = IdOf(label);
    return id < 0 || table_.Get(id).enabled;
}

void ControlBinder::FollowBuddy(HWND input) {
    HWND label = ::GetWindow(input, GW_HWNDPREV);
    if (!IsLabel(label)) return;
    const bool enabled = OwnEnabled(label) && ::IsWindowEnabled(input) != FALSE;
    if ((::IsWindowEnabled(label) != FALSE) != enabled)
        ::EnableWindow(label, enabled ? TRUE : FALSE);
}

void ControlBinder::ApplyAll() {
    for (auto& [id, binding] : bindings_) Apply(id);
}

void ControlBinder::ApplyStandard(HWND control, const ControlState& state,
                                  const std::string& mnemonics) {
    ProgrammaticUpdate applying;
    const std::wstring kind = ClassOf(control);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    // Buttons and labels read "&" as the mark of an Alt key: a caption's own is doubled.
    auto setText = [&](const std::string& text) {
        if (WindowText(control) != text) SetWindowTextUtf8(control, text);
    };
    if (_wcsicmp(kind.c_str(), WC_BUTTONW) == 0) {
        setText(WithMnemonic(state.text, mnemonics));
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
            type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
            const WPARAM check = state.checked ? BST_CHECKED : BST_UNCHECKED;
            if (static_cast<WPARAM>(::SendMessageW(control, BM_GETCHECK, 0, 0)) != check)
                ::SendMessageW(control, BM_SETCHECK, check, 0);
        }
    } else if (_wcsicmp(kind.c_str(), WC_EDITW) == 0) {
        if (((style & ES_READONLY) != 0) != state.readOnly)
            ::SendMessageW(control, EM_SETREADONLY, state.readOnly ? TRUE : FALSE, 0);
        if (WindowText(control) != state.text) {
            // Keep the caret where the operator left it when the core only filtered the text.
            DWORD start = 0;
            ::SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
            const std::wstring text = Widen(state.text);
            ::SetWindowTextW(control, text.c_str());
            const WPARAM caret = std::min<std::size_t>(start, text.size());
            ::SendMessageW(control, EM_SETSEL, caret, static_cast<LPARAM>(caret));
        }
    } else if (_wcsicmp(kind.c_str(), WC_STATICW) == 0) {
        const LONG type = style & SS_TYPEMASK;
        if (type != SS_BITMAP && type != SS_ICON && type != SS_OWNERDRAW)
            setText((style & SS_NOPREFIX) != 0 ? state.text : WithMnemonic(state.text));
    } else if (_wcsicmp(kind.c_str(), WC_COMBOBOXW) == 0) {
        if (ComboItems(control) != state.items) {
            ::SendMessageW(control, CB_RESETCONTENT, 0, 0);
            for (const auto& item : state.items)
                ::SendMessageW(control, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(Widen(item).c_str()));
        }
        const int count = static_cast<int>(::SendMessageW(control, CB_GETCOUNT, 0, 0));
        const int selection = state.selection < count ? state.selection : -1;
        if (static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0)) != selection)
            ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    } else if (_wcsicmp(kind.c_str(), PROGRESS_CLASSW) == 0) {
        if (static_cast<int>(::SendMessageW(control, PBM_GETPOS, 0, 0)) != state.value)
            ::SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(state.value), 0);
    } else if (_wcsicmp(kind.c_str(), WC_TABCONTROLW) == 0) {
        const int count = TabCtrl_GetItemCount(control);
        if (state.value >= 0 && state.value < count && TabCtrl_GetCurSel(control) != state.value)
            TabCtrl_SetCurSel(control, state.value);
    }
}

}  // namespace qnl::win
