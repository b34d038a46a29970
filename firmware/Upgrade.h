// The upgrade run: one prepared image for all hosts, one worker per host that programs its
// host under the programming lock and checks the result.
//
// This class carries the logic and state of the upgrade page; the page's Qt view (later)
// holds a reference to it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qnl {

class ToolContext;

class Upgrade {
public:
    explicit Upgrade(ToolContext& context);
    Upgrade(const Upgrade&) = delete;
    Upgrade& operator=(const Upgrade&) = delete;

    // --- Configuration image (firmware/ConfigRom.cpp) --------------------------------------
    // Builds the image that is programmed from the chosen firmware image and the settings,
    // and writes it as "Config_<version>.rom" in the tool folder. On success g_Utility's file
    // path names that file and its file length is the written length.
    bool vCreateConfigRomFile(const std::uint8_t* image, std::uint32_t length);

    // --- Programming one host (firmware/UpgradeProgramming.cpp) ----------------------------
    // Identifies the flash and programs the image file under the programming lock. 0 on
    // success (the host's firmware-update result is then 1), else nonzero.
    std::int32_t Firmware_Upgrade(std::uint8_t hostIndex, const std::string& imagePath);

    // The programming lock: flash identification and programming run one host at a time.
    std::mutex m_FWUpgCriticalSection;

private:
    ToolContext& ctx_;
};

}  // namespace qnl
