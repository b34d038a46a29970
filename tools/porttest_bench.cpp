// Wall time of port sub-tests against the simulated station on a scaled real clock, next to the
// floor the protocol's own waits set.
//
//   porttest_bench [time_scale]        (default 0.01)
//
// For each case the sub-test first runs on a recording clock, whose sum of nominal sleeps is
// the protocol floor; then on a fresh station with a real clock at the given scale, where the
// wall time is measured. Overhead = wall time / (floor x scale) - 1.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <string>

#include "app/ToolContext.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "platform/OperatorPrompts.h"
#include "porttest/LoopBackSubTest.h"
#include "porttest/SignalLineSubTest.h"
#include "porttest/TerminationSubTest.h"
#include "qnlio/sim/SimStation.h"

namespace {

using namespace qnl;

const char* kStation = R"({ "controllers": [ { "bus": 3, "ports": {
    "usb3_port1": { "type": "device", "speed": "superplus" },
    "usb3_port2": { "type": "loopback" },
    "usb2_port1": { "type": "device", "speed": "high" } } } ] })";

using SubTest = std::function<std::int32_t(CXhci&, TargetHost&)>;

struct Run {
    std::int32_t result = 0;
    double wallMs = 0.0;
};

// One sub-test on a fresh station and tool over `clock`.
Run RunOnce(const std::string& folder, IClock& clock, const SubTest& test) {
    std::string error;
    auto config = sim::ParseStationText(kStation, folder + "/station.json", error);
    if (!config) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(2);
    }
    sim::SimStation station(std::move(*config), clock);
    station.LoadQnlIODriver();
    MemoryConsole console;
    ConsolePrompts prompts(console);
    MemoryEventStore events;
    ToolEnvironment env{clock, console, prompts, station};
    env.eventStore = &events;
    env.toolFolder = folder;
    ToolContext tool(env);
    if (tool.interctl.AssignPciBus(3, 0, 0, "") != 0) {
        std::fprintf(stderr, "no controller found\n");
        std::exit(2);
    }
    const auto start = std::chrono::steady_clock::now();
    Run run;
    run.result = test(tool.xhci, tool.g_Utility.Host(0));
    run.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const double scale = argc > 1 ? std::atof(argv[1]) : 0.01;
    if (!(scale > 0.0 && scale <= 1.0)) {
        std::fprintf(stderr, "time scale must be in (0, 1]\n");
        return 2;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "qnl-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) return 2;

    const struct {
        const char* name;
        SubTest test;
    } cases[] = {
        {"signal line USB 2.0 Port 1",
         [](CXhci& x, TargetHost& h) { return SignalLineSubTest(x, h, 1, 1, 200); }},
        {"signal line USB 3.1 Port 1",
         [](CXhci& x, TargetHost& h) { return SignalLineSubTest(x, h, 4, 1, 200); }},
        {"termination Port 1", [](CXhci& x, TargetHost& h) { return TerminationSubTest(x, h, 1); }},
        {"loop back USB 3.0 Port 2",
         [](CXhci& x, TargetHost& h) { return LoopBackSubTest(x.Chip(), h, 2, 2); }},
    };
    std::printf("time scale %g\n", scale);
    int status = 0;
    for (const auto& c : cases) {
        ManualClock recording;
        const Run nominal = RunOnce(folder, recording, c.test);
        const auto sleeps = recording.Sleeps();
        const double floorMs = std::accumulate(sleeps.begin(), sleeps.end(), 0.0);
        RealClock real(scale);
        const Run timed = RunOnce(folder, real, c.test);
        const double scaledFloor = floorMs * scale;
        std::printf(
            "%-28s result %d/%d  wall %8.1f ms  floor %7.0f ms nominal = %7.1f ms scaled  "
            "overhead %5.1f%%  (wall scaled back to nominal: %7.0f ms)\n",
            c.name, nominal.result, timed.result, timed.wallMs, floorMs, scaledFloor,
            scaledFloor > 0 ? (timed.wallMs / scaledFloor - 1.0) * 100.0 : 0.0,
            timed.wallMs / scale);
        if (nominal.result != 0 || timed.result != 0) status = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return status;
}
