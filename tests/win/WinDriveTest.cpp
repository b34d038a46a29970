// The real window program end to end under wine, driven from outside as an operator (or a
// station script) would: qnlmptool.exe started with no command line in a tool folder, its
// windows found by class and control identifier, clicked and typed into with messages; the
// boxes it shows read and answered. Prints what it saw; the calling script checks the folder.
//
//   qnl_win_drive.exe run <tool folder>      unlock with the password, SaveLog on, Start,
//                                            wait for the run, read the result list, close:
//                                            exits with the window's exit code
//   qnl_win_drive.exe startup <tool folder>  answer the start-up failure box: exits with the
//                                            tool's exit code
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/MPToolDlg.h"
#include "ui/win/WinText.h"

namespace {

using qnl::win::CaptionOf;
using qnl::win::Narrow;
using qnl::win::WindowText;

// The main window's control identifiers (app/win/MainWindow.cpp): the control plus 1000.
constexpr int kMainIdBase = 1000;
constexpr int kLoginEdit = 100;

PROCESS_INFORMATION process{};

struct Found {
    const wchar_t* windowClass;
    HWND window;
};

BOOL CALLBACK FindOfProcess(HWND window, LPARAM lParam) {
    auto* found = reinterpret_cast<Found*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    if (owner == process.dwProcessId && ::IsWindowVisible(window) &&
        std::wstring(name) == found->windowClass) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

// A shown top-level window of the tool of that class, waiting at most `ms`.
HWND WaitForWindow(const wchar_t* windowClass, int ms) {
    for (int waited = 0; waited <= ms; waited += 50) {
        Found found{windowClass, nullptr};
        ::EnumWindows(FindOfProcess, reinterpret_cast<LPARAM>(&found));
        if (found.window != nullptr) return found.window;
        if (::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) return nullptr;
        ::Sleep(50);
    }
    return nullptr;
}

// A box's message: the text of its static controls.
std::string BoxText(HWND box) {
    std::string text;
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        ::GetClassNameW(child, name, 32);
        if (_wcsicmp(name, L"Static") == 0) text += WindowText(child) + " ";
    }
    return text;
}

// A list view cell of the other process, read through memory of its own.
std::string CellText(HWND list, int row, int column) {
    constexpr SIZE_T kChars = 128;
    void* remote = ::VirtualAllocEx(process.hProcess, nullptr, sizeof(LVITEMW) + kChars * 2,
                                    MEM_COMMIT, PAGE_READWRITE);
    if (remote == nullptr) return "?";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
    item.cchTextMax = kChars;
    ::WriteProcessMemory(process.hProcess, remote, &item, sizeof item, nullptr);
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(remote));
    wchar_t text[kChars] = {};
    ::ReadProcessMemory(process.hProcess, item.pszText, text, sizeof text - 2, nullptr);
    ::VirtualFreeEx(process.hProcess, remote, 0, MEM_RELEASE);
    return Narrow(text);
}

bool Start(const std::string& folder) {
    std::wstring tool = qnl::win::Widen(folder + "\\qnlmptool.exe");
    std::wstring commandLine = L"\"" + tool + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return ::CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            qnl::win::Widen(folder).c_str(), &startup, &process) != FALSE;
}

int ExitCode(int ms) {
    if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) {
        std::printf("the tool did not end\n");
        ::TerminateProcess(process.hProcess, 99);
        return 99;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

int StartUpFailure() {
    HWND box = WaitForWindow(L"#32770", 60000);
    if (box == nullptr) {
        std::printf("no start-up box\n");
        return ExitCode(5000);
    }
    std::printf("box: %s| %s\n", WindowText(box).c_str(), BoxText(box).c_str());
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    const int code = ExitCode(30000);
    std::printf("exit code %d\n", code);
    return code;
}

int Run() {
    // Start-up's boxes (none on a station in order) are read and answered.
    HWND window = nullptr;
    for (int waited = 0; window == nullptr && waited < 60000; waited += 100) {
        window = WaitForWindow(L"QnlMainWindow", 0);
        if (HWND box = WaitForWindow(L"#32770", 0)) {
            std::printf("start-up box: %s\n", BoxText(box).c_str());
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        ::Sleep(100);
    }
    if (window == nullptr) {
        std::printf("no main window\n");
        ::TerminateProcess(process.hProcess, 90);
        return 90;
    }
    std::printf("window: %s\n", WindowText(window).c_str());
    HWND unlock = ::GetDlgItem(window, kMainIdBase + qnl::kCtlUnlock);
    HWND start = ::GetDlgItem(window, kMainIdBase + qnl::kCtlStart);
    HWND list = ::GetDlgItem(window, kMainIdBase + qnl::kCtlResultList);

    // "Unlock MP Tool": the login asks for the password.
    ::PostMessageW(unlock, BM_CLICK, 0, 0);
    HWND login = WaitForWindow(L"#32770", 20000);
    if (login == nullptr) {
        std::printf("no login dialog\n");
        ::TerminateProcess(process.hProcess, 91);
        return 91;
    }
    std::printf("login: %s\n", WindowText(login).c_str());
    ::SendMessageW(::GetDlgItem(login, kLoginEdit), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(L"KORVATE"));
    ::PostMessageW(login, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 200 && CaptionOf(unlock) != "Lock MP Tool"; ++i) ::Sleep(50);
    std::printf("unlock button: %s, Start %s\n", CaptionOf(unlock).c_str(),
                ::IsWindowEnabled(start) ? "enabled" : "disabled");

    // "SaveLog": the run writes the day's result log.
    HWND saveLog = ::GetDlgItem(window, kMainIdBase + qnl::kCtlSaveLog);
    ::SendMessageW(saveLog, BM_CLICK, 0, 0);
    std::printf("save log: %s\n",
                ::SendMessageW(saveLog, BM_GETCHECK, 0, 0) == BST_CHECKED ? "on" : "off");

    // Start: the run disables Start and gives it back at its end; boxes are answered.
    ::PostMessageW(start, BM_CLICK, 0, 0);
    bool sawRun = false;
    for (int waited = 0; waited < 240000; waited += 50) {
        if (!::IsWindowEnabled(start)) sawRun = true;
        if (sawRun && ::IsWindowEnabled(start)) break;
        Found found{L"#32770", nullptr};
        ::EnumWindows(FindOfProcess, reinterpret_cast<LPARAM>(&found));
        if (found.window != nullptr) {
            std::printf("box: %s\n", BoxText(found.window).c_str());
            ::PostMessageW(found.window, WM_COMMAND, IDOK, 0);
            ::Sleep(200);
        }
        ::Sleep(50);
    }
    std::printf("run seen: %s\n", sawRun ? "yes" : "no");
    // The list's first column is an empty one; the update column follows the host facts.
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < 2; ++row) {
        std::string line;
        for (int column = 1; column < columns; ++column) line += CellText(list, row, column) + "|";
        std::printf("row %d: %s\n", row, line.c_str());
    }
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    const int code = ExitCode(60000);
    std::printf("exit code %d\n", code);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qnl_win_drive run|startup <tool folder>\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string mode = argv[1];
    if (!Start(argv[2])) {
        std::printf("the tool did not start\n");
        return 98;
    }
    const int code = mode == "startup" ? StartUpFailure() : Run();
    std::fflush(stdout);
    return code;
}
