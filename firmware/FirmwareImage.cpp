#include "firmware/FirmwareImage.h"

namespace qnl {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096u, "reflected IEEE 802.3 table");

}  // namespace

const char* ConfigSignature(std::uint8_t kind) {
    return kind == 1 ? "7352A_RCFG" : "7351A_RCFG";
}
const char* FirmwareSignature(std::uint8_t kind) {
    return kind == 1 ? "7352A_FW" : "7351A_FW";
}

ConfigEntryBytes MakeConfigEntry(std::uint8_t width, std::uint16_t address, std::uint32_t value) {
    ConfigEntryBytes e{};
    e[0] = kConfigEntryMarker;
    e[1] = width;
    WriteLe16(&e[2], address);
    e[4] = static_cast<std::uint8_t>(value);
    if (width >= 2) e[5] = static_cast<std::uint8_t>(value >> 8);
    if (width >= 4) {
        e[6] = static_cast<std::uint8_t>(value >> 16);
        e[7] = static_cast<std::uint8_t>(value >> 24);
    }
    return e;
}

std::size_t ImageLength(const BinFileStruct& image, std::size_t newEntries) {
    return kConfigEntriesOffset + image.entries.size() + kConfigEntryBytes * newEntries + 1 + 4 +
           CodeLengthBytes(image.ucKind) + image.code.size() + kFwSignatureBytes + 1 + 4;
}

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace qnl
