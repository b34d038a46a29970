// The main window's core over a simulated station, as the window runs it (an empty command
// line), with recording prompts: for tests of the window's rules with or without Qt.
#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/ToolAssembly.h"
#include "qnlio/sim/SimUsbTopology.h"
#include "support/ForwardingIo.h"
#include "support/RecordingPrompts.h"
#include "support/SimFixture.h"

namespace qnl::test {

// An IQnlIo that can hide every PCI function of the station beneath it (all ones, as an empty
// slot reads): the station "loses" its controllers.
class HidingIo final : public ForwardingIo {
  public:
    using ForwardingIo::ForwardingIo;
    std::atomic<bool> hidden{false};
    // Runs before each register window is mapped (set it before the activity it watches).
    std::function<void()> beforeMap;

    MappedAddress MapQnlIO(std::uint32_t physical, std::uint32_t size) override {
        if (beforeMap) beforeMap();
        return inner_.MapQnlIO(physical, size);
    }

    std::uint32_t PCI_Read_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                                 std::uint32_t o) override {
        return hidden ? 0xFFFFFFFFu : inner_.PCI_Read_DWORD(b, d, f, o);
    }
    std::uint8_t PCI_Read_BYTE(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                               std::uint32_t o) override {
        return hidden ? 0xFF : inner_.PCI_Read_BYTE(b, d, f, o);
    }
    void PCI_Write_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                         std::uint32_t v) override {
        if (!hidden) inner_.PCI_Write_DWORD(b, d, f, o, v);
    }
    void PCI_Write_Byte(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                        std::uint32_t v) override {
        if (!hidden) inner_.PCI_Write_Byte(b, d, f, o, v);
    }
};

class WindowBench {
  public:
    // `realTimeScale` > 0: the tool and the station run on a real clock of that scale (runs
    // whose workers must really wait for each other). `parts`: the main window's core alone
    // (a test attaches pages of its own) or with the tool's pages. `controllerExtra`: more of
    // each controller's station entry (its ports, faults).
    explicit WindowBench(int hosts = 2, double realTimeScale = 0,
                         ToolAssembly::Parts parts = ToolAssembly::Parts::WindowOnly,
                         const std::string& controllerExtra = {})
        : sim(Controllers(hosts, controllerExtra), "[]", realTimeScale),
          io(*sim.station),
          usb(*sim.station, realTimeScale > 0 ? sim.tool->context->clock : sim.clock),
          tool(Environment(realTimeScale), parts),
          context(&tool.context),
          dialog(&tool.dialog) {}

    std::string IniPath() const { return sim.Folder() + "/" + kIniFileName; }
    // Beside it an (empty) "fw.bin", which a settings file with the update on may name.
    void WriteSettings(const std::string& lines) const {
        std::ofstream(sim.Folder() + "/fw.bin", std::ios::binary);
        std::ofstream(IniPath(), std::ios::binary) << "[version]\r\nver=18\r\n" << lines;
    }
    // Window start-up: an empty command line.
    void Start() { result = dialog->OnInitDialog(""); }
    std::string LogText() {
        std::string all;
        for (const auto& e : events.ReadAll()) all += e.text;
        return all;
    }
    ControlState State(ControlId id) { return dialog->Controls().Get(id); }

    SimBench sim;
    HidingIo io;
    sim::SimUsbTopology usb;  // what the station's ports hold, as the system sees it
    MemoryConsole console;
    RecordingPrompts prompts;
    MemoryEventStore events;
    ToolAssembly tool;
    ToolContext* const context;
    CQNL735_MPToolDlg* const dialog;
    std::optional<std::int32_t> result;

  private:
    static std::string Controllers(int hosts, const std::string& extra) {
        std::string json = "[";
        for (int i = 0; i < hosts; ++i)
            json += (i ? "," : "") + ControllerJson(3 + i, 0, 0, 0, extra);
        return json + "]";
    }
    ToolEnvironment Environment(double realTimeScale) {
        // The bench's own tool runs on the clock the station was given.
        IClock& clock = realTimeScale > 0 ? sim.tool->context->clock : sim.clock;
        ToolEnvironment env{clock, console, prompts, io};
        env.eventStore = &events;
        env.usbTopology = &usb;
        env.toolFolder = sim.Folder();
        env.currentFolder = sim.Folder();
        env.userName = "operator";
        return env;
    }
};

}  // namespace qnl::test
