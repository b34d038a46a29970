#include "app/win/DevicePageView.h"

#include <commctrl.h>

#include <memory>
#include <string>

#include "ui/win/DialogTemplate.h"
#include "ui/win/WinText.h"

namespace qnl::win {

using P = PageDevice;

namespace {
constexpr int kRow = 20;
constexpr int kEditHeight = 21;
constexpr int kButtonHeight = 23;
}  // namespace

DevicePageView::DevicePageView(PageDevice& core, SET_REG& registerList, HWND page, HFONT font)
    : BoundPage(core.Controls(), page, font), core_(core), registerDialog_(registerList) {
    // "Firmware"
    AddGroup("Firmware", 6, 4, 628, 80);
    Check(P::kCheckFwUpdate, 18, 22, 200);
    Check(P::kCheckFwCheck, 230, 22, 200);
    AddLabel(core_.Controls().Name(P::kComboFirmware), 18, 50, 96, kEditHeight);
    Combo(P::kComboFirmware, 116, 50, 296);
    Button(P::kButtonBrowse, 420, 49, 102);
    Button(P::kButtonFwInfo, 528, 49, 98);

    // "Configuration"
    AddGroup("Configuration", 6, 88, 380, 150);
    Check(P::kCheckSubSys, 18, 106, 134);
    Label(P::kLabelSvid, 158, 106, 36);
    Edit(P::kEditSvid, 196, 105, 56);
    Label(P::kLabelSsid, 262, 106, 36);
    Edit(P::kEditSsid, 300, 105, 56);
    Check(P::kCheckPciSpeed, 18, 132, 134);
    Label(P::kLabelMaxSpeed, 158, 132, 80);
    Combo(P::kComboMaxSpeed, 240, 131, 118);
    Check(P::kCheckCustInfo, 18, 158, 134);
    AddLabel("Customer Information (MAX 31)", 158, 158, 222, kRow);
    Edit(P::kEditCustInfo, 18, 182, 356);
    Check(P::kCheckManual, 18, 210, 134);
    Button(P::kButtonRegSetting, 158, 208, 110);

    // "Testing Items"
    AddGroup("Testing Items", 392, 88, 242, 150);
    Check(P::kCheckSignalLine, 404, 106, 112);
    Check(P::kCheckFixture, 518, 106, 112);
    Check(P::kCheckTermination, 404, 128, 112);
    Check(P::kCheckLoopBack, 518, 128, 112);
    Check(P::kCheckUsb20, 404, 150, 74);
    Check(P::kCheckUsb30, 480, 150, 74);
    Check(P::kCheckUsb31, 556, 150, 74);
    Check(P::kCheckPort1, 404, 172, 74);
    Check(P::kCheckPort2, 480, 172, 74);
    Label(P::kLabelTimeout, 404, 200, 84);
    Edit(P::kEditTimeout, 490, 199, 50);

    // The extended block: shown with extended access only.
    Add(P::kFrameExtended, WC_BUTTONW, BS_GROUPBOX, 6, 242, 628, 122,
        [this](HWND frame, const ControlState& state) {
            ControlBinder::ApplyStandard(frame, state);
            // Its controls follow it (ShownWithBlock).
            for (ControlId id = P::kFrameExtended + 1; id <= P::kButtonExtSet; ++id)
                Binder().Apply(id);
        });
    Check(P::kCheckExternal, 18, 260, 220);
    Button(P::kButtonExtSet, 528, 258, 98);
    Check(P::kCheckBattery, 18, 284, 186);
    Check(P::kCheckBatteryA, 210, 284, 130);
    Check(P::kCheckBatteryB, 346, 284, 130);
    Check(P::kCheckDisablePort, 18, 308, 186);
    Check(P::kCheckDisableA, 210, 308, 130);
    Check(P::kCheckDisableB, 346, 308, 130);
    Check(P::kCheckDriving, 18, 334, 186);
    Label(P::kLabelDrivingA, 210, 334, 56);
    Edit(P::kEditDrivingA, 268, 333, 36);
    Label(P::kHintDrivingA, 308, 334, 70);
    Label(P::kLabelDrivingB, 384, 334, 56);
    Edit(P::kEditDrivingB, 442, 333, 36);
    Label(P::kHintDrivingB, 482, 334, 90);

    // Created and hidden: no operation of the tool shows these, but their state is kept (the
    // configuration image reads their fields).
    int x = 6;
    for (ControlId id = P::kCheckSmi; id <= P::kEditCurDrivingB; ++id) {
        switch (core_.Controls().Kind(id)) {
            case ControlKind::CheckBox:
                Check(id, x, 370, 60);
                break;
            case ControlKind::Radio:
                Radio(id, x, 370, 60);
                break;
            case ControlKind::Edit:
                Edit(id, x, 370, 40);
                break;
            case ControlKind::ComboBox:
                Combo(id, x, 370, 60);
                break;
            default:
                Label(id, x, 370, 40);
        }
        x = x >= 560 ? 6 : x + 10;
    }
    SetSize(640, 368);
    core_.SetRegisterDialogRunner([this] { RunRegisterDialog(); });
}

DevicePageView::~DevicePageView() {
    core_.SetRegisterDialogRunner({});
}

ControlBinder::Applier DevicePageView::ShownWithBlock(ControlId id) {
    return [this, id](HWND control, const ControlState& state) {
        ControlBinder::ApplyStandard(control, state);
        // A control of the extended block is hidden while the block is.
        if (id > P::kFrameExtended && id <= P::kButtonExtSet &&
            !core_.Controls().Get(P::kFrameExtended).visible)
            ::ShowWindow(control, SW_HIDE);
    };
}

HWND DevicePageView::Check(ControlId id, int x, int y, int width) {
    HWND control =
        Add(id, WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, x, y, width, kRow, ShownWithBlock(id));
    On(id, [this, id](int code, HWND check) {
        if (code == BN_CLICKED) core_.OnClicked(id, Checked(check));
    });
    return control;
}

HWND DevicePageView::Radio(ControlId id, int x, int y, int width) {
    // The core decides which one is chosen.
    HWND control = Add(id, WC_BUTTONW, BS_RADIOBUTTON | WS_TABSTOP, x, y, width, kRow);
    On(id, [this, id](int code, HWND) {
        if (code == BN_CLICKED) core_.OnClicked(id, true);
    });
    return control;
}

HWND DevicePageView::Button(ControlId id, int x, int y, int width) {
    HWND control = Add(id, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, x, y, width, kButtonHeight,
                       ShownWithBlock(id));
    On(id, [this, id](int code, HWND) {
        if (code == BN_CLICKED) core_.OnClicked(id, false);
    });
    return control;
}

HWND DevicePageView::Edit(ControlId id, int x, int y, int width) {
    const PageDevice::EditTraits traits = PageDevice::Traits(id);
    HWND control =
        Add(id, WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP | (traits.upperCase ? ES_UPPERCASE : 0), x, y,
            width, kEditHeight, ShownWithBlock(id));
    // The limit binds typing only: a loaded value longer than it is shown and kept whole.
    if (traits.typingLimit > 0) ::SendMessageW(control, EM_LIMITTEXT, traits.typingLimit, 0);
    On(id, [this, id](int code, HWND edit) {
        if (code == EN_CHANGE) core_.OnTextChanged(id, WindowText(edit));
    });
    return control;
}

HWND DevicePageView::Combo(ControlId id, int x, int y, int width) {
    HWND control =
        Add(id, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, x, y, width, 200);
    On(id, [this, id](int code, HWND combo) {
        if (code == CBN_SELCHANGE)
            core_.OnSelectionChanged(id,
                                     static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)));
    });
    return control;
}

HWND DevicePageView::Label(ControlId id, int x, int y, int width) {
    return Add(id, WC_STATICW, SS_LEFT | SS_CENTERIMAGE, x, y, width, kRow, ShownWithBlock(id));
}

void DevicePageView::RunRegisterDialog() {
    RunSetRegDialog(::GetAncestor(page_, GA_ROOT), registerDialog_);
}

// --- "Setting Register" -------------------------------------------------------------------

namespace {

constexpr WORD kDialogIdBase = 3000;

struct SetRegState {
    SetRegDialog* core = nullptr;
    std::unique_ptr<ControlBinder> binder;
    bool ended = false;
};

WORD DialogId(ControlId id) {
    if (id == SetRegDialog::kButtonSave) return IDOK;
    if (id == SetRegDialog::kButtonCancel) return IDCANCEL;
    return static_cast<WORD>(kDialogIdBase + id);
}

INT_PTR CALLBACK SetRegProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<SetRegState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state = reinterpret_cast<SetRegState*>(lParam);
            state->binder = std::make_unique<ControlBinder>(state->core->Controls());
            for (ControlId id : state->core->Controls().Ids())
                if (HWND control = ::GetDlgItem(dialog, DialogId(id)))
                    state->binder->Bind(id, control);
            ::SetFocus(::GetDlgItem(dialog, DialogId(SetRegDialog::kEditNumber)));
            return FALSE;
        }
        case WM_COMMAND: {
            if (state == nullptr || Applying()) return TRUE;
            const WORD id = LOWORD(wParam);
            const WORD code = HIWORD(wParam);
            if (id == IDOK) {
                // "Save" and Enter: an invalid row ends the dialog cancelled.
                const SET_REG::DialogEnd end = state->core->OnSave();
                state->ended = true;
                ::EndDialog(dialog, end == SET_REG::DialogEnd::Accepted ? IDOK : IDCANCEL);
                return TRUE;
            }
            if (id == IDCANCEL) {
                // "取消", Escape and the close box end it cancelled: the list is emptied.
                if (!state->ended) state->core->OnCancel();
                state->ended = true;
                ::EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            if (id < kDialogIdBase) return FALSE;
            const ControlId control = id - kDialogIdBase;
            HWND window = reinterpret_cast<HWND>(lParam);
            if (code == EN_CHANGE)
                state->core->OnTextChanged(control, WindowText(window));
            else if (code == CBN_SELCHANGE)
                state->core->OnSelectionChanged(
                    control, static_cast<int>(::SendMessageW(window, CB_GETCURSEL, 0, 0)));
            return TRUE;
        }
        case WM_DESTROY:
            if (state != nullptr) state->binder.reset();
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void RunSetRegDialog(HWND owner, SetRegDialog& core) {
    core.OnInitDialog();
    auto& controls = core.Controls();
    constexpr short kRowHeight = 13;
    constexpr short kTop = 30;
    const short height = static_cast<short>(kTop + SET_REG::kRows * kRowHeight + 26);
    DialogTemplate dialog("Setting Register", 236, height);
    auto text = [&](ControlId id) { return controls.Get(id).text; };
    dialog.Add(kStaticAtom, text(SetRegDialog::kLabelNumber), DialogId(SetRegDialog::kLabelNumber),
               SS_LEFT, 7, 9, 80, 9);
    dialog.Add(kEditAtom, text(SetRegDialog::kEditNumber), DialogId(SetRegDialog::kEditNumber),
               WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 90, 7, 30, 12);
    dialog.Add(kStaticAtom, text(SetRegDialog::kLabelBytes), DialogId(SetRegDialog::kLabelBytes),
               SS_CENTER, 22, 20, 40, 9);
    dialog.Add(kStaticAtom, text(SetRegDialog::kLabelAddress),
               DialogId(SetRegDialog::kLabelAddress), SS_CENTER, 66, 20, 76, 9);
    dialog.Add(kStaticAtom, text(SetRegDialog::kLabelValue), DialogId(SetRegDialog::kLabelValue),
               SS_CENTER, 146, 20, 76, 9);
    for (int r = 0; r < SET_REG::kRows; ++r) {
        const auto y = static_cast<short>(kTop + r * kRowHeight);
        dialog.Add(kStaticAtom, std::to_string(r + 1), 0xFFFF, SS_RIGHT, 4, y + 2, 14, 9);
        dialog.Add(kComboAtom, "", DialogId(SetRegDialog::Bytes(r)),
                   CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 22, y, 40, 80);
        dialog.Add(kEditAtom, "", DialogId(SetRegDialog::Address(r)),
                   WS_BORDER | WS_TABSTOP | ES_UPPERCASE | ES_AUTOHSCROLL, 66, y, 76, 12);
        dialog.Add(kEditAtom, "", DialogId(SetRegDialog::Value(r)),
                   WS_BORDER | WS_TABSTOP | ES_UPPERCASE | ES_AUTOHSCROLL, 146, y, 76, 12);
    }
    const auto buttons = static_cast<short>(kTop + SET_REG::kRows * kRowHeight + 6);
    dialog.Add(kButtonAtom, text(SetRegDialog::kButtonSave), IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP,
               118, buttons, 50, 14);
    dialog.Add(kButtonAtom, text(SetRegDialog::kButtonCancel), IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP,
               172, buttons, 50, 14);
    SetRegState state{&core, nullptr, false};
    ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.Get(), owner, SetRegProc,
                              reinterpret_cast<LPARAM>(&state));
}

}  // namespace qnl::win
