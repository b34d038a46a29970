// One simulated controller with a chosen flash part, discovered by a fresh tool, for the flash
// programming tests. The tool's clock is a ManualClock, so every protocol wait is recorded and
// none is slept.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "controller/ErrorCodes.h"
#include "qnlio/MailboxProtocol.h"
#include "support/SimFixture.h"

namespace qnl::test {

class FlashBench {
  public:
    // `flashId` as in the station file ("C2 20 13"; empty: none, for a chip described in
    // `extra`); `extra` adds keys to the controller entry.
    explicit FlashBench(const std::string& flashId, int kind = 0, const std::string& extra = {})
        : bench("[{ \"bus\": 3, \"kind\": " + std::to_string(kind) +
                (flashId.empty() ? "" : ", \"flash_id\": \"" + flashId + "\"") +
                ", \"flash\": \"host0.flash\"" + (extra.empty() ? "" : ", " + extra) + " }]") {
        if (bench.chip().ScanPciBus("") != kOk) throw std::runtime_error("no host found");
        Forget();
    }

    CInterctl& chip() { return bench.chip(); }
    TargetHost& host() { return bench.util().Host(0); }
    sim::SimController& sim() { return bench.controller(0); }
    ManualClock& clock() { return bench.tool->clock; }
    std::string LogText() { return bench.tool->LogText(); }
    std::string FlashFile() const { return bench.Folder() + "/host0.flash"; }

    // Drops what discovery left in the command log and the clock.
    void Forget() {
        sim().ClearCommands();
        clock().ClearSleeps();
    }

    // Commands received since the last Forget(), only those with the given code.
    std::vector<sim::CommandRecord> CommandsOf(std::uint32_t command) {
        std::vector<sim::CommandRecord> out;
        for (const auto& c : sim().Commands())
            if (c.command == command) out.push_back(c);
        return out;
    }

    // The flash bytes [address, address + length).
    std::vector<std::uint8_t> Flash(std::uint32_t address, std::size_t length) {
        const auto all = sim().FlashContents();
        return {all.begin() + address, all.begin() + static_cast<std::ptrdiff_t>(address + length)};
    }

    SimBench bench;
};

// A deterministic image of `size` bytes with no long runs of one value.
inline std::vector<std::uint8_t> PatternImage(std::size_t size, std::uint8_t seed = 1) {
    std::vector<std::uint8_t> image(size);
    std::uint32_t x = 0x9E3779B9u * seed + 1;
    for (auto& b : image) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return image;
}

}  // namespace qnl::test
