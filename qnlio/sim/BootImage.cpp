#include "qnlio/sim/BootImage.h"

#include <algorithm>
#include <cstring>

namespace qnl::sim {
namespace {

constexpr char kConfigSignature[2][11] = {"7351A_RCFG", "7352A_RCFG"};
constexpr char kFirmwareSignature[2][9] = {"7351A_FW", "7352A_FW"};
constexpr std::uint8_t kEntryMarker = 0xCC;

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

std::uint32_t ReadLe(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    return value;
}

}  // namespace

std::optional<BootImage> ParseBootImage(std::span<const std::uint8_t> flash, int kind) {
    if (kind != 0 && kind != 1) return std::nullopt;
    const std::size_t size = flash.size();
    // Offsets are 64-bit so that a 32-bit code length near 4 GB cannot wrap past the checks.
    if (size < kConfigEntriesOffset) return std::nullopt;
    const std::uint64_t configLength = ReadLe(flash, 4, 2);
    if (configLength < kConfigEntriesOffset) return std::nullopt;
    if (std::memcmp(flash.data() + 6, kConfigSignature[kind], 10) != 0) return std::nullopt;

    const std::size_t nWidth = kind == 0 ? 2 : 4;
    const std::uint64_t codeOffset = configLength + 5 + nWidth;
    if (codeOffset > size) return std::nullopt;
    if (Sum8(flash.subspan(0, configLength)) != flash[configLength]) return std::nullopt;

    const std::uint64_t codeLength = ReadLe(flash, configLength + 5, nWidth);
    if (codeLength < kVersionCodeOffset + 6) return std::nullopt;
    if (codeOffset + codeLength + 8 + 1 > size) return std::nullopt;
    const auto code = flash.subspan(codeOffset, codeLength);
    if (std::memcmp(flash.data() + codeOffset + codeLength, kFirmwareSignature[kind], 8) != 0) {
        return std::nullopt;
    }
    if (Sum8(code) != flash[codeOffset + codeLength + 8]) return std::nullopt;

    BootImage image;
    std::copy_n(code.begin() + kVersionCodeOffset, 6, image.version.begin());
    // Only whole entries count; a trailing partial entry is padding.
    for (std::uint64_t at = kConfigEntriesOffset; at + 8 <= configLength; at += 8) {
        if (flash[at] != kEntryMarker) continue;
        image.entries.push_back({.width = flash[at + 1],
                                 .address = static_cast<std::uint16_t>(ReadLe(flash, at + 2, 2)),
                                 .value = ReadLe(flash, at + 4, 4)});
    }
    return image;
}

}  // namespace qnl::sim
