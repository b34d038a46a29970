// Simulated controllers and a tool over them on a scaled real clock, for the port-test
// scheduler: its supervisors and workers run on their own threads, so the station's time must
// pass on its own (a recording clock would let the supervisors' polls race ahead).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ToolContext.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "platform/OperatorPrompts.h"
#include "qnlio/sim/SimStation.h"
#include "support/SimFixture.h"

namespace qnl::test {

class SchedulerBench {
  public:
    // One controller per entry of `ports` (the text of its "ports" object, or "" for none), on
    // buses 3, 4, ...; the result table shows `page`.
    explicit SchedulerBench(const std::vector<std::string>& ports, double timeScale = 0.01,
                            IUsbTopology* usb = nullptr, std::uint8_t page = kPageMain)
        : clock(timeScale), folder_(MakeFolder()) {
        std::string list;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const std::string extra = ports[i].empty() ? "" : "\"ports\": " + ports[i];
            list += (i ? "," : "") + ControllerJson(3 + static_cast<int>(i), 0, 0, 0, extra);
        }
        std::string error;
        auto config = sim::ParseStationText(R"({ "controllers": [)" + list + "] }",
                                            folder_ + "/station.json", error);
        if (!config) throw std::runtime_error(error);
        station = std::make_unique<sim::SimStation>(std::move(*config), clock);
        station->LoadQnlIODriver();
        ToolEnvironment env{clock, console, prompts, *station};
        env.eventStore = &events;
        env.usbTopology = usb;
        env.toolFolder = folder_;
        context = std::make_unique<ToolContext>(env);
        context->consoleMode = true;
        context->silentMode = true;
        context->resultTable.ShowPage(page);
        context->interctl.ScanPciBus("");
        IniSettings& ini = context->ini;
        ini.test_speed = 7;
        ini.test_port = 3;
        ini.test_timeout = 200;
    }
    ~SchedulerBench() {
        context.reset();
        station.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    FunTest& funTest() { return context->funTest; }
    IniSettings& ini() { return context->ini; }
    TargetHost& host(std::size_t i) { return context->g_Utility.hosts[i]; }
    std::string Cell(int row, int column) {
        return context->resultTable.strGetResultItemTable(static_cast<std::uint8_t>(row), column);
    }
    // The cells of a row, columns first..last, joined with '|'.
    std::string Cells(int row, int first, int last) {
        std::string text;
        for (int c = first; c <= last; ++c) text += (c > first ? "|" : "") + Cell(row, c);
        return text;
    }
    std::string Out() const { return console.Text(); }
    bool Printed(const std::string& text) const { return Out().find(text) != std::string::npos; }

    RealClock clock;
    MemoryConsole console;
    ConsolePrompts prompts{console};
    MemoryEventStore events;
    std::unique_ptr<sim::SimStation> station;
    std::unique_ptr<ToolContext> context;

  private:
    static std::string MakeFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qnl-sched-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        return pattern;
    }
    std::string folder_;
};

}  // namespace qnl::test
