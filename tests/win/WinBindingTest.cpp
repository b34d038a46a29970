// The Win32 views' binding under wine: a view over its core, driven with the messages a mouse,
// a keyboard or a script sends; the core's state read back; the core changed and the control
// read back; a programmatic update running no handler; worker changes reaching the controls
// only through the GUI thread. The rules themselves are the cores' (tested on Linux).
//
// Prints one line per check and "N passed, M failed"; exits non-zero on a failure.
#include <direct.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

// The test benches make their folders with mkdtemp, which the Windows C runtime lacks.
extern "C" char* mkdtemp(char* pattern) {
    if (_mktemp_s(pattern, std::strlen(pattern) + 1) != 0) return nullptr;
    return _mkdir(pattern) == 0 ? pattern : nullptr;
}

#include <windows.h>
// After windows.h.
#include <dbt.h>

#include <mutex>
#include <vector>

#include "app/PageDevice.h"
#include "app/win/MainWindow.h"
#include "app/win/WinPrompts.h"
#include "app/win/WindowApp.h"
#include "platform/HardwareSession.h"
#include "platform/WinDeviceChangeSource.h"
#include "support/WindowBench.h"
#include "ui/win/ControlBinder.h"
#include "ui/win/WinText.h"

namespace qnl::test {
namespace {

int passed = 0;
int failed = 0;
void Check(bool ok, const std::string& name) {
    (ok ? passed : failed)++;
    std::printf("%s  %s\n", ok ? "ok    " : "FAILED", name.c_str());
    std::fflush(stdout);
}

// Runs the GUI thread's messages until `done` (or about `ms`).
void PumpUntil(const std::function<bool()>& done, int ms = 2000) {
    for (int i = 0; i < ms / 5 && !done(); ++i) {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (!done()) ::Sleep(5);
    }
}
void Pump() {
    PumpUntil([] { return false; });
}

// A parent for bare controls that counts the notifications handed to a view's handlers.
struct Parent {
    static inline int handled = 0;  // notifications outside a programmatic update
    static inline int dropped = 0;  // notifications inside one
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        // What a view hands to its core: an edit's change, a click, a new list selection.
        const WORD code = HIWORD(wParam);
        if (message == WM_COMMAND && lParam != 0 &&
            (code == EN_CHANGE || code == BN_CLICKED || code == CBN_SELCHANGE)) {
            (win::Applying() ? dropped : handled)++;
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    Parent() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QnlTestParent";
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowExW(0, L"QnlTestParent", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                   300, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    ~Parent() { ::DestroyWindow(window); }
    HWND Child(const wchar_t* windowClass, DWORD style, int id) const {
        return ::CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 20,
                                 window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    HWND window = nullptr;
};

enum { kEdit, kButton, kCheck, kCombo, kLabel };

void BinderTests() {
    Parent parent;
    ControlStateTable table;
    table.DefineCaptioned(kEdit, ControlKind::Edit, "Path", "");
    table.DefineCaptioned(kButton, ControlKind::Button, "Cancel", "Cancel");
    table.DefineCaptioned(kCheck, ControlKind::CheckBox, "SaveLog", "SaveLog");
    table.Define(kCombo, ControlKind::ComboBox, "Speed");
    table.DefineCaptioned(kLabel, ControlKind::Label, "Label", "");
    HWND edit = parent.Child(L"Edit", ES_AUTOHSCROLL, 10);
    HWND button = parent.Child(L"Button", BS_PUSHBUTTON, 11);
    HWND check = parent.Child(L"Button", BS_AUTOCHECKBOX, 12);
    HWND combo = parent.Child(L"ComboBox", CBS_DROPDOWNLIST, 13);
    HWND label = parent.Child(L"Static", SS_LEFT, 14);
    win::ControlBinder binder(table);
    binder.Bind(kEdit, edit);
    binder.Bind(kButton, button);
    binder.Bind(kCheck, check);
    binder.Bind(kCombo, combo);
    binder.Bind(kLabel, label);
    Parent::handled = Parent::dropped = 0;

    // The core changes: every control follows, and no handler runs (the edit's EN_CHANGE and
    // the combo box's selection arrive inside the update and are dropped).
    table.SetText(kEdit, "C:\\tool\\a.ini");
    table.SetText(kButton, "取消");
    table.SetChecked(kCheck, true);
    table.SetItems(kCombo, {"Gen1", "Gen2", "Gen3"}, 2);
    table.SetEnabled(kButton, false);
    table.SetVisible(kLabel, false);
    Check(win::WindowText(edit) == "C:\\tool\\a.ini" &&
              ::SendMessageW(check, BM_GETCHECK, 0, 0) == BST_CHECKED &&
              ::SendMessageW(combo, CB_GETCOUNT, 0, 0) == 3 &&
              ::SendMessageW(combo, CB_GETCURSEL, 0, 0) == 2 && !::IsWindowEnabled(button) &&
              !::IsWindowVisible(label),
          "binder: a core change reaches text, check, list, selection, enabled and shown");
    wchar_t caption[16] = {};
    ::GetWindowTextW(button, caption, 16);
    Check(std::wstring(caption) == L"\u53D6\u6D88", "binder: a UTF-8 caption shows as \"取消\"");
    Check(Parent::handled == 0 && Parent::dropped > 0,
          "binder: a programmatic update runs no handler (EN_CHANGE dropped)");

    // The operator types and clicks: the notifications reach the handlers.
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
    ::SendMessageW(check, BM_CLICK, 0, 0);
    Check(Parent::handled == 2, "binder: typing and a click reach the handlers (" +
                                    std::to_string(Parent::handled) + ")");

    // A worker's change waits for the GUI thread.
    std::thread worker([&] { table.SetText(kLabel, "from a worker"); });
    worker.join();
    const bool untouched = win::WindowText(label).empty();
    PumpUntil([&] { return win::WindowText(label) == "from a worker"; });
    Check(untouched && win::WindowText(label) == "from a worker",
          "binder: a worker's change is applied on the GUI thread, not the worker's");
}

void PromptBridgeTests() {
    win::WinPrompts prompts("QNL7350A MPTool Ver 1.1.2.1");
    DWORD shownOn = 0;
    std::string shownCaption;
    prompts.SetMessageBox([&](HWND, const std::string& caption, const std::string&, MessageIcon) {
        shownOn = ::GetCurrentThreadId();
        shownCaption = caption;
    });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        prompts.ShowMessage("Update failed", "", MessageIcon::Error, "");
        done = true;
    });
    PumpUntil([&] { return done.load(); });
    worker.join();
    Check(
        done && shownOn == ::GetCurrentThreadId() && shownCaption == "QNL7350A MPTool Ver 1.1.2.1",
        "prompts: a worker's box is shown on the GUI thread, the worker waiting for it");
}

// The main window over its core on a simulated station with two hosts.
void MainWindowTests() {
    WindowBench bench(2);
    bench.WriteSettings("");
    bench.Start();
    Check(!bench.result.has_value(), "main window: start-up leaves the tool to the window");
    win::MainWindow window(*bench.dialog, *bench.context);
    ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
    Pump();
    auto& controls = bench.dialog->Controls();

    // The lock: a click asks for the password and the caption follows the core.
    bench.prompts.loginAnswers.push_back(std::string("KORVATE"));
    ::SendMessageW(window.Control(kCtlUnlock), BM_CLICK, 0, 0);
    Check(bench.dialog->Unlocked() &&
              win::CaptionOf(window.Control(kCtlUnlock)) == controls.Get(kCtlUnlock).text &&
              win::CaptionOf(window.Control(kCtlUnlock)) == "Lock MP Tool",
          "main window: Unlock asks for the password; the button then reads \"Lock MP Tool\"");
    Check(::IsWindowEnabled(window.Control(kCtlRescan)) == controls.Get(kCtlRescan).enabled &&
              ::IsWindowEnabled(window.Control(kCtlStart)) == controls.Get(kCtlStart).enabled,
          "main window: the buttons' enabled state is the core's");

    // Typing into the settings path: the core filters, the edit shows what it kept, once.
    HWND path = window.Control(kCtlIniPath);
    ::SendMessageW(path, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\st\u00E9\tation.ini"));
    Check(win::WindowText(path) == "C:\\station.ini" &&
              bench.dialog->m_strEditLoadINI == "C:\\station.ini",
          "main window: a typed path is filtered by the core and shown as kept");

    // The result list: the core's columns, cells and colours.
    const auto columns = bench.context->resultTable.Columns();
    HWND header = ListView_GetHeader(window.List());
    Check(Header_GetItemCount(header) == static_cast<int>(columns.size()) + 1 &&
              ListView_GetColumnWidth(window.List(), 1) == columns[0].width,
          "main window: the list shows the core's columns at their fixed widths");
    bench.context->resultTable.vShowResultItemTable(kCellGreen, 0, 1, "PASS");
    bench.context->resultTable.vShowResultItemTable(kCellRed, 1, 1, "FAIL");
    Pump();
    wchar_t cell[32] = {};
    ListView_GetItemText(window.List(), 0, 2, cell, 32);
    const auto green = static_cast<COLORREF>(CellColourOf(kCellGreen));
    const auto red = static_cast<COLORREF>(CellColourOf(kCellRed));
    Check(std::wstring(cell) == L"PASS" && window.LookOf(0, 1, true).background == green &&
              window.LookOf(1, 1, false).background == red &&
              window.LookOf(0, 0, true).background == ::GetSysColor(COLOR_HIGHLIGHT),
          "main window: PASS green and FAIL red, kept on the selected row");

    // A tab chosen by the operator: the core switches the page and its column set.
    TabCtrl_SetCurSel(window.Control(kCtlTab), 1);
    NMHDR change{window.Control(kCtlTab), static_cast<UINT_PTR>(1000 + kCtlTab),
                 static_cast<UINT>(TCN_SELCHANGE)};
    ::SendMessageW(window.Handle(), WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
    Pump();
    Check(bench.dialog->CurrentPage() == 1 && ::IsWindowVisible(window.Page(1)) &&
              !::IsWindowVisible(window.Page(0)) &&
              Header_GetItemCount(header) ==
                  static_cast<int>(bench.context->resultTable.Columns().size()) + 1,
          "main window: a tab click switches the core's page, the page shown and the columns");

    // Escape and the close box go through the core's Close path.
    ::SendMessageW(window.Handle(), WM_COMMAND, IDCANCEL, 0);
    Check(window.Closed(), "main window: Escape closes through the core when nothing runs");
}

// The pages' views over their cores, in the main window.
void PageTests() {
    WindowBench bench(2, 0, ToolAssembly::Parts::WindowAndPages);
    bench.WriteSettings("");
    bench.Start();
    WindowPages& pages = *bench.tool.pages;
    win::MainWindow window(*bench.dialog, *bench.context,
                           MakePageViews(pages, *bench.dialog, *bench.context));
    Pump();
    // A page control's window: its identifier is the core's plus 2000 (BoundPage).
    auto control = [&](int page, ControlId id) {
        return ::GetDlgItem(window.Page(page), 2000 + id);
    };

    // Every control of the pages' tables has its window.
    bool all = true;
    for (int page = 0; page < 3; ++page)
        for (ControlId id : bench.dialog->Page(static_cast<std::uint8_t>(page)).Controls().Ids())
            all = all && control(page, id) != nullptr;
    Check(all, "pages: every control of the three pages' tables has its window");

    // A click on the device page reaches its core once the tool is unlocked.
    bench.prompts.loginAnswers.push_back(std::string("KORVATE"));
    ::SendMessageW(window.Control(kCtlUnlock), BM_CLICK, 0, 0);
    HWND subSys = control(0, PageDevice::kCheckSubSys);
    const bool before = pages.device.Controls().Get(PageDevice::kCheckSubSys).checked;
    ::SendMessageW(subSys, BM_CLICK, 0, 0);
    const bool after = pages.device.Controls().Get(PageDevice::kCheckSubSys).checked;
    Check(after != before && (::SendMessageW(subSys, BM_GETCHECK, 0, 0) == BST_CHECKED) == after,
          "pages: a device page check box clicked changes its core, and shows the core's state");

    // A port icon's text says what it shows.
    const ControlId icon = IconId(2, 0);
    pages.test.Controls().SetValue(icon, kIconConnected);
    const std::string connected = win::WindowText(control(2, icon));
    pages.test.Controls().SetValue(icon, kIconNotConnected);
    Check(connected == pages.test.Controls().Name(icon) + " connected" &&
              connected == "Device 1 USB3 PORT1 connected" &&
              win::WindowText(control(2, icon)) == "Device 1 USB3 PORT1 not connected",
          "pages: a port icon reads \"Device 1 USB3 PORT1 connected\" while it shows that");
    window.RequestClose();
}

// The main window with the keyboard alone, keys sent as the system sends them to the focused
// control and run through the window's message loop hook (the dialog manager).
void KeyboardTests() {
    WindowBench bench(2);
    bench.WriteSettings("fw_check_enable=1\r\nfw_binary_name=FW.BIN\r\n");
    bench.Start();
    win::MainWindow window(*bench.dialog, *bench.context);
    ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
    ::SetForegroundWindow(window.Handle());
    Pump();
    auto keys = [&] {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (window.PreTranslate(message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    };
    auto key = [&](UINT message, WPARAM code) {
        const LPARAM alt = message == WM_SYSCHAR ? (1 << 29) : 0;
        ::PostMessageW(::GetFocus(), message, code, 1 | alt);
        keys();
    };
    // Reading order: the settings row, the result list, the button row. The tab control holds
    // the pages (Tab walks into the page shown, here an empty one); Ctrl+Tab turns them.
    const MainControl order[] = {kCtlSaveIni,  kCtlLoadIni,     kCtlIniPath, kCtlUnlock,
                                 kCtlDebugLog, kCtlResultList,  kCtlRescan,  kCtlCreateNewFile,
                                 kCtlSaveLog,  kCtlBarCodeScan, kCtlStart,   kCtlClose};
    // Tab from the first control round to it again, against the enabled, shown controls.
    auto walk = [&](std::string& seen) {
        std::vector<HWND> wanted;
        for (MainControl id : order)
            if (::IsWindowEnabled(window.Control(id)) && ::IsWindowVisible(window.Control(id)))
                wanted.push_back(window.Control(id));
        ::SetFocus(wanted.front());
        std::vector<HWND> visited{::GetFocus()};
        for (std::size_t i = 0; i < 2 * std::size(order) && visited.size() <= wanted.size(); ++i) {
            key(WM_KEYDOWN, VK_TAB);
            if (::GetFocus() == wanted.front()) break;
            visited.push_back(::GetFocus());
        }
        seen += "\n    ";
        for (HWND control : visited) seen += win::CaptionOf(control) + "|";
        return visited == wanted && wanted.size() < std::size(order);
    };
    HWND start = window.Control(kCtlStart);
    HWND path = window.Control(kCtlIniPath);
    HWND pathLabel = ::GetWindow(path, GW_HWNDPREV);

    // Locked: the settings row is off and Tab passes it by; the path's label greys with its
    // edit.
    std::string walks;
    const bool lockedWalk = walk(walks);
    const bool labelGreyed = !::IsWindowEnabled(path) && !::IsWindowEnabled(pathLabel);

    // Enter on the lock button presses it (the login asks) and leaves the window open.
    bench.prompts.loginAnswers.push_back(std::string("KORVATE"));
    ::SetFocus(window.Control(kCtlUnlock));
    key(WM_KEYDOWN, VK_RETURN);
    const bool pressed = bench.dialog->Unlocked() && !window.Closed() &&
                         win::WindowText(window.Control(kCtlUnlock)) == "&Lock MP Tool";
    const bool labelBack = ::IsWindowEnabled(path) && ::IsWindowEnabled(pathLabel);
    const bool unlockedWalk = walk(walks);

    // Ctrl+Tab turns to the next page.
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_CONTROL] = 0x80;
    ::SetKeyboardState(state);
    key(WM_KEYDOWN, VK_TAB);
    state[VK_CONTROL] = 0;
    ::SetKeyboardState(state);
    const bool turned = bench.dialog->CurrentPage() == 1 && ::IsWindowVisible(window.Page(1));

    // While a port check holds the hardware Start is off and Alt+S does nothing; once it is
    // on again, Alt+S starts the run from wherever the focus is.
    HardwareSession::Hold hold = bench.dialog->Hardware().Acquire(HardwareActivity::PortCheck);
    const bool startOff = !::IsWindowEnabled(start);
    key(WM_SYSCHAR, 's');
    const bool refused = !bench.dialog->RunActive() && !window.Timer1Active();
    hold.Release();
    const bool startOn = ::IsWindowEnabled(start) != FALSE;
    key(WM_SYSCHAR, 's');
    const bool started = bench.dialog->RunActive() || window.Timer1Active();
    window.RequestClose();
    PumpUntil([&] { return window.Closed(); }, 20000);
    Check(lockedWalk && unlockedWalk && labelGreyed && pressed && labelBack && turned && startOff &&
              refused && startOn && started,
          "keyboard: Tab visits the enabled controls in reading order, Enter presses the focused "
          "button, Ctrl+Tab turns the page, Alt+S starts only while Start is on, a label greys "
          "with its edit" +
              (lockedWalk && unlockedWalk ? std::string() : walks));
}

// Escape and the close box during a run: the core puts the close off, the status line says so,
// and the window closes with the run's code when the run ends.
void CloseDuringRunTests() {
    WindowBench bench(2);
    // The (empty) firmware file fails the run: exit code 1.
    bench.WriteSettings("fw_check_enable=1\r\nfw_binary_name=FW.BIN\r\n");
    bench.Start();
    win::MainWindow window(*bench.dialog, *bench.context);
    ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
    Pump();
    // The run waits for the hardware while the test holds it.
    HardwareSession::Hold hold = bench.dialog->Hardware().Acquire(HardwareActivity::PortCheck);
    bench.dialog->OnBnClickedStart();
    window.StartTimer1();
    const bool running = bench.dialog->RunActive() && window.Timer1Active();
    ::SendMessageW(window.Handle(), WM_COMMAND, IDCANCEL, 0);  // Escape
    ::SendMessageW(window.Handle(), WM_CLOSE, 0, 0);           // the close box
    Pump();
    const bool stayed = !window.Closed() && ::IsWindowVisible(window.Handle());
    const std::string status = win::WindowText(window.Control(kCtlStatus));
    hold.Release();
    PumpUntil([&] { return window.Closed(); }, 20000);
    Check(running && stayed &&
              status == "An MP run is in progress: the window closes when it ends" &&
              window.Closed() && window.ExitCode() == 1,
          "main window: Escape and the close box wait for the run; the window then ends with its "
          "code");
}

// WM_DEVICECHANGE for a USB device interface reaches the listener as the device's arrival and
// removal (the system's message stood in for by one sent to the source's window).
void DeviceChangeTests() {
    WinDeviceChangeSource source;
    std::mutex mutex;
    std::vector<DeviceChangeEvent> seen;
    std::string error;
    const bool started = source.Start(
        [&](const DeviceChangeEvent& event) {
            std::lock_guard lock(mutex);
            seen.push_back(event);
        },
        error);
    HWND window = ::FindWindowExW(HWND_MESSAGE, nullptr, L"QnlDeviceChanges", nullptr);
    const std::wstring name =
        L"\\\\?\\USB#VID_1E73&PID_0735#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    std::vector<BYTE> block(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) +
                            name.size() * sizeof(wchar_t));
    auto* device = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(block.data());
    device->dbcc_size = static_cast<DWORD>(block.size());
    device->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(device->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(device));
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                   reinterpret_cast<LPARAM>(device));
    source.Stop();
    Check(started && window != nullptr && seen.size() == 2 &&
              seen[0].kind == DeviceChangeEvent::Kind::Arrival &&
              IsDevice(seen[0], 0x1E73, 0x0735) && seen[1].kind == DeviceChangeEvent::Kind::Removal,
          "device changes: WM_DEVICECHANGE of a USB device interface is its arrival and removal" +
              (error.empty() ? std::string() : " (" + error + ")"));
}

}  // namespace
}  // namespace qnl::test

int main() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                                       ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    qnl::test::BinderTests();
    qnl::test::PromptBridgeTests();
    qnl::test::MainWindowTests();
    qnl::test::KeyboardTests();
    qnl::test::CloseDuringRunTests();
    qnl::test::PageTests();
    qnl::test::DeviceChangeTests();
    std::printf("%d passed, %d failed\n", qnl::test::passed, qnl::test::failed);
    return qnl::test::failed == 0 ? 0 : 1;
}
