// The main window's core over a simulated station, as the window runs it (an empty command
// line), with recording prompts: for tests of the window's rules with or without Qt.
#pragma once

#include <fstream>
#include <memory>
#include <string>

#include "app/MPToolDlg.h"
#include "support/RecordingPrompts.h"
#include "support/SimFixture.h"

namespace qnl::test {

// An IQnlIo that can hide every PCI function of the station beneath it (all ones, as an empty
// slot reads): the station "loses" its controllers.
class HidingIo final : public IQnlIo {
  public:
    explicit HidingIo(IQnlIo& inner) : inner_(inner) {}
    std::atomic<bool> hidden{false};

    std::uint32_t LoadQnlIODriver() override { return inner_.LoadQnlIODriver(); }
    void UnloadQnlIODriver() override { inner_.UnloadQnlIODriver(); }
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
    MappedAddress MapQnlIO(std::uint32_t a, std::uint32_t s) override {
        return inner_.MapQnlIO(a, s);
    }
    void UnmapQnlIO(MappedAddress a, std::uint32_t s) override { inner_.UnmapQnlIO(a, s); }
    std::int32_t ReadMEM(MappedAddress a, std::uint32_t w, std::uint32_t* r) override {
        return inner_.ReadMEM(a, w, r);
    }
    std::int32_t WriteMEM(MappedAddress a, std::uint32_t w, const std::uint32_t* v) override {
        return inner_.WriteMEM(a, w, v);
    }
    std::int32_t WriteCmdALL(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t c,
                             std::uint32_t s, std::uint32_t l, std::uint32_t a, std::uint32_t lo,
                             std::uint32_t hi) override {
        return inner_.WriteCmdALL(b, d, f, c, s, l, a, lo, hi);
    }
    std::int32_t Wait_Write_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override {
        return inner_.Wait_Write_Ready(b, d, f);
    }
    std::int32_t Wait_Read_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override {
        return inner_.Wait_Read_Ready(b, d, f);
    }
    std::int32_t ReadCMD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                         std::uint8_t* reply) override {
        return inner_.ReadCMD(b, d, f, reply);
    }

  private:
    IQnlIo& inner_;
};

class WindowBench {
  public:
    // `realTimeScale` > 0: the tool and the station run on a real clock of that scale (runs
    // whose workers must really wait for each other).
    explicit WindowBench(int hosts = 2, double realTimeScale = 0)
        : sim(Controllers(hosts), "[]", realTimeScale), io(*sim.station) {
        ToolEnvironment env{ToolClock(realTimeScale), console, prompts, io};
        env.eventStore = &events;
        env.toolFolder = sim.Folder();
        env.currentFolder = sim.Folder();
        env.userName = "operator";
        context = std::make_unique<ToolContext>(env);
        dialog = std::make_unique<CQNL735_MPToolDlg>(*context);
    }
    ~WindowBench() {
        dialog.reset();
        context.reset();
    }

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
    MemoryConsole console;
    RecordingPrompts prompts;
    MemoryEventStore events;
    std::unique_ptr<ToolContext> context;
    std::unique_ptr<CQNL735_MPToolDlg> dialog;
    std::optional<std::int32_t> result;

  private:
    static std::string Controllers(int hosts) {
        std::string json = "[";
        for (int i = 0; i < hosts; ++i) json += (i ? "," : "") + ControllerJson(3 + i, 0, 0);
        return json + "]";
    }
    IClock& ToolClock(double realTimeScale) {
        // The bench's own tool runs on the clock the station was given.
        if (realTimeScale > 0) return sim.tool->context->clock;
        return sim.clock;
    }
};

}  // namespace qnl::test
