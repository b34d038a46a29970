// qnl_win_measure <folder> [time scale]: the Windows window's figures on a simulated station
// (scripts/measure-window-windows.sh runs it under wine on Xvfb):
//   - start to first paint: from the process's creation to the end of the main window's first
//     WM_PAINT, the two-host station's start-up included;
//   - idle: CPU time of the whole process over 10 s of an idle window, and over 10 s once the
//     windows and stations are gone (what wine's own threads take);
//   - an 8-host MP run from the window's Start (firmware update and check): the longest
//     lateness of a 10 ms timer on the GUI thread, i.e. the longest time the GUI thread did not
//     get to its message loop.
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/win/MainWindow.h"
#include "app/win/WindowApp.h"
#include "support/WindowStation.h"

namespace {

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value{};
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

double SecondsSinceProcessStart() {
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    ::GetSystemTimeAsFileTime(&now);
    return Seconds(now) - Seconds(created);
}

double CpuSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

double Now() {
    LARGE_INTEGER counter{}, frequency{};
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Pump(double seconds) {
    const double end = Now() + seconds;
    while (Now() < end) {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

std::string Controllers(int count, const std::string& scale) {
    std::string json = R"({ "time_scale": )" + scale + R"(, "controllers": [)";
    for (int i = 0; i < count; ++i) {
        json += (i ? "," : "");
        json +=
            R"({ "bus": )" + std::to_string(3 + i) +
            R"(, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 13", "flash": "h)" +
            std::to_string(i) + R"(.flash" })";
    }
    return json + R"(], "other_devices": [] })";
}

// The probe: a 10 ms timer on the GUI thread and its worst lateness.
double lastTick = 0;
double longest = 0;
long ticks = 0;
void CALLBACK Probe(HWND, UINT, UINT_PTR, DWORD) {
    const double now = Now();
    if (ticks++ > 0) longest = std::max(longest, now - lastTick - 0.010);
    lastTick = now;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qnl;
    const double sinceMain = Now();
    if (argc < 2) {
        std::fprintf(stderr, "usage: qnl_win_measure <folder> [time scale]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string scale = argc > 2 ? argv[2] : "1.0";
    WindowApp app(argc, argv);
    const IniSettings settings = test::WindowStation::UpdateAndCheck();
    {
        test::WindowStation station(folder + "\\start", Controllers(2, scale), settings,
                                    app.Prompts());
        ToolAssembly& tool = *station.tool;
        win::MainWindow window(tool.dialog, tool.context,
                               MakePageViews(*tool.pages, tool.dialog, tool.context));
        ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
        ::UpdateWindow(window.Handle());  // returns once the first WM_PAINT has been handled
        const double firstPaint = SecondsSinceProcessStart();
        const double fromMain = Now() - sinceMain;
        Pump(0.5);
        const double cpuBefore = CpuSeconds();
        const double idleStart = Now();
        Pump(10);
        const double idleCpu = CpuSeconds() - cpuBefore;
        const double idle = Now() - idleStart;
        std::printf("start to first paint: %.2f s from the process start (%.0f ms from main)\n",
                    firstPaint, fromMain * 1000);
        std::printf("idle window: %.3f s CPU in %.1f s = %.2f %% of a core\n", idleCpu, idle,
                    100.0 * idleCpu / idle);
        window.RequestClose();
    }

    {
        test::WindowStation station(folder + "\\run", Controllers(8, scale), settings,
                                    app.Prompts());
        ToolAssembly& tool = *station.tool;
        win::MainWindow window(tool.dialog, tool.context,
                               MakePageViews(*tool.pages, tool.dialog, tool.context));
        ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
        Pump(0.5);
        const UINT_PTR probe = ::SetTimer(nullptr, 0, 10, Probe);
        const double runStart = Now();
        ::SendMessageW(window.Control(kCtlStart), BM_CLICK, 0, 0);
        if (!window.Timer1Active()) {
            std::fprintf(stderr, "measure: the run did not start\n");
            return 1;
        }
        while (window.Timer1Active()) Pump(0.05);
        ::KillTimer(nullptr, probe);
        int passed = 0;
        for (int row = 0; row < 8; ++row)
            passed += tool.context.resultTable.strGetResultItemTable(static_cast<std::uint8_t>(row),
                                                                     7) == "PASS";
        std::printf(
            "8-host run (time scale %s): %.1f s, %d of 8 hosts PASS, longest GUI-thread stall "
            "%.0f ms over %ld ticks of a 10 ms timer\n",
            scale.c_str(), Now() - runStart, passed, longest * 1000, ticks);
        window.RequestClose();
    }
    // What the process takes once the window and the station are gone (wine's own threads).
    const double baseCpuBefore = CpuSeconds();
    const double baseStart = Now();
    Pump(10);
    std::printf("the process after them: %.2f %% of a core\n",
                100.0 * (CpuSeconds() - baseCpuBefore) / (Now() - baseStart));
    return 0;
}
