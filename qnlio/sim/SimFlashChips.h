// The SPI flash chips the simulated station can put on a controller, as the chips themselves
// behave: how they answer identification, how big they are, which opcode erases one of their
// sectors, whether they program a page at a time or in auto-address-increment (AAI) words, which
// status-register bits protect them, and how long their erase, program and status write take.
//
// This is the station's own description of the parts, written from their data. It is not the
// tool's table of supported parts and must not be derived from it: the station exists to catch a
// wrong row there. A station file can describe a chip of its own (docs/station.md).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qnl::sim {

struct FlashChipModel {
    std::string name;
    std::uint8_t idOpcode = 0x9F;
    std::uint8_t idAddressBytes = 0;  // address bytes the chip expects after its ID opcode
    std::array<std::uint8_t, 3> id{};
    // The chip drives only manufacturer and device code; the third byte it answers is whatever
    // the station says (the station file's "flash_id").
    bool twoByteId = false;
    std::uint32_t capacityBytes = 0;
    std::uint32_t sectorBytes = 4096;  // what one sector-erase opcode erases
    std::uint8_t sectorEraseOpcode = 0x20;
    bool aai = false;            // programs in AAI words only, no page program
    std::uint8_t bpMask = 0x1C;  // block-protection bits of the status register
    std::uint32_t sectorEraseMs = 40;
    std::uint32_t programUs = 50;  // one 8-byte group (page program or four AAI words)
    std::uint32_t statusWriteMs = 10;

    // The status bits a write-status can change: block protection and status-register protect.
    std::uint8_t StatusWritableMask() const { return static_cast<std::uint8_t>(bpMask | 0x80); }
};

// Every chip the station knows, in no particular order (identification is by ID bytes).
std::span<const FlashChipModel> FlashChipCatalogue();

// The chip that answers these three ID bytes (a two-byte-ID chip matches any third byte).
std::optional<FlashChipModel> FindFlashChip(const std::array<std::uint8_t, 3>& id);

}  // namespace qnl::sim
