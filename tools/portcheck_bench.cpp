// The port check that follows a USB device change, over the hosts of a simulated station:
// wall time next to the floor the protocol sets, and the longest stall of a GUI-like loop
// (the test page's timer and control reads every 10 ms) while the check runs.
//
//   portcheck_bench [time_scale [hosts]]     (defaults 1 and 8)
//
// The floor is the sum of the scan's nominal waits (run once on a recording clock). Then a
// fresh station and tool run the check through the tool's own test page, as the window does
// (PortCheck on its own thread under the window lock, the icons refreshed at its end), on a
// real clock at the given scale.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <thread>

#include "app/ToolContext.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "platform/OperatorPrompts.h"
#include "porttest/FunTestPageCore.h"
#include "qnlio/sim/SimStation.h"
#include "tools/BenchTool.h"

namespace {

using namespace qnl;

std::string StationText(int hosts) {
    std::string list;
    for (int i = 0; i < hosts; ++i)
        list += std::string(i ? "," : "") + "{ \"bus\": " + std::to_string(3 + i) +
                ", \"ports\": { \"usb3_port1\": { \"type\": \"device\", \"speed\": \"superplus\" },"
                " \"usb2_port2\": { \"type\": \"device\" } } }";
    return "{ \"controllers\": [" + list + "] }";
}

struct Bench : bench::BenchTool {
    Bench(const std::string& folder, int hosts, IClock& clock)
        : BenchTool(folder, StationText(hosts), hosts, clock) {}
    bool IconsRight() {
        // Every host has a device on USB3 Port 1 and USB2 Port 2 only.
        for (int i = 0; i < tool->g_Utility.ucHostCount; ++i) {
            const auto& c = tool->g_Utility.hosts[i].ucPortConnected;
            if (c[0] != 1 || c[1] != 0 || c[2] != 0 || c[3] != 1) return false;
        }
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int hosts = argc > 2 ? std::atoi(argv[2]) : 8;
    if (!(scale > 0.0 && scale <= 1.0) || hosts < 1 || hosts > 8) {
        std::fprintf(stderr, "usage: portcheck_bench [time_scale in (0, 1] [hosts 1..8]]\n");
        return 2;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "qnl-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) return 2;

    // The floor: the scan's nominal waits on a recording clock.
    ManualClock recording;
    double floorMs = 0.0;
    bool floorRight = false;
    {
        Bench bench(folder, hosts, recording);
        recording.ClearSleeps();
        bench.tool->xhci.ScanPortConnections();
        const auto sleeps = recording.Sleeps();
        floorMs = std::accumulate(sleeps.begin(), sleeps.end(), 0.0);
        floorRight = bench.IconsRight();
    }

    // The check as the window runs it, on a real clock, beside a GUI-like loop.
    RealClock real(scale);
    Bench bench(folder, hosts, real);
    FunTestPageCore& page = bench.assembly->pages->test;
    const auto start = std::chrono::steady_clock::now();
    page.OnBnClickedButtonReflash();
    double longestStallMs = 0.0;
    auto last = std::chrono::steady_clock::now();
    while (page.Checks().Running()) {
        page.OnTimer();
        (void)page.Controls().Get(kFtProgress);
        const auto now = std::chrono::steady_clock::now();
        longestStallMs =
            std::max(longestStallMs, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    page.Checks().WaitIdle(std::chrono::seconds(60));
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const bool right = bench.IconsRight() &&
                       page.Controls().Get(IconId(2, 0)).value == kIconConnected &&
                       page.Controls().Get(IconId(1, 0)).value == kIconConnected;

    const double scaledFloor = floorMs * scale;
    std::printf("port check (scan of 4 ports a host, then the icons), %d hosts, time scale %g\n",
                hosts, scale);
    std::printf("  result            %s (floor run %s)\n", right ? "ports right" : "WRONG",
                floorRight ? "ports right" : "WRONG");
    std::printf("  wall time         %10.1f ms\n", wallMs);
    std::printf("  protocol floor    %10.1f ms nominal%s\n", floorMs,
                scale < 1.0 ? "" : " (= real at scale 1)");
    if (scale < 1.0) std::printf("  floor scaled      %10.1f ms\n", scaledFloor);
    std::printf("  overhead          %10.1f %%\n", (wallMs / scaledFloor - 1.0) * 100.0);
    std::printf("  longest GUI stall %10.1f ms (10 ms loop: page timer and control reads)\n",
                longestStallMs);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return right && floorRight ? 0 : 1;
}
