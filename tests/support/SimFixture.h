// A simulated station in a temporary folder, with a fresh tool over it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "qnlio/sim/SimStation.h"
#include "support/ToolFixture.h"

namespace qnl::test {

class SimBench {
  public:
    // `controllersJson` is the text of the "controllers" array; flash files go to the folder.
    // With `realTimeScale` > 0 the station and the tool run on a real clock of that scale (for
    // runs whose supervisor and workers must really wait for each other); else on `clock`.
    explicit SimBench(const std::string& controllersJson, const std::string& otherJson = "[]",
                      double realTimeScale = 0)
        : folder_(MakeFolder()), realClock_(realTimeScale > 0 ? realTimeScale : 1.0) {
        IClock* real = realTimeScale > 0 ? &realClock_ : nullptr;
        const std::string text = R"({ "time_scale": 1.0, "controllers": )" + controllersJson +
                                 R"(, "other_devices": )" + otherJson + "}";
        std::string error;
        auto config = sim::ParseStationText(text, folder_ + "/station.json", error);
        if (!config) throw std::runtime_error(error);
        station = std::make_unique<sim::SimStation>(
            std::move(*config), real != nullptr ? *real : static_cast<IClock&>(clock));
        station->LoadQnlIODriver();
        tool = std::make_unique<ToolUnderTest>(*station, folder_, &clock, real);
    }
    ~SimBench() {
        tool.reset();
        station.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    const std::string& Folder() const { return folder_; }
    CInterctl& chip() { return tool->context->interctl; }
    CXhci& xhci() { return tool->context->xhci; }
    CUtility& util() { return tool->context->g_Utility; }
    sim::SimController& controller(std::size_t i) { return station->Controller(i); }

    // One clock for the station and the tool: the tool's waits are what lets the simulated
    // hardware's own time (a controller reset, link training) pass.
    ManualClock clock;
    ManualClock& stationClock = clock;
    std::unique_ptr<sim::SimStation> station;
    std::unique_ptr<ToolUnderTest> tool;

  private:
    static std::string MakeFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qnl-sim-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        return pattern;
    }
    std::string folder_;
    RealClock realClock_;
};

// A controller entry of the "controllers" array.
inline std::string ControllerJson(int bus, int device, int function, int kind = 0,
                                  const std::string& extra = {}) {
    return "{ \"bus\": " + std::to_string(bus) + ", \"device\": " + std::to_string(device) +
           ", \"function\": " + std::to_string(function) + ", \"kind\": " + std::to_string(kind) +
           ", \"model\": 0, \"flash_id\": \"C2 20 11\", \"flash\": \"h" + std::to_string(bus) +
           "_" + std::to_string(device) + "_" + std::to_string(function) + ".flash\"" +
           (extra.empty() ? "" : ", " + extra) + " }";
}

}  // namespace qnl::test
