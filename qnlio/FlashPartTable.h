// The SPI flash parts the controllers can carry, and how a part is recognised.
//
// The microcontroller knows nothing about flash parts: the host looks the part up here and sends
// the opcodes and sizes of its row along with each flash command. A row is passed around in the
// 522-byte form the programming commands are built from:
//
//   byte 0        ID opcode (0x9F, 0x15, 0xAB or 0x90)
//   byte 1        number of address bytes sent after the ID opcode (0 or 3)
//   byte 2        chip-erase opcode
//   byte 3        sector size in 4 KB units (1, 4, 8 or 16)
//   bytes 4..5    capacity in 4 KB units, little-endian
//   byte 6        sector-erase opcode
//   byte 7        erase-time factor
//   bytes 8..10   expected ID bytes: manufacturer, memory type, capacity (0xFF in byte 10 matches
//                 any value)
//   bytes 11..265 vendor name, NUL-padded
//   bytes 266..520 part name, NUL-padded
//   byte 521      0
//
// A row of all 0xFF bytes stands for "no part identified".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qnl {

class FlashPart {
  public:
    static constexpr std::size_t kSize = 522;
    static constexpr std::size_t kIdBytesOffset = 8;
    static constexpr std::size_t kVendorOffset = 11;
    static constexpr std::size_t kNameOffset = 266;
    static constexpr std::size_t kTextBytes = 255;
    static constexpr std::uint32_t kUnitBytes = 4096;
    static constexpr std::uint8_t kWildcardIdByte = 0xFF;

    std::array<std::uint8_t, kSize> bytes{};

    // The row that means "not identified": every byte 0xFF.
    static constexpr FlashPart None() {
        FlashPart part;
        part.bytes.fill(0xFF);
        return part;
    }
    constexpr bool IsNone() const { return bytes[0] == 0xFF; }

    constexpr std::uint8_t IdOpcode() const { return bytes[0]; }
    constexpr std::uint8_t IdAddressBytes() const { return bytes[1]; }
    constexpr std::uint8_t ChipEraseOpcode() const { return bytes[2]; }
    constexpr std::uint8_t SectorUnits() const { return bytes[3]; }
    constexpr std::uint16_t CapacityUnits() const {
        return static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
    }
    constexpr std::uint8_t SectorEraseOpcode() const { return bytes[6]; }
    constexpr std::uint8_t EraseTimeFactor() const { return bytes[7]; }
    constexpr std::uint32_t SectorSizeBytes() const { return SectorUnits() * kUnitBytes; }
    constexpr std::uint32_t CapacityBytes() const { return CapacityUnits() * kUnitBytes; }
    constexpr std::array<std::uint8_t, 3> IdBytes() const {
        return {bytes[kIdBytesOffset], bytes[kIdBytesOffset + 1], bytes[kIdBytesOffset + 2]};
    }
    // The names stop at the first NUL of their 255-byte fields.
    std::string_view Vendor() const { return Text(kVendorOffset); }
    std::string_view Name() const { return Text(kNameOffset); }

  private:
    std::string_view Text(std::size_t offset) const;
};

// Number of rows in the table (59).
std::size_t FlashPartCount();
// Row `index` (0-based, table order). An index past the end gives FlashPart::None().
const FlashPart& FlashPartRow(std::size_t index);

// True when the three bytes a chip answered belong to `part`: manufacturer and memory type equal,
// and the capacity byte equal unless the row's capacity byte is the wildcard 0xFF.
bool FlashIdMatches(const FlashPart& part, const std::uint8_t id[3]);
// Index of the first row, in table order, that the ID bytes match. Rows that repeat the ID bytes
// of an earlier row are therefore never found.
std::optional<std::size_t> FindFlashPartById(const std::uint8_t id[3]);

}  // namespace qnl
