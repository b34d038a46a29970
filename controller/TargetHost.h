// One target host: a controller found on the PCI buses, and what the tool knows of it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qnl {

inline constexpr std::size_t kMaxHosts = 8;
inline constexpr std::uint8_t kNoHostIndex = 0xFF;

struct TargetHost {
    std::uint8_t ucIndex = 0;           // own position in the table (0xFF: empty slot)
    std::uint8_t ucFwUpdateResult = 0;  // 1 = the last firmware update passed
    std::uint8_t ucFwCheckResult = 0;   // 1 = the last firmware check passed
    std::uint32_t dwSignalResult = 0;   // signal line / fixture test result, 0 = passed
    std::uint8_t ucTerminationResult = 0;
    std::uint8_t ucLoopBackResult = 0;
    std::uint8_t ucWrsrStatus = 0;   // flash status register; 0 not read, 0xFF read failed
    std::uint8_t ucChipType = 0xFF;  // 0, 1 or 0xFF
    std::uint8_t ucKind = 0;         // 0 or 1: which identification table matched
    std::uint8_t ucBus = 0;
    std::uint8_t ucDevice = 0;
    std::uint8_t ucFunction = 0;
    std::string strFWVersion;     // "%02X%02X%02X_%02X_%02X_%02X"
    std::string strSSID;          // 4 lower-case hex digits
    std::string strSVID;          // 4 lower-case hex digits
    std::string strFirmwarePath;  // firmware file of the last upgrade run
    std::uint8_t ucPcieLink = 0;
    std::uint32_t dwMmioBase = 0;  // BAR0 with its low 4 bits cleared
    std::array<std::uint8_t, 4> ucPortConnected{};
    // Found at discovery, but its device-information reads did not answer in time: it keeps
    // its slot (and its address), and nothing drives it again until the next discovery.
    bool bNoAnswer = false;

    // A controller the runs and checks may drive: a recorded slot that answered at discovery.
    bool Served() const { return ucIndex != kNoHostIndex && !bNoAnswer; }

    // The per-host result fields that every run clears.
    void ClearResults() {
        ucFwUpdateResult = 0;
        ucFwCheckResult = 0;
        dwSignalResult = 0;
        ucTerminationResult = 0;
        ucLoopBackResult = 0;
    }
};

}  // namespace qnl
