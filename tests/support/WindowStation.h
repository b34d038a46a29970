// A whole window tool over a simulated station in a folder of its own, assembled as main.cpp
// assembles it (ToolAssembly, started with an empty command line): for the screenshot tour and
// the window's measurements. Needs a QApplication (the prompts show dialogs).
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/ToolAssembly.h"
#include "firmware/FirmwareImageMaker.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "qnlio/sim/SimStation.h"
#include "settings/CIni.h"

namespace qnl::test {

inline void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// `stationJson`: the station file's text; `settings`: written as the tool folder's settings
// file, with a 64 KB firmware image "fw.bin" beside it (which it may name as "FW.BIN").
class WindowStation {
  public:
    // Firmware update and check of "fw.bin", a 20 s port-test time-out.
    static IniSettings UpdateAndCheck() {
        IniSettings settings;
        settings.fw_update_enable = 1;
        settings.fw_check_enable = 1;
        settings.fw_binary_name = "FW.BIN";
        settings.test_timeout = 20;
        return settings;
    }

    WindowStation(const std::string& folder, const std::string& stationJson,
                  const IniSettings& settings, IOperatorPrompts& prompts) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        WriteTextFile(folder + "/station.json", stationJson);
        FirmwareImageOptions image;
        image.version = {0x17, 0x07, 0x07, 0x00, 0x50, 0x01};
        image.codeSize = 32768;
        image.padTo = 65536;
        image.customerText = "LINE 7";
        const auto bytes = BuildFirmwareImage(image);
        WriteTextFile(folder + "/fw.bin", std::string(bytes.begin(), bytes.end()));
        WriteTextFile(folder + "/" + kIniFileName, BuildIniText(settings));

        std::string error;
        auto config = sim::LoadStationFile(folder + "/station.json", error);
        if (!config) throw std::runtime_error(error);
        clock = std::make_unique<RealClock>(sim::TimeScaleOf(*config));
        station = std::make_unique<sim::SimStation>(std::move(*config), *clock);
        ToolEnvironment environment{*clock, console, prompts, *station};
        environment.eventStore = &events;
        environment.toolFolder = folder;
        environment.currentFolder = folder;
        environment.userName = "operator";
        tool = std::make_unique<ToolAssembly>(environment);
        if (tool->Start("")) throw std::runtime_error("start-up ended the tool");
    }

    std::unique_ptr<RealClock> clock;
    std::unique_ptr<sim::SimStation> station;
    NullConsole console;
    MemoryEventStore events;
    std::unique_ptr<ToolAssembly> tool;
};

}  // namespace qnl::test
