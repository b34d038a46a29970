// Process-wide tool state: the host table, the tool folder and the firmware file state.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "controller/TargetHost.h"

namespace qnl {

class CUtility {
public:
    CUtility();

    // Host table: records 0..ucHostCount-1 are valid.
    std::array<TargetHost, kMaxHosts> hosts;
    std::uint8_t ucHostCount = 0;

    // Folder of the executable; every file the tool writes lives there.
    std::string strToolFolder;

    // Marks all 8 records empty, as start-up does before discovery.
    void ResetHostRecords();
    TargetHost& Host(std::size_t index) { return hosts.at(index); }
    const TargetHost& Host(std::size_t index) const { return hosts.at(index); }
};

}  // namespace qnl
