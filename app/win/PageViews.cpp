// The upgrade and test pages' views over their cores (the device settings page has a file of
// its own), and the pages' factories in tab order.
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <string>

#include "app/win/DevicePageView.h"
#include "app/win/PageView.h"
#include "app/win/WindowApp.h"
#include "ui/win/ProgressBar.h"
#include "ui/win/WinText.h"

namespace qnl {

namespace win {
namespace {

constexpr int kButtonHeight = 23;
constexpr int kCheckHeight = 20;

// "Firmware Upgrade Enable", "Firmware Check Enable", the firmware list with "Firmware
// Browser", then "Firmware Info" and "Firmware Upgrade".
class UpgradePageView final : public BoundPage {
  public:
    UpgradePageView(UpgradePageCore& core, HWND page, HFONT font)
        : BoundPage(core.Controls(), page, font), core_(core) {
        Add(kUpgFwUpgradeEnable, WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 12, 12, 300,
            kCheckHeight);
        Add(kUpgFwCheckEnable, WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 12, 38, 300, kCheckHeight);
        AddLabel("Firmware File", 12, 70, 80, 21);
        Add(kUpgFirmwareList, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 96, 70, 400,
            200);
        Add(kUpgFirmwareBrowser, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 504, 69, 124,
            kButtonHeight);
        Add(kUpgFirmwareInfo, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 376, 108, 120, kButtonHeight);
        Add(kUpgFirmwareUpgrade, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 504, 108, 124,
            kButtonHeight);
        SetSize(640, 140);

        On(kUpgFwUpgradeEnable, [this](int code, HWND control) {
            if (code == BN_CLICKED) core_.OnBnClickedCheckFwUpgradeEnable(Checked(control));
        });
        On(kUpgFwCheckEnable, [this](int code, HWND control) {
            if (code == BN_CLICKED) core_.OnBnClickedCheckFwCheckEnable(Checked(control));
        });
        On(kUpgFirmwareList, [this](int code, HWND control) {
            if (code == CBN_SELCHANGE)
                core_.OnCbnSelchangeComboFirmware(
                    static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0)));
        });
        On(kUpgFirmwareBrowser, [this](int code, HWND) {
            if (code == BN_CLICKED) core_.OnBnClickedButtonFirmwareBrowser();
        });
        On(kUpgFirmwareInfo, [this](int code, HWND) {
            if (code == BN_CLICKED) core_.OnBnClickedButtonFWInfo();
        });
        On(kUpgFirmwareUpgrade, [this](int code, HWND) {
            if (code == BN_CLICKED) core_.OnBnClickedButtonFirmwareUpgrade();
        });
    }

  private:
    UpgradePageCore& core_;
};

// The two port icons: a green plug for connected, a grey ring for not connected.
void DrawPortIcon(const DRAWITEMSTRUCT& item, bool connected) {
    HDC dc = item.hDC;
    ::FillRect(dc, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    const int size = 16;
    const int x = (item.rcItem.left + item.rcItem.right - size) / 2;
    const int y = (item.rcItem.top + item.rcItem.bottom - size) / 2;
    if (connected) {
        HBRUSH fill = ::CreateSolidBrush(kProgressGreen);
        HPEN edge = ::CreatePen(PS_SOLID, 1, RGB(0, 90, 45));
        HGDIOBJ oldBrush = ::SelectObject(dc, fill);
        HGDIOBJ oldPen = ::SelectObject(dc, edge);
        ::Ellipse(dc, x, y, x + size, y + size);
        HPEN white = ::CreatePen(PS_SOLID, 2, RGB(255, 255, 255));
        ::SelectObject(dc, white);
        ::MoveToEx(dc, x + 5, y + 8, nullptr);
        ::LineTo(dc, x + 11, y + 8);
        ::MoveToEx(dc, x + 8, y + 4, nullptr);
        ::LineTo(dc, x + 8, y + 12);
        ::SelectObject(dc, oldPen);
        ::SelectObject(dc, oldBrush);
        ::DeleteObject(white);
        ::DeleteObject(edge);
        ::DeleteObject(fill);
    } else {
        HPEN ring = ::CreatePen(PS_SOLID, 2, RGB(150, 150, 150));
        HGDIOBJ oldPen = ::SelectObject(dc, ring);
        HGDIOBJ oldBrush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
        ::Ellipse(dc, x + 1, y + 1, x + size - 1, y + size - 1);
        ::SelectObject(dc, oldBrush);
        ::SelectObject(dc, oldPen);
        ::DeleteObject(ring);
    }
}

// "Function Test Setting", "Testing Items" and "Port Status" with the port icons, the
// progress bar (green) and "Reflash"; the page's own 80 ms timer moves the bar while
// "Reflash" runs.
class FunTestPageView final : public BoundPage {
  public:
    FunTestPageView(FunTestPageCore& core, HWND page, HFONT font)
        : BoundPage(core.Controls(), page, font), core_(core) {
        const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
        Add(kFtSettingGroup, WC_BUTTONW, BS_GROUPBOX, 6, 4, 322, 134);
        Add(kFtUsb20, WC_BUTTONW, check | WS_GROUP, 18, 24, 96, kCheckHeight);
        Add(kFtUsb30, WC_BUTTONW, check, 118, 24, 96, kCheckHeight);
        Add(kFtUsb31, WC_BUTTONW, check, 218, 24, 100, kCheckHeight);
        Add(kFtPort1, WC_BUTTONW, check, 18, 52, 96, kCheckHeight);
        Add(kFtPort2, WC_BUTTONW, check, 118, 52, 96, kCheckHeight);
        Add(kFtTimeOutLabel, WC_STATICW, SS_LEFT | SS_CENTERIMAGE, 18, 84, 96, 21);
        HWND timeOut = Add(kFtTimeOut, WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, 118, 84, 56, 21);
        // Typing is limited to 3 characters; a loaded value longer than that is shown whole
        // (the limit binds typing only).
        ::SendMessageW(timeOut, EM_LIMITTEXT, kTimeOutEditLimit, 0);

        Add(kFtItemsGroup, WC_BUTTONW, BS_GROUPBOX, 336, 4, 298, 134);
        const ControlId buttons[] = {kFtSignalLineButton, kFtFixtureButton, kFtLoopBackButton,
                                     kFtTerminationButton};
        const ControlId enables[] = {kFtSignalLineEnable, kFtFixtureEnable, kFtLoopBackEnable,
                                     kFtTerminationEnable};
        for (int i = 0; i < 4; ++i) {
            Add(buttons[i], WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 348, 22 + 28 * i, 136,
                kButtonHeight);
            Add(enables[i], WC_BUTTONW, check, 494, 23 + 28 * i, 134, kCheckHeight);
        }

        Add(kFtStatusGroup, WC_BUTTONW, BS_GROUPBOX, 6, 144, 628, 178);
        constexpr int kFirstColumn = 130;
        constexpr int kColumnWidth = 110;
        for (std::size_t d = 0; d < kStatusColumns; ++d)
            Add(kFtDeviceLabel1 + static_cast<ControlId>(d), WC_STATICW, SS_CENTER,
                kFirstColumn + static_cast<int>(d) * kColumnWidth, 162, kColumnWidth, 18);
        for (std::size_t r = 0; r < kPortRowNames.size(); ++r) {
            const int y = 182 + static_cast<int>(r) * 24;
            Add(kFtRowLabel1 + static_cast<ControlId>(r), WC_STATICW, SS_LEFT | SS_CENTERIMAGE, 18,
                y, 108, 20);
            for (std::size_t d = 0; d < kStatusColumns; ++d) {
                const ControlId id = IconId(r, d);
                const std::string name = core_.Controls().Name(id);
                // The icon's text says what it shows ("Device 1 USB3 PORT1 connected"):
                // assistive technology reads it as the icon's name.
                Add(id, WC_STATICW, SS_OWNERDRAW, kFirstColumn + static_cast<int>(d) * kColumnWidth,
                    y, kColumnWidth, 20, [name](HWND icon, const ControlState& state) {
                        const std::string text =
                            name +
                            (state.value == kIconConnected ? " connected" : " not connected");
                        if (WindowText(icon) != text) SetWindowTextUtf8(icon, text);
                        ::InvalidateRect(icon, nullptr, TRUE);
                    });
            }
        }
        HWND progress = Add(kFtProgress, PROGRESS_CLASSW, PBS_SMOOTH, 18, 292, 470, 16);
        ::SendMessageW(progress, PBM_SETRANGE32, 0, 100);
        PaintProgressGreen(progress);
        Binder().Apply(kFtProgress);
        Add(kFtReflash, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 500, 288, 124, kButtonHeight);
        Add(kFtOk, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 548, 328, 86, kButtonHeight);
        SetSize(640, 354);

        auto onCheck = [this](ControlId id, void (FunTestPageCore::*handler)(bool)) {
            On(id, [this, handler](int code, HWND control) {
                if (code == BN_CLICKED) (core_.*handler)(Checked(control));
            });
        };
        auto onButton = [this](ControlId id, void (FunTestPageCore::*handler)()) {
            On(id, [this, handler](int code, HWND) {
                if (code == BN_CLICKED) (core_.*handler)();
            });
        };
        onCheck(kFtUsb20, &FunTestPageCore::OnBnClickedCheckUsb20);
        onCheck(kFtUsb30, &FunTestPageCore::OnBnClickedCheckUsb30);
        onCheck(kFtUsb31, &FunTestPageCore::OnBnClickedCheckUsb31);
        onCheck(kFtPort1, &FunTestPageCore::OnBnClickedCheckPort1);
        onCheck(kFtPort2, &FunTestPageCore::OnBnClickedCheckPort2);
        onCheck(kFtSignalLineEnable, &FunTestPageCore::OnBnClickedSignalLineTestEnable);
        onCheck(kFtFixtureEnable, &FunTestPageCore::OnBnClickedCheckFixtureTest);
        onCheck(kFtLoopBackEnable, &FunTestPageCore::OnBnClickedLoopBackTestEnable);
        onCheck(kFtTerminationEnable, &FunTestPageCore::OnBnClickedTerminationTestEnable);
        onButton(kFtSignalLineButton, &FunTestPageCore::OnBnClickedButtonSignalLineTest);
        onButton(kFtFixtureButton, &FunTestPageCore::OnBnClickedButtonFixtureTest);
        onButton(kFtLoopBackButton, &FunTestPageCore::OnBnClickedButtonLoopBackTest);
        onButton(kFtTerminationButton, &FunTestPageCore::OnBnClickedButtonTerminalTest);
        onButton(kFtReflash, &FunTestPageCore::OnBnClickedButtonReflash);
        On(kFtTimeOut, [this](int code, HWND control) {
            if (code == EN_CHANGE) core_.OnEnChangeEditTimeOut(WindowText(control));
        });
        // The page's own timer (80 ms): the scan's progress onto the bar while "Reflash" runs.
        ::SetTimer(page_, kPageTimer, 80, nullptr);
    }
    ~FunTestPageView() override { ::KillTimer(page_, kPageTimer); }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_TIMER && wParam == kPageTimer) {
            core_.OnTimer();
            result = 0;
            return true;
        }
        if (message == WM_DRAWITEM) {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            const ControlId id = Binder().IdOf(item.hwndItem);
            if (id < kFtIcon || id >= kFtIcon + 16) return false;
            DrawPortIcon(item, core_.Controls().Get(id).value == kIconConnected);
            result = TRUE;
            return true;
        }
        return BoundPage::OnMessage(message, wParam, lParam, result);
    }

  private:
    static constexpr UINT_PTR kPageTimer = 1;
    FunTestPageCore& core_;
};

}  // namespace
}  // namespace win

win::PageViewFactories MakePageViews(WindowPages& pages, CQNL735_MPToolDlg& /*dialog*/,
                                     ToolContext& context) {
    // The "Setting Register" dialog belongs to the window the device page sits in.
    return {
        [&pages, &context](HWND page, HFONT font) -> std::unique_ptr<win::PageView> {
            return std::make_unique<win::DevicePageView>(pages.device, context.setReg, page, font);
        },
        [&pages](HWND page, HFONT font) -> std::unique_ptr<win::PageView> {
            return std::make_unique<win::UpgradePageView>(pages.upgrade, page, font);
        },
        [&pages](HWND page, HFONT font) -> std::unique_ptr<win::PageView> {
            return std::make_unique<win::FunTestPageView>(pages.test, page, font);
        },
    };
}

}  // namespace qnl
