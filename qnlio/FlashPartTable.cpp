// The supported SPI flash parts, as pure data.
//
// Each row is written once in readable units (sizes in KB, names as text) and turned into the
// 522-byte form at compile time. The static_asserts below check what the programming code relies
// on: sizes that fit their 4 KB-unit fields, capacities that hold a whole number of sectors, and
// the two pairs of rows that answer with the same ID bytes (the later row of each pair can never
// be identified; the table keeps it because the controllers' own table lists it).
#include "qnlio/FlashPartTable.h"

#include <cstring>

namespace qnl {
namespace {

struct FlashPartEntry {
    const char* vendor;
    const char* name;
    std::uint8_t idOpcode;
    std::uint8_t idAddressBytes;
    std::uint8_t chipEraseOpcode;
    std::uint8_t sectorEraseOpcode;
    std::uint32_t sectorSizeKb;
    std::uint32_t capacityKb;  // the 1 MB parts list 1020 KB (255 units)
    std::uint8_t eraseTimeFactor;
    std::array<std::uint8_t, 3> idBytes;
};

// One row per part, in the controllers' table order; the row numbers are 1-based.
// clang-format off
constexpr std::array<FlashPartEntry, 59> kParts{{
    {.vendor = "MXIC", .name = "MX25L(V)512(C)",  // row 1
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x20, 0x10}},
    {.vendor = "MXIC", .name = "MX25L100(2)5C/1006E",  // row 2
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x20, 0x11}},
    {.vendor = "MXIC", .name = "MX25L5121E",  // row 3
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x22, 0x10}},
    {.vendor = "MXIC", .name = "MX25L1021E",  // row 4
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x22, 0x11}},
    {.vendor = "MXIC", .name = "MX25L2006E",  // row 5
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x20, 0x12}},
    {.vendor = "MXIC", .name = "MX25x4006E",  // row 6
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x20, 0x13}},
    {.vendor = "MXIC", .name = "MX25V512F",  // row 7
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x22, 0x10}},
    {.vendor = "MXIC", .name = "MX25V1035F",  // row 8
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x22, 0x11}},
    {.vendor = "MXIC", .name = "MX25V2035F",  // row 9
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x23, 0x12}},
    {.vendor = "MXIC", .name = "MMX25V4035F",  // row 10
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x23, 0x13}},
    {.vendor = "MXIC", .name = "MX25U4035",  // row 11
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x25, 0x33}},
    {.vendor = "MXIC", .name = "MX25U8035",  // row 12
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 1020, .eraseTimeFactor = 22, .idBytes = {0xC2, 0x25, 0x34}},
    {.vendor = "WinBond", .name = "W25Q20BW",  // row 13
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x50, 0x12}},
    {.vendor = "WinBond", .name = "W25Q40BW",  // row 14
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x50, 0x13}},
    {.vendor = "WinBond", .name = "W25X05CL",  // row 15
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x30, 0x10}},
    {.vendor = "WinBond", .name = "W25X10B(C)L(V)",  // row 16
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x30, 0x11}},
    {.vendor = "WinBond", .name = "W25X20B(C)L(V)",  // row 17
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x30, 0x12}},
    {.vendor = "WinBond", .name = "W25X40BL(V)",  // row 18
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x30, 0x13}},
    {.vendor = "WinBond", .name = "W25Q40BL(V)",  // row 19
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x40, 0x13}},
    {.vendor = "WinBond", .name = "W25Q80DV",  // row 20
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 1020, .eraseTimeFactor = 22, .idBytes = {0xEF, 0x40, 0x14}},
    {.vendor = "Sanyo", .name = "LE25FU206A",  // row 21
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0x62, 0x06, 0x12}},
    {.vendor = "Sanyo", .name = "LE25FU406B",  // row 22
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0x62, 0x1E, 0x62}},
    {.vendor = "ESMT", .name = "F25L05PA",  // row 23
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0x8C, 0x30, 0x10}},
    {.vendor = "ESMT", .name = "F25L01PA",  // row 24
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0x8C, 0x30, 0x11}},
    {.vendor = "Giga Device", .name = "GD25Q40/1BT",  // row 25
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 150, .idBytes = {0xC8, 0x40, 0x13}},
    {.vendor = "Giga Device", .name = "GD25Q20/1",  // row 26
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 250, .idBytes = {0xC8, 0x40, 0x12}},
    {.vendor = "Giga Device", .name = "GD25Q10/D10B",  // row 27
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 150, .idBytes = {0xC8, 0x40, 0x11}},
    {.vendor = "Giga Device", .name = "GD25Q512/D05B",  // row 28
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 150, .idBytes = {0xC8, 0x40, 0x10}},
    {.vendor = "Giga Device", .name = "GD25VQ21B",  // row 29
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 150, .idBytes = {0xC8, 0x42, 0x12}},
    {.vendor = "NUMONYX", .name = "M25P05A",  // row 30
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 32, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0x20, 0x20, 0x10}},
    {.vendor = "NUMONYX", .name = "M25P10A",  // row 31
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 32, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x20, 0x20, 0x11}},
    {.vendor = "NUMONYX", .name = "M25PE10",  // row 32
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 64, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x20, 0x80, 0x11}},
    {.vendor = "NUMONYX", .name = "M25PE20",  // row 33
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 64, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0x20, 0x80, 0x12}},
    {.vendor = "NUMONYX", .name = "M45PE10",  // row 34
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xD8, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 64, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x20, 0x40, 0x11}},
    {.vendor = "EON", .name = "EN25xF05",  // row 35
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0x1C, 0x31, 0x10}},
    {.vendor = "EON", .name = "EN25(L)F10",  // row 36
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x1C, 0x31, 0x11}},
    {.vendor = "EON", .name = "EN25S10",  // row 37
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x1C, 0x38, 0x11}},
    {.vendor = "EON", .name = "EN25F20",  // row 38
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0x1C, 0x31, 0x12}},
    {.vendor = "EON", .name = "EN25F40",  // row 39
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0x1C, 0x31, 0x13}},
    {.vendor = "ATMEL", .name = "AT25F512A(B)",  // row 40
     .idOpcode = 0x15, .idAddressBytes = 0, .chipEraseOpcode = 0x62, .sectorEraseOpcode = 0x52,
     .sectorSizeKb = 32, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0x1F, 0x65, 0xFF}},
    {.vendor = "ATMEL", .name = "AT25FS010",  // row 41
     .idOpcode = 0x15, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x1F, 0x66, 0xFF}},
    {.vendor = "PFLASH", .name = "PM25LV512A",  // row 42
     .idOpcode = 0xAB, .idAddressBytes = 3, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x7B, 0x7F}},
    {.vendor = "PFLASH", .name = "PM25LV010A",  // row 43
     .idOpcode = 0xAB, .idAddressBytes = 3, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x7C, 0x7F}},
    {.vendor = "PFLASH", .name = "PM25LD512C",  // row 44
     .idOpcode = 0x90, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x05, 0x7F}},
    {.vendor = "PFLASH", .name = "PM25LD010x",  // row 45
     .idOpcode = 0x90, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x10, 0x7F}},
    {.vendor = "PFLASH", .name = "PM25L(W)D020C",  // row 46
     .idOpcode = 0x90, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x11, 0x7F}},
    {.vendor = "PFLASH", .name = "Pm25WD040",  // row 47
     .idOpcode = 0x90, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x12, 0x7F}},
    {.vendor = "PFLASH", .name = "Pm25LD040",  // row 48
     .idOpcode = 0x90, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x7E, 0x7F}},
    {.vendor = "PFLASH", .name = "Pm25LQ010A",  // row 49
     .idOpcode = 0x9F, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0xD7,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x9D, 0x40, 0x11}},
    {.vendor = "AMIC", .name = "A25L512",  // row 50
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0x37, 0x30, 0x10}},
    {.vendor = "AMIC", .name = "A25L010",  // row 51
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0x37, 0x30, 0x11}},
    {.vendor = "AMIC", .name = "A25L020",  // row 52
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 22, .idBytes = {0x37, 0x30, 0x12}},
    {.vendor = "AMIC", .name = "A25L040",  // row 53
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 512, .eraseTimeFactor = 22, .idBytes = {0x37, 0x30, 0x13}},
    {.vendor = "SST", .name = "SST25VF512X",  // row 54
     .idOpcode = 0x90, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 22, .idBytes = {0xBF, 0x48, 0xBF}},
    {.vendor = "SST", .name = "SST25VF010A",  // row 55
     .idOpcode = 0x90, .idAddressBytes = 3, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 22, .idBytes = {0xBF, 0x49, 0xBF}},
    {.vendor = "Micron", .name = "M25P80",  // row 56
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0xC7, .sectorEraseOpcode = 0xD8,
     .sectorSizeKb = 16, .capacityKb = 64, .eraseTimeFactor = 20, .idBytes = {0x20, 0x20, 0x14}},
    {.vendor = "Boya", .name = "BY25Q20A",  // row 57
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 256, .eraseTimeFactor = 250, .idBytes = {0xE0, 0x40, 0x12}},
    {.vendor = "Boya", .name = "BY25Q10A",  // row 58
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 128, .eraseTimeFactor = 150, .idBytes = {0xE0, 0x40, 0x11}},
    {.vendor = "Boya", .name = "BY25Q512A",  // row 59
     .idOpcode = 0x9F, .idAddressBytes = 0, .chipEraseOpcode = 0x60, .sectorEraseOpcode = 0x20,
     .sectorSizeKb = 4, .capacityKb = 64, .eraseTimeFactor = 150, .idBytes = {0xE0, 0x40, 0x10}},
}};
// clang-format on

constexpr std::size_t TextLength(const char* text) {
    std::size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

constexpr bool SameIdBytes(std::size_t rowA, std::size_t rowB) {
    return kParts[rowA - 1].idBytes == kParts[rowB - 1].idBytes;
}

constexpr bool RowsFitTheirFields() {
    for (const FlashPartEntry& entry : kParts) {
        const std::uint32_t unitKb = FlashPart::kUnitBytes / 1024;
        if (entry.sectorSizeKb == 0 || entry.sectorSizeKb % unitKb != 0) return false;
        if (entry.sectorSizeKb / unitKb > 0xFF) return false;
        if (entry.capacityKb == 0 || entry.capacityKb % unitKb != 0) return false;
        if (entry.capacityKb / unitKb > 0xFFFF) return false;
        if (entry.capacityKb % entry.sectorSizeKb != 0) return false;
        if (TextLength(entry.vendor) == 0 || TextLength(entry.vendor) > FlashPart::kTextBytes) {
            return false;
        }
        if (TextLength(entry.name) == 0 || TextLength(entry.name) > FlashPart::kTextBytes) {
            return false;
        }
        if (entry.idOpcode == 0xFF) return false;  // would read as "not identified"
    }
    return true;
}

static_assert(kParts.size() == 59, "the controllers' table has 59 rows");
static_assert(SameIdBytes(3, 7) && SameIdBytes(4, 8), "rows 7 and 8 repeat rows 3 and 4");
static_assert(RowsFitTheirFields(), "a row does not fit the 522-byte form");

constexpr FlashPart BuildRow(const FlashPartEntry& entry) {
    FlashPart part;
    const std::uint32_t unitKb = FlashPart::kUnitBytes / 1024;
    const std::uint32_t capacityUnits = entry.capacityKb / unitKb;
    part.bytes[0] = entry.idOpcode;
    part.bytes[1] = entry.idAddressBytes;
    part.bytes[2] = entry.chipEraseOpcode;
    part.bytes[3] = static_cast<std::uint8_t>(entry.sectorSizeKb / unitKb);
    part.bytes[4] = static_cast<std::uint8_t>(capacityUnits & 0xFF);
    part.bytes[5] = static_cast<std::uint8_t>(capacityUnits >> 8);
    part.bytes[6] = entry.sectorEraseOpcode;
    part.bytes[7] = entry.eraseTimeFactor;
    for (std::size_t i = 0; i < 3; ++i)
        part.bytes[FlashPart::kIdBytesOffset + i] = entry.idBytes[i];
    for (std::size_t i = 0; entry.vendor[i] != '\0'; ++i) {
        part.bytes[FlashPart::kVendorOffset + i] = static_cast<std::uint8_t>(entry.vendor[i]);
    }
    for (std::size_t i = 0; entry.name[i] != '\0'; ++i) {
        part.bytes[FlashPart::kNameOffset + i] = static_cast<std::uint8_t>(entry.name[i]);
    }
    return part;  // the remaining text bytes and byte 521 stay 0
}

constexpr std::array<FlashPart, kParts.size()> BuildTable() {
    std::array<FlashPart, kParts.size()> rows{};
    for (std::size_t i = 0; i < kParts.size(); ++i) rows[i] = BuildRow(kParts[i]);
    return rows;
}

constexpr std::array<FlashPart, kParts.size()> kRows = BuildTable();
constexpr FlashPart kNoPart = FlashPart::None();

static_assert(kRows[24].IdBytes() == std::array<std::uint8_t, 3>{0xC8, 0x40, 0x13});
static_assert(kRows[11].CapacityUnits() == 255, "1020 KB is 255 units");

}  // namespace

std::string_view FlashPart::Text(std::size_t offset) const {
    const char* text = reinterpret_cast<const char*>(bytes.data() + offset);
    return std::string_view(text, strnlen(text, kTextBytes));
}

std::size_t FlashPartCount() {
    return kRows.size();
}

const FlashPart& FlashPartRow(std::size_t index) {
    return index < kRows.size() ? kRows[index] : kNoPart;
}

bool FlashIdMatches(const FlashPart& part, const std::uint8_t id[3]) {
    if (part.IsNone()) return false;
    const std::array<std::uint8_t, 3> expected = part.IdBytes();
    return expected[0] == id[0] && expected[1] == id[1] &&
           (expected[2] == FlashPart::kWildcardIdByte || expected[2] == id[2]);
}

std::optional<std::size_t> FindFlashPartById(const std::uint8_t id[3]) {
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (FlashIdMatches(kRows[i], id)) return i;
    }
    return std::nullopt;
}

}  // namespace qnl
