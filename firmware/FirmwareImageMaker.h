// Writes valid firmware images: the one builder behind the qnlfwimage tool, the demo's sample
// firmware and the tests' images.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"

namespace qnl {

struct FirmwareImageOptions {
    std::uint8_t kind = 0;                    // 0 or 1
    std::array<std::uint8_t, 6> version{};    // code bytes 128..133
    std::vector<ConfigEntryBytes> entries;    // configuration entries
    std::string customerText;                 // header bytes 16..47, NUL-padded (at most 32)
    std::uint32_t codeSize = 256;             // N; at least 134 so the version fits
    std::uint32_t padTo = 0;                  // file length, padded with 0xFF (0: no padding)
    std::uint32_t headerWord = 0x5A;          // offset 0
    std::uint32_t trailingWord = 0xA5A5A5A5;  // after the code checksum
};

// The image's bytes; throws std::invalid_argument when the options cannot make a valid image
// (kind, code size, too many entries, text too long).
std::vector<std::uint8_t> BuildFirmwareImage(const FirmwareImageOptions& options);

// "170707_00_50_01" (12 hex digits, '_' ignored) to the six version bytes; false when the text
// is not 12 hex digits.
bool ParseVersionText(const std::string& text, std::array<std::uint8_t, 6>& version);

}  // namespace qnl
