// Wall time of the signal line test of an MP run over the hosts of a simulated station (all
// speeds, both ports), next to the floor the protocol sets.
//
//   porttest_run_bench [time_scale [hosts]]     (defaults 1 and 8)
//
// The test lock serialises the hosts, so the floor is the sum of every worker's nominal waits:
// each host's worker runs once, one after the other, on a recording clock. Then a fresh
// station and tool run FunTestStartFromMain on a real clock at the given scale, supervisors and
// workers on their own threads as in a run, and the wall time is measured. At a scale below 1
// the wall time is also given scaled back to nominal. Overhead = wall / (floor x scale) - 1;
// it includes the supervisor's last poll (at most 200 ms nominal).
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>

#include "app/ToolContext.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "platform/OperatorPrompts.h"
#include "porttest/FunTest.h"
#include "qnlio/sim/SimStation.h"
#include "tools/BenchTool.h"

namespace {

using namespace qnl;

std::string StationText(int hosts) {
    std::string list;
    for (int i = 0; i < hosts; ++i) {
        list += std::string(i ? "," : "") + "{ \"bus\": " + std::to_string(3 + i) +
                ", \"ports\": {"
                " \"usb3_port1\": { \"type\": \"device\", \"speed\": \"superplus\" },"
                " \"usb3_port2\": { \"type\": \"device\", \"speed\": \"superplus\" },"
                " \"usb2_port1\": { \"type\": \"device\" },"
                " \"usb2_port2\": { \"type\": \"device\" } } }";
    }
    return "{ \"controllers\": [" + list + "] }";
}

// A station and a tool over `clock`, the hosts discovered, the signal line test set up.
struct Bench : bench::BenchTool {
    Bench(const std::string& folder, int hosts, IClock& clock)
        : BenchTool(folder, StationText(hosts), hosts, clock) {
        tool->ini.signal_line_test_enable = 1;
        tool->ini.test_speed = 7;
        tool->ini.test_port = 3;
        tool->ini.test_timeout = 200;
    }
    bool AllPassed() const {
        for (int i = 0; i < tool->g_Utility.ucHostCount; ++i)
            if (tool->g_Utility.hosts[i].dwSignalResult != 0) return false;
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int hosts = argc > 2 ? std::atoi(argv[2]) : 8;
    if (!(scale > 0.0 && scale <= 1.0) || hosts < 1 || hosts > 8) {
        std::fprintf(stderr, "usage: porttest_run_bench [time_scale in (0, 1] [hosts 1..8]]\n");
        return 2;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "qnl-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) return 2;

    // The floor: every host's worker, one after the other, on a recording clock.
    ManualClock recording;
    double floorMs = 0.0;
    bool floorPassed = false;
    {
        Bench bench(folder, hosts, recording);
        recording.ClearSleeps();
        for (int i = 0; i < hosts; ++i) {
            TestParam param;
            param.ucHost = static_cast<std::uint8_t>(i);
            param.dwSpeedMask = 7;
            param.dwPortMask = 3;
            param.dwTimeout = 200;
            bench.tool->funTest.SignalLineWorker(param);
        }
        const auto sleeps = recording.Sleeps();
        floorMs = std::accumulate(sleeps.begin(), sleeps.end(), 0.0);
        floorPassed = bench.AllPassed();
    }

    // The run, on a real clock.
    RealClock real(scale);
    Bench bench(folder, hosts, real);
    const auto start = std::chrono::steady_clock::now();
    bench.tool->funTest.FunTestStartFromMain(kSelectSignalLine, kPageMain);
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const bool passed = bench.AllPassed() && bench.tool->funTest.m_ucErrorCode == 0;

    const double scaledFloor = floorMs * scale;
    std::printf(
        "signal line test, all speeds and ports (6 sub-tests a host), %d hosts, time scale %g\n",
        hosts, scale);
    std::printf("  result           %s (floor run %s)\n", passed ? "all PASS" : "FAIL",
                floorPassed ? "all PASS" : "FAIL");
    std::printf("  wall time        %10.1f ms\n", wallMs);
    std::printf("  protocol floor   %10.1f ms nominal%s\n", floorMs,
                scale < 1.0 ? "" : " (= real at scale 1)");
    if (scale < 1.0) {
        std::printf("  floor scaled     %10.1f ms\n", scaledFloor);
        std::printf("  wall scaled back %10.1f ms nominal\n", wallMs / scale);
    }
    std::printf("  overhead         %10.1f %%\n", (wallMs / scaledFloor - 1.0) * 100.0);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return passed && floorPassed ? 0 : 1;
}
