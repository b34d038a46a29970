// What the microcontroller's boot code finds in flash.
//
// The flash starts with a configuration block followed by the firmware code (all little-endian):
//
//   0        header word
//   4        L, 16-bit: length of the configuration block from offset 0 (at least 48)
//   6..15    "7351A_RCFG" (kind 0) or "7352A_RCFG" (kind 1)
//   48..L-1  configuration entries, 8 bytes each: 0xCC, width (1, 2, 4), 16-bit address, value
//   L        8-bit sum of bytes 0..L-1
//   L+1..L+4 CRC-32 of the block (not checked at boot)
//   L+5      N, firmware code length: 16-bit (kind 0) or 32-bit (kind 1)
//   L+7/L+9  N bytes of code; code bytes 128..133 are the firmware version
//   then     "7351A_FW" / "7352A_FW", then the 8-bit sum of the N code bytes
//
// The boot code runs the firmware only when every part of this holds; otherwise it stays in its
// ROM loader with the built-in defaults and reports version zero.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qnl::sim {

struct ConfigEntry {
    std::uint8_t width = 0;
    std::uint16_t address = 0;
    std::uint32_t value = 0;
};

struct BootImage {
    std::array<std::uint8_t, 6> version{};
    // Entries in flash order, those with the 0xCC marker only (width not yet checked).
    std::vector<ConfigEntry> entries;
};

inline constexpr std::uint32_t kConfigEntriesOffset = 48;
inline constexpr std::uint32_t kVersionCodeOffset = 128;

// Parses the flash of a controller of `kind` (0 or 1). nullopt when the image is blank, of the
// other kind, truncated, or fails a signature or checksum.
std::optional<BootImage> ParseBootImage(std::span<const std::uint8_t> flash, int kind);

}  // namespace qnl::sim
