// A simulated station and a tool over it on a given clock (assembled as main.cpp assembles it,
// the window's pages included), the hosts discovered: what the benchmarks in this folder run
// on. Ends the process (2) when the station or the hosts are not as asked.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/ToolAssembly.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "platform/OperatorPrompts.h"
#include "qnlio/sim/SimStation.h"

namespace qnl::bench {

struct BenchTool {
    BenchTool(const std::string& folder, const std::string& stationText, int hosts, IClock& clock) {
        std::string error;
        auto config = sim::ParseStationText(stationText, folder + "/station.json", error);
        if (!config) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(2);
        }
        station = std::make_unique<sim::SimStation>(std::move(*config), clock);
        station->LoadQnlIODriver();
        ToolEnvironment env{clock, console, prompts, *station};
        env.eventStore = &events;
        env.toolFolder = folder;
        assembly = std::make_unique<ToolAssembly>(env);
        tool = &assembly->context;
        tool->interctl.ScanPciBus("");
        if (tool->g_Utility.ucHostCount != hosts) {
            std::fprintf(stderr, "found %d of %d hosts\n", tool->g_Utility.ucHostCount, hosts);
            std::exit(2);
        }
    }

    MemoryConsole console;
    ConsolePrompts prompts{console};
    MemoryEventStore events;
    std::unique_ptr<sim::SimStation> station;
    std::unique_ptr<ToolAssembly> assembly;
    ToolContext* tool = nullptr;
};

}  // namespace qnl::bench
