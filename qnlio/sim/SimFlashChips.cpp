// The station's flash chips. Sizes, opcodes and ID bytes are the parts' own; times are typical
// data-sheet figures: a 4 KB sector erase takes 18 ms (SST) to 60 ms, a 32 KB or 64 KB sector
// 0.3 to 0.7 s, a write-status about 10 ms, and programming one 8-byte group some 50 us (a few
// AAI words on the SST parts). Parts of one maker that answer the same ID bytes are listed once:
// the station could not tell them apart either.
#include "qnlio/sim/SimFlashChips.h"

#include <vector>

namespace qnl::sim {
namespace {

constexpr std::uint32_t kKb = 1024;

// name, ID opcode, ID address bytes, ID bytes, two-byte ID, capacity KB, sector KB,
// sector-erase opcode, AAI, block-protection bits, sector erase ms
FlashChipModel Chip(const char* name, std::uint8_t idOpcode, std::uint8_t idAddressBytes,
                    std::array<std::uint8_t, 3> id, bool twoByteId, std::uint32_t capacityKb,
                    std::uint32_t sectorKb, std::uint8_t sectorEraseOpcode, bool aai,
                    std::uint8_t bpMask, std::uint32_t sectorEraseMs) {
    FlashChipModel c;
    c.name = name;
    c.idOpcode = idOpcode;
    c.idAddressBytes = idAddressBytes;
    c.id = id;
    c.twoByteId = twoByteId;
    c.capacityBytes = capacityKb * kKb;
    c.sectorBytes = sectorKb * kKb;
    c.sectorEraseOpcode = sectorEraseOpcode;
    c.aai = aai;
    c.bpMask = bpMask;
    c.sectorEraseMs = sectorEraseMs;
    // AAI parts program a word (2 bytes) in about 10 us.
    c.programUs = aai ? 40 : 50;
    return c;
}

// clang-format off
const std::vector<FlashChipModel> kChips{
    Chip("MXIC MX25L(V)512(C)", 0x9F, 0, {0xC2, 0x20, 0x10}, false, 64, 4, 0x20, false, 0x0C, 40),
    Chip("MXIC MX25L100(2)5C/1006E", 0x9F, 0, {0xC2, 0x20, 0x11}, false, 128, 4, 0x20, false, 0x0C, 40),
    Chip("MXIC MX25L5121E", 0x9F, 0, {0xC2, 0x22, 0x10}, false, 64, 4, 0x20, false, 0x0C, 40),
    Chip("MXIC MX25L1021E", 0x9F, 0, {0xC2, 0x22, 0x11}, false, 128, 4, 0x20, false, 0x0C, 40),
    Chip("MXIC MX25L2006E", 0x9F, 0, {0xC2, 0x20, 0x12}, false, 256, 4, 0x20, false, 0x1C, 40),
    Chip("MXIC MX25x4006E", 0x9F, 0, {0xC2, 0x20, 0x13}, false, 512, 4, 0x20, false, 0x1C, 40),
    Chip("MXIC MX25V2035F", 0x9F, 0, {0xC2, 0x23, 0x12}, false, 256, 4, 0x20, false, 0x1C, 40),
    Chip("MXIC MMX25V4035F", 0x9F, 0, {0xC2, 0x23, 0x13}, false, 512, 4, 0x20, false, 0x1C, 40),
    Chip("MXIC MX25U4035", 0x9F, 0, {0xC2, 0x25, 0x33}, false, 512, 4, 0x20, false, 0x1C, 40),
    Chip("MXIC MX25U8035", 0x9F, 0, {0xC2, 0x25, 0x34}, false, 1024, 4, 0x20, false, 0x1C, 40),
    Chip("WinBond W25Q20BW", 0x9F, 0, {0xEF, 0x50, 0x12}, false, 256, 4, 0x20, false, 0x1C, 45),
    Chip("WinBond W25Q40BW", 0x9F, 0, {0xEF, 0x50, 0x13}, false, 512, 4, 0x20, false, 0x1C, 45),
    Chip("WinBond W25X05CL", 0x9F, 0, {0xEF, 0x30, 0x10}, false, 64, 4, 0x20, false, 0x0C, 45),
    Chip("WinBond W25X10B(C)L(V)", 0x9F, 0, {0xEF, 0x30, 0x11}, false, 128, 4, 0x20, false, 0x0C, 45),
    Chip("WinBond W25X20B(C)L(V)", 0x9F, 0, {0xEF, 0x30, 0x12}, false, 256, 4, 0x20, false, 0x1C, 45),
    Chip("WinBond W25X40BL(V)", 0x9F, 0, {0xEF, 0x30, 0x13}, false, 512, 4, 0x20, false, 0x1C, 45),
    Chip("WinBond W25Q40BL(V)", 0x9F, 0, {0xEF, 0x40, 0x13}, false, 512, 4, 0x20, false, 0x1C, 45),
    Chip("WinBond W25Q80DV", 0x9F, 0, {0xEF, 0x40, 0x14}, false, 1024, 4, 0x20, false, 0x1C, 45),
    Chip("Sanyo LE25FU206A", 0x9F, 0, {0x62, 0x06, 0x12}, false, 256, 4, 0xD8, false, 0x1C, 40),
    Chip("Sanyo LE25FU406B", 0x9F, 0, {0x62, 0x1E, 0x62}, false, 512, 4, 0xD8, false, 0x1C, 40),
    Chip("ESMT F25L05PA", 0x9F, 0, {0x8C, 0x30, 0x10}, false, 512, 4, 0x20, false, 0x1C, 60),
    Chip("ESMT F25L01PA", 0x9F, 0, {0x8C, 0x30, 0x11}, false, 64, 4, 0x20, false, 0x0C, 60),
    Chip("Giga Device GD25Q40/1BT", 0x9F, 0, {0xC8, 0x40, 0x13}, false, 512, 4, 0x20, false, 0x1C, 50),
    Chip("Giga Device GD25Q20/1", 0x9F, 0, {0xC8, 0x40, 0x12}, false, 256, 4, 0x20, false, 0x1C, 50),
    Chip("Giga Device GD25Q10/D10B", 0x9F, 0, {0xC8, 0x40, 0x11}, false, 128, 4, 0x20, false, 0x0C, 50),
    Chip("Giga Device GD25Q512/D05B", 0x9F, 0, {0xC8, 0x40, 0x10}, false, 64, 4, 0x20, false, 0x0C, 50),
    Chip("Giga Device GD25VQ21B", 0x9F, 0, {0xC8, 0x42, 0x12}, false, 256, 4, 0x20, false, 0x1C, 50),
    Chip("NUMONYX M25P05A", 0x9F, 0, {0x20, 0x20, 0x10}, false, 64, 32, 0xD8, false, 0x0C, 600),
    Chip("NUMONYX M25P10A", 0x9F, 0, {0x20, 0x20, 0x11}, false, 128, 32, 0xD8, false, 0x0C, 600),
    Chip("NUMONYX M25PE10", 0x9F, 0, {0x20, 0x80, 0x11}, false, 128, 64, 0xD8, false, 0x0C, 600),
    Chip("NUMONYX M25PE20", 0x9F, 0, {0x20, 0x80, 0x12}, false, 256, 64, 0xD8, false, 0x1C, 600),
    Chip("NUMONYX M45PE10", 0x9F, 0, {0x20, 0x40, 0x11}, false, 128, 64, 0xD8, false, 0x0C, 600),
    Chip("EON EN25xF05", 0x9F, 0, {0x1C, 0x31, 0x10}, false, 64, 4, 0x20, false, 0x0C, 60),
    Chip("EON EN25(L)F10", 0x9F, 0, {0x1C, 0x31, 0x11}, false, 128, 4, 0x20, false, 0x0C, 60),
    Chip("EON EN25S10", 0x9F, 0, {0x1C, 0x38, 0x11}, false, 128, 4, 0x20, false, 0x0C, 60),
    Chip("EON EN25F20", 0x9F, 0, {0x1C, 0x31, 0x12}, false, 256, 4, 0x20, false, 0x1C, 60),
    Chip("EON EN25F40", 0x9F, 0, {0x1C, 0x31, 0x13}, false, 512, 4, 0x20, false, 0x1C, 60),
    Chip("ATMEL AT25F512A(B)", 0x15, 0, {0x1F, 0x65, 0xFF}, true, 64, 32, 0x52, false, 0x0C, 700),
    Chip("ATMEL AT25FS010", 0x15, 0, {0x1F, 0x66, 0xFF}, true, 128, 4, 0x20, false, 0x0C, 50),
    Chip("PFLASH PM25LV512A", 0xAB, 3, {0x9D, 0x7B, 0x7F}, false, 64, 4, 0xD7, false, 0x0C, 40),
    Chip("PFLASH PM25LV010A", 0xAB, 3, {0x9D, 0x7C, 0x7F}, false, 128, 4, 0xD7, false, 0x0C, 40),
    Chip("PFLASH PM25LD512C", 0x90, 3, {0x9D, 0x05, 0x7F}, false, 64, 4, 0xD7, false, 0x0C, 40),
    Chip("PFLASH PM25LD010x", 0x90, 3, {0x9D, 0x10, 0x7F}, false, 128, 4, 0xD7, false, 0x0C, 40),
    Chip("PFLASH PM25L(W)D020C", 0x90, 3, {0x9D, 0x11, 0x7F}, false, 256, 4, 0xD7, false, 0x1C, 40),
    Chip("PFLASH Pm25WD040", 0x90, 3, {0x9D, 0x12, 0x7F}, false, 512, 4, 0xD7, false, 0x1C, 40),
    Chip("PFLASH Pm25LD040", 0x90, 3, {0x9D, 0x7E, 0x7F}, false, 512, 4, 0xD7, false, 0x1C, 40),
    Chip("PFLASH Pm25LQ010A", 0x9F, 3, {0x9D, 0x40, 0x11}, false, 128, 4, 0xD7, false, 0x0C, 40),
    Chip("AMIC A25L512", 0x9F, 0, {0x37, 0x30, 0x10}, false, 64, 4, 0x20, false, 0x0C, 60),
    Chip("AMIC A25L010", 0x9F, 0, {0x37, 0x30, 0x11}, false, 128, 4, 0x20, false, 0x0C, 60),
    Chip("AMIC A25L020", 0x9F, 0, {0x37, 0x30, 0x12}, false, 256, 4, 0x20, false, 0x1C, 60),
    Chip("AMIC A25L040", 0x9F, 0, {0x37, 0x30, 0x13}, false, 512, 4, 0x20, false, 0x1C, 60),
    Chip("SST SST25VF512X", 0x90, 3, {0xBF, 0x48, 0xBF}, false, 64, 4, 0x20, true, 0x0C, 18),
    Chip("SST SST25VF010A", 0x90, 3, {0xBF, 0x49, 0xBF}, false, 128, 4, 0x20, true, 0x0C, 18),
    Chip("Micron M25P80", 0x9F, 0, {0x20, 0x20, 0x14}, false, 64, 16, 0xD8, false, 0x1C, 300),
    Chip("Boya BY25Q20A", 0x9F, 0, {0xE0, 0x40, 0x12}, false, 256, 4, 0x20, false, 0x1C, 45),
    Chip("Boya BY25Q10A", 0x9F, 0, {0xE0, 0x40, 0x11}, false, 128, 4, 0x20, false, 0x0C, 45),
    Chip("Boya BY25Q512A", 0x9F, 0, {0xE0, 0x40, 0x10}, false, 64, 4, 0x20, false, 0x0C, 45),
};
// clang-format on

}  // namespace

std::span<const FlashChipModel> FlashChipCatalogue() {
    return kChips;
}

std::optional<FlashChipModel> FindFlashChip(const std::array<std::uint8_t, 3>& id) {
    for (const FlashChipModel& chip : kChips) {
        if (chip.id[0] == id[0] && chip.id[1] == id[1] && (chip.twoByteId || chip.id[2] == id[2]))
            return chip;
    }
    return std::nullopt;
}

}  // namespace qnl::sim
