// The screenshot tour of the Windows window under wine: the real main window over a simulated
// station with a failing host, walked step by step; a picture of every window and dialog on
// the way, saved as "<NN>-<name>.bmp" in the folder given (scripts/screenshot-tour-windows.sh
// makes PNGs of them). Look at every picture.
//
//   qnl_win_tour.exe <folder>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "app/PageDevice.h"
#include "app/WindowPages.h"
#include "app/win/MainWindow.h"
#include "app/win/WinPrompts.h"
#include "app/win/WindowApp.h"
#include "support/WindowStation.h"
#include "ui/SerialNumber.h"
#include "ui/win/WinText.h"

namespace qnl::tour {
namespace {

// Two hosts: host 0 healthy, host 1 with a flash whose reads come back with a flipped bit, so
// its update fails its verify (FAIL in the table).
constexpr const char* kStation = R"({ "time_scale": 0.2, "controllers": [
  { "bus": 3, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 13",
    "flash": "h3.flash" },
  { "bus": 4, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 13",
    "flash": "h4.flash",
    "faults": { "flip_on_read": [ { "address": 300, "mask": 1, "times": 1000000 } ] } } ],
  "other_devices": [] })";

std::string folder;
int shots = 0;
// A page control's window identifier (BoundPage): its control identifier plus this.
constexpr int kPageIdBase = 2000;

void Pump(int ms);

// The window's picture as the screen shows it, as a 24-bit BMP.
void Shot(HWND window, const std::string& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Wine paints into a copy of the window and puts it on the screen from the message loop
    // a little later: a picture taken at once may still lack what was just drawn (text typed
    // into a dialog's edit a moment before).
    Pump(200);
    RECT area{};
    ::GetWindowRect(window, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files keep it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    ::GdiFlush();
    const int stride = (width * 3 + 3) & ~3;
    const DWORD size = static_cast<DWORD>(stride * height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    char number[8];
    std::snprintf(number, sizeof number, "%02d-", ++shots);
    std::ofstream out(folder + "\\" + number + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), size);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    std::printf("shot %s%s\n", number, name.c_str());
    std::fflush(stdout);
}

void Pump(int ms) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - ::GetTickCount()) > 0) {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(10);
    }
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    while (!done()) {
        if (static_cast<int>(end - ::GetTickCount()) <= 0) return false;
        Pump(20);
    }
    return true;
}

// Dialogs that appear (message boxes, the login, the serial number) are shot once painted and
// then answered by `act` (by default: the first button, which is OK or Retry's opposite).
struct DialogWatch {
    std::string next;               // the name of the next dialog's picture
    std::function<void(HWND)> act;  // how the next dialog is answered
    std::string prefix = "dialog";  // the name of unasked ones
    int unasked = 0;
    std::set<HWND> seen;
    int age = 0;
};
DialogWatch watch;
HWND mainWindow = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770" && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK WatchDialogs(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr || watch.seen.count(dialog) != 0) return;
    // Let it paint for a few ticks first.
    if (++watch.age < 6) return;
    watch.age = 0;
    watch.seen.insert(dialog);
    const std::string name =
        watch.next.empty() ? watch.prefix + "-" + std::to_string(++watch.unasked) : watch.next;
    auto act = std::move(watch.act);
    watch.next.clear();
    watch.act = {};
    if (act) act(dialog);  // may type first, so that the picture shows it
    Shot(dialog, name);
    // Enter answers it (OK, the default button); a box without one is cancelled.
    if (::IsWindow(dialog)) ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    if (::IsWindow(dialog)) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// A serial number as a scanner gives it.
class ScanEntry final : public ISerialNumberEntry {
  public:
    void OnInitDialog() override {}
    std::string OnEnChangeEdit(const std::string& text) override { return text; }
    bool OnEnter() override { return true; }
    void OnCancel() override {}
};

int Run() {
    ::CreateDirectoryW(win::Widen(folder).c_str(), nullptr);
    int argc = 0;
    WindowApp app(argc, nullptr);
    win::WinPrompts& prompts = app.Prompts();
    test::WindowStation station(folder + "\\station", kStation,
                                test::WindowStation::UpdateAndCheck(), prompts);
    ToolAssembly& tool = *station.tool;
    ::SetTimer(nullptr, 0, 30, WatchDialogs);
    win::MainWindow window(tool.dialog, tool.context,
                           MakePageViews(*tool.pages, tool.dialog, tool.context));
    mainWindow = window.Handle();
    prompts.SetWindow(window.Handle());
    ::SetWindowPos(window.Handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
    Pump(600);
    Shot(window.Handle(), "main-locked");

    watch.next = "login";
    watch.act = [](HWND dialog) {
        // Unlocked with extended access: the device page shows its extended block.
        ::SetDlgItemTextW(dialog, 100, L"LUMBIX");
        Pump(100);
    };
    ::SendMessageW(window.Control(kCtlUnlock), BM_CLICK, 0, 0);
    Pump(300);
    Shot(window.Handle(), "main-unlocked");

    watch.next = "about";
    window.ShowAbout();
    Pump(200);

    // The device page's "Setting Register" dialog (manual setting on) and the ExtSet box.
    HWND devicePage = window.Page(0);
    auto click = [&](ControlId id) {
        ::SendMessageW(::GetDlgItem(devicePage, kPageIdBase + id), BM_CLICK, 0, 0);
        Pump(200);
    };
    click(PageDevice::kCheckManual);
    watch.next = "setting-register";
    click(PageDevice::kButtonRegSetting);
    click(PageDevice::kCheckManual);
    watch.next = "extset";
    click(PageDevice::kButtonExtSet);
    Pump(300);

    // A run: in the middle the cells read "doing", after it host 1 failed.
    watch.prefix = "run-message";
    ::SendMessageW(window.Control(kCtlStart), BM_CLICK, 0, 0);
    WaitFor([&] { return tool.dialog.Progress() >= 12 || !window.Timer1Active(); }, 20000);
    Shot(window.Handle(), "main-mid-run");
    if (!WaitFor([&] { return !window.Timer1Active(); }, 180000))
        std::fprintf(stderr, "tour: the run did not end\n");
    Pump(300);
    ListView_SetItemState(window.List(), 1, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ::SetFocus(window.List());
    Pump(300);
    Shot(window.Handle(), "main-after-run-fail");

    for (int page : {1, 2}) {
        TabCtrl_SetCurSel(window.Control(kCtlTab), page);
        NMHDR change{window.Control(kCtlTab), static_cast<UINT_PTR>(1000 + kCtlTab),
                     static_cast<UINT>(TCN_SELCHANGE)};
        ::SendMessageW(window.Handle(), WM_NOTIFY, change.idFrom,
                       reinterpret_cast<LPARAM>(&change));
        Pump(400);
        Shot(window.Handle(), page == 1 ? "upgrade-tab" : "test-tab");
    }

    watch.next = "serial-number";
    watch.act = [](HWND dialog) {
        ::SetDlgItemTextW(dialog, 100, L"SN0012345");
        Pump(100);
    };
    ScanEntry entry;
    prompts.AskSerialNumber(entry);
    Pump(200);

    window.RequestClose();
    return window.Closed() ? 0 : 1;
}

}  // namespace
}  // namespace qnl::tour

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qnl_win_tour <folder>\n");
        return 2;
    }
    qnl::tour::folder = argv[1];
    return qnl::tour::Run();
}
